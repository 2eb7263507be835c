#include "model/DateUtils.h"

#include "model/FakeTimeLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quillon;
using quillon::testing::TFakeTimeZone;

namespace {

TDateTime Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  TDateTime date = 0, time = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, date));
  EXPECT_TRUE(TryEncodeTime(h, n, s, 0, time));
  return date + time;
}

// The file time of a UTC calendar time.
winapi::FILETIME FileTimeOf(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  const double days = Date(y, m, d) - kUnixDateDelta;
  const auto seconds = static_cast<std::int64_t>(days) * 86400 + h * 3600 + n * 60 + s;
  return winapi::U64ToFileTime(static_cast<std::uint64_t>(seconds + 11644473600) * 10000000);
}

constexpr double kMinute = 1.0 / 1440;

// Unix times depend on the snapshot; each test sets the one it needs and leaves UTC behind.
class UnixTime : public ::testing::Test {
protected:
  void TearDown() override { SetTimeZoneSnapshot({}); }
};

} // namespace

TEST(Calendar, EncodesAgainstKnownDayNumbers) {
  EXPECT_DOUBLE_EQ(Date(1899, 12, 30), 0);
  EXPECT_DOUBLE_EQ(Date(1970, 1, 1), 25569);
  EXPECT_DOUBLE_EQ(Date(2000, 1, 1), 36526);
  EXPECT_DOUBLE_EQ(Date(2000, 1, 1, 18), 36526.75);
  TDateTime out = 123;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, out));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, out));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, out));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, out));
  EXPECT_FALSE(TryEncodeDate(2024, 0, 1, out));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, out));
  EXPECT_FALSE(TryEncodeTime(12, 0, 60, 0, out));
}

TEST(Calendar, DecodesNegativeDatesAndRejectsWhatHasNoCalendarForm) {
  TDateTimeParts parts;
  ASSERT_TRUE(TryDecodeDateTime(-1.25, parts));
  EXPECT_EQ(parts.Year, 1899);
  EXPECT_EQ(parts.Month, 12);
  EXPECT_EQ(parts.Day, 29);
  EXPECT_EQ(parts.Hour, 6);
  ASSERT_TRUE(TryDecodeDateTime(Date(2024, 3, 5, 23, 59, 59) + 0.999 / 86400, parts));
  EXPECT_EQ(parts.Second, 59);
  EXPECT_EQ(parts.MSec, 999);
  EXPECT_EQ(parts.DayOfWeek, 3); // a Tuesday
  EXPECT_FALSE(TryDecodeDateTime(std::nan(""), parts));
  EXPECT_FALSE(TryDecodeDateTime(std::numeric_limits<double>::infinity(), parts));
  EXPECT_FALSE(TryDecodeDateTime(Date(9999, 12, 31) + 1, parts));
  EXPECT_FALSE(TryDecodeDateTime(1e300, parts));
}

TEST(FileTimeToDateTime, KeepsOnlyTheDosRangeAndDropsOddSeconds) {
  TFakeTimeZone utc(0, 0, false);
  EXPECT_EQ(FileTimeToDateTime(winapi::FILETIME{}), 0);
  EXPECT_EQ(FileTimeToDateTime(FileTimeOf(1979, 12, 31, 23, 59, 58)), 0);
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(FileTimeOf(1980, 1, 1)), Date(1980, 1, 1));
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(FileTimeOf(2107, 12, 31, 23, 59, 58)),
                   Date(2107, 12, 31, 23, 59, 58));
  EXPECT_EQ(FileTimeToDateTime(FileTimeOf(2108, 1, 1)), 0);
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(FileTimeOf(2020, 6, 1, 12, 0, 1)), Date(2020, 6, 1, 12));
  // Largest file time: no overflow, just no date.
  EXPECT_EQ(FileTimeToDateTime(winapi::FILETIME{0xFFFFFFFF, 0xFFFFFFFF}), 0);
}

TEST(FileTimeToDateTime, ConvertsToLocalTimeWithTheOffsetInForceNow) {
  {
    TFakeTimeZone berlinWinter(-60, 0, false);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(FileTimeOf(2020, 12, 31, 23, 30)), Date(2021, 1, 1, 0, 30));
  }
  {
    // In summer a winter date is shifted by the summer offset as well.
    TFakeTimeZone berlinSummer(-60, -60, true);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(FileTimeOf(2020, 1, 1, 10)), Date(2020, 1, 1, 12));
  }
  {
    // Local time before 1980 is no date even when UTC is in range.
    TFakeTimeZone newYork(300, -60, false);
    EXPECT_EQ(FileTimeToDateTime(FileTimeOf(1980, 1, 1, 2)), 0);
  }
}

TEST_F(UnixTime, UsesTheSnapshotOffsetForEveryDate) {
  SetTimeZoneSnapshot({-60, -60, false});
  EXPECT_DOUBLE_EQ(UnixTimeToDateTime(0), 25569 + 60 * kMinute);
  EXPECT_DOUBLE_EQ(UnixTimeToDateTime(86400 * 1.5), 25570.5 + 60 * kMinute);
  SetTimeZoneSnapshot({-60, -60, true});
  EXPECT_DOUBLE_EQ(UnixTimeToDateTime(0), 25569 + 120 * kMinute);
  SetTimeZoneSnapshot({300, -60, false});
  EXPECT_DOUBLE_EQ(UnixTimeToDateTime(0), 25569 - 300 * kMinute);
}

