#include "discovery/BrowserManager.h"

#include "discovery/DiscoverySteps.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// Stands in for one helper instance and writes down what reached it.
class TRecordingHelper : public TBrowserHelperCustom {
public:
  explicit TRecordingHelper(std::string name, std::vector<std::string>& journal)
      : name_(std::move(name)), journal_(journal) {}

private:
  TActionOutcome ReadKind(TProfileStores& p, const THelperContext&, TCacheType kind) override {
    return Note("Read", kind, p);
  }
  TActionOutcome CleanKind(TProfileStores& p, const THelperContext& context,
                           TCacheType kind) override {
    // Show that the profile's own callback arrived by asking it.
    const bool validated = context.Rule && context.Rule(kind, nullptr, "").Remove;
    return Note(validated ? "Clean validated" : "Clean unvalidated", kind, p);
  }
  TActionOutcome PurgeKind(TProfileStores& p, const THelperContext&, TCacheType kind) override {
    return Note("Purge", kind, p);
  }
  TActionOutcome Note(const std::string& what, TCacheType kind, TProfileStores& p) {
    journal_.push_back(name_ + " " + what + " " + std::string(KindText(kind)) + " " +
                       static_cast<TBrowserProfile&>(p).ProfileName);
    return {};
  }
  std::string name_;
  std::vector<std::string>& journal_;
};

// All six instances replaced by recorders for the life of the fixture.
class WithRecordingHelpers : public ::testing::Test {
protected:
  std::vector<std::string> journal;
  TRecordingHelper netscape{"Netscape", journal}, mozilla{"Mozilla", journal},
      opera{"Opera", journal}, ieCurrent{"IECurrent", journal}, ieRegistry{"IERegistry", journal},
      chrome{"Chrome", journal};
  TBrowserHelperSubstitute s1{THelperKind::Netscape, netscape};
  TBrowserHelperSubstitute s2{THelperKind::Mozilla, mozilla};
  TBrowserHelperSubstitute s3{THelperKind::Opera, opera};
  TBrowserHelperSubstitute s4{THelperKind::IECurrent, ieCurrent};
  TBrowserHelperSubstitute s5{THelperKind::IERegistry, ieRegistry};
  TBrowserHelperSubstitute s6{THelperKind::Chrome, chrome};
};

// "RCP" letters per kind, "-" for a missing capability.
std::string Flags(const TBrowserProfile& p) {
  std::string out;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    if (k > 0)
      out += ' ';
    out += p.CanRead[k] ? 'R' : '-';
    out += p.CanClean[k] ? 'C' : '-';
    out += p.CanPurge[k] ? 'P' : '-';
  }
  return out;
}

TDateTime Seconds(double s) {
  return s / kSecsPerDay;
}

// A clock that stands still unless a step moves it.
struct TFakeClock {
  TDateTime now = 45000.5;
  TClock Clock() {
    return [this] { return now; };
  }
};

// A step that only writes its name into the log.
TDiscoveryStep Named(const std::string& name) {
  return [name](TBrowserManager& m) { m.Log(name); };
}

TDiscoverySteps NamedSteps() {
  return {Named("IE"), Named("Opera"), Named("Mozilla"), Named("Portable"), Named("Chrome")};
}

std::vector<std::string> StepsRun(TFamilyMask mask) {
  TFakeClock clock;
  return TBrowserManager(mask, NamedSteps(), clock.Clock()).DetectionLog();
}

using Lines = std::vector<std::string>;

} // namespace

TEST(TBrowserProfile, CapabilityFlagsFollowTheBrowserType) {
  const std::string all = "RCP RCP RCP RCP RCP";
  const std::string mozilla = "--P RCP R-P RCP RCP";
  const std::vector<std::pair<TBrowserType, std::string>> expected = {
      {bInternetExplorer, all},
      {bMozilla, mozilla},
      {bFirebird, mozilla},
      {bFirefox, mozilla},
      {bBeonex, mozilla},
      {bNetscape6, mozilla},
      {bNetscape4, "RCP R-P --P RCP RCP"},
      {bOpera, all},
      {bOpera7, all},
      {bKMeleon, mozilla},
      {bOperaApp, all},
      {bLolifox, mozilla},
      {bWyzo, mozilla},
      {bFlock, mozilla},
      {bChrome, "--- RCP RCP --- RCP"}};
  for (const auto& [type, flags] : expected) {
    TBrowserProfile p;
    p.SetBrowserType(type);
    EXPECT_EQ(Flags(p), flags) << int(type);
  }
}

