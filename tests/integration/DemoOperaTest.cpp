// Opera on a fresh demo image, as the front ends run it: the profiles discovery finds and logs,
// what each list shows of the stores the demo writer filled, and what clean and purge leave in
// those stores, read back from the files.

#include "discovery/BrowserManager.h"
#include "discovery/CleanRule.h"
#include "discovery/EntryRows.h"
#include "discovery/ProcessSetup.h"
#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "kit/DemoImage.h"
#include "kit/HostFile.h"
#include "kit/TempDir.h"
#include "model/DateUtils.h"
#include "session/ImageSession.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillon;
using TRows = std::vector<std::string>;

const std::string kOpera6 = "C:\\Program Files (x86)\\Opera6\\";
const std::string kOpera9 = "C:\\Users\\alice\\AppData\\Roaming\\Opera\\Opera\\profile\\";

// A fresh demo image per test (clean and purge change it), seen as alice with the Opera step
// alone, in a time zone of a fixed offset so that the dates below hold in every season.
class DemoOpera : public ::testing::Test {
protected:
  void SetUp() override {
    kit::WriteDemoImage(image_);
    scope_.emplace(OpenImage(TImageOptions{}, image_));
    savedZone_ = TimeZoneSnapshot();
    if (const char* zone = std::getenv("TZ"))
      savedTz_ = zone;
    setenv("TZ", "CET-1", 1);
    tzset();
    setup_.emplace();
    SetTimeZoneSnapshot({-60, -60, false});
    manager_ = std::make_unique<TBrowserManager>(
        TFamilyMask{bOpera, bOpera7}, DefaultDiscoverySteps(), [] { return TDateTime(40603.5); });
  }
  void TearDown() override {
    manager_.reset();
    setup_.reset();
    scope_.reset();
    SetTimeZoneSnapshot(savedZone_);
    if (savedTz_)
      setenv("TZ", savedTz_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

  TBrowserProfile& Profile(int index) { return manager_->Profiles().Items(index); }
  TBrowserProfile& Opera9() { return Profile(1); }

  // The host path of a file of the image, found without regard to letter case as Windows finds
  // it (a store written anew keeps the case its location names).
  std::string Host(const std::string& windowsPath) const {
    fs::path path = image_;
    std::string rest = windowsPath.substr(3);
    for (std::size_t start = 0; start <= rest.size();) {
      const std::size_t end = std::min(rest.find('\\', start), rest.size());
      const std::string part = rest.substr(start, end - start);
      start = end + 1;
      if (part.empty())
        continue;
      fs::path next = path / part;
      if (!fs::exists(next) && fs::is_directory(path))
        for (const auto& entry : fs::directory_iterator(path))
          if (SameTextAscii(entry.path().filename().string(), part))
            next = entry.path();
      path = next;
    }
    return path.string();
  }
  std::string Bytes(const std::string& windowsPath) const {
    return kit::ReadHostFile(Host(windowsPath));
  }
  bool Exists(const std::string& windowsPath) const { return fs::exists(Host(windowsPath)); }

  kit::TTempDir dir_;
  const std::string image_ = dir_.Path() + "/demo";
  std::optional<winapi::TWinApiScope> scope_;
  std::optional<TProcessSetup> setup_;
  std::unique_ptr<TBrowserManager> manager_;
  TTimeZoneSnapshot savedZone_;
  std::optional<std::string> savedTz_;
};

// The list's rows with their cells joined by "|"; dates in the fixed ISO form of the defaults.
TRows Rows(const TBrowserProfile& profile, TCacheType kind) {
  TRows rows;
  const TCacheList& list = profile.GetList(kind);
  for (int i = 0; i < list.Count(); ++i) {
    const std::vector<std::string> cells = EntryRowTexts(kind, list[i], TFormatSettings{});
    std::string row = cells.front();
    for (std::size_t c = 1; c < cells.size(); ++c)
      row += "|" + cells[c];
    rows.push_back(row);
  }
  return rows;
}

// Every cookie of a cookie file as "domain|name", in the order of the tree.
TRows CookiesOfFile(const std::string& fileName) {
  const TO4CookieRoot root(fileName);
  EXPECT_FALSE(root.LoadStop.Stopped) << root.LoadStop.Reason;
  TRows cookies;
  std::vector<const TO4Domain*> pending;
  for (auto it = root.Domains().rbegin(); it != root.Domains().rend(); ++it)
    pending.push_back(it->get());
  while (!pending.empty()) {
    const TO4Domain* domain = pending.back();
    pending.pop_back();
    for (const auto& cookie : domain->Cookies())
      cookies.push_back(domain->FullName() + "|" + cookie->Name);
    for (auto it = domain->Domains().rbegin(); it != domain->Domains().rend(); ++it)
      pending.push_back(it->get());
  }
  return cookies;
}

TRows UrlsOfIndex(const std::string& fileName) {
  const TO4CacheRoot index(fileName);
  EXPECT_FALSE(index.LoadStop.Stopped) << index.LoadStop.Reason;
  TRows urls;
  for (const auto& entry : index.Entries())
    urls.push_back(entry->Url);
  return urls;
}

TRows Without(TRows rows, const TRows& removed) {
  for (const std::string& row : removed)
    rows.erase(std::remove(rows.begin(), rows.end(), row), rows.end());
  return rows;
}

TEST_F(DemoOpera, FindsTheInstalledOpera6AndAlicesOpera9ProfileAndLogsEveryProbe) {
  TRows found;
  for (int i = 0; i < manager_->Profiles().Count(); ++i) {
    const TBrowserProfile& p = manager_->Profiles().Items(i);
    found.push_back(std::string(p.BrowserName()) + "|" + p.DisplayName() + "|" + p.Version);
  }
  // Both hold opera6.ini, the mark of Opera 7 and later; the profile's version comes from the
  // Opera its ini file and folder lead to.
  EXPECT_EQ(found, (TRows{"Opera 7+|alice=" + kOpera6 + "|6.5.0.1140",
                          "Opera 7+|alice=" + kOpera9 + "|9.64.0.10487"}));

  const std::string programFiles = "C:\\Program Files (x86)\\";
  const auto probing = [](const std::string& folder) {
    return ". Probing possible profile in " + folder + "...";
  };
  const auto queued = [](const std::string& folder) {
    return ". Queued detected profile in " + folder + "...";
  };
  TRows expected = {
      "[ Opera ]",
      // The registered application.
      probing(kOpera6), queued(kOpera6), probing(kOpera6 + "profile\\"),
      // Program Files: the Opera 9 program folder holds no ini file and is not queued.
      probing(programFiles + "Opera\\"), probing(programFiles + "Opera\\profile\\"),
      probing(kOpera6), queued(kOpera6), probing(kOpera6 + "profile\\"),
      // Application data: the search, then the fixed folders.
      probing(kOpera9), queued(kOpera9)};
  for (const char* fixed :
       {"Opera", "Opera7", "Opera75", "Opera80", "Opera90", "Opera95", "Opera96"}) {
    const std::string folder =
        "C:\\Users\\alice\\AppData\\Roaming\\Opera\\" + std::string(fixed) + "\\profile\\";
    expected.push_back(probing(folder));
    if (folder == kOpera9)
      expected.push_back(queued(folder));
  }
  // alice's registry: the command line names the executable, the directory her profile.
  expected.insert(expected.end(),
                  {probing(programFiles + "Opera\\Opera.exe\\"), probing(kOpera9), queued(kOpera9),
                   "+ Added profile in " + kOpera6 + ".", "+ Added profile in " + kOpera9 + ".",
                   "i Browser detection took 00.000 seconds.", ""});
  EXPECT_EQ(manager_->DetectionLog(), expected);
}

TEST_F(DemoOpera, ListsShowWhatTheDemoWroteIntoEachStore) {
  using TLists = std::array<TRows, kCacheTypeCount>; // cache, cookies, history, pages, bookmarks
  const TLists opera6 = {TRows{},
                         TRows{},
                         // Three lines per visit, as Opera 6 kept them.
                         {"http://www.opera.com/|2010-01-25 13:00:00|?",
                          "http://www.opera.com/windows/|2010-01-26 13:00:00|?"},
                         {"http://www.opera.com/|32|[User Prefs]Home URL"},
                         // No hotlist: no bookmark location and no entries.
                         TRows{}};
  const TLists opera9 = {
      TRows{"http://portal.opera.com/|2011-03-01 11:00:00|2011-03-02 13:00:00",
            "http://ad.doubleclick.net/ad/N5678.banner;sz=728x90|2011-03-01 10:00:00|2011-03-08 "
            "13:00:00",
            "http://en.wikipedia.org/wiki/Opera_(web_browser)|2011-02-26 13:00:00|2011-03-28 "
            "13:00:00",
            "http://www.google.com/images/logo.png|2011-03-01 12:00:00|2012-02-29 13:00:00"},
      // The tree in order, each node before its sub-domains; the nodes whose cookies Opera
      // refuses (ads.advertising.com) or filters (tracker.net) show none, their sub-domains do.
      TRows{"example.com|session|2012-02-29 13:00:00", "www.example.com|lang|2011-03-31 13:00:00",
            "advertising.com|ACID|2012-02-29 13:00:00",
            "ads.mediaplex.com|svid|2012-02-29 13:00:00", "doubleclick.net|id|2013-02-28 13:00:00",
            "cdn.tracker.net|c|2012-02-29 13:00:00",
            "en.wikipedia.org|enwikiUserID|2011-03-31 13:00:00"},
      TRows{"http://portal.opera.com/|2011-03-01 11:00:00|?",
            "http://en.wikipedia.org/wiki/Opera_(web_browser)|2011-02-26 13:00:00|?",
            "http://ad.doubleclick.net/clk;6|2011-01-10 13:00:00|?",
            "http://news.bbc.co.uk/|2011-02-27 13:00:00|?"},
      TRows{"http://portal.opera.com/|32|[User Prefs]Home URL"},
      // Folder path and name; address; visited; created.
      TRows{
          R"(Trash\Old offer|http://view.atdmt.com/action/old||2010-08-13 13:00:00)",
          R"(Opera\Download Opera|http://www.opera.com/download/|2011-02-19 13:00:00|2010-06-24 13:00:00)",
          R"(Opera\News\BBC News|http://news.bbc.co.uk/|2011-02-27 13:00:00|2010-12-31 13:00:00)",
          R"(Opera\News\Ad tracker|http://ad.doubleclick.net/clk;6||2011-01-10 13:00:00)",
          R"(Opera\My Opera Community|http://my.opera.com/||2010-07-04 13:00:00)",
          R"(\Wikipedia|http://en.wikipedia.org/||2010-12-01 13:00:00)"}};
  ASSERT_EQ(manager_->Profiles().Count(), 2);
  const std::array<const TLists*, 2> expected = {&opera6, &opera9};
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(Profile(i).LastRead.Failed(TStoreAccess::Read)) << i;
    for (const TCacheType kind : {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks})
      EXPECT_EQ(Rows(Profile(i), kind), (*expected[i])[kind])
          << "profile " << i << ", " << EntryListCaption(kind);
  }
  EXPECT_EQ(Profile(0).GetLocation(ctBookmarks), "");
  EXPECT_EQ(Opera9().GetLocation(ctBookmarks), kOpera9 + "Opera6.adr");
  // The bookmark's other fields.
  const TCacheItem& bbc = Opera9().GetList(ctBookmarks)[2];
  EXPECT_EQ(bbc.Content, "bbc");
  EXPECT_EQ(bbc.Plaintext, "British news");
}

// The window's rule: every cache entry, the cookies of advertising hosts and the bookmarks of
// ad-serving domains go; each rewritten store keeps a copy of its old bytes.
TEST_F(DemoOpera, CleanWithTheAdvertisingRuleRewritesEachStoreBesideABackup) {
  const std::string cookies = kOpera9 + "cookies4.dat", hotlist = kOpera9 + "Opera6.adr",
                    index = kOpera9 + "Cache4\\dcache4.url";
  const std::string cookiesBefore = Bytes(cookies), hotlistBefore = Bytes(hotlist),
                    indexBefore = Bytes(index);
  const TRows fileCookies = CookiesOfFile(cookies);
  // The listed cookies and the refused one below the advertiser, which the list does not show.
  ASSERT_EQ(fileCookies.size(), 9u);
  manager_->SetOnValidateCacheEntry(ValidateCacheEntry);

  const TActionOutcome outcome = Opera9().Clean(kAllCacheKinds);
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Change));

  EXPECT_EQ(Bytes(cookies + ".vext.bak"), cookiesBefore);
  EXPECT_EQ(CookiesOfFile(cookies),
            Without(fileCookies, {"advertising.com|ACID", "ads.mediaplex.com|svid"}));
  EXPECT_EQ(Bytes(index + ".vext.bak"), indexBefore);
  EXPECT_EQ(UrlsOfIndex(index), TRows{});
  for (const char* file : {"opr00001.htm", "opr00002.gif", "opr00003.htm", "opr00004.png"})
    EXPECT_FALSE(Exists(kOpera9 + "Cache4\\" + file)) << file;
  // A file no record names is no entry of the cache and stays.
  EXPECT_TRUE(Exists(kOpera9 + "Cache4\\opr0000Z.tmp"));
  EXPECT_EQ(Bytes(hotlist + ".vext.bak"), hotlistBefore);
  const std::string hotlistAfter = Bytes(hotlist);
  for (const char* gone : {"atdmt.com", "doubleclick.net"})
    EXPECT_EQ(hotlistAfter.find(gone), std::string::npos) << gone;
  for (const char* kept : {"TRASH FOLDER=YES", "NAME=News", "http://news.bbc.co.uk/",
                           "http://my.opera.com/", "http://en.wikipedia.org/"})
    EXPECT_NE(hotlistAfter.find(kept), std::string::npos) << kept;

  // Read again, the stores show what the clean left; history and start pages stay.
  Opera9().Refresh();
  EXPECT_EQ(Opera9().GetList(ctCache).Count(), 0);
  EXPECT_EQ(Opera9().GetList(ctCookies).Count(), 5);
  EXPECT_EQ(Opera9().GetList(ctHistory).Count(), 4);
  EXPECT_EQ(Opera9().GetList(ctBookmarks).Count(), 4);
  EXPECT_EQ(Rows(Opera9(), ctPages), TRows{"http://portal.opera.com/|32|[User Prefs]Home URL"});
  EXPECT_NE(Bytes(kOpera9 + "opera6.ini").find("Home URL=http://portal.opera.com/"),
            std::string::npos);
}

