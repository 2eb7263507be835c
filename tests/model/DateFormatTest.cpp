#include "model/DateFormat.h"

#include "model/FakeTimeLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

using namespace quillon;

namespace {

TDateTime Date(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
  TDateTime date = 0, time = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, date));
  EXPECT_TRUE(TryEncodeTime(h, n, s, ms, time));
  return date + time;
}

TDateTime Seconds(double s) {
  return s / kSecsPerDay;
}

// The defaults: ISO dates, 24-hour times.
const TFormatSettings kIso;

TFormatSettings German() {
  TFormatSettings s;
  s.DateSeparator = '.';
  s.ShortDateFormat = "dd/mm/yyyy";
  s.LongTimeFormat = "hh:nn:ss";
  return s;
}

} // namespace

TEST(FormatC, ShortDateAndLongTimeWithTheTimeLeftOutAtMidnight) {
  EXPECT_EQ(FormatDateTime("c", Date(2024, 3, 5, 14, 7, 9), kIso), "2024-03-05 14:07:09");
  EXPECT_EQ(FormatDateTime("c", Date(2024, 3, 5), kIso), "2024-03-05");
  // One millisecond past midnight is not midnight.
  EXPECT_EQ(FormatDateTime("c", Date(2024, 3, 5, 0, 0, 0, 1), kIso), "2024-03-05 00:00:00");
  EXPECT_EQ(FormatDateTime("c", Date(2024, 3, 5, 14, 7, 9), German()), "05.03.2024 14:07:09");
  // 0 is a real calendar date for the formatter; lists decide how to show it.
  EXPECT_EQ(FormatDateTime("c", 0, kIso), "1899-12-30");
}

