#include "discovery/EntryOrder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using namespace quillon;
using Positions = std::vector<int>;

namespace {

const TFormatSettings kIso;
const TDateTime kNaN = std::numeric_limits<double>::quiet_NaN();

// A list filled by a setter per entry, so that each case names only the field it sorts by.
template <typename T>
void Fill(TCacheList& list, const std::vector<T>& values,
          const std::function<void(TCacheItem&, const T&)>& set) {
  for (const T& value : values)
    set(list.Add(), value);
}

Positions Order(TCacheType kind, const TCacheList& list, int column, bool descending,
                const std::string& filter = {}, int count = -1) {
  return OrderEntries(kind, list, count < 0 ? list.Count() : count, {column, descending, filter},
                      kIso);
}

} // namespace

TEST(EntryOrder, TextsSortWithoutRegardToCaseAndKeepListOrderOfEqualKeys) {
  struct TCase {
    const char* name;
    std::vector<std::string> hosts;
    Positions ascending, descending;
  };
  const std::vector<TCase> cases = {
      {"case folds, ties in list order both ways",
       {"b.org", "A.org", "a.org", "B.org", "c"},
       {1, 2, 0, 3, 4},
       {4, 0, 3, 1, 2}},
      // The first eight bytes are equal: the rest decides, and a prefix comes first.
      {"beyond the first eight bytes",
       {"http://example.org/b", "HTTP://example.org", "http://example.org/A"},
       {1, 2, 0},
       {0, 2, 1}},
      {"Latin-1 capitals fold in UTF-8",
       {"\xC3\xA9lan", "zed", "\xC3\x89LAN"},
       {1, 0, 2},
       {0, 2, 1}},
      {"embedded NUL is a byte, not an end",
       {std::string("ab\0c", 4), "ab", std::string("ab\0", 3)},
       {1, 2, 0},
       {0, 2, 1}},
  };
  for (const TCase& c : cases) {
    TCacheList list;
    Fill<std::string>(list, c.hosts,
                      [](TCacheItem& item, const std::string& host) { item.Host = host; });
    EXPECT_EQ(Order(ctCookies, list, 0, false), c.ascending) << c.name;
    EXPECT_EQ(Order(ctCookies, list, 0, true), c.descending) << c.name;
  }
}

TEST(EntryOrder, DatesSortByValueWithTheAbsentDateFirstAndNoDateLast) {
  TCacheList list;
  Fill<TDateTime>(list, {5.0, 0, -1.5, kNaN, 3.25, 0, 1e300},
                  [](TCacheItem& item, const TDateTime& date) {
                    item.LastAccess = date;
                    item.Expires = -date;
                  });
  EXPECT_EQ(Order(ctHistory, list, 1, false), (Positions{1, 5, 2, 4, 0, 6, 3}));
  EXPECT_EQ(Order(ctHistory, list, 1, true), (Positions{3, 6, 0, 4, 2, 1, 5}));
  // Expires holds the negated dates: the order turns, the absent and valueless ones stay put.
  EXPECT_EQ(Order(ctCache, list, 2, false), (Positions{1, 5, 6, 0, 4, 2, 3}));
  // Bookmarks show the last access in their third column.
  EXPECT_EQ(Order(ctBookmarks, list, 2, false), Order(ctHistory, list, 1, false));
}

