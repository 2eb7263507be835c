// Internet Explorer in the demo image: alice's URL cache (the Content, Cookies and History
// containers with the files they name), the favourites of alice and bob, and the start and search
// pages the list file names, in the users' hives and in both registry views of the machine.

#include "kit/DemoImage.h"

#include "kit/HostFile.h"
#include "kit/ImageBuilder.h"
#include "kit/IndexDatWriter.h"
#include "winapi/WinApi.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillon::kit {

namespace {

using winapi::image::kNoCacheFolder;
using winapi::image::TIndexDatRecord;

// 2011-03-01 12:00 UTC, as Unix seconds, like the rest of the demo.
constexpr std::int64_t kMarch2011 = 1298980800;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 24 * kHour;

winapi::TFileTime FileTimeOf(std::int64_t unixSeconds) {
  // FILETIME counts 100 ns steps since 1601-01-01 UTC.
  const auto ticks = static_cast<std::uint64_t>((unixSeconds + 11644473600) * 10000000);
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

// The times every record gets: modified, visited, checked against the server and expiring
// relative to its last access.
TIndexDatRecord Record(std::string url, std::uint32_t entryType, std::int64_t lastAccess,
                       std::int64_t expiresAfter) {
  TIndexDatRecord r;
  r.Url = std::move(url);
  r.EntryType = entryType;
  r.LastModified = FileTimeOf(lastAccess - 20 * kDay);
  r.LastAccess = FileTimeOf(lastAccess);
  r.LastSync = FileTimeOf(lastAccess);
  r.Expire = FileTimeOf(lastAccess + expiresAfter);
  r.HitRate = 1;
  return r;
}

// The headers WinINet keeps with a cached response, ending in the user's marker line.
std::string Headers(const std::string& contentType, std::size_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
         "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n~U:alice\r\n";
}

// A cached document: folder index into the content container's table, file name, content.
struct TCachedFile {
  const char* url;
  std::uint8_t folder;
  const char* fileName;
  std::string content;
  const char* contentType; // nullptr: no headers kept
  std::uint32_t entryType;
  std::uint32_t hitRate;
  std::int64_t lastAccess;
};

const std::vector<std::string> kContentFolders = {"6Q2J8KMT", "B3X0R7ZC", "LW1N5E9P"};

std::vector<TCachedFile> CachedFiles() {
  using winapi::NORMAL_CACHE_ENTRY;
  using winapi::STICKY_CACHE_ENTRY;
  return {
      {"http://www.bbc.co.uk/news/", 0, "news[1].htm",
       "<html><head><title>BBC News</title></head><body>Home</body></html>", "text/html",
       NORMAL_CACHE_ENTRY, 7, kMarch2011 - 2 * kDay},
      {"http://www.bbc.co.uk/favicon.ico", 1, "favicon[1].ico", std::string(318, '\x01'), nullptr,
       NORMAL_CACHE_ENTRY, 12, kMarch2011 - 2 * kDay + 5},
      {"http://en.wikipedia.org/wiki/Quill", 2, "Quill[1].htm",
       "<html><body><p>A quill is a writing implement.</p></body></html>", "text/html",
       NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY, 1, kMarch2011 - 3 * kDay},
      {"http://ad.doubleclick.net/ad/N1234.banner;sz=468x60", 0, "banner[1].gif",
       "GIF89a" + std::string(1024, '\0'), "image/gif", NORMAL_CACHE_ENTRY, 3,
       kMarch2011 - 4 * kHour},
      {"http://view.atdmt.com/action/x", 1, "x[1].htm", "<html></html>", "text/html",
       NORMAL_CACHE_ENTRY, 1, kMarch2011 - 10 * kDay},
      {"http://www.google.com/images/logo.png", 2, "logo[1].png",
       "\x89PNG\r\n\x1a\n" + std::string(7000, 'p'), "image/png", NORMAL_CACHE_ENTRY, 21,
       kMarch2011 - kHour},
  };
}

// A cookie file of WinINet: per cookie its name, value, host and path, flags, expiry and
// creation as FILETIME halves, and a "*" line.
std::string CookieFile(const std::string& name, const std::string& value,
                       const std::string& hostPath, std::int64_t expires, std::int64_t created) {
  const winapi::TFileTime e = FileTimeOf(expires), c = FileTimeOf(created);
  return name + "\n" + value + "\n" + hostPath + "\n1024\n" + std::to_string(e.dwLowDateTime) +
         "\n" + std::to_string(e.dwHighDateTime) + "\n" + std::to_string(c.dwLowDateTime) + "\n" +
         std::to_string(c.dwHighDateTime) + "\n*\n";
}

struct TIECookie {
  const char* hostPath; // the cookie's domain and path, as its key names it
  const char* fileName;
  const char* name;
  const char* value;
  std::int64_t lastAccess;
};

// Three of the hosts the Mozilla profiles of the demo know as advertisers, and three others.
const TIECookie kCookies[] = {
    {"advertising.com/", "alice@advertising[1].txt", "ACID", "ee03", kMarch2011 - 4 * kDay},
    {"ads.mediaplex.com/", "alice@ads.mediaplex[1].txt", "svid", "5521", kMarch2011 - 4 * kDay},
    {"doubleclick.net/", "alice@doubleclick[2].txt", "id", "22c1d7", kMarch2011 - 4 * kHour},
    {"google.com/", "alice@google[1].txt", "PREF", "ID=5f3e", kMarch2011 - kHour},
    {"en.wikipedia.org/", "alice@en.wikipedia[1].txt", "enwikiUserID", "4411",
     kMarch2011 - 3 * kDay},
    {"www.bbc.co.uk/news/", "alice@news[1].txt", "BBC-UID", "a4f", kMarch2011 - 2 * kDay},
};

// Visited pages: the main history container holds one record per address, the day's container
// one per visit that day and one per host.
const char* const kVisited[] = {
    "http://www.bbc.co.uk/news/",
    "http://en.wikipedia.org/wiki/Quill",
    "http://www.google.com/",
    "file:///C:/Users/alice/Documents/notes.txt",
};
const char* const kDailyContainer = "MSHist012011030120110302";
const char* const kVisitedThatDay[] = {
    "http://www.google.com/",
    ":Host: www.google.com",
    "http://www.google.com/search?q=quill",
};

void AddContentContainer(TImageBuilder& image, const std::string& cache) {
  const std::string content = cache + "\\Content.IE5\\";
  std::vector<TIndexDatRecord> records;
  for (const TCachedFile& f : CachedFiles()) {
    TIndexDatRecord r = Record(f.url, f.entryType, f.lastAccess, 30 * kDay);
    r.CacheFolder = f.folder;
    r.FileName = f.fileName;
    r.FileSize = f.content.size();
    r.HitRate = f.hitRate;
    if (f.contentType != nullptr)
      r.Headers = Headers(f.contentType, f.content.size());
    if ((f.entryType & winapi::STICKY_CACHE_ENTRY) != 0)
      r.ExemptDelta = static_cast<std::uint32_t>(30 * kDay);
    image.AddFile(content + kContentFolders[f.folder] + "\\" + f.fileName, f.content);
    records.push_back(std::move(r));
  }
  image.AddFile(content + "index.dat", BuildIndexDat(kContentFolders, records));
}

void AddCookiesContainer(TImageBuilder& image, const std::string& cookies) {
  std::vector<TIndexDatRecord> records;
  for (const TIECookie& c : kCookies) {
    const std::string host = c.hostPath;
    const std::string file =
        CookieFile(c.name, c.value, host, kMarch2011 + 365 * kDay, c.lastAccess - 30 * kDay);
    TIndexDatRecord r =
        Record("Cookie:alice@" + host, winapi::COOKIE_CACHE_ENTRY | winapi::NORMAL_CACHE_ENTRY,
               c.lastAccess, 365 * kDay);
    r.FileName = c.fileName;
    r.FileSize = file.size();
    image.AddFile(cookies + "\\" + c.fileName, file);
    records.push_back(std::move(r));
  }
  image.AddFile(cookies + "\\index.dat", BuildIndexDat({}, records));
}

void AddHistoryContainers(TImageBuilder& image, const std::string& history) {
  const std::uint32_t visited = winapi::URLHISTORY_CACHE_ENTRY | winapi::NORMAL_CACHE_ENTRY;
  std::vector<TIndexDatRecord> main;
  std::int64_t when = kMarch2011 - 3 * kDay;
  for (const char* url : kVisited) {
    main.push_back(Record(std::string("Visited: alice@") + url, visited, when, 20 * kDay));
    when += 7 * kHour;
  }
  main[2].HitRate = 5;
  image.AddFile(history + "\\History.IE5\\index.dat", BuildIndexDat({}, main));

  std::vector<TIndexDatRecord> day;
  when = kMarch2011 + kHour;
  for (const char* url : kVisitedThatDay) {
    day.push_back(Record(std::string(":2011030120110302: alice@") + url, visited, when, 20 * kDay));
    when += 90;
  }
  image.AddFile(history + "\\History.IE5\\" + kDailyContainer + "\\index.dat",
                BuildIndexDat({}, day));
}

// A shortcut file; an empty url leaves the URL value out, as a damaged shortcut has it.
std::string Shortcut(const std::string& url) {
  if (url.empty())
    return "[InternetShortcut]\r\n";
  return "[DEFAULT]\r\nBASEURL=" + url + "\r\n[InternetShortcut]\r\nURL=" + url + "\r\n";
}

// Sets a file's last write and last access times on the host (its creation time is the host's).
void SetFileTimes(const std::string& hostPath, std::int64_t unixSeconds) {
  const struct timespec times[2] = {{static_cast<time_t>(unixSeconds + kHour), 0},
                                    {static_cast<time_t>(unixSeconds), 0}};
  utimensat(AT_FDCWD, hostPath.c_str(), times, 0);
}

struct TFavorite {
  const char* file; // below the favourites folder
  const char* url;
  std::int64_t time;
};

void AddFavorites(TImageBuilder& image, const std::string& folder,
                  const std::vector<TFavorite>& favorites) {
  image.AddFolder(folder);
  for (const TFavorite& f : favorites) {
    std::string relative = f.file;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::filesystem::path host = std::filesystem::path(image.HostPathOf(folder)) / relative;
    // Written on the host: the builder's resolving would fold two names that differ in case only.
    std::filesystem::create_directories(host.parent_path());
    WriteHostFile(host.string(), Shortcut(f.url));
    SetFileTimes(host.string(), f.time);
  }
}

// Names and values of the list file's locations under one key.
struct TPageValue {
  const char* key;
  const char* name; // empty: the key's default value
  const char* value;
};

void SetPages(THiveWriter& hive, const std::string& prefix, const std::vector<TPageValue>& pages) {
  for (const TPageValue& p : pages)
    hive.SetString(prefix + p.key, p.name, p.value);
}

const char* const kMain = "Microsoft\\Internet Explorer\\Main";
const char* const kSearch = "Microsoft\\Internet Explorer\\Search";

} // namespace

void AddDemoInternetExplorer(TImageBuilder& image) {
  // alice's folders, as her Shell Folders name them (CSIDL 32, 33, 34 and 6).
  const std::string alice = "C:\\Users\\alice\\";
  AddContentContainer(image,
                      alice + "AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files");
  AddCookiesContainer(image, alice + "AppData\\Roaming\\Microsoft\\Windows\\Cookies");
  AddHistoryContainers(image, alice + "AppData\\Local\\Microsoft\\Windows\\History");

  // A shortcut without address, two names that differ in letter case only, nested and hidden
  // folders, ad-serving addresses for the clean rule, and a desktop.ini that is no shortcut.
  // The image keeps no hidden attribute: "Private" is the folder a hidden one would be.
  AddFavorites(
      image, alice + "Favorites",
      {{"Wikipedia.url", "http://en.wikipedia.org/", kMarch2011 - 90 * kDay},
       {"wikipedia.url", "http://en.wikipedia.org/wiki/Main_Page", kMarch2011 - 80 * kDay},
       {"Ad offer.url", "http://ad.doubleclick.net/clk;4", kMarch2011 - 5 * kDay},
       {"Broken.url", "", kMarch2011 - 60 * kDay},
       {"Links\\BBC News.url", "http://news.bbc.co.uk/", kMarch2011 - 40 * kDay},
       {"Links\\Web Slice Gallery.url", "http://go.microsoft.com/fwlink/?LinkId=121315",
        kMarch2011 - 200 * kDay},
       {"Links\\Reading\\Atlas.url", "http://view.atdmt.com/action/x", kMarch2011 - 10 * kDay},
       {"Private\\Bank.url", "https://www.bank.example/", kMarch2011 - 30 * kDay}});
  image.AddFile(alice + "Favorites\\desktop.ini",
                "[.ShellClassInfo]\r\nLocalizedResourceName=@shell32.dll,-12693\r\n");

  // The name discovery compares with the logged-on user's; carol's hive lacks it.
  const std::string explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
  for (const char* user : {"alice", "bob"})
    image.UserHive(user).SetString(explorer, "Logon User Name", user);

  THiveWriter& aliceHive = image.UserHive("alice");
  const std::string software = "Software\\";
  SetPages(aliceHive, software,
           {{kMain, "Start Page", "http://www.bbc.co.uk/news/"},
            {kMain, "Default_Page_URL", "http://go.microsoft.com/fwlink/?LinkId=69157"},
            {kMain, "Search Page", "http://www.google.com/"},
            {kMain, "Default_Search_URL", "http://go.microsoft.com/fwlink/?LinkId=54896"},
            {kMain, "Search Bar", ""},
            {kSearch, "SearchAssistant", "http://ie.search.msn.com/srchasst/srchasst.htm"},
            {"Microsoft\\Internet Explorer\\SearchURL", "", "http://www.google.com/keyword/%s"}});
  aliceHive.SetMultiString(software + kMain, "Secondary Start Pages",
                           {"http://en.wikipedia.org/", "http://www.google.com/"});

  // The machine's pages: the 64-bit browser reads SOFTWARE, the 32-bit one Wow6432Node.
  SetPages(image.Software(), "",
           {{kMain, "Start Page", "http://go.microsoft.com/fwlink/?LinkId=69157"},
            {kMain, "Local Page", "C:\\Windows\\System32\\blank.htm"},
            {kMain, "Default_Page_URL", "http://go.microsoft.com/fwlink/?LinkId=69157"},
            {kMain, "Search Page", "http://go.microsoft.com/fwlink/?LinkId=54896"}});
  SetPages(image.Software(), "Wow6432Node\\",
           {{kMain, "Start Page", "http://www.msn.com/"},
            {kMain, "Local Page", "C:\\Windows\\SysWOW64\\blank.htm"},
            {kMain, "Search Page", "http://www.bing.com/"}});

  // bob: pages and favourites of his own; his URL cache is beyond reach of another user.
  const std::string bob = "C:\\Users\\bob\\";
  AddFavorites(image, bob + "Favorites",
               {{"Mozilla.url", "http://www.mozilla.org/", kMarch2011 - 15 * kDay},
                {"Links\\Google.url", "http://www.google.com/", kMarch2011 - 14 * kDay},
                {"Links\\Offer.url", "http://ad.doubleclick.net/clk;5", kMarch2011 - 13 * kDay}});
  SetPages(image.UserHive("bob"), software,
           {{kMain, "Start Page", "http://news.bbc.co.uk/"},
            {kMain, "Search Page", "http://www.google.com/ie"},
            {"Microsoft\\Internet Explorer\\SearchURL", "", "http://www.google.com/search?q=%s"}});
}

} // namespace quillon::kit
