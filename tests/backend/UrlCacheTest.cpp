// The current user's URL cache, walked and changed as the program does, against the system under
// test. Only the entries a test committed are looked at: a running system has its own.

#include "backend/SystemFixture.h"
#include "winapi/TextCase.h"

#include <algorithm>
#include <string>
#include <vector>

namespace quillon::test {
namespace {

using namespace winapi;

constexpr const char* kMarker = "quillon.test";

struct TSeeded {
  std::vector<TUrlCacheSeed> content, cookies, visited;
};

TSeeded Seed(const std::string& user) {
  const DWORD normal = NORMAL_CACHE_ENTRY;
  const DWORD cookie = NORMAL_CACHE_ENTRY | COOKIE_CACHE_ENTRY;
  const DWORD visited = NORMAL_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY;
  TSeeded s;
  s.content = {{"http://www.quillon.test/index.html", normal, "<html>index</html>"},
               {"http://www.quillon.test/a/long/path/to/a/picture.png", normal, "PNG"}};
  s.cookies = {{"Cookie:" + user + "@quillon.test/", cookie, "sid\n1\nquillon.test/\n"},
               {"Cookie:" + user + "@www.quillon.test/shop", cookie, "cart\n2\nquillon.test/\n"}};
  s.visited = {{"Visited: " + user + "@http://www.quillon.test/index.html", visited, ""},
               {"Visited: " + user + "@http://quillon.test/?q=x", visited, ""}};
  return s;
}

std::vector<std::string> UrlsOf(const std::vector<TUrlCacheSeed>& seeds) {
  std::vector<std::string> urls;
  for (const TUrlCacheSeed& s : seeds)
    urls.push_back(s.Url);
  std::sort(urls.begin(), urls.end());
  return urls;
}

struct TWalked {
  std::string url;
  std::string localFile;
  DWORD entryType = 0;
};

// Walks the pattern as the program does: each call first asks for the size with a buffer one byte
// too small, then reads. Only the test's entries are kept, sorted by URL.
std::vector<TWalked> Walk(const std::string& pattern, DWORD& error) {
  std::vector<TWalked> seen;
  std::vector<std::uint64_t> words(8);
  const auto entry = [&] { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(words.data()); };
  DWORD size = 0;
  HANDLE find = FindFirstUrlCacheEntry(pattern, nullptr, size);
  error = find == 0 ? GetLastError() : ERROR_SUCCESS;
  if (find != 0 || error != ERROR_INSUFFICIENT_BUFFER)
    return seen;
  EXPECT_GT(size, sizeof(INTERNET_CACHE_ENTRY_INFOA));
  bool more = true;
  for (int guard = 0; more && guard < 100000; ++guard) {
    words.assign(size / sizeof(std::uint64_t) + 1, 0);
    DWORD tooSmall = size - 1;
    if (find == 0) {
      EXPECT_EQ(FindFirstUrlCacheEntry(pattern, entry(), tooSmall), HANDLE(0));
    } else {
      EXPECT_FALSE(FindNextUrlCacheEntry(find, entry(), tooSmall));
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tooSmall, size);
    if (find == 0) {
      find = FindFirstUrlCacheEntry(pattern, entry(), size);
      more = find != 0;
    } else {
      more = FindNextUrlCacheEntry(find, entry(), size);
    }
    if (!more)
      break;
    const INTERNET_CACHE_ENTRY_INFOA& e = *entry();
    const std::string url = e.lpszSourceUrlName != nullptr ? e.lpszSourceUrlName : "";
    if (url.find(kMarker) != std::string::npos)
      seen.push_back(
          {url, e.lpszLocalFileName != nullptr ? e.lpszLocalFileName : "", e.CacheEntryType});
    // The size the next entry needs is asked for again.
    size = 0;
    more = FindNextUrlCacheEntry(find, nullptr, size);
    EXPECT_FALSE(more);
    more = GetLastError() == ERROR_INSUFFICIENT_BUFFER;
  }
  error = GetLastError();
  if (find != 0) {
    EXPECT_TRUE(FindCloseUrlCache(find));
  }
  std::sort(seen.begin(), seen.end(),
            [](const TWalked& a, const TWalked& b) { return a.url < b.url; });
  return seen;
}

std::vector<std::string> UrlsOf(const std::vector<TWalked>& walked) {
  std::vector<std::string> urls;
  for (const TWalked& w : walked)
    urls.push_back(w.url);
  return urls;
}

class UrlCacheTest : public SystemTest {
protected:
  // Two entries in each of the running user's containers.
  TSeeded SeedEveryContainer();
};

TSeeded UrlCacheTest::SeedEveryContainer() {
  std::string user;
  EXPECT_TRUE(GetUserName(user));
  TSeeded s = Seed(user);
  for (const auto* seeds : {&s.content, &s.cookies, &s.visited})
    AddUrlCacheEntries(*seeds);
  return s;
}

TEST_F(UrlCacheTest, PatternsWalkTheirContainersWithSizeProbes) {
  const TSeeded s = SeedEveryContainer();

  std::vector<TUrlCacheSeed> everything = s.content;
  everything.insert(everything.end(), s.cookies.begin(), s.cookies.end());
  everything.insert(everything.end(), s.visited.begin(), s.visited.end());
  // Wine matches a pattern against its containers' prefixes ("Cookie:", "Visited:") with regard to
  // case, so the patterns WinINet documents find nothing there.
  const struct {
    const char* pattern;
    std::vector<std::string> urls;
    bool wineDeparts = false;
  } cases[] = {
      {"", UrlsOf(everything)},
      {"*", UrlsOf(everything)},
      {"cookie:", UrlsOf(s.cookies), true},
      {"visited:", UrlsOf(s.visited), true},
  };
  std::string skipped;
  for (const auto& c : cases) {
    if (c.wineDeparts && IsWine()) {
      skipped += std::string(" \"") + c.pattern + "\"";
      continue;
    }
    DWORD error = 0;
    const std::vector<TWalked> walked = Walk(c.pattern, error);
    EXPECT_EQ(UrlsOf(walked), c.urls) << '"' << c.pattern << '"';
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << '"' << c.pattern << '"';
    for (const TWalked& w : walked) {
      const bool isCookie = StartsWithTextAscii(w.url, "Cookie:");
      const bool isVisited = StartsWithTextAscii(w.url, "Visited:");
      EXPECT_EQ((w.entryType & COOKIE_CACHE_ENTRY) != 0, isCookie) << w.url;
      EXPECT_EQ((w.entryType & URLHISTORY_CACHE_ENTRY) != 0, isVisited) << w.url;
      // Content and cookie entries name their local file, which holds what was cached.
      std::string data;
      EXPECT_EQ(!w.localFile.empty() && ReadWholeFile(w.localFile, data), !isVisited) << w.url;
    }
  }
  if (!skipped.empty())
    GTEST_SKIP() << "Wine compares URL-cache patterns with regard to case:" << skipped;
}

TEST_F(UrlCacheTest, DeleteUrlCacheEntryRemovesTheEntryAndItsFile) {
  const TSeeded s = SeedEveryContainer();
  DWORD error = 0;
  // Sorted: two cookies, two history entries, two content entries.
  const std::vector<TWalked> before = Walk("", error);
  ASSERT_EQ(before.size(), 6u);

  for (const std::size_t gone : {0u, 2u, 4u}) {
    EXPECT_TRUE(DeleteUrlCacheEntry(before[gone].url))
        << before[gone].url << ": " << GetLastError();
    if (!before[gone].localFile.empty()) {
      EXPECT_FALSE(FileExists(before[gone].localFile)) << before[gone].localFile;
    }
  }
  EXPECT_FALSE(DeleteUrlCacheEntry(before[0].url));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  const std::vector<TWalked> after = Walk("", error);
  EXPECT_EQ(UrlsOf(after), (std::vector<std::string>{before[1].url, before[3].url, before[5].url}));
  for (const TWalked& kept : after) {
    if (!kept.localFile.empty()) {
      EXPECT_TRUE(FileExists(kept.localFile)) << kept.localFile;
    }
  }
}

TEST_F(UrlCacheTest, ClosedOrUnknownWalksAreInvalidHandles) {
  std::string user;
  ASSERT_TRUE(GetUserName(user));
  AddUrlCacheEntries(Seed(user).cookies);
  std::vector<std::uint64_t> words(512);
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(words.data());
  DWORD size = static_cast<DWORD>(words.size() * sizeof(std::uint64_t));
  const HANDLE find = FindFirstUrlCacheEntry("", entry, size);
  ASSERT_NE(find, HANDLE(0)) << GetLastError();
  ASSERT_TRUE(FindCloseUrlCache(find));
  size = static_cast<DWORD>(words.size() * sizeof(std::uint64_t));
  EXPECT_FALSE(FindNextUrlCacheEntry(find, entry, size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindCloseUrlCache(find));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
} // namespace quillon::test
