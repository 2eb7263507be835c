// The IE cache list: what a load keeps of each entry and of a walk that fails, the type text, the
// eleven sort orders and the texts of a row.

#include "formats/BrowserCacheIE.h"
#include "winapi/FakeUrlCache.h"
#include "winapi/image/ImageTimeLocale.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quillon {
namespace {

using namespace winapi;
using Texts = std::vector<std::string>;

// Times stay UTC; texts order as the image's locale orders them, without regard to case.
class TCaseFoldUtc final : public TTimeLocaleService {
public:
  bool MakesKeys = true;
  std::uint32_t TimeZone(TTimeZoneInfo& info) override { return info = {}, TIME_ZONE_ID_UNKNOWN; }
  bool ToLocalFileTime(const TFileTime& utc, TFileTime& local) override {
    local = utc;
    return true;
  }
  int Compare(std::uint32_t l, std::uint32_t f, std::string_view a, std::string_view b) override {
    return image_.Compare(l, f, a, b);
  }
  int SortKey(std::uint32_t l, std::uint32_t f, std::string_view s, std::string& d) override {
    return MakesKeys ? image_.SortKey(l, f, s, d) : 0;
  }
  bool LocaleInfo(std::uint32_t, std::uint32_t, std::string&) override { return false; }

private:
  image::TImageTimeLocale image_;
};

struct TCacheFixture {
  TCacheFixture() : api(std::make_shared<TWinApi>()), scope(api) {
    cache = std::make_shared<test::TFakeUrlCache>(api->lastError);
    api->urlCache = cache;
    api->timeLocale = locale;
  }
  std::shared_ptr<TCaseFoldUtc> locale = std::make_shared<TCaseFoldUtc>();
  std::shared_ptr<TWinApi> api;
  TWinApiScope scope;
  std::shared_ptr<test::TFakeUrlCache> cache;
};

TUrlCacheEntryData Entry(std::string url) {
  TUrlCacheEntryData e;
  e.SourceUrl = std::move(url);
  e.EntryType = NORMAL_CACHE_ENTRY;
  return e;
}

// 2024-03-05 14:07:32 UTC and the TDateTime of that moment.
constexpr std::uint64_t kSomeFileTime = 133541212520000000ull;
constexpr TDateTime kSomeDate = 45356 + (14 * 3600 + 7 * 60 + 32) / kSecsPerDay;

Texts Urls(const TIECacheList& list) {
  Texts urls;
  for (int i = 0; i < list.Count(); ++i)
    urls.push_back(list.Items(i).SourceUrlName.str());
  return urls;
}

TEST(IECacheLoad, KeepsEveryReportedFieldOfAnEntry) {
  TCacheFixture f;
  TUrlCacheEntryData e = Entry("http://example.com/logo.gif");
  e.LocalFile = "C:\\Users\\alice\\Content.IE5\\ABCD1234\\logo[1].gif";
  e.Extension = "gif";
  e.Headers = "HTTP/1.1 200 OK\r\n";
  e.EntryType = NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY;
  e.UseCount = 3;
  e.HitRate = 7;
  e.Size = 0x100000005ull; // beyond 32 bits: the high word counts
  e.LastModified = U64ToFileTime(kSomeFileTime);
  e.Expire = U64ToFileTime(kSomeFileTime + 2 * 10000000ull);
  e.LastAccess = U64ToFileTime(kSomeFileTime + 4 * 10000000ull);
  e.LastSync = {}; // never synchronised: absent, not 1601
  f.cache->Entries = {e, Entry("")};

  TIECacheList list;
  list.LoadFromUrlCache();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.LoadError(), DWORD(ERROR_SUCCESS));
  const TIECacheItem& item = list.Items(0);
  EXPECT_EQ(item.SourceUrlName, "http://example.com/logo.gif");
  EXPECT_EQ(item.LocalFilename, e.LocalFile);
  EXPECT_EQ(item.FileExtension, "gif");
  EXPECT_EQ(item.CacheEntryType, 5u);
  EXPECT_EQ(item.UseCount, 3u);
  EXPECT_EQ(item.HitRate, 7u);
  EXPECT_EQ(item.Size, 0x100000005ll);
  EXPECT_DOUBLE_EQ(item.LastModifiedTime, kSomeDate);
  EXPECT_DOUBLE_EQ(item.ExpireTime, kSomeDate + 2 / kSecsPerDay);
  EXPECT_DOUBLE_EQ(item.LastAccessTime, kSomeDate + 4 / kSecsPerDay);
  EXPECT_EQ(item.LastSyncTime, 0);
  EXPECT_EQ(item.Collection(), &list);
  EXPECT_EQ(item.DisplayName(), "http://example.com/logo.gif");