TEST(TBrowserProfile, ThunderbirdOffersNothingAndKeepsEarlierFlags) {
  TBrowserProfile fresh;
  fresh.SetBrowserType(bThunderbird);
  EXPECT_EQ(Flags(fresh), "--- --- --- --- ---");

  TBrowserProfile retyped;
  retyped.SetBrowserType(bChrome);
  retyped.SetBrowserType(bThunderbird);
  EXPECT_EQ(Flags(retyped), "--- RCP RCP --- RCP");
}

TEST(TBrowserProfile, AssignCopiesAllButBookmarksVersionFlagsAndCallback) {
  TBrowserProfileList list;
  TBrowserProfile& source = list.Add();
  source.SetBrowserType(bChrome);
  source.ProfileName = "Default";
  source.ProfileLocation = "C:\\Users\\a\\Chrome";
  source.Version = "4.0";
  source.VersionTag = 3;
  source.OnValidateCacheEntry = [](TBrowserProfile&, TCacheType, TCacheItem*, bool&, std::string&) {
  };
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    source.SetLocation(kind, "loc" + std::to_string(k));
    TCacheItem& item = source.GetList(kind).Add();
    item.Name = "entry" + std::to_string(k);
    item.DatabaseID = 77;
  }

  TBrowserProfile target;
  target.SetBrowserType(bOpera);
  target.GetList(ctCache).Add().Name = "old";
  target.GetList(ctBookmarks).Add().Name = "mine";
  target.SetLocation(ctBookmarks, "my bookmarks");
  target.Assign(source);

  EXPECT_EQ(target.Owner, &list);
  EXPECT_EQ(target.BrowserType(), bChrome);
  EXPECT_EQ(Flags(target), "RCP RCP RCP RCP RCP"); // Opera's, not recomputed
  EXPECT_EQ(target.ProfileName, "Default");
  EXPECT_EQ(target.ProfileLocation, "C:\\Users\\a\\Chrome");
  for (const TCacheType kind : {ctCache, ctCookies, ctHistory, ctPages}) {
    ASSERT_EQ(target.GetList(kind).Count(), 1) << int(kind);
    const TCacheItem& copy = target.GetList(kind).Items(0);
    EXPECT_EQ(copy.Name, "entry" + std::to_string(kind));
    EXPECT_EQ(copy.DatabaseID, 0); // as entries assign
    EXPECT_NE(&copy, &source.GetList(kind).Items(0));
    EXPECT_EQ(target.GetLocation(kind), "loc" + std::to_string(kind));
  }
  ASSERT_EQ(target.GetList(ctBookmarks).Count(), 1);
  EXPECT_EQ(target.GetList(ctBookmarks).Items(0).Name, "mine");
  EXPECT_EQ(target.GetLocation(ctBookmarks), "my bookmarks");
  EXPECT_EQ(target.Version, "");
  EXPECT_EQ(target.VersionTag, 0);
  EXPECT_FALSE(target.OnValidateCacheEntry);
}

TEST(TBrowserProfile, DisplayNameJoinsNameAndLocation) {
  TBrowserProfile p;
  p.ProfileName = "alice";
  EXPECT_EQ(p.DisplayName(), "alice=");
  p.ProfileLocation = "S-1-5-21-1-2-3-1001";
  EXPECT_EQ(p.DisplayName(), "alice=S-1-5-21-1-2-3-1001");
}

