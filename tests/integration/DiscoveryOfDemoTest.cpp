// Discovery over a freshly written demo image, as the front ends run it: which profiles it finds,
// what it logs, and what each profile's lists show, checked against what the demo writer puts
// into every store.

#include "discovery/BrowserManager.h"
#include "discovery/EntryRows.h"
#include "discovery/ProcessSetup.h"
#include "kit/DemoImage.h"
#include "kit/TempDir.h"
#include "model/DateUtils.h"
#include "session/ImageSession.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace quillon;
using TRows = std::vector<std::string>;

// The families of this test. Internet Explorer would add a profile per account whatever the image
// holds; Opera has a test of its own (DemoOperaTest).
constexpr TFamilyMask kDemoFamilies =
    kDefaultFamilyMask - TFamilyMask{bInternetExplorer, bOpera, bOpera7};

class DemoDiscovery : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<kit::TTempDir>();
    const std::string image = dir_->Path() + "/demo";
    kit::WriteDemoImage(image);
    // Demo mode: the options name no image, so the second drive beside it is mapped as E:.
    scope_ = std::make_unique<winapi::TWinApiScope>(OpenImage(TImageOptions{}, image));
    savedZone_ = TimeZoneSnapshot();
    // File times (the URL cache's) convert with the host zone's offset in force now: a zone
    // without daylight time at Berlin's winter offset keeps the dates below the same all year.
    if (const char* zone = std::getenv("TZ"))
      savedTz_ = zone;
    setenv("TZ", "CET-1", 1);
    tzset();
    setup_ = std::make_unique<TProcessSetup>();
    // Unix times take the zone offset in force at start-up; fix it at Berlin's winter offset so
    // that the dates below do not depend on the season the test runs in.
    SetTimeZoneSnapshot({-60, -60, false});
    manager_ = Discover(kDemoFamilies);
  }
  static void TearDownTestSuite() {
    manager_.reset();
    setup_.reset();
    scope_.reset();
    dir_.reset();
    SetTimeZoneSnapshot(savedZone_);
    if (savedTz_)
      setenv("TZ", savedTz_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

  // A clock that stands still, so every timing line reads the same.
  static std::unique_ptr<TBrowserManager> Discover(TFamilyMask mask) {
    return std::make_unique<TBrowserManager>(mask, DefaultDiscoverySteps(),
                                             [] { return TDateTime(40603.5); });
  }

  static std::unique_ptr<kit::TTempDir> dir_;
  static std::unique_ptr<winapi::TWinApiScope> scope_;
  static std::unique_ptr<TProcessSetup> setup_;
  static std::unique_ptr<TBrowserManager> manager_;
  static TTimeZoneSnapshot savedZone_;
  static std::optional<std::string> savedTz_;
};

std::unique_ptr<kit::TTempDir> DemoDiscovery::dir_;
std::unique_ptr<winapi::TWinApiScope> DemoDiscovery::scope_;
std::unique_ptr<TProcessSetup> DemoDiscovery::setup_;
std::unique_ptr<TBrowserManager> DemoDiscovery::manager_;
TTimeZoneSnapshot DemoDiscovery::savedZone_;
std::optional<std::string> DemoDiscovery::savedTz_;

std::string Summary(const TBrowserProfile& p) {
  return std::string(p.BrowserName()) + "|" + p.DisplayName() + "|" + p.Version + "|" +
         std::to_string(p.VersionTag);
}

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

// The four start-page entries every Mozilla-family profile shows, whatever its prefs.js holds.
TRows Pages(const std::string& home) {
  return {"|32|browser.search.defaultengine", home + "|32|browser.startup.homepage",
          "|32|mailnews.start_page.url", "|32|kmeleon.general.homePage"};
}

TEST_F(DemoDiscovery, FindsEveryProfileOfTheDemoUsersAndThePortableDrive) {
  TRows found;
  for (int i = 0; i < manager_->Profiles().Count(); ++i)
    found.push_back(Summary(manager_->Profiles().Items(i)));
  // Mozilla-family candidates in the sorted order of "name=folder below the base", then the
  // portable Firefox once per registry root that lists it, then Chrome.
  EXPECT_EQ(
      found,
      (TRows{
          R"(Firefox|alice (default)=C:\Users\alice\AppData\Roaming\Mozilla\Firefox\Profiles\k3x9q2lm.default\||3)",
          R"(Firefox|bob (default)=C:\Users\bob\AppData\Roaming\Mozilla\Firefox\Profiles\w7p1c0de.default\||2)",
          R"(Flock|carol (default)=C:\Users\carol\AppData\Roaming\Flock\Browser\Profiles\f10ck000.default\||2)",
          R"(Netscape (4.x)|carol=C:\Program Files (x86)\Netscape\Users\carol\||2)",
          R"(K-Meleon|default=C:\Program Files (x86)\K-Meleon\Profiles\default\k4m3l30n.slt\||2)",
          R"(Mozilla|default=C:\Users\bob\AppData\Roaming\Mozilla\Profiles\default\x1y2z3ab.slt\||2)",
          R"(Firefox|Mobile Profile=E:\PortableApps\FirefoxPortable\Data\profile\|3.6.28.4430|3)",
          R"(Firefox|Mobile Profile=E:\PortableApps\FirefoxPortable\Data\profile\|3.6.28.4430|3)",
          R"(Chrome|Chrome=C:\Users\alice\AppData\Local\Google\Chrome\User Data\|1.0.154.48|0)",
      }));
}

TEST_F(DemoDiscovery, ThunderbirdProfileJoinsAsFirefoxWhenAskedFor) {
  const auto manager = Discover(kDemoFamilies | TFamilyMask{bThunderbird});
  ASSERT_EQ(manager->Profiles().Count(), 10);
  const TBrowserProfile& thunderbird = manager->Profiles().Items(3);
  EXPECT_EQ(
      Summary(thunderbird),
      R"(Firefox|carol (default)=C:\Users\carol\AppData\Roaming\Thunderbird\Profiles\tb000001.default\||2)");
  EXPECT_EQ(Rows(thunderbird, ctPages), Pages("about:blank"));
}

TEST_F(DemoDiscovery, LogsEveryProbeAndEveryProfileInOrder) {
  const std::string alice = kit::kDemoUsers[0].sid, bob = kit::kDemoUsers[1].sid,
                    carol = kit::kDemoUsers[2].sid;
  const std::string time = "i Browser detection took 00.000 seconds.";
  const std::string fx2 = "i NO cookies.sqlite detected, assuming profile is Firefox 2.0 or "
                          "equivalent.";
  const TRows expected = {
      "[ Mozilla Firefox & compatibles ]",
      R"(. Probing Netscape registry file at C:\Program Files (x86)\K-Meleon\Profiles\profiles.dat...)",
      R"(+ Added profile for user C:\Program Files (x86)\K-Meleon\Profiles\profiles.dat.)",
      ". Looking at profiles for user with SID " + alice + "...",
      R"(. A: Found Shell Folder AppData registry information: C:\Users\alice\AppData\Roaming\)",
      R"(. Final AppData found: C:\Users\alice\AppData\Roaming\)",
      R"(. Probing profile ini file file at C:\Users\alice\AppData\Roaming\Mozilla\Firefox\profiles.ini...)",
      R"(. Found profile reference to C:\Users\alice\AppData\Roaming\Mozilla\Firefox\Profiles\k3x9q2lm.default\.)",
      // bob's Shell Folders lack AppData: a lone backslash, no environment keys, so the guess.
      ". Looking at profiles for user with SID " + bob + "...",
      R"(. A: Found Shell Folder AppData registry information: \)",
      R"(. F: Guessed (PE incompatible): C:\Users\bob\AppData\Roaming\)",
      R"(. Final AppData found: C:\Users\bob\AppData\Roaming\)",
      R"(. Probing Netscape registry file at C:\Users\bob\AppData\Roaming\Mozilla\registry.dat...)",
      R"(+ Added profile for user C:\Users\bob\AppData\Roaming\Mozilla\registry.dat.)",
      R"(. Probing profile ini file file at C:\Users\bob\AppData\Roaming\Mozilla\Firefox\profiles.ini...)",
      R"(. Found profile reference to C:\Users\bob\AppData\Roaming\Mozilla\Firefox\Profiles\w7p1c0de.default\.)",
      ". Looking at profiles for user with SID " + carol + "...",
      R"(. A: Found Shell Folder AppData registry information: C:\Users\carol\AppData\Roaming\)",
      R"(. Final AppData found: C:\Users\carol\AppData\Roaming\)",
      R"(. Probing Netscape registry file at C:\Users\carol\AppData\Roaming\nsreg.dat...)",
      R"(+ Added profile for user C:\Users\carol\AppData\Roaming\nsreg.dat.)",
      R"(. Probing profile ini file file at C:\Users\carol\AppData\Roaming\Flock\Browser\profiles.ini...)",
      R"(. Found profile reference to C:\Users\carol\AppData\Roaming\Flock\Browser\Profiles\f10ck000.default\.)",
      "i cookies.sqlite detected, assuming profile is Firefox 3.0 or equivalent.",
      R"(+ Added Mozilla profile at C:\Users\alice\AppData\Roaming\Mozilla\Firefox\Profiles\k3x9q2lm.default\.)",
      fx2,
      R"(+ Added Mozilla profile at C:\Users\bob\AppData\Roaming\Mozilla\Firefox\Profiles\w7p1c0de.default\.)",
      fx2,
      R"(+ Added Mozilla profile at C:\Users\carol\AppData\Roaming\Flock\Browser\Profiles\f10ck000.default\.)",
      fx2,
      R"(+ Added Mozilla profile at C:\Program Files (x86)\Netscape\Users\carol\.)",
      fx2,
      R"(+ Added Mozilla profile at C:\Program Files (x86)\K-Meleon\Profiles\default\k4m3l30n.slt\.)",
      fx2,
      R"(+ Added Mozilla profile at C:\Users\bob\AppData\Roaming\Mozilla\Profiles\default\x1y2z3ab.slt\.)",
      time,
      "",
      "[ Mozilla Firefox Portable & compatibles ]",
      R"(+ Added profile at E:\PortableApps\FirefoxPortable\.)",
      R"(+ Added profile at E:\PortableApps\FirefoxPortable\.)",
      time,
      "",
      "[ Google Chrome ]",
      R"(+ Added profile at C:\Users\alice\AppData\Local\Google\Chrome\.)",
      time,
      "",
  };
  EXPECT_EQ(manager_->DetectionLog(), expected);
}

// Dates are the writer's Unix seconds at UTC+1 (2011-03-01 12:00 UTC shows 13:00).
// cookies.txt lines come in text order, ignoring case, not in file order.
const TRows kTextCookies = {".advertising.com/|ACID|2013-02-28 13:00:00",
                            ".example.com/|session|2012-02-29 13:00:00",
                            ".wikipedia.org/|enwikiUserID|2011-03-31 13:00:00",
                            "ads.mediaplex.com/|svid|2012-02-29 13:00:00"};
// Folder path, title; address; LAST_VISIT; ADD_DATE. The separator gives no entry.
const TRows kTextBookmarks = {
    R"(\Mozilla Firefox Start Page|http://www.mozilla.com/firefox/central/|2011-02-28 13:00:00|2010-08-13 13:00:00)",
    R"(Toolbar\Wikipedia|http://en.wikipedia.org/||2010-12-01 13:00:00)",
    R"(Toolbar\News\BBC News|http://news.bbc.co.uk/|2011-02-27 13:00:00|2010-12-31 13:00:00)",
    R"(Toolbar\News\Ad tracker|http://ad.doubleclick.net/clk;1||2011-01-10 13:00:00)",
    R"(\Atlas|http://view.atdmt.com/action/x||2011-02-19 13:00:00)"};
// Host name then URL; last and first visit. history.dat keeps microseconds since 1970.
const TRows kMorkHistory = {
    "www.mozilla.comhttp://www.mozilla.com/firefox/central/|2011-02-28 13:00:00|2011-01-30 "
    "13:00:00",
    "en.wikipedia.orghttp://en.wikipedia.org/wiki/Quill|2011-02-26 13:00:00|2011-02-26 13:00:00",
    "news.bbc.co.ukhttp://news.bbc.co.uk/|2011-02-27 13:00:00|2011-02-20 13:00:00"};
// moz_cookies in row order; expiry in seconds.
const TRows kSQLiteCookies = {".google.com/|PREF|2013-02-28 13:00:00",
                              ".advertising.com/|ACID|2012-02-29 13:00:00",
                              "ads.mediaplex.com/|svid|2012-02-29 13:00:00",
                              ".yahoo.com/|advertising_opt|2012-02-29 13:00:00",
                              "www.mozilla.org/en-US/|session|2011-03-02 13:00:00"};
// Every moz_bookmarks row with its page's title and address: the root and menu folders have no
// page and show empty; no column gives a date.
const TRows kSQLiteBookmarks = {
    R"(\|||)",
    R"(\|||)",
    R"(\Getting Started|http://www.mozilla.com/en-US/firefox/central/||)",
    R"(\Wikipedia|http://en.wikipedia.org/||)",
    R"(\Special offer|http://ad.doubleclick.net/clk;2||)",
    R"(\BBC News|http://www.bbc.co.uk/news/||)"};
// Chrome times count microseconds from 1601; cookies show no date at all.
const TRows kChromeCookies = {".google.com/|PREF|", ".advertising.com/|ACID|",
                              "www.youtube.com/|VISITOR_INFO1_LIVE|"};
// One row per visit, with its page's address and the visit time.
const TRows kChromeHistory = {"http://www.google.com/|2011-02-26 13:00:00|?",
                              "http://www.google.com/|2011-02-28 13:00:00|?",
                              "http://www.chromium.org/|2011-03-01 13:00:00|?",
                              "http://ad.doubleclick.net/clk;3|2011-02-27 13:00:00|?"};
// Starred rows with an address only (not the bookmark bar), titled by the page; date_modified.
const TRows kChromeBookmarks = {
    R"(\The Chromium Projects|http://www.chromium.org/|2011-02-09 13:00:00|)",
    R"(\Offer|http://ad.doubleclick.net/clk;3|2011-02-28 13:00:00|)"};

using TLists = std::array<TRows, kCacheTypeCount>; // cache, cookies, history, pages, bookmarks

TLists TextProfile(const std::string& home) {
  return {TRows{}, kTextCookies, kMorkHistory, Pages(home), kTextBookmarks};
}

TEST_F(DemoDiscovery, ListsShowWhatTheDemoWroteIntoEachStore) {
  // The cache is never listed for this family: the demo's Cache folders stay out of the lists.
  // Firefox 3 keeps its history in places.sqlite, but the history list reads history.dat only.
  const TLists firefox3 = {TRows{}, kSQLiteCookies, TRows{}, Pages("http://www.google.com/firefox"),
                           kSQLiteBookmarks};
  const std::vector<TLists> expected = {
      firefox3,
      TextProfile("http://www.mozilla.com/firefox/central/"),
      TextProfile("http://www.flock.com/"),
      // Netscape 4.x profiles have no history list.
      {TRows{}, kTextCookies, TRows{}, Pages("http://home.netscape.com/"), kTextBookmarks},
      TextProfile("http://kmeleon.sourceforge.net/"),
      TextProfile("http://www.mozilla.org/start/"),
      firefox3,
      firefox3,
      {TRows{}, kChromeCookies, kChromeHistory, TRows{}, kChromeBookmarks},
  };
  ASSERT_EQ(manager_->Profiles().Count(), static_cast<int>(expected.size()));
  for (int i = 0; i < manager_->Profiles().Count(); ++i)
    for (const TCacheType kind : {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks})
      EXPECT_EQ(Rows(manager_->Profiles().Items(i), kind), expected[i][kind])
          << "profile " << i << ", " << EntryListCaption(kind);
}

// Internet Explorer alone: the logged-on alice is the default entry, read from her URL cache, and
// her own hive adds no second profile; bob and carol get their pages and favourites (carol's hive
// names no logon user, so the account name with its domain stands for her).
// Internet Explorer's profiles with the start pages of the list file beside the program, as the
// front ends load them right after discovery.
std::unique_ptr<TBrowserManager> DiscoverInternetExplorer() {
  auto manager = std::make_unique<TBrowserManager>(
      TFamilyMask{bInternetExplorer}, DefaultDiscoverySteps(), [] { return TDateTime(40603.5); });
  std::string reason;
  EXPECT_TRUE(LoadIEPageLocations(*manager, reason)) << reason;
  return manager;
}

TEST_F(DemoDiscovery, InternetExplorerHasAProfilePerUserAndLogsEachProbe) {
  const auto manager = DiscoverInternetExplorer();
  TRows found;
  for (int i = 0; i < manager->Profiles().Count(); ++i) {
    const TBrowserProfile& p = manager->Profiles().Items(i);
    std::string counts;
    for (const TCacheType kind : {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks})
      counts += " " + std::to_string(p.GetList(kind).Count());
    found.push_back(Summary(p) + counts);
  }
  const std::string alice = kit::kDemoUsers[0].sid, bob = kit::kDemoUsers[1].sid,
                    carol = kit::kDemoUsers[2].sid;
  EXPECT_EQ(found, (TRows{"Internet Explorer|alice=|8.0.7601.17514|0 6 6 7 21 8",
                          "Internet Explorer|bob=" + bob + "|8.0.7601.17514|0 0 0 0 10 3",
                          "Internet Explorer|carol (QUILLON-DEMO)=" + carol +
                              "|8.0.7601.17514|0 0 0 0 7 0"}));
  const std::string probing = ". Probing entry for user SID ";
  EXPECT_EQ(manager->DetectionLog(),
            (TRows{"[ Internet Explorer ]", "+ Added default entry.", probing + ".DEFAULT...",
                   probing + "S-1-5-18...", probing + "S-1-5-19...", probing + "S-1-5-20...",
                   probing + alice + "...", probing + bob + "...", "+ Added entry for bob.",
                   probing + carol + "...", "+ Added entry for carol (QUILLON-DEMO).",
                   "i Browser detection took 00.000 seconds.", ""}));
}

// Rows sorted (the URL cache hands entries out in its hash order); bookmarks without their
// creation time, which is the host's time of writing the demo.
TRows SortedRows(const TBrowserProfile& profile, TCacheType kind) {
  TRows rows = Rows(profile, kind);
  if (kind == ctBookmarks)
    for (std::string& row : rows)
      row.erase(row.find_last_of('|'));
  std::sort(rows.begin(), rows.end());
  return rows;
}

TEST_F(DemoDiscovery, InternetExplorerListsShowWhatTheDemoWrote) {
  const auto manager = DiscoverInternetExplorer();
  ASSERT_EQ(manager->Profiles().Count(), 3);
  const TBrowserProfile &alice = manager->Profiles().Items(0), &bob = manager->Profiles().Items(1);
  struct TCase {
    const TBrowserProfile& profile;
    TCacheType kind;
    TRows rows; // some of the rows, each found once
  };
  const std::vector<TCase> cases = {
      {alice,
       ctCache,
       {"http://www.bbc.co.uk/news/|2011-02-27 13:00:00|2011-03-29 13:00:00",
        "http://ad.doubleclick.net/ad/N1234.banner;sz=468x60|2011-03-01 09:00:00|2011-03-31 "
        "09:00:00"}},
      {alice,
       ctCookies,
       {"Cookie:alice@advertising.com/||2012-02-25 13:00:00",
        "Cookie:alice@www.bbc.co.uk/news/||2012-02-27 13:00:00"}},
      {alice,
       ctHistory,
       {"Visited: alice@http://www.google.com/|2011-02-27 03:00:00|2011-03-19 03:00:00",
        ":2011030120110302: alice@:Host: www.google.com|2011-03-01 14:01:30|2011-03-21 "
        "14:01:30"}},
      // alice's hive answers in both views; the machine has other pages in each.
      {alice,
       ctPages,
       {"http://www.bbc.co.uk/news/|32|Start Page", "http://www.bbc.co.uk/news/|64|Start Page",
        "http://www.google.com/keyword/%s|32|", "http://www.msn.com/|32|Start Page",
        "http://go.microsoft.com/fwlink/?LinkId=69157|64|Start Page",
        "C:\\Windows\\SysWOW64\\blank.htm|32|Local Page"}},
      {alice,
       ctBookmarks,
       {"\\Broken||2010-12-31 14:00:00",
        "\\Links\\Reading\\Atlas|http://view.atdmt.com/action/x|2011-02-19 14:00:00",
        "\\Private\\Bank|https://www.bank.example/|2011-01-30 14:00:00",
        "\\Wikipedia|http://en.wikipedia.org/|2010-12-01 14:00:00",
        "\\wikipedia|http://en.wikipedia.org/wiki/Main_Page|2010-12-11 14:00:00"}},
      {bob,
       ctPages,
       {"http://news.bbc.co.uk/|32|Start Page", "http://www.google.com/ie|32|Search Page"}},
      {bob, ctBookmarks, {"\\Links\\Offer|http://ad.doubleclick.net/clk;5|2011-02-16 14:00:00"}},
  };
  for (const TCase& c : cases) {
    const TRows rows = SortedRows(c.profile, c.kind);
    for (const std::string& row : c.rows)
      EXPECT_EQ(std::count(rows.begin(), rows.end(), row), 1)
          << c.profile.ProfileName << ", " << EntryListCaption(c.kind) << ": " << row;
  }
}

} // namespace