TEST_F(UnixTime, SnapshotIsTakenFromTheSystemOnceAndKept) {
  {
    TFakeTimeZone berlinSummer(-60, -60, true);
    TakeTimeZoneSnapshot();
  }
  EXPECT_EQ(TimeZoneSnapshot().Bias, -60);
  EXPECT_EQ(TimeZoneSnapshot().DaylightBias, -60);
  EXPECT_TRUE(TimeZoneSnapshot().Daylight);
  // A zone change after the snapshot does not move Unix dates.
  TFakeTimeZone utc(0, 0, false);
  EXPECT_DOUBLE_EQ(UnixTimeToDateTime(0), 25569 + 120 * kMinute);
}

TEST_F(UnixTime, TextTakesTheLowThirtyTwoBitsOfADecimalInteger) {
  SetTimeZoneSnapshot({-60, 0, false});
  EXPECT_EQ(UnixTimeTextToDateTime("abc"), 0);
  EXPECT_EQ(UnixTimeTextToDateTime(""), 0);
  EXPECT_EQ(UnixTimeTextToDateTime("-"), 0);
  EXPECT_EQ(UnixTimeTextToDateTime("12a"), 0);
  EXPECT_EQ(UnixTimeTextToDateTime(" 12"), 0);
  EXPECT_EQ(UnixTimeTextToDateTime("1.5"), 0);
  EXPECT_EQ(UnixTimeTextToDateTime("99999999999999999999"), 0); // beyond 64 bits
  EXPECT_DOUBLE_EQ(UnixTimeTextToDateTime("86400"), UnixTimeToDateTime(86400));
  EXPECT_DOUBLE_EQ(UnixTimeTextToDateTime("+86400"), UnixTimeToDateTime(86400));
  EXPECT_DOUBLE_EQ(UnixTimeTextToDateTime("4294967296"), UnixTimeToDateTime(0));
  EXPECT_DOUBLE_EQ(UnixTimeTextToDateTime("-1"), UnixTimeToDateTime(4294967295.0));
  EXPECT_DOUBLE_EQ(UnixTimeTextToDateTime("-9223372036854775808"), UnixTimeToDateTime(0));
}

TEST_F(UnixTime, MorkHistoryDatesAreMicrosecondsWhenTooLargeForSeconds) {
  SetTimeZoneSnapshot({-60, 0, false});
  // 2011-02-28 12:00 UTC as Firefox 2 writes it.
  EXPECT_DOUBLE_EQ(MorkTimeTextToDateTime("1298894400000000"), UnixTimeToDateTime(1298894400));
  EXPECT_DOUBLE_EQ(MorkTimeTextToDateTime("1298894400999999"), UnixTimeToDateTime(1298894400));
  EXPECT_DOUBLE_EQ(MorkTimeTextToDateTime("1298894400"), UnixTimeToDateTime(1298894400));
  EXPECT_DOUBLE_EQ(MorkTimeTextToDateTime("4294967296"), UnixTimeToDateTime(0));
  EXPECT_EQ(MorkTimeTextToDateTime("abc"), 0);
}

TEST_F(UnixTime, TextVariantsForReadersKeepThePreviousDateOnBadText) {
  TDateTime date = 123;
  EXPECT_FALSE(TryUnixTimeTextToDateTime("x", date));
  EXPECT_EQ(date, 123);
  EXPECT_TRUE(TryUnixTimeTextToDateTime("4294967296", date));
  EXPECT_DOUBLE_EQ(date, UnixTimeToDateTime(0));

  date = 123;
  for (const char* bad : {"", "abc", "1.5x", "nan", "inf", "-inf", "+", "+-1", "1e999"})
    EXPECT_FALSE(TryUnixFloatTextToDateTime(bad, date)) << bad;
  EXPECT_EQ(date, 123);
  EXPECT_TRUE(TryUnixFloatTextToDateTime("1.5e5", date));
  EXPECT_DOUBLE_EQ(date, UnixTimeToDateTime(150000));
  EXPECT_TRUE(TryUnixFloatTextToDateTime("+43200.5", date));
  EXPECT_DOUBLE_EQ(date, UnixTimeToDateTime(43200.5));
}

TEST_F(UnixTime, SQLiteColumnsArePassedWholeAndAMissingValueIsAbsent) {
  SetTimeZoneSnapshot({-60, 0, false});
  EXPECT_EQ(SQLiteTimeToDateTime(std::nullopt), 0);
  EXPECT_DOUBLE_EQ(SQLiteTimeToDateTime(86400), UnixTimeToDateTime(86400));
  // Microsecond columns are not scaled; they land far in the future.
  EXPECT_DOUBLE_EQ(SQLiteTimeToDateTime(1'000'000'000'000'000), UnixTimeToDateTime(1e15));
}

TEST_F(UnixTime, OperaTimesUseTheOffsetReportedAtEachCall) {
  SetTimeZoneSnapshot({0, 0, false}); // not used
  {
    TFakeTimeZone berlinSummer(-60, -60, true);
    EXPECT_DOUBLE_EQ(O4TimeToDateTime(86400), 25570 + 120 * kMinute);
  }
  {
    TFakeTimeZone berlinWinter(-60, -60, false);
    EXPECT_DOUBLE_EQ(O4TimeToDateTime(86400), 25570 + 60 * kMinute);
    EXPECT_DOUBLE_EQ(O4TimeToDateTime(90000), 25570 + (60 + 60) * kMinute);
    EXPECT_DOUBLE_EQ(O4TimeToDateTime(4294967295u),
                     UnixTimeToDateTime(4294967295.0) + 60 * kMinute);
  }
}
