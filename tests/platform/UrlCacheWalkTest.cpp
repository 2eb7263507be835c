// The one walk over the URL cache: every entry handed over whole, the walk's end reported as the
// cache reported it, and the walk always closed.

#include "platform/UrlCacheWalk.h"
#include "winapi/FakeUrlCache.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quillon {
namespace {

using namespace winapi;

struct TWalkFixture {
  TWalkFixture() : api(std::make_shared<TWinApi>()), scope(api) {
    cache = std::make_shared<test::TFakeUrlCache>(api->lastError);
    api->urlCache = cache;
  }
  std::shared_ptr<TWinApi> api;
  TWinApiScope scope;
  std::shared_ptr<test::TFakeUrlCache> cache;
};

TUrlCacheEntryData Entry(std::string url, std::string file = {}) {
  TUrlCacheEntryData e;
  e.SourceUrl = std::move(url);
  e.LocalFile = std::move(file);
  e.EntryType = NORMAL_CACHE_ENTRY;
  e.Size = 0x100000002ull;
  return e;
}

TEST(UrlCacheWalkTest, HandsOverEveryEntryWhole) {
  TWalkFixture f;
  f.cache->Entries = {Entry("http://a/1.gif", "C:\\c\\ABCD1234\\1[1].gif"), Entry("Visited: x"),
                      Entry("Cookie:alice@b/")};
  f.cache->Entries[0].Headers = "HTTP/1.1 200 OK\r\n";
  std::vector<std::string> urls;
  const DWORD result = WalkUrlCache("", [&](const INTERNET_CACHE_ENTRY_INFOA& e) {
    urls.emplace_back(e.lpszSourceUrlName);
    if (urls.size() == 1) {
      EXPECT_STREQ(e.lpszLocalFileName, "C:\\c\\ABCD1234\\1[1].gif");
      EXPECT_EQ(std::string(e.lpHeaderInfo, e.dwHeaderInfoSize), "HTTP/1.1 200 OK\r\n");
    } else {
      EXPECT_EQ(e.lpszLocalFileName, nullptr); // no file: no text, not an empty one
    }
    EXPECT_EQ(e.dwSizeHigh, 1u);
    EXPECT_EQ(e.dwSizeLow, 2u);
    return true;
  });
  EXPECT_EQ(result, DWORD(ERROR_SUCCESS));
  EXPECT_EQ(urls, (std::vector<std::string>{"http://a/1.gif", "Visited: x", "Cookie:alice@b/"}));
  EXPECT_EQ(f.cache->Closes, 1);
}

TEST(UrlCacheWalkTest, ReportsHowTheWalkEnded) {
  struct TCase {
    const char* name;
    std::size_t entries;
    DWORD walkError, closeError;
    DWORD expected;
    std::size_t visited;
    int closes;
  } const cases[] = {
      {"empty cache", 0, 0, 0, ERROR_SUCCESS, 0, 0},
      {"one entry", 1, 0, 0, ERROR_SUCCESS, 1, 1},
      {"damage after the entries", 2, 1392, 0, 1392, 2, 1},
      {"deletions not written at close", 2, 0, ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, 2,
       1},
      {"the walk's error wins over the close's", 1, ERROR_ACCESS_DENIED, ERROR_WRITE_FAULT,
       ERROR_ACCESS_DENIED, 1, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TWalkFixture f;
    for (std::size_t i = 0; i < c.entries; ++i)
      f.cache->Entries.push_back(Entry("http://e/" + std::to_string(i)));
    f.cache->WalkError = c.walkError;
    f.cache->CloseError = c.closeError;
    std::size_t visited = 0;
    EXPECT_EQ(WalkUrlCache("", [&](const INTERNET_CACHE_ENTRY_INFOA&) { return ++visited, true; }),
              c.expected);
    EXPECT_EQ(visited, c.visited);
    EXPECT_EQ(f.cache->Closes, c.closes);
  }
}

TEST(UrlCacheWalkTest, StopsWhenAskedAndAllowsDeletingTheVisitedEntry) {
  TWalkFixture f;
  f.cache->Entries = {Entry("a"), Entry("b"), Entry("c")};
  std::vector<std::string> urls;
  WalkUrlCache("", [&](const INTERNET_CACHE_ENTRY_INFOA& e) {
    urls.emplace_back(e.lpszSourceUrlName);
    EXPECT_TRUE(DeleteUrlCacheEntry(e.lpszSourceUrlName));
    return urls.size() < 2;
  });
  EXPECT_EQ(urls, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.cache->Deleted, urls);
  EXPECT_EQ(f.cache->Closes, 1);
}

TEST(UrlCacheWalkTest, AVisitThatThrowsStillClosesTheWalk) {
  TWalkFixture f;
  f.cache->Entries = {Entry("a"), Entry("b")};
  EXPECT_THROW(WalkUrlCache("",
                            [](const INTERNET_CACHE_ENTRY_INFOA&) -> bool {
                              throw std::runtime_error("visit failed");
                            }),
               std::runtime_error);
  EXPECT_EQ(f.cache->Closes, 1);
}

TEST(UrlCacheWalkTest, ProbeAnswersTheSizeAndFillsOnlyABufferThatHoldsIt) {
  TUrlCacheEntryData e = Entry("http://x/", "C:\\f");
  DWORD size = 0;
  EXPECT_FALSE(FillUrlCacheEntry(e, nullptr, size));
  EXPECT_EQ(size, sizeof(INTERNET_CACHE_ENTRY_INFOA) + 10 + 5);
  std::vector<std::uint64_t> words(size / 8 + 1);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(words.data());
  DWORD small = size - 1;
  EXPECT_FALSE(FillUrlCacheEntry(e, info, small));
  EXPECT_EQ(small, size);
  EXPECT_EQ(info->lpszSourceUrlName, nullptr); // untouched
  ASSERT_TRUE(FillUrlCacheEntry(e, info, size));
  EXPECT_STREQ(info->lpszSourceUrlName, "http://x/");
  EXPECT_STREQ(info->lpszLocalFileName, "C:\\f");
  EXPECT_EQ(info->dwStructSize, sizeof(INTERNET_CACHE_ENTRY_INFOA));
}

TEST(UrlCacheWalkTest, SystemWithoutACacheIsEmpty) {
  TWinApiScope scope(std::make_shared<TWinApi>());
  int visited = 0;
  EXPECT_EQ(WalkUrlCache("", [&](const INTERNET_CACHE_ENTRY_INFOA&) { return ++visited, true; }),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(visited, 0);
}

} // namespace
} // namespace quillon
