// The browser profiles of the demo image: the Mozilla family in both store generations and
// Chrome, spread over the demo users, each with entries of every kind its browser keeps.

#include "kit/DemoImage.h"

#include "kit/ImageBuilder.h"
#include "kit/MorkWriter.h"
#include "kit/MozillaTextStores.h"
#include "kit/NetscapeRegistryWriter.h"
#include "kit/PeWriter.h"
#include "kit/SQLiteStoreWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::kit {

namespace {

// 2011-03-01 12:00 UTC and friends, as Unix seconds.
constexpr std::int64_t kMarch2011 = 1298980800;
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kYear = 365 * kDay;

// Chrome keeps times as microseconds since 1601-01-01 UTC.
std::int64_t ChromeTime(std::int64_t unixSeconds) {
  return (unixSeconds + 11644473600) * 1000000;
}

std::string ProfilesIni(const std::vector<std::pair<std::string, std::string>>& profiles) {
  std::string ini = "[General]\r\nStartWithLastProfile=1\r\n\r\n";
  for (std::size_t i = 0; i < profiles.size(); ++i)
    ini += "[Profile" + std::to_string(i) + "]\r\nName=" + profiles[i].first +
           "\r\nIsRelative=1\r\nPath=" + profiles[i].second + "\r\n" +
           (i == 0 ? "Default=1\r\n" : "") + "\r\n";
  return ini;
}

std::string HomeAndSearchPrefs(const std::string& home, TMozillaTextOptions options = {}) {
  return BuildPrefsJs({{"browser.startup.homepage", home},
                       {"browser.search.defaulturl", "http://www.google.com/search?q="},
                       {"browser.startup.homepage_override.mstone", "rv:1.8.1.20"},
                       {"browser.cache.disk.capacity", "50000", TPrefKind::Integer}},
                      options);
}

std::vector<TCookieTxt> TextCookies() {
  return {
      {".example.com", true, "/", false, kMarch2011 + kYear, "session", "a1b2c3"},
      {".advertising.com", true, "/", false, kMarch2011 + 2 * kYear, "ACID", "bb0012"},
      {"ads.mediaplex.com", false, "/", false, kMarch2011 + kYear, "svid", "7781"},
      {".wikipedia.org", true, "/", true, kMarch2011 + 30 * kDay, "enwikiUserID", "4411"},
  };
}

std::vector<TBookmarkNode> TextBookmarks() {
  using B = TBookmarkNode;
  return {
      B::Bookmark("Mozilla Firefox Start Page", "http://www.mozilla.com/firefox/central/",
                  kMarch2011 - 200 * kDay, kMarch2011 - kDay),
      B::Folder("Toolbar",
                {B::Bookmark("Wikipedia", "http://en.wikipedia.org/", kMarch2011 - 90 * kDay),
                 B::Folder("News",
                           {B::Bookmark("BBC News", "http://news.bbc.co.uk/",
                                        kMarch2011 - 60 * kDay, kMarch2011 - 2 * kDay),
                            B::Bookmark("Ad tracker", "http://ad.doubleclick.net/clk;1",
                                        kMarch2011 - 50 * kDay)},
                           kMarch2011 - 100 * kDay)},
                kMarch2011 - 120 * kDay),
      B::Separator(),
      B::Bookmark("Atlas", "http://view.atdmt.com/action/x", kMarch2011 - 10 * kDay),
  };
}

std::string TextHistory() {
  return BuildHistoryDat({
      {"http://www.mozilla.com/firefox/central/", "Firefox Start", "www.mozilla.com",
       (kMarch2011 - 30 * kDay) * 1000000, (kMarch2011 - kDay) * 1000000, 12, true},
      {"http://en.wikipedia.org/wiki/Quill", "Quill - Wikipedia", "en.wikipedia.org",
       (kMarch2011 - 3 * kDay) * 1000000, (kMarch2011 - 3 * kDay) * 1000000, 1, false},
      {"http://news.bbc.co.uk/", "BBC NEWS", "news.bbc.co.uk", (kMarch2011 - 9 * kDay) * 1000000,
       (kMarch2011 - 2 * kDay) * 1000000, 4, true},
  });
}

void AddCacheFolder(TImageBuilder& image, const std::string& folder) {
  image.AddFile(folder + "_CACHE_MAP_", std::string(276, '\0'));
  image.AddFile(folder + "_CACHE_001_", std::string(1024, 'c'));
  image.AddFile(folder + "3F2A81C4d01", "<html><body>cached page</body></html>");
}

// A profile of the text generation: cookies.txt, bookmarks.html, history.dat, prefs.js, Cache.
void AddTextProfile(TImageBuilder& image, const std::string& folder, const std::string& home) {
  image.AddFile(folder + "prefs.js", HomeAndSearchPrefs(home));
  image.AddFile(folder + "cookies.txt", BuildCookiesTxt(TextCookies()));
  image.AddFile(folder + "bookmarks.html", BuildBookmarksHtml(TextBookmarks()));
  image.AddFile(folder + "history.dat", TextHistory());
  AddCacheFolder(image, folder + "Cache\\");
}

// A profile of the SQLite generation (Firefox 3): cookies.sqlite, places.sqlite, prefs.js, Cache.
void AddSQLiteProfile(TImageBuilder& image, const std::string& folder) {
  image.AddFolder(folder);
  image.AddFile(folder + "prefs.js", HomeAndSearchPrefs("http://www.google.com/firefox"));
  WriteFirefox3Cookies(
      image.HostPathOf(folder + "cookies.sqlite"),
      {{1, "PREF", "ID=1a2b", ".google.com", "/", kMarch2011 + 2 * kYear, 0, false, false},
       {2, "ACID", "cc01", ".advertising.com", "/", kMarch2011 + kYear, 0, false, false},
       {3, "svid", "9912", "ads.mediaplex.com", "/", kMarch2011 + kYear, 0, false, false},
       {4, "advertising_opt", "1", ".yahoo.com", "/", kMarch2011 + kYear, 0, true, false},
       {5, "session", "s0", "www.mozilla.org", "/en-US/", kMarch2011 + kDay, 0, true, true}});
  WriteFirefox3Places(
      image.HostPathOf(folder + "places.sqlite"),
      {{1, "http://www.mozilla.com/en-US/firefox/central/", "Getting Started", 3},
       {2, "http://en.wikipedia.org/", "Wikipedia", 7},
       {3, "http://ad.doubleclick.net/clk;2", "Special offer", 1},
       {4, "http://www.bbc.co.uk/news/", "BBC News", 2}},
      {{1, 2, std::nullopt, 0, 0, "", 0},
       {2, 2, std::nullopt, 1, 0, "Bookmarks Menu", 0},
       {3, 1, 1, 2, 0, "Getting Started", (kMarch2011 - 20 * kDay) * 1000000},
       {4, 1, 2, 2, 1, "Wikipedia", (kMarch2011 - 10 * kDay) * 1000000},
       {5, 1, 3, 2, 2, "Special offer", (kMarch2011 - 5 * kDay) * 1000000},
       {6, 1, 4, 2, 3, "BBC News", (kMarch2011 - 2 * kDay) * 1000000}},
      {{1, 2, (kMarch2011 - kDay) * 1000000}, {2, 4, (kMarch2011 - 2 * kDay) * 1000000}});
  AddCacheFolder(image, folder + "Cache\\");
}

void AddChrome(TImageBuilder& image, const std::string& localAppData) {
  const std::string chrome = localAppData + "Google\\Chrome\\";
  const std::string data = chrome + "User Data\\";
  image.AddFile(data + "Local State", "{\"profile\":{\"last_used\":\"Default\"}}\n");
  image.AddFile(data + "Default\\Preferences",
                "{\"homepage\":\"http://www.google.com/\",\"homepage_is_newtabpage\":false}\n");
  WriteChromeCookies(
      image.HostPathOf(data + "Default\\Cookies"),
      {{ChromeTime(kMarch2011 - 5 * kDay), ".google.com", "PREF", "ID=77", "/",
        ChromeTime(kMarch2011 + 2 * kYear), false, false, ChromeTime(kMarch2011)},
       {ChromeTime(kMarch2011 - 4 * kDay), ".advertising.com", "ACID", "dd02", "/",
        ChromeTime(kMarch2011 + kYear), false, false, ChromeTime(kMarch2011)},
       {ChromeTime(kMarch2011 - 3 * kDay), "www.youtube.com", "VISITOR_INFO1_LIVE", "x9", "/",
        ChromeTime(kMarch2011 + kYear), false, true, ChromeTime(kMarch2011)}});
  WriteChromeHistory(
      image.HostPathOf(data + "Default\\History"),
      {{1, "http://www.google.com/", "Google", 5, ChromeTime(kMarch2011 - kDay)},
       {2, "http://www.chromium.org/", "The Chromium Projects", 2, ChromeTime(kMarch2011)},
       {3, "http://ad.doubleclick.net/clk;3", "Offer", 1, ChromeTime(kMarch2011 - 2 * kDay)}},
      {{1, 1, ChromeTime(kMarch2011 - 3 * kDay)},
       {2, 1, ChromeTime(kMarch2011 - kDay)},
       {3, 2, ChromeTime(kMarch2011)},
       {4, 3, ChromeTime(kMarch2011 - 2 * kDay)}},
      {{1, 1, "Bookmarks bar", 0, ChromeTime(kMarch2011 - 30 * kDay), 0, 0},
       {2, 0, "Chromium", 1, ChromeTime(kMarch2011 - 20 * kDay), 2,
        ChromeTime(kMarch2011 - 20 * kDay)},
       {3, 0, "Offer", 1, ChromeTime(kMarch2011 - 2 * kDay), 3, ChromeTime(kMarch2011 - kDay)}});
  TPeOptions exe;
  exe.Version = BrowserVersionInfo("1.0.154.48", "Google Chrome", "Google Inc.");
  image.AddFolder(chrome + "Application");
  WritePeFile(image.HostPathOf(chrome + "Application\\chrome.exe"), exe);
}

} // namespace