  // The second entry handed out no texts at all.
  const TIECacheItem& bare = list.Items(1);
  EXPECT_TRUE(bare.SourceUrlName.empty() && bare.LocalFilename.empty() &&
              bare.FileExtension.empty());
  EXPECT_EQ(bare.DisplayName(), "TIECacheItem");
  EXPECT_EQ(bare.Index(), 1);
}

TEST(IECacheLoad, KeepsWhatWasReadAndReportsHowTheWalkEnded) {
  struct TCase {
    const char* name;
    std::size_t entries;
    DWORD walkError, closeError;
    int count;
    DWORD loadError;
    const char* message;
  } const cases[] = {
      {"empty cache", 0, 0, 0, 0, ERROR_SUCCESS, ""},
      {"one entry", 1, 0, 0, 1, ERROR_SUCCESS, ""},
      {"damaged after three entries", 3, ERROR_INVALID_DATA, 0, 3, ERROR_INVALID_DATA,
       "The URL cache could not be read to the end (3 entries read): The data is invalid."},
      {"close failed", 1, 0, ERROR_SHARING_VIOLATION, 1, ERROR_SHARING_VIOLATION,
       "The URL cache could not be read to the end (1 entry read): The process cannot access the "
       "file because it is being used by another process."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCacheFixture f;
    for (std::size_t i = 0; i < c.entries; ++i)
      f.cache->Entries.push_back(Entry("http://e/" + std::to_string(i)));
    f.cache->WalkError = c.walkError;
    f.cache->CloseError = c.closeError;
    TIECacheList list;
    list.Add().SourceUrlName = "left from before";
    list.LoadFromUrlCache();
    EXPECT_EQ(list.Count(), c.count);
    EXPECT_EQ(list.LoadError(), c.loadError);
    EXPECT_EQ(IECacheLoadMessage(list), c.message);
    if (c.count > 0) {
      EXPECT_EQ(list.Items(c.count - 1).SourceUrlName, "http://e/" + std::to_string(c.count - 1));
    }
    // A second load replaces the first and forgets its error once the cache is sound again.
    f.cache->WalkError = f.cache->CloseError = 0;
    list.LoadFromUrlCache();
    EXPECT_EQ(list.Count(), static_cast<int>(c.entries));
    EXPECT_EQ(list.LoadError(), DWORD(ERROR_SUCCESS));
  }
}

TEST(IECacheTypeText, WordsInTheirOrderThenTheUnknownRestInDecimal) {
  const struct {
    std::uint32_t flags;
    const char* text;
  } cases[] = {
      {0, ""},
      {0x5, "Normal,Sticky,"},
      {0x100040, "Cookie,64"},
      {0x200001, "History,Normal,"},
      {0x33003D, "Cookie,History,Edited,Normal,Sparse,Sticky,Offline,Online,OCX,"},
      {0x80000002, "2147483650"},
      {0xFFFFFFFF, "Cookie,History,Edited,Normal,Sparse,Sticky,Offline,Online,OCX,4291624898"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EntryTypeText(c.flags), c.text) << std::hex << c.flags;
}

TEST(IECacheSort, EachColumnOrdersByItsOwnField) {
  // Three entries a, b, c; each column gets values that order them differently from their load
  // order and from the other columns, so a sort by the wrong field shows.
  using TSet = std::function<void(TIECacheItem&, int)>;
  const struct {
    const char* column;
    TSet set;
    Texts expected;
  } cases[] = {
      {"source", [](TIECacheItem&, int) {}, {"a", "B", "c"}},
      {"local",
       [](TIECacheItem& i, int n) {
         i.LocalFilename = std::array{"C:\\x", "C:\\Y", "c:\\w"}[n];
       },
       {"c", "a", "B"}},
      // Numbers, not words: Normal (1) < Cookie (0x100000) < History (0x200000).
      {"type",
       [](TIECacheItem& i, int n) {
         i.CacheEntryType =
             std::array{URLHISTORY_CACHE_ENTRY, NORMAL_CACHE_ENTRY, COOKIE_CACHE_ENTRY}[n];
       },
       {"B", "c", "a"}},
      {"use",
       [](TIECacheItem& i, int n) {
         i.UseCount = std::array{10u, 9u, 100u}[n];
       },
       {"B", "a", "c"}},
      {"hits",
       [](TIECacheItem& i, int n) {
         i.HitRate = std::array{5u, 40u, 3u}[n];
       },
       {"c", "a", "B"}},
      {"size",
       [](TIECacheItem& i, int n) {
         i.Size = std::array{0x100000000ll, 2ll, 0xFFFFFFFFll}[n];
       },
       {"B", "c", "a"}},
      {"modified",
       [](TIECacheItem& i, int n) {
         i.LastModifiedTime = kSomeDate + std::array{2, 0, 1}[n];
       },
       {"B", "c", "a"}},
      {"expires",
       [](TIECacheItem& i, int n) {
         i.ExpireTime = kSomeDate - std::array{2, 0, 1}[n];
       },
       {"a", "c", "B"}},
      // Less than half a second apart is equal: a and b keep their order, c comes first.
      {"access",
       [](TIECacheItem& i, int n) {
         i.LastAccessTime = kSomeDate + std::array{0.4, 0.0, -1.0}[n] / kSecsPerDay;
       },
       {"c", "a", "B"}},
      {"sync",
       [](TIECacheItem& i, int n) {
         i.LastSyncTime = std::array{kSomeDate, 0.0, 1.0}[n];
       },
       {"B", "c", "a"}},
      {"extension",
       [](TIECacheItem& i, int n) {
         i.FileExtension = std::array{"JS", "", "gif"}[n];
       },
       {"B", "c", "a"}},
  };
  ASSERT_EQ(std::size(cases), std::size_t(kIECacheColumnCount));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    TCacheFixture f;
    TIECacheList list;
    // Load order b, c, a for the URL column itself; the others see a, B, c.
    const bool urlColumn = std::string_view(c.column) == "source";
    const Texts names = urlColumn ? Texts{"B", "c", "a"} : Texts{"a", "B", "c"};
    for (int n = 0; n < 3; ++n) {
      TIECacheItem& item = list.Add();
      item.SourceUrlName = names[static_cast<std::size_t>(n)];
      c.set(item, n);
    }
    const int column = IECacheColumnByName(c.column);
    ASSERT_GE(column, 0);
    list.SortByColumn(column);
    EXPECT_EQ(Urls(list), c.expected);
    for (int i = 0; i < list.Count(); ++i)
      EXPECT_EQ(list.Items(i).Index(), i);
    list.SortByColumn(column);
    EXPECT_EQ(Urls(list), c.expected) << "sorting again changed the order";
  }
}

TEST(IECacheSort, TextsIgnoreCaseAlsoWhereTheSystemMakesNoSortKeys) {
  for (const bool makesKeys : {true, false}) {
    SCOPED_TRACE(makesKeys ? "sort keys" : "comparisons");
    TCacheFixture f;
    f.locale->MakesKeys = makesKeys;
    TIECacheList list;
    for (const char* url : {"http://B/", "http://a/", "", "http://C/"})
      list.Add().SourceUrlName = url;
    list.SortBySourceUrlName();
    EXPECT_EQ(Urls(list), (Texts{"", "http://a/", "http://B/", "http://C/"}));
  }
}

TEST(IECacheSort, ColumnOutsideTheTableLeavesTheOrder) {
  TIECacheList list;
  for (const char* url : {"c", "a", "b"})
    list.Add().SourceUrlName = url;
  for (const int column : {-1, kIECacheColumnCount})
    list.SortByColumn(column);
  EXPECT_EQ(Urls(list), (Texts{"c", "a", "b"}));
  EXPECT_EQ(IECacheColumnByName("Source"), -1);
}

TEST(IECacheCells, RowTextsInColumnOrder) {
  TFormatSettings iso;
  TIECacheList list;
  TIECacheItem& item = list.Add();
  item.SourceUrlName = "http://x/a.css";
  item.LocalFilename = "C:\\c\\a[1].css";
  item.CacheEntryType = COOKIE_CACHE_ENTRY | 0x40;
  item.UseCount = 4294967295u;
  item.HitRate = 12;
  item.Size = 0x100000000ll;
  item.LastModifiedTime = kSomeDate;
  item.ExpireTime = 45356;   // midnight: the date alone
  item.LastAccessTime = 0;   // absent
  item.LastSyncTime = 1e300; // no calendar form
  item.FileExtension = "css";
  Texts row;
  for (int c = 0; c < kIECacheColumnCount; ++c)
    row.push_back(IECacheCellText(item, c, iso));
  EXPECT_EQ(row, (Texts{"http://x/a.css", "C:\\c\\a[1].css", "Cookie,64", "4294967295", "12",
                        "4294967296", "2024-03-05 14:07:32", "2024-03-05", "", "?!", "css"}));
  EXPECT_EQ(IECacheCellText(item, kIECacheColumnCount, iso), "");
}

} // namespace
} // namespace quillon