TEST(EntryOrder, EachColumnSortsByWhatItShows) {
  TCacheList list;
  auto add = [&list](const char* host, const char* path, const char* name, int bits) {
    TCacheItem& item = list.Add();
    item.Host = host;
    item.Path = path;
    item.Name = name;
    item.Content = name;
    item.AccessBits = static_cast<std::uint8_t>(bits);
  };
  add("b", "/1", "z", 100);
  add("", "", "y", 9);
  add("a", "/2", "x", 64);
  struct TCase {
    TCacheType kind;
    int column;
    Positions ascending;
  };
  for (const TCase& c : std::vector<TCase>{
           {ctCookies, 1, {2, 1, 0}},   // Name
           {ctPages, 1, {1, 2, 0}},     // AB as a number, not "100" < "64" < "9"
           {ctPages, 0, {2, 1, 0}},     // Content
           {ctHistory, 0, {1, 2, 0}},   // an empty host shows and sorts as "?"
           {ctBookmarks, 0, {0, 2, 1}}, // "/1\z" < "/2\x" < "\y": Path, "\", Name
           {ctBookmarks, 1, {1, 2, 0}}, // URL: the host
       })
    EXPECT_EQ(Order(c.kind, list, c.column, false), c.ascending) << c.kind << "/" << c.column;
}

TEST(EntryOrder, TheFilterKeepsEntriesWithACellThatContainsIt) {
  TCacheList list;
  auto add = [&list](const char* host, const char* path, const char* name, TDateTime expires) {
    TCacheItem& item = list.Add();
    item.Host = host;
    item.Path = path;
    item.Name = name;
    item.Expires = expires;
  };
  add("www.Example.org", "/login", "SID", 40000); // 2009-07-06
  add("ads.example.com", "/", "uid", 0);          // no date
  add("news.example.net", "/2009-07", "\xC3\x89t\xC3\xA9", 0);
  struct TCase {
    std::string filter;
    Positions kept;
  };
  for (const TCase& c : std::vector<TCase>{
           {"EXAMPLE", {0, 1, 2}},
           {"org/log", {0}},           // across host and path: one cell
           {"/logsid", {}},            // never across two cells
           {"2009-07", {0, 2}},        // the date text and a path
           {"\xC3\xA9T\xC3\x89", {2}}, // Latin-1 letters in either case
           {"nothing", {}},
       })
    EXPECT_EQ(Order(ctCookies, list, -1, false, c.filter), c.kept) << c.filter;
}

TEST(EntryOrder, FilterAndSortApplyTogetherToTheCountedEntriesOnly) {
  TCacheList list;
  Fill<std::string>(list, {"d.example", "other", "b.example", "a.example", "c.example"},
                    [](TCacheItem& item, const std::string& host) { item.Host = host; });
  EXPECT_EQ(Order(ctCache, list, 0, true, "example"), (Positions{0, 4, 2, 3}));
  // Only the entries the view counts: a list that grew since the last refresh shows no more.
  EXPECT_EQ(Order(ctCache, list, 0, false, "", 3), (Positions{2, 0, 1}));
  // A list that shrank behind the count offers what it has.
  EXPECT_EQ(Order(ctCache, list, -1, false, "", 9), (Positions{0, 1, 2, 3, 4}));
  // Nothing or one entry left to sort.
  EXPECT_EQ(Order(ctCache, list, 0, false, "", 0), Positions{});
  EXPECT_EQ(Order(ctCache, list, 0, false, "other"), Positions{1});
}

// Dates are matched in the form the list shows them, also where that form names the month.
TEST(EntryOrder, TheFilterMatchesDatesAsTheyAreShown) {
  TFormatSettings named;
  named.ShortDateFormat = "dd mmm yyyy";
  named.LongTimeFormat = "h:nn am/pm";
  TCacheList list;
  for (const TDateTime date : {40000.75, 0.0}) { // 2009-07-06 18:00, none ("?")
    TCacheItem& item = list.Add();
    item.Host = "x";
    item.LastAccess = date;
    item.Expires = 1;
  }
  struct TCase {
    const TFormatSettings& settings;
    std::string filter;
    Positions kept;
  };
  for (const TCase& c : std::vector<TCase>{{kIso, "2009-07-06 18:00", {0}},
                                           {kIso, "jul", {}},
                                           {named, "06 JUL 2009", {0}},
                                           {named, "6:00 pm", {0}},
                                           {kIso, "?", {1}}})
    EXPECT_EQ(OrderEntries(ctHistory, list, 2, {-1, false, c.filter}, c.settings), c.kept)
        << c.filter;
}