TEST(FormatSsZzz, SecondsOfTheMinuteAndMillisecondsWrappingAtAMinute) {
  EXPECT_EQ(FormatDateTime("ss.zzz", Seconds(1.5), kIso), "01.500");
  EXPECT_EQ(FormatDateTime("ss.zzz", Seconds(0), kIso), "00.000");
  EXPECT_EQ(FormatDateTime("ss.zzz", Seconds(59.999), kIso), "59.999");
  EXPECT_EQ(FormatDateTime("ss.zzz", Seconds(61.5), kIso), "01.500");
  EXPECT_EQ(FormatDateTime("ss.zzz", Seconds(0.0004), kIso), "00.000");
  EXPECT_EQ(FormatDateTime("ss.zzz", Seconds(0.0005), kIso), "00.001");
  // A difference of two large dates, as the detection log takes it.
  const TDateTime start = Date(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(FormatDateTime("ss.zzz", (start + Seconds(1.5)) - start, kIso), "01.500");
}

TEST(FormatTokens, DelphiStyleTokens) {
  const TDateTime t = Date(2024, 3, 5, 14, 7, 9, 45);
  EXPECT_EQ(FormatDateTime("d/m/yy", t, German()), "5.3.24");
  EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", t, kIso), "Tue Tuesday Mar March");
  EXPECT_EQ(FormatDateTime("hh:mm", t, kIso), "14:07"); // m after an hour is minutes
  EXPECT_EQ(FormatDateTime("h:nn am/pm", t, kIso), "2:07 pm");
  EXPECT_EQ(FormatDateTime("h:nn AM/PM", Date(2024, 3, 5, 0, 5), kIso), "12:05 AM");
  EXPECT_EQ(FormatDateTime("hh a/p", t, kIso), "02 p");
  EXPECT_EQ(FormatDateTime("hh ampm", t, kIso), "02 PM");
  EXPECT_EQ(FormatDateTime("hh' h' z", t, kIso), "14 h 45");
  EXPECT_EQ(FormatDateTime("\"yy:mm\" yyyy", t, kIso), "yy:mm 2024");
  EXPECT_EQ(FormatDateTime("ddddd tt", t, German()), "05.03.2024 14:07:09");
}

TEST(FormatTokens, SelfReferringFormatsEnd) {
  TFormatSettings loop = kIso;
  loop.ShortDateFormat = "c";
  loop.LongTimeFormat = "tt";
  std::string text;
  EXPECT_TRUE(TryFormatDateTime("c", Date(2024, 3, 5, 1), text, loop));
}

TEST(DateCellText, AbsentAndUnformattableDates) {
  EXPECT_EQ(DateCellText(0, "", kIso), "");
  EXPECT_EQ(DateCellText(0, "?", kIso), "?");
  EXPECT_EQ(DateCellText(std::nan(""), "", kIso), "?!");
  EXPECT_EQ(DateCellText(1e9, "", kIso), "?!");
  EXPECT_EQ(DateCellText(Date(2024, 3, 5, 14, 7, 9), "", kIso), "2024-03-05 14:07:09");
  EXPECT_THROW(FormatDateTime("c", 1e9, kIso), EConvertError);
}

TEST(LocalePictures, WindowsPicturesBecomeEquivalentFormats) {
  const TDateTime t = Date(2024, 3, 5, 14, 7, 9);
  const struct {
    const char* date;
    const char* time;
    const char* shown;
  } cases[] = {
      {"MM/dd/yyyy", "hh:mm:ss tt", "03/05/2024 02:07:09 PM"},
      {"dd.MM.yyyy", "HH:mm:ss", "05.03.2024 14:07:09"},
      {"yyyy-MM-dd", "H:mm:ss", "2024-03-05 14:07:09"},
      {"d/M/yy", "h:m:s t", "5/3/24 2:7:9 p"},
      {"ddd d MMM yyyy", "HH:mm", "Tue 5 Mar 2024 14:07"},
      // Quoted and unquoted text that looks like tokens stays literal.
      {"yyyy' year 'd' day'", "HH' h 'mm", "2024 year 5 day 14 h 07"},
      {"d 'de' MMMM", "HH'''h'mm", "5 de March 14'h07"},
  };
  for (const auto& c : cases) {
    TFormatSettings settings;
    ASSERT_TRUE(ApplyLocalePictures(c.date, c.time, settings)) << c.date << " " << c.time;
    EXPECT_EQ(FormatDateTime("c", t, settings), c.shown) << c.date << " " << c.time;
  }
}

TEST(LocalePictures, EraPicturesLeaveTheSettingsAlone) {
  TFormatSettings s;
  EXPECT_FALSE(ApplyLocalePictures("gg yyyy/MM/dd", "HH:mm:ss", s));
  EXPECT_FALSE(ApplyLocalePictures("", "HH:mm:ss", s));
  EXPECT_EQ(s.ShortDateFormat, "yyyy-mm-dd");
  EXPECT_EQ(s.LongTimeFormat, "hh:nn:ss");
}

TEST(LocaleFormatSettings, ComeFromTheBackendsLocale) {
  quillon::testing::TFakeTimeZone zone(0, 0, false);
  auto& info = zone.Service().localeInfo;
  info[winapi::LOCALE_SSHORTDATE] = "dd.MM.yyyy";
  info[winapi::LOCALE_STIMEFORMAT] = "HH:mm:ss";
  info[winapi::LOCALE_SABBREVDAYNAME1] = "Mo"; // the locale's week starts on Monday
  info[winapi::LOCALE_SABBREVDAYNAME1 + 6] = "So";
  info[winapi::LOCALE_SDAYNAME1 + 6] = "Sonntag";
  info[winapi::LOCALE_SMONTHNAME1 + 2] = "M\xC3\xA4rz";
  info[winapi::LOCALE_S1159] = ""; // a 24-hour locale keeps our markers
  const TFormatSettings s = LocaleFormatSettings();
  EXPECT_EQ(FormatDateTime("ddd dddd, d mmmm yyyy", Date(2024, 3, 3), s),
            "So Sonntag, 3 M\xC3\xA4rz 2024");
  EXPECT_EQ(FormatDateTime("ddd", Date(2024, 3, 4), s), "Mo");
  EXPECT_EQ(FormatDateTime("c", Date(2024, 3, 4, 9, 5, 7), s), "04.03.2024 09:05:07");
  EXPECT_EQ(s.TimeAMString, "AM");
}

TEST(LocaleFormatSettings, WithoutALocaleTheyAreTheIsoDefaults) {
  const winapi::TWinApiScope none(std::make_shared<winapi::TWinApi>());
  const TFormatSettings s = LocaleFormatSettings();
  EXPECT_EQ(s.ShortDateFormat, "yyyy-mm-dd");
  EXPECT_EQ(s.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(s.LongDayNames[0], "Sunday");
}