TEST_F(WithRecordingHelpers, EachTypeReachesItsHelper) {
  struct TCase {
    TBrowserType type;
    std::string location;
    std::string refresh, clean;
  };
  const std::vector<TCase> cases = {
      {bInternetExplorer, "", "IERegistry", "IECurrent"},
      {bInternetExplorer, "S-1-5-21-1-2-3-1001", "IERegistry", "IERegistry"},
      {bNetscape4, "C:\\n", "Netscape", "Netscape"},
      {bOpera, "C:\\o", "Opera", "Opera"},
      {bOpera7, "C:\\o", "Opera", "Opera"},
      {bOperaApp, "C:\\o", "Opera", "Opera"},
      {bChrome, "C:\\c", "Chrome", "Chrome"},
      {bMozilla, "C:\\m", "Mozilla", "Mozilla"},
      {bFirefox, "C:\\m", "Mozilla", "Mozilla"},
      {bNetscape6, "C:\\m", "Mozilla", "Mozilla"},
      {bThunderbird, "C:\\m", "Mozilla", "Mozilla"},
      {bFlock, "C:\\m", "Mozilla", "Mozilla"},
  };
  for (const TCase& c : cases) {
    journal.clear();
    TBrowserProfile p;
    p.ProfileName = "P";
    p.ProfileLocation = c.location;
    p.SetBrowserType(c.type);
    p.OnValidateCacheEntry = [](TBrowserProfile&, TCacheType, TCacheItem*, bool& doclean,
                                std::string&) { doclean = true; };
    p.Refresh();
    p.Clean({ctCookies, ctHistory});
    p.Purge({ctBookmarks});
    EXPECT_EQ(journal,
              (Lines{c.refresh + " Read cache P", c.refresh + " Read cookies P",
                     c.refresh + " Read history P", c.refresh + " Read start pages P",
                     c.refresh + " Read bookmarks P", c.clean + " Clean validated cookies P",
                     c.clean + " Clean validated history P", c.clean + " Purge bookmarks P"}))
        << p.BrowserName() << " at '" << c.location << "'";
  }
}

TEST(TBrowserManager, DefaultMaskLeavesOutThunderbirdAndOperaApplication) {
  TFakeClock clock;
  TBrowserManager m(kDefaultFamilyMask, NamedSteps(), clock.Clock());
  EXPECT_EQ(m.FamilyMask(), TFamilyMask::All() - TFamilyMask({bThunderbird, bOperaApp}));
  EXPECT_EQ(m.DetectionLog(), (Lines{"IE", "Opera", "Mozilla", "Portable", "Chrome"}));
}