void WriteDemoSecondDrive(const std::string& hostRoot) {
  // The drive is a folder of its own; the builder's C: helpers serve for writing into it.
  TImageBuilder drive(hostRoot, /*is64=*/false);
  const std::string folder = "C:\\PortableApps\\FirefoxPortable\\";
  drive.AddFile(folder + "FirefoxPortable.exe", BuildPeFile(TPeOptions{}));
  drive.AddFolder(folder + "App\\Firefox");
  TPeOptions firefox;
  firefox.Version = BrowserVersionInfo("3.6.28.4430", "Firefox", "Mozilla Corporation");
  WritePeFile(drive.HostPathOf(folder + "App\\Firefox\\firefox.exe"), firefox);
  AddSQLiteProfile(drive, folder + "Data\\profile\\");
}

void AddDemoBrowserProfiles(TImageBuilder& image) {
  // alice: Firefox 3 (SQLite stores) and Chrome.
  const std::string aliceRoaming = "C:\\Users\\alice\\AppData\\Roaming\\";
  image.AddFile(aliceRoaming + "Mozilla\\Firefox\\profiles.ini",
                ProfilesIni({{"default", "Profiles/k3x9q2lm.default"}}));
  AddSQLiteProfile(image, aliceRoaming + "Mozilla\\Firefox\\Profiles\\k3x9q2lm.default\\");
  AddChrome(image, "C:\\Users\\alice\\AppData\\Local\\");

  // bob: Firefox 2 (text stores) and a Mozilla suite profile found through registry.dat.
  const std::string bobRoaming = "C:\\Users\\bob\\AppData\\Roaming\\";
  image.AddFile(bobRoaming + "Mozilla\\Firefox\\profiles.ini",
                ProfilesIni({{"default", "Profiles/w7p1c0de.default"}}));
  AddTextProfile(image, bobRoaming + "Mozilla\\Firefox\\Profiles\\w7p1c0de.default\\",
                 "http://www.mozilla.com/firefox/central/");
  const std::string suiteProfile = bobRoaming + "Mozilla\\Profiles\\default\\x1y2z3ab.slt\\";
  image.AddFile(bobRoaming + "Mozilla\\registry.dat",
                BuildMozillaRegistry({{"default", suiteProfile}}, "default"));
  AddTextProfile(image, suiteProfile, "http://www.mozilla.org/start/");

  // carol: Netscape 4.x through nsreg.dat, Flock, Thunderbird, and K-Meleon in Program Files.
  const std::string carolRoaming = "C:\\Users\\carol\\AppData\\Roaming\\";
  const std::string netscapeProfile = "C:\\Program Files (x86)\\Netscape\\Users\\carol\\";
  image.AddFile(carolRoaming + "nsreg.dat", BuildNetscape4Registry({{"carol", netscapeProfile}}));
  TMozillaTextOptions netscape4;
  netscape4.Dialect = TMozillaDialect::Netscape4;
  image.AddFile(netscapeProfile + "prefs.js",
                HomeAndSearchPrefs("http://home.netscape.com/", netscape4));
  image.AddFile(netscapeProfile + "cookies.txt", BuildCookiesTxt(TextCookies(), netscape4));
  image.AddFile(netscapeProfile + "bookmarks.html", BuildBookmarksHtml(TextBookmarks(), netscape4));
  AddCacheFolder(image, netscapeProfile + "Cache\\");

  image.AddFile(carolRoaming + "Flock\\Browser\\profiles.ini",
                ProfilesIni({{"default", "Profiles/f10ck000.default"}}));
  AddTextProfile(image, carolRoaming + "Flock\\Browser\\Profiles\\f10ck000.default\\",
                 "http://www.flock.com/");
  image.AddFile(carolRoaming + "Thunderbird\\profiles.ini",
                ProfilesIni({{"default", "Profiles/tb000001.default"}}));
  AddTextProfile(image, carolRoaming + "Thunderbird\\Profiles\\tb000001.default\\", "about:blank");

  // A portable Firefox on drive E:, listed by the machine (through the 32-bit view its launcher
  // writes to) and by alice.
  const std::string portable =
      std::string(1, kDemoSecondDrive) + ":\\PortableApps\\FirefoxPortable";
  image.Software().SetMultiString("Wow6432Node\\Tamsery\\PortableSupport", "Firefox", {portable});
  image.UserHive("alice").SetMultiString("Software\\Tamsery\\PortableSupport", "Firefox",
                                         {portable});

  const std::string kmeleon = "C:\\Program Files (x86)\\K-Meleon\\Profiles\\";
  image.AddFile(
      kmeleon + "profiles.dat",
      BuildMozillaRegistry({{"default", kmeleon + "default\\k4m3l30n.slt\\"}}, "default"));
  AddTextProfile(image, kmeleon + "default\\k4m3l30n.slt\\", "http://kmeleon.sourceforge.net/");
}

} // namespace quillon::kit
