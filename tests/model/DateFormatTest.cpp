#include "model/DateFormat.h"

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

// Sets an environment variable for a scope and restores it.
class TEnvScope {
public:
  TEnvScope(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name))
      old_ = old;
    ::setenv(name, value, 1);
  }
  ~TEnvScope() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};

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

TEST(PosixFormats, CommonLocalePatternsBecomeEquivalentFormats) {
  const TDateTime t = Date(2024, 3, 5, 14, 7, 9);
  TFormatSettings us;
  ASSERT_TRUE(ApplyPosixFormats("%m/%d/%Y", "%r", "%I:%M:%S %p", us));
  EXPECT_EQ(FormatDateTime("c", t, us), "03/05/2024 02:07:09 PM");

  TFormatSettings de;
  ASSERT_TRUE(ApplyPosixFormats("%d.%m.%Y", "%T", "", de));
  EXPECT_EQ(FormatDateTime("c", t, de), "05.03.2024 14:07:09");

  TFormatSettings iso;
  ASSERT_TRUE(ApplyPosixFormats("%F", "%H:%M:%S", "", iso));
  EXPECT_EQ(FormatDateTime("c", t, iso), "2024-03-05 14:07:09");

  // Literal text that looks like tokens stays literal.
  TFormatSettings words;
  ASSERT_TRUE(ApplyPosixFormats("%Y year %e day", "%H h %M", "", words));
  EXPECT_EQ(FormatDateTime("c", t, words), "2024 year 5 day 14 h 07");
}

TEST(PosixFormats, UnknownConversionsLeaveTheSettingsAlone) {
  TFormatSettings s;
  EXPECT_FALSE(ApplyPosixFormats("%j", "%T", "", s));
  EXPECT_FALSE(ApplyPosixFormats("%d.%m.%Y", "%", "", s));
  EXPECT_EQ(s.ShortDateFormat, "yyyy-mm-dd");
  EXPECT_EQ(s.LongTimeFormat, "hh:nn:ss");
}

TEST(HostFormatSettings, CAndUnknownLocalesGiveTheIsoDefaults) {
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
    TEnvScope all("LC_ALL", name);
    const TFormatSettings s = HostFormatSettings();
    EXPECT_EQ(s.ShortDateFormat, "yyyy-mm-dd") << name;
    EXPECT_EQ(s.LongTimeFormat, "hh:nn:ss") << name;
  }
}