TEST(TBrowserManager, FamilyMaskSelectsTheSteps) {
  struct TCase {
    TFamilyMask mask;
    Lines steps;
  };
  const std::vector<TCase> cases = {
      {{}, {}},
      {{bInternetExplorer}, {"IE"}},
      {{bOperaApp}, {"Opera"}},
      {{bOpera7}, {"Opera"}},
      {{bThunderbird}, {"Mozilla", "Portable"}},
      {{bNetscape4}, {"Mozilla", "Portable"}},
      {{bFlock}, {"Mozilla", "Portable"}},
      {{bChrome}, {"Chrome"}},
      {{bInternetExplorer, bOpera, bChrome}, {"IE", "Opera", "Chrome"}},
      {TFamilyMask::All(), {"IE", "Opera", "Mozilla", "Portable", "Chrome"}},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(StepsRun(c.mask), c.steps) << c.mask.ToBits();
}

TEST(TBrowserManager, NothingToDetectLeavesEverythingEmpty) {
  TBrowserManager m(TFamilyMask{});
  EXPECT_TRUE(m.DetectionLog().empty());
  EXPECT_EQ(m.Profiles().Count(), 0);
  EXPECT_EQ(m.ItemIndex, 0);
  EXPECT_EQ(m.ActiveProfile(), nullptr);
  EXPECT_TRUE(m.IEPageLocations().empty());
}

TEST(TBrowserManager, EveryStepWritesItsSectionWithItsTime) {
  TFakeClock clock;
  TBrowserManager m(kDefaultFamilyMask, DefaultDiscoverySteps(), clock.Clock());
  const std::string took = "i Browser detection took 00.000 seconds.";
  EXPECT_EQ(m.DetectionLog(), (Lines{"[ Internet Explorer ]", "+ Added default entry.", took, "",
                                     "[ Opera ]", took, "", "[ Mozilla Firefox & compatibles ]",
                                     took, "", "[ Mozilla Firefox Portable & compatibles ]", took,
                                     "", "[ Google Chrome ]", took, ""}));
}

TEST(TBrowserManager, EachStepIsTimedOnItsOwn) {
  TFakeClock clock;
  auto slowStep = [&clock](const std::string& name) -> TDiscoveryStep {
    return [&clock, name](TBrowserManager& m) {
      m.Log(name);
      clock.now += Seconds(1.5);
      m.LogDetectionTime();
    };
  };
  // The two Mozilla steps share one guard but not one start time.
  TBrowserManager m({bFirefox}, {{}, {}, slowStep("Mozilla"), slowStep("Portable"), {}},
                    clock.Clock());
  EXPECT_EQ(m.DetectionLog(), (Lines{"Mozilla", "i Browser detection took 01.500 seconds.",
                                     "Portable", "i Browser detection took 01.500 seconds."}));
}

TEST(TBrowserManager, AFailingStepEndsOnlyItselfAndMozillaTakesPortableWithIt) {
  TFakeClock clock;
  auto failing = [](const std::string& name, bool addProfile) -> TDiscoveryStep {
    return [name, addProfile](TBrowserManager& m) {
      m.Log(name);
      if (addProfile)
        m.Profiles().Add().ProfileName = name;
      throw std::runtime_error("broken store");
    };
  };
  auto good = [](const std::string& name) -> TDiscoveryStep {
    return [name](TBrowserManager& m) {
      m.Log(name);
      m.Profiles().Add().ProfileName = name;
      m.LogDetectionTime();
      m.Log("");
    };
  };
  TDiscoverySteps steps{failing("[ IE ]", true), good("[ Opera ]"), failing("[ Mozilla ]", false),
                        good("[ Portable ]"), [](TBrowserManager& m) {
                          m.Log("[ Chrome ]");
                          throw 42; // not even an exception class
                        }};
  TBrowserManager m(TFamilyMask::All(), steps, clock.Clock());
  EXPECT_EQ(m.DetectionLog(),
            (Lines{"[ IE ]", "[ Opera ]", "i Browser detection took 00.000 seconds.", "",
                   "[ Mozilla ]", "[ Chrome ]"}));
  ASSERT_EQ(m.Profiles().Count(), 2);
  EXPECT_EQ(m.Profiles().Items(0).ProfileName, "[ IE ]");
  EXPECT_EQ(m.Profiles().Items(1).ProfileName, "[ Opera ]");
  EXPECT_EQ(m.ItemIndex, 0);
  EXPECT_EQ(m.ActiveProfile(), &m.Profiles().Items(0));
}

TEST(TBrowserManager, ActiveProfileIsNullOutsideTheList) {
  TFakeClock clock;
  TBrowserManager m({bInternetExplorer}, {Named("IE"), {}, {}, {}, {}}, clock.Clock());
  m.Profiles().Add();
  TBrowserProfile& second = m.Profiles().Add();
  EXPECT_EQ(second.Owner, &m.Profiles());
  EXPECT_EQ(m.Profiles().Manager(), &m);
  m.ItemIndex = 1;
  EXPECT_EQ(m.ActiveProfile(), &second);
  m.ItemIndex = 2;
  EXPECT_EQ(m.ActiveProfile(), nullptr);
  m.ItemIndex = -1;
  EXPECT_EQ(m.ActiveProfile(), nullptr);
  EXPECT_THROW(m.Profiles().Items(2), std::out_of_range);
}

TEST(TBrowserManager, ValidationCallbackReachesOnlyTheProfilesThatExist) {
  TFakeClock clock;
  auto addTwo = [](TBrowserManager& m) {
    m.Profiles().Add();
    m.Profiles().Add();
  };
  TBrowserManager m({bInternetExplorer}, {addTwo, {}, {}, {}, {}}, clock.Clock());
  int calls = 0;
  m.SetOnValidateCacheEntry(
      [&calls](TBrowserProfile&, TCacheType, TCacheItem*, bool&, std::string&) { ++calls; });
  TBrowserProfile& late = m.Profiles().Add();
  EXPECT_FALSE(late.OnValidateCacheEntry);
  ASSERT_TRUE(m.OnValidateCacheEntry());
  bool doclean = false;
  std::string content;
  for (int i = 0; i < 2; ++i) {
    TBrowserProfile& p = m.Profiles().Items(i);
    ASSERT_TRUE(p.OnValidateCacheEntry);
    p.OnValidateCacheEntry(p, ctCache, nullptr, doclean, content);
  }
  EXPECT_EQ(calls, 2);
}

TEST(TBrowserManager, CallbackSetBeforeAnyProfileLeavesLaterOnesWithout) {
  TBrowserManager m(TFamilyMask{});
  m.SetOnValidateCacheEntry([](TBrowserProfile&, TCacheType, TCacheItem*, bool&, std::string&) {});
  EXPECT_FALSE(m.Profiles().Add().OnValidateCacheEntry);
}

TEST_F(WithRecordingHelpers, WritingPageLocationsCopiesThemAndRereadsIEStartPages) {
  TFakeClock clock;
  auto addProfiles = [](TBrowserManager& m) {
    for (const auto& [name, type] : std::vector<std::pair<std::string, TBrowserType>>{
             {"me", bInternetExplorer}, {"ff", bFirefox}, {"bob", bInternetExplorer}}) {
      TBrowserProfile& p = m.Profiles().Add();
      p.ProfileName = name;
      p.SetBrowserType(type);
    }
  };
  TBrowserManager m({bInternetExplorer}, {addProfiles, {}, {}, {}, {}}, clock.Clock());
  std::vector<std::string> locations = {"0 HKEY_CURRENT_USER\\Software\\X\\Start Page"};
  m.SetIEPageLocations(locations);
  locations.clear();
  EXPECT_EQ(m.IEPageLocations(), (Lines{"0 HKEY_CURRENT_USER\\Software\\X\\Start Page"}));
  EXPECT_EQ(journal, (Lines{"IECurrent Read start pages me", "IECurrent Read start pages bob"}));
}

// The window's callback answers through out-parameters; the helpers get its answer as a
// decision, and the manager's IE page locations beside it.
TEST(TBrowserProfile, HelperContextAsksTheCallbackFromFalseWithTheOfferedText) {
  TBrowserManager m(TFamilyMask{});
  m.IEPageLocations() = {"0 HKEY_CURRENT_USER\\Software\\X\\Start Page"};
  TBrowserProfile& profile = m.Profiles().Add();
  Lines seen;
  profile.OnValidateCacheEntry = [&](TBrowserProfile& p, TCacheType typ, TCacheItem* item,
                                     bool& doclean, std::string& newcontent) {
    seen.push_back(std::string(doclean ? "true " : "false ") + std::to_string(typ) + " " +
                   newcontent + (&p == &profile ? " profile" : "") + (item ? "" : " none"));
    newcontent = "http://changed/";
    doclean = typ == ctPages;
  };
  const THelperContext context = profile.HelperContext();
  EXPECT_EQ(Lines(context.IEPageLocations.begin(), context.IEPageLocations.end()),
            m.IEPageLocations());
  const TCleanDecision page = context.Rule(ctPages, nullptr, "about:blank");
  EXPECT_TRUE(page.Remove);
  EXPECT_EQ(page.Content, "http://changed/");
  EXPECT_FALSE(context.Rule(ctCookies, nullptr, "x").Remove);
  EXPECT_EQ(seen, (Lines{"false 3 about:blank profile none", "false 1 x profile none"}));

  profile.OnValidateCacheEntry = nullptr;
  EXPECT_FALSE(profile.HelperContext().Rule);
  TBrowserProfile alone;
  EXPECT_TRUE(alone.HelperContext().IEPageLocations.empty());
}
