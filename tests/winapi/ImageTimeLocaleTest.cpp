#include "winapi/image/ImageTimeLocale.h"
#include "winapi/image/ImageWinApi.h"

#include "kit/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

using namespace quillon::winapi;
using quillon::winapi::image::TImageConfig;
using quillon::winapi::image::TImageWinApi;

namespace {

// Sets the process time zone for a test and puts the previous one back.
class TZoneScope {
public:
  explicit TZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ"))
      previous_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TZoneScope() {
    if (previous_)
      setenv("TZ", previous_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  TZoneScope(const TZoneScope&) = delete;
  TZoneScope& operator=(const TZoneScope&) = delete;

private:
  std::optional<std::string> previous_;
};

bool DaylightNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_isdst > 0;
}

class TimeZoneTest : public ::testing::Test {
protected:
  TimeZoneTest() {
    config_.imageRoot = tmp_.Path();
    api_ = std::make_unique<TImageWinApi>(config_);
  }
  quillon::kit::TTempDir tmp_;
  TImageConfig config_;
  std::unique_ptr<TImageWinApi> api_;
};

constexpr std::int64_t kTicksPerMinute = 60LL * 10000000;
// 2021-01-01 00:00:00 UTC as FILETIME.
constexpr std::uint64_t kNewYear2021 = 132539328000000000ull;

TEST_F(TimeZoneTest, BerlinHasAnHourBiasAndAnHourOfDaylightSaving) {
  TZoneScope zone("Europe/Berlin");
  TIME_ZONE_INFORMATION info;
  const DWORD id = api_->timeLocale->TimeZone(info);
  EXPECT_EQ(info.Bias, -60);
  EXPECT_EQ(info.DaylightBias, -60);
  EXPECT_EQ(id, DaylightNow() ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD);

  // Local time is UTC minus the bias in force now, whatever the season of the date.
  FILETIME local;
  ASSERT_TRUE(api_->timeLocale->ToLocalFileTime(U64ToFileTime(kNewYear2021), local));
  const std::int64_t minutes = DaylightNow() ? 120 : 60;
  EXPECT_EQ(FileTimeToU64(local), kNewYear2021 + minutes * kTicksPerMinute);
}

TEST_F(TimeZoneTest, UtcHasNoBiasAndNoDaylightSaving) {
  TZoneScope zone("UTC");
  TIME_ZONE_INFORMATION info;
  EXPECT_EQ(api_->timeLocale->TimeZone(info), TIME_ZONE_ID_UNKNOWN);
  EXPECT_EQ(info.Bias, 0);
  EXPECT_EQ(info.DaylightBias, 0);
  FILETIME local;
  ASSERT_TRUE(api_->timeLocale->ToLocalFileTime(U64ToFileTime(kNewYear2021), local));
  EXPECT_EQ(FileTimeToU64(local), kNewYear2021);
}

TEST_F(TimeZoneTest, LocalTimeOutsideTheFileTimeRangeIsRefused) {
  TZoneScope zone("America/New_York");
  TIME_ZONE_INFORMATION info;
  api_->timeLocale->TimeZone(info);
  EXPECT_EQ(info.Bias, 300);
  FILETIME local;
  EXPECT_FALSE(api_->timeLocale->ToLocalFileTime(U64ToFileTime(0), local));
  EXPECT_EQ(api_->lastError->Get(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // East of UTC the largest time would overflow.
  TZoneScope berlin("Europe/Berlin");
  EXPECT_FALSE(api_->timeLocale->ToLocalFileTime(U64ToFileTime(0x7FFFFFFFFFFFFFFFull), local));
  EXPECT_FALSE(api_->timeLocale->ToLocalFileTime(U64ToFileTime(0xFFFFFFFFFFFFFFFFull), local));
}

} // namespace

namespace {

using quillon::winapi::image::TImageTimeLocale;
using quillon::winapi::image::WindowsPictureOfPosix;

TEST(WindowsPictureOfPosix, LocalePatternsBecomePictures) {
  const struct {
    const char* pattern;
    const char* ampm;
    const char* picture; // nullptr: none
  } cases[] = {
      {"%m/%d/%Y", "", "MM/dd/yyyy"},
      {"%d.%m.%Y", "", "dd.MM.yyyy"},
      {"%F", "", "yyyy-MM-dd"},
      {"%T", "", "HH:mm:ss"},
      {"%r", "%I:%M:%S %p", "hh:mm:ss tt"},
      {"%r", "", "hh:mm:ss tt"},
      {"%e %B %y, %a", "", "d MMMM yy, ddd"},
      {"%k.%M", "", "H.mm"},
      {"%Ey %Od", "", "yy dd"},
      // Text is quoted, quotes doubled, so it never reads as a token.
      {"%Y year %e day", "", "yyyy' year 'd' day'"},
      {"%Hh'%M", "", "HH'h'''mm"},
      {"100%%", "", "100%"},
      {"%j", "", nullptr},
      {"%d.%m.%", "", nullptr},
      {"", "", nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> picture = WindowsPictureOfPosix(c.pattern, c.ampm);
    if (c.picture == nullptr)
      EXPECT_FALSE(picture) << c.pattern;
    else
      EXPECT_EQ(picture.value_or("<none>"), c.picture) << c.pattern;
  }
}

TEST(ImageLocaleInfo, CAndUnknownLocalesHaveNone) {
  TImageTimeLocale locale;
  const char* old = std::getenv("LC_ALL");
  const std::optional<std::string> previous = old ? std::optional<std::string>(old) : std::nullopt;
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
    setenv("LC_ALL", name, 1);
    std::string data = "unchanged";
    EXPECT_FALSE(locale.LocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, data)) << name;
    EXPECT_FALSE(locale.LocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME1, data)) << name;
    EXPECT_EQ(data, "unchanged");
  }
  if (previous)
    setenv("LC_ALL", previous->c_str(), 1);
  else
    unsetenv("LC_ALL");
}

} // namespace
