#include "discovery/EntryRows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace quillon;
using Row = std::vector<std::string>;

namespace {

// ISO dates, 24-hour times.
const TFormatSettings kIso;

TDateTime Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  TDateTime date = 0, time = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, date));
  EXPECT_TRUE(TryEncodeTime(h, n, s, 0, time));
  return date + time;
}

const TDateTime kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(EntryRowTexts, CacheAndCookiesJoinHostAndPathAndLeaveAbsentDatesEmpty) {
  TCacheItem item;
  item.Host = "www.example.org";
  item.Path = "/img/logo.png";
  item.Name = "sid";
  item.LastAccess = Date(2010, 5, 4, 13, 2, 1);
  item.Expires = 0;
  EXPECT_EQ(EntryRowTexts(ctCache, item, kIso),
            (Row{"www.example.org/img/logo.png", "2010-05-04 13:02:01", ""}));
  item.Expires = Date(2011, 1, 1);
  EXPECT_EQ(EntryRowTexts(ctCookies, item, kIso),
            (Row{"www.example.org/img/logo.png", "sid", "2011-01-01"}));
}

TEST(EntryRowTexts, HistoryShowsAQuestionMarkForWhatIsAbsent) {
  TCacheItem item;
  EXPECT_EQ(EntryRowTexts(ctHistory, item, kIso), (Row{"?", "?", "?"}));
  item.Host = "http://example.org";
  item.LastAccess = Date(2009, 12, 31, 23, 59, 59);
  EXPECT_EQ(EntryRowTexts(ctHistory, item, kIso),
            (Row{"http://example.org", "2009-12-31 23:59:59", "?"}));
}

TEST(EntryRowTexts, ADateWithoutCalendarFormShowsQuestionAndExclamationMark) {
  TCacheItem item;
  item.LastAccess = kNaN;
  item.Expires = 1e9; // far beyond the year 9999
  EXPECT_EQ(EntryRowTexts(ctCache, item, kIso), (Row{"", "?!", "?!"}));
  EXPECT_EQ(EntryRowTexts(ctHistory, item, kIso), (Row{"?", "?!", "?!"}));
  EXPECT_EQ(EntryRowTexts(ctBookmarks, item, kIso), (Row{"\\", "", "?!", "?!"}));
}

TEST(EntryRowTexts, StartPagesShowTheRegistryViewAsANumber) {
  TCacheItem item;
  item.Content = "http://www.example.org/";
  item.Name = "Software\\Microsoft\\Internet Explorer\\Main\\Start Page";
  EXPECT_EQ(EntryRowTexts(ctPages, item, kIso), (Row{"http://www.example.org/", "32", item.Name}));
  item.AccessBits = 64;
  EXPECT_EQ(EntryRowTexts(ctPages, item, kIso)[1], "64");
}

TEST(EntryRowTexts, BookmarksShowFolderAndNameThenAddressAndBothDates) {
  TCacheItem item;
  item.Path = "Toolbar\\News";
  item.Name = "Example";
  item.Host = "http://example.org/";
  item.LastAccess = Date(2008, 2, 29, 8, 0, 0);
  item.Expires = Date(2007, 7, 1);
  EXPECT_EQ(
      EntryRowTexts(ctBookmarks, item, kIso),
      (Row{"Toolbar\\News\\Example", "http://example.org/", "2008-02-29 08:00:00", "2007-07-01"}));
}

TEST(EntryColumns, EveryRowHasOneTextPerColumn) {
  TCacheItem item;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    EXPECT_EQ(EntryRowTexts(kind, item, kIso).size(), EntryColumns(kind).size()) << k;
  }
  EXPECT_EQ(EntryCellText(ctCache, item, 3, kIso), "");
}

TEST(EntryColumns, OnlyTheStartPageLocationIsRightAligned) {
  const auto pages = EntryColumns(ctPages);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[2].Caption, "Location");
  EXPECT_EQ(pages[2].Width, 200);
  EXPECT_EQ(pages[2].Align, TColumnAlign::Right);
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto columns = EntryColumns(static_cast<TCacheType>(k));
    for (std::size_t c = 0; c < columns.size(); ++c)
      if (!(k == ctPages && c == 2)) {
        EXPECT_EQ(columns[c].Align, TColumnAlign::Left) << k << " " << c;
      }
  }
}
