// The URL cache of an image's user, served from index.dat containers written by the kit: what a
// walk hands out and in which order, the size probe, what deleting an entry does to the file and
// the cached files, and how a locked, read-only or damaged container answers.

#include "winapi/image/ImageUrlCache.h"

#include "MsiecfExport.h"
#include "RegistryTestSupport.h"
#include "kit/FileHolder.h"
#include "kit/IndexDatWriter.h"
#include "platform/UrlCacheWalk.h"
#include "winapi/image/IndexDat.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>

namespace quillon::test {
namespace {

namespace fs = std::filesystem;
using image::TIndexDatRecord;

const std::string kContent = "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\Temporary "
                             "Internet Files\\Content.IE5";
const std::string kCookies = "C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Cookies";
const std::string kHistory = "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\History\\"
                             "History.IE5";
const std::string kDay1 = kHistory + "\\MSHist012026120720261208";
const std::string kDay2 = kHistory + "\\MSHist012026120820261209";

TIndexDatRecord Record(const std::string& url, const std::string& file = {},
                       std::uint8_t folder = image::kNoCacheFolder,
                       DWORD type = NORMAL_CACHE_ENTRY) {
  TIndexDatRecord r;
  r.Url = url;
  r.FileName = file;
  r.CacheFolder = folder;
  r.EntryType = type;
  r.UseCount = 1;
  r.FileSize = 1234;
  r.LastModified = U64ToFileTime(130000000000000000ull);
  r.LastAccess = U64ToFileTime(130000000010000000ull);
  r.LastSync = U64ToFileTime(130000000020000000ull);
  return r;
}

// One entry as a walk handed it out.
struct TSeen {
  std::string url, local, extension, headers;
  DWORD type = 0, hitRate = 0, sizeLow = 0;
};

std::string Text(const char* text) {
  return text ? text : "<null>";
}

// An image whose user alice has the containers a test puts there; the image backend is
// installed while the object lives.
class TCacheImage {
public:
  TCacheImage() { image_.builder->AddFolder(kContent + "\\ABCD1234"); }

  void Put(const std::string& folder, const std::vector<TIndexDatRecord>& records,
           const std::vector<std::string>& cacheFolders = {}) {
    image_.builder->AddFile(folder + "\\index.dat", kit::BuildIndexDat(cacheFolders, records));
  }
  void PutFile(const std::string& path, const std::string& content = "cached") {
    image_.builder->AddFile(path, content);
  }
  std::string Host(const std::string& path) const { return image_.Host(path); }
  bool Exists(const std::string& path) const { return fs::exists(Host(path)); }
  std::string Index(const std::string& folder) const {
    return ReadHostFile(Host(folder + "\\index.dat"));
  }

  // Five containers: two content entries (one with a cached file), a cookie with its file, a
  // history entry and one entry in each of two day containers, written in reverse name order.
  void PutUsualContainers() {
    TIndexDatRecord page = Record("http://a.example/p.gif", "p[1].gif", 0);
    page.Headers = "HTTP/1.1 200 OK\r\n";
    page.HitRate = 7;
    Put(kContent, {page, Record("http://a.example/nofile")}, {"ABCD1234"});
    PutFile(kContent + "\\ABCD1234\\p[1].gif");
    Put(kCookies, {Record("Cookie:alice@a.example/", "alice@a.example[1].txt",
                          image::kNoCacheFolder, COOKIE_CACHE_ENTRY)});
    PutFile(kCookies + "\\alice@a.example[1].txt");
    Put(kHistory, {Record("Visited: alice@http://a.example/", {}, image::kNoCacheFolder,
                          URLHISTORY_CACHE_ENTRY)});
    Put(kDay2, {Record(":2026120820261209: alice@http://b.example/")});
    Put(kDay1, {Record(":2026120720261208: alice@http://a.example/")});
  }

  void Open() {
    image_.builder->Commit();
    api_ = image_.Open("alice");
    scope_ = std::make_unique<TWinApiScope>(api_);
  }
  TUrlCacheService& Cache() { return *api_->urlCache; }
  DWORD LastError() const { return api_->lastError->Get(); }