// A rule that takes one cache entry: only that entry's record and file go.
TEST_F(DemoOpera, CleanCacheRemovesOnlyTheFilesOfTheRemovedRecords) {
  const std::string index = kOpera9 + "Cache4\\dcache4.url";
  const TRows urls = UrlsOfIndex(index);
  ASSERT_EQ(urls.size(), 4u);
  manager_->SetOnValidateCacheEntry(
      [](TBrowserProfile&, TCacheType kind, TCacheItem* item, bool& doclean, std::string&) {
        doclean = kind == ctCache && item != nullptr &&
                  item->Host.find("doubleclick.net") != std::string::npos;
      });
  EXPECT_FALSE(Opera9().Clean(TCacheKinds{ctCache}).Failed(TStoreAccess::Change));
  EXPECT_EQ(UrlsOfIndex(index), Without(urls, {urls[1]}));
  EXPECT_FALSE(Exists(kOpera9 + "Cache4\\opr00002.gif"));
  for (const char* file : {"opr00001.htm", "opr00003.htm", "opr00004.png", "opr0000Z.tmp"})
    EXPECT_TRUE(Exists(kOpera9 + "Cache4\\" + file)) << file;
}

// Purge kind by kind, in the order of the kinds: each purge takes its own store and leaves the
// stores of the kinds still to come.
TEST_F(DemoOpera, PurgeOfEachKindTakesItsStoreAndNothingElse) {
  struct TCase {
    TCacheType kind;
    std::string store; // gone after the purge ("" for the start pages, which are reset)
  };
  const std::vector<TCase> cases = {
      {ctCache, kOpera9 + "Cache4\\dcache4.url"}, {ctCookies, kOpera9 + "cookies4.dat"},
      {ctHistory, kOpera9 + "global.dat"},        {ctPages, ""},
      {ctBookmarks, kOpera9 + "Opera6.adr"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(EntryListCaption(c.kind));
    for (std::size_t later = i; later < cases.size(); ++later) {
      if (!cases[later].store.empty()) {
        ASSERT_TRUE(Exists(cases[later].store)) << cases[later].store;
      }
    }
    EXPECT_FALSE(Opera9().Purge(TCacheKinds{c.kind}).Failed(TStoreAccess::Change));
    if (!c.store.empty()) {
      EXPECT_FALSE(Exists(c.store));
    }
  }
  // The whole cache folder was emptied, the start page reset in the ini file.
  EXPECT_TRUE(fs::is_empty(Host(kOpera9 + "Cache4")));
  EXPECT_NE(Bytes(kOpera9 + "opera6.ini").find("Home URL=about:blank"), std::string::npos);
  Opera9().Refresh();
  for (const TCacheType kind : {ctCache, ctCookies, ctHistory, ctBookmarks})
    EXPECT_EQ(Opera9().GetList(kind).Count(), 0) << EntryListCaption(kind);
  EXPECT_EQ(Rows(Opera9(), ctPages), TRows{"about:blank|32|[User Prefs]Home URL"});
  // The other profile's stores are its own.
  EXPECT_TRUE(Exists(kOpera6 + "global.dat"));
}

} // namespace