  std::vector<TSeen> Walk(const std::string& pattern = {}, DWORD* result = nullptr,
                          const std::function<void(const TSeen&)>& also = {}) {
    std::vector<TSeen> seen;
    const DWORD r = WalkUrlCache(pattern, [&](const INTERNET_CACHE_ENTRY_INFOA& e) {
      seen.push_back({Text(e.lpszSourceUrlName), Text(e.lpszLocalFileName),
                      Text(e.lpszFileExtension),
                      e.lpHeaderInfo ? std::string(e.lpHeaderInfo, e.dwHeaderInfoSize) : "",
                      e.CacheEntryType, e.dwHitRate, e.dwSizeLow});
      if (also)
        also(seen.back());
      return true;
    });
    if (result)
      *result = r;
    else
      EXPECT_EQ(r, DWORD(ERROR_SUCCESS));
    return seen;
  }
  std::vector<std::string> Urls(const std::string& pattern = {}) {
    std::vector<std::string> urls;
    for (const TSeen& s : Walk(pattern))
      urls.push_back(s.url);
    return urls;
  }
  // The URLs the container's file holds now.
  std::vector<std::string> UrlsInFile(const std::string& folder) const {
    std::vector<std::string> urls;
    for (const TIndexDatRecord& r : image::ReadIndexDat(Index(folder)).Records)
      urls.push_back(r.Url);
    return urls;
  }
  // msiecfexport reads the container's file as we do.
  void ExpectMsiecfAgrees(const std::string& folder) const {
    if (!MsiecfExportAvailable())
      return;
    const auto theirs = MsiecfExportLines(Host(folder + "\\index.dat"));
    ASSERT_TRUE(theirs.has_value()) << folder;
    EXPECT_EQ(*theirs, MsiecfLines(image::ReadIndexDat(Index(folder)))) << folder;
  }

private:
  TTestImage image_;
  std::shared_ptr<image::TImageWinApi> api_;
  std::unique_ptr<TWinApiScope> scope_;
};

const std::vector<std::string> kUsualUrls = {"http://a.example/p.gif",
                                             "http://a.example/nofile",
                                             "Cookie:alice@a.example/",
                                             "Visited: alice@http://a.example/",
                                             ":2026120720261208: alice@http://a.example/",
                                             ":2026120820261209: alice@http://b.example/"};

TEST(ImageUrlCache, WalksTheContainersInOrderAndChangesNothing) {
  TCacheImage f;
  f.PutUsualContainers();
  f.Open();
  std::map<std::string, std::pair<std::string, fs::file_time_type>> before;
  for (const std::string& folder : {kContent, kCookies, kHistory, kDay1, kDay2})
    before[folder] = {f.Index(folder), fs::last_write_time(f.Host(folder + "\\index.dat"))};

  const std::vector<TSeen> seen = f.Walk();
  ASSERT_EQ(seen.size(), kUsualUrls.size());
  for (std::size_t i = 0; i < kUsualUrls.size(); ++i)
    EXPECT_EQ(seen[i].url, kUsualUrls[i]);
  EXPECT_EQ(seen[0].local, kContent + "\\ABCD1234\\p[1].gif");
  EXPECT_EQ(seen[0].extension, "gif");
  EXPECT_EQ(seen[0].headers, "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(seen[0].hitRate, 7u);
  EXPECT_EQ(seen[0].sizeLow, 1234u);
  EXPECT_EQ(seen[1].local, "<null>");
  EXPECT_EQ(seen[1].extension, "<null>");
  EXPECT_EQ(seen[2].local, kCookies + "\\alice@a.example[1].txt");
  EXPECT_EQ(seen[2].type, DWORD(COOKIE_CACHE_ENTRY));
  EXPECT_EQ(seen[3].type, DWORD(URLHISTORY_CACHE_ENTRY));

  // Patterns pick containers.
  EXPECT_EQ(f.Urls("*"), kUsualUrls);
  EXPECT_EQ(f.Urls("COOKIE:"), std::vector<std::string>{kUsualUrls[2]});
  EXPECT_EQ(f.Urls("visited:"), std::vector<std::string>(kUsualUrls.begin() + 3, kUsualUrls.end()));
  DWORD result = 0;
  EXPECT_TRUE(f.Walk("http://", &result).empty());
  EXPECT_EQ(result, DWORD(ERROR_INVALID_PARAMETER));

  for (const auto& [folder, content] : before) {
    EXPECT_TRUE(f.Index(folder) == content.first) << folder;
    EXPECT_EQ(fs::last_write_time(f.Host(folder + "\\index.dat")), content.second) << folder;
  }
}

TEST(ImageUrlCache, AProbeAnswersTheSizeWithoutMovingTheWalk) {
  TCacheImage f;
  f.Put(kContent, {Record("http://a/1"), Record("http://a/22"), Record("http://a/333")});
  f.Open();
  TUrlCacheService& cache = f.Cache();
  std::vector<std::uint64_t> buffer(64);
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  const auto expectError = [&](bool ok, DWORD error) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(f.LastError(), error);
  };

  DWORD size = 0;
  expectError(cache.FindFirst("", nullptr, size) != 0, ERROR_INSUFFICIENT_BUFFER);
  const DWORD first = size;
  EXPECT_EQ(first, sizeof(INTERNET_CACHE_ENTRY_INFOA) + 11);
  size = first - 1;
  expectError(cache.FindFirst("", entry, size) != 0, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, first);
  const THandleValue find = cache.FindFirst("", entry, size);
  ASSERT_NE(find, 0u);
  EXPECT_STREQ(entry->lpszSourceUrlName, "http://a/1");

  for (int probe = 0; probe < 2; ++probe) {
    size = 0;
    expectError(cache.FindNext(find, nullptr, size), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, first + 1);
  }
  const DWORD whole = sizeof(buffer[0]) * buffer.size();
  ASSERT_TRUE(cache.FindNext(find, entry, size = whole));
  EXPECT_STREQ(entry->lpszSourceUrlName, "http://a/22");
  ASSERT_TRUE(cache.FindNext(find, entry, size = whole));
  EXPECT_STREQ(entry->lpszSourceUrlName, "http://a/333");
  expectError(cache.FindNext(find, entry, size = whole), ERROR_NO_MORE_ITEMS);
  expectError(cache.FindNext(find + 1, entry, size = whole), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(cache.FindEnd(find));
  expectError(cache.FindEnd(find), ERROR_INVALID_HANDLE);

  TCacheImage empty;
  empty.Put(kContent, {});
  empty.Open();
  size = 0;
  EXPECT_EQ(empty.Cache().FindFirst("", nullptr, size), 0u);
  EXPECT_EQ(empty.LastError(), DWORD(ERROR_NO_MORE_ITEMS));
}

// Names from the file decide where a local file lies. A name that could lead out of the
// container's folder gives no local file, and deleting its entry removes only the record.
TEST(ImageUrlCache, HostileNamesGiveNoLocalFileAndDeleteNothing) {
  struct TCase {
    std::string file, folder, local;
  } const cases[] = {
      {"good.htm", "ABCD1234", kContent + "\\ABCD1234\\good.htm"},
      {"..\\canary.txt", "ABCD1234", ""},
      {"canary.txt", "..", ""},
      {"sub\\canary.txt", "ABCD1234", ""},
      {"canary.txt", "AB/CD", ""},
      {"C:canary.txt", "ABCD1234", ""},
      {"..", "ABCD1234", ""},
      {"bad\x01.txt", "ABCD1234", ""},
      {std::string(256, 'x'), "ABCD1234", ""},
      {"canary.txt", "LINKED01", ""}, // a link to the profile's documents
      {"canary.txt", "", ""},
  };
  TCacheImage f;
  const std::string documents = "C:\\Users\\alice\\Documents";
  f.PutFile(documents + "\\canary.txt");
  fs::create_directory_symlink("/Users/alice/Documents", f.Host(kContent + "\\LINKED01"));
  std::vector<std::string> folders;
  std::vector<TIndexDatRecord> records;
  for (const TCase& c : cases) {
    folders.push_back(c.folder);
    records.push_back(Record("http://x/" + std::to_string(records.size()), c.file,
                             static_cast<std::uint8_t>(records.size())));
  }
  f.Put(kContent, records, folders);
  const std::string good = kContent + "\\ABCD1234\\good.htm";
  const std::vector<std::string> canaries = {
      kContent + "\\canary.txt", kContent + "\\ABCD1234\\canary.txt",
      "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files\\canary.txt",
      "C:\\canary.txt", documents + "\\canary.txt"};
  for (const std::string& file : canaries)
    f.PutFile(file);
  f.PutFile(good);
  f.Open();

  const std::vector<TSeen> seen = f.Walk();
  ASSERT_EQ(seen.size(), std::size(cases));
  for (std::size_t i = 0; i < seen.size(); ++i)
    EXPECT_EQ(seen[i].local, cases[i].local.empty() ? "<null>" : cases[i].local) << i;
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_TRUE(DeleteUrlCacheEntry("http://x/" + std::to_string(i))) << i;
  EXPECT_TRUE(f.UrlsInFile(kContent).empty());
  EXPECT_FALSE(f.Exists(good));
  for (const std::string& file : canaries)
    EXPECT_TRUE(f.Exists(file)) << file;
}

// Inside a walk the file stays as it is until the walk closes; outside one it is written at
// once. Either way the file is then a valid index.dat without the records, and the cached files
// are gone.
TEST(ImageUrlCache, DeletesRecordsAndTheirFilesInsideAndOutsideAWalk) {
  const std::vector<std::string> deleted = {kUsualUrls[0], kUsualUrls[2], kUsualUrls[4]};
  const std::vector<std::string> kept = {kUsualUrls[1], kUsualUrls[3], kUsualUrls[5]};
  for (const bool inWalk : {false, true}) {
    SCOPED_TRACE(inWalk ? "inside a walk" : "outside a walk");
    TCacheImage f;
    f.PutUsualContainers();
    f.Open();
    const std::string content = f.Index(kContent);
    if (inWalk) {
      f.Walk({}, nullptr, [&](const TSeen& seen) {
        if (std::find(deleted.begin(), deleted.end(), seen.url) == deleted.end())
          return;
        EXPECT_TRUE(DeleteUrlCacheEntry(seen.url));
        EXPECT_TRUE(f.Index(kContent) == content);
        EXPECT_TRUE(f.Exists(kContent + "\\ABCD1234\\p[1].gif"));
      });
    } else {
      for (const std::string& url : deleted) {
        EXPECT_TRUE(DeleteUrlCacheEntry(url));
        EXPECT_TRUE(f.Index(kContent) != content);
      }
    }
    EXPECT_EQ(f.UrlsInFile(kContent), std::vector<std::string>{kUsualUrls[1]});
    EXPECT_TRUE(f.UrlsInFile(kCookies).empty());
    EXPECT_TRUE(f.UrlsInFile(kDay1).empty());
    EXPECT_EQ(f.Urls(), kept);
    EXPECT_FALSE(f.Exists(kContent + "\\ABCD1234\\p[1].gif"));
    EXPECT_FALSE(f.Exists(kCookies + "\\alice@a.example[1].txt"));
    for (const std::string& folder : {kContent, kCookies, kDay1})
      f.ExpectMsiecfAgrees(folder);

    for (const std::string& url : {deleted[0], std::string("http://nowhere/")}) {
      EXPECT_FALSE(DeleteUrlCacheEntry(url));
      EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
      EXPECT_FALSE(UnlockUrlCacheEntryFile(url, 0));
    }
    EXPECT_TRUE(UnlockUrlCacheEntryFile(kept[0], 0));
  }
}

// A locked or read-only index.dat refuses the delete itself; one locked only after the delete
// was accepted in a walk fails the walk's close. Nothing changes either way.
TEST(ImageUrlCache, ALockedOrReadOnlyContainerKeepsItsEntries) {
  enum TBlock { RecordLock, WholeFileLock, ReadOnly };
  struct TCase {
    const char* name;
    TBlock block;
    bool inWalk, blockAfterDelete;
    DWORD error;
  } const cases[] = {
      {"record lock", RecordLock, false, false, ERROR_SHARING_VIOLATION},
      {"whole-file lock in a walk", WholeFileLock, true, false, ERROR_SHARING_VIOLATION},
      {"read-only", ReadOnly, false, false, ERROR_ACCESS_DENIED},
      {"read-only in a walk", ReadOnly, true, false, ERROR_ACCESS_DENIED},
      {"locked before the walk closes", RecordLock, true, true, ERROR_SHARING_VIOLATION},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCacheImage f;
    f.PutUsualContainers();
    f.Open();
    const std::string content = f.Index(kContent);
    const std::string host = f.Host(kContent + "\\index.dat");
    std::unique_ptr<kit::TFileHolder> holder;
    const auto block = [&] {
      if (c.block == ReadOnly)
        ASSERT_EQ(chmod(host.c_str(), 0444), 0);
      else
        holder = std::make_unique<kit::TFileHolder>(host, c.block == RecordLock
                                                              ? kit::TFileHolder::RecordLock
                                                              : kit::TFileHolder::WholeFileLock);
    };
    if (!c.blockAfterDelete)
      block();
    DWORD deleteError = ERROR_SUCCESS;
    const auto remove = [&] {
      if (!DeleteUrlCacheEntry(kUsualUrls[0]))
        deleteError = GetLastError();
    };
    DWORD walkResult = ERROR_SUCCESS;
    if (c.inWalk)
      f.Walk({}, &walkResult, [&](const TSeen& seen) {
        if (seen.url != kUsualUrls[0])
          return;
        remove();
        if (c.blockAfterDelete)
          block();
      });
    else
      remove();
    EXPECT_EQ(c.blockAfterDelete ? walkResult : deleteError, c.error);
    EXPECT_EQ(c.blockAfterDelete ? deleteError : walkResult, DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(f.Index(kContent) == content);
    EXPECT_TRUE(f.Exists(kContent + "\\ABCD1234\\p[1].gif"));
    EXPECT_EQ(f.Urls().front(), kUsualUrls[0]);
  }
}

// A container that is damaged or cannot be read hides none of the others: the walk hands out
// their entries and then answers the container's error once.
TEST(ImageUrlCache, ADamagedContainerIsReportedAfterTheOthers) {
  struct TCase {
    const char* name;
    std::function<void(TCacheImage&)> spoil;
    DWORD error;
  } const cases[] = {
      {"missing", [](TCacheImage& f) { fs::remove(f.Host(kCookies + "\\index.dat")); },
       ERROR_NO_MORE_ITEMS},
      {"no index.dat at all",
       [](TCacheImage& f) { f.PutFile(kCookies + "\\index.dat", std::string(4096, 'x')); },
       ERROR_FILE_CORRUPT},
      {"a folder",
       [](TCacheImage& f) {
         fs::remove(f.Host(kCookies + "\\index.dat"));
         fs::create_directory(f.Host(kCookies + "\\index.dat"));
       },
       ERROR_ACCESS_DENIED},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCacheImage f;
    f.PutUsualContainers();
    c.spoil(f);
    f.Open();
    std::vector<std::uint64_t> buffer(64);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    const DWORD whole = sizeof(buffer[0]) * buffer.size();
    DWORD size = whole;
    const THandleValue find = f.Cache().FindFirst("", entry, size);
    ASSERT_NE(find, 0u);
    std::vector<std::string> urls = {entry->lpszSourceUrlName};
    while (f.Cache().FindNext(find, entry, size = whole))
      urls.emplace_back(entry->lpszSourceUrlName);
    EXPECT_EQ(f.LastError(), c.error);
    EXPECT_FALSE(f.Cache().FindNext(find, entry, size = whole));
    EXPECT_EQ(f.LastError(), DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(f.Cache().FindEnd(find));
    std::vector<std::string> expected = kUsualUrls;
    expected.erase(expected.begin() + 2);
    EXPECT_EQ(urls, expected);
  }
}

} // namespace
} // namespace quillon::test
