#pragma once
// A Windows-system stand-in that has nothing but a time zone and locale texts the test chooses.

#include "winapi/WinApi.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace quillon::testing {

using namespace quillon::winapi;

class TFakeTimeLocale final : public TTimeLocaleService {
public:
  TFakeTimeLocale(LONG bias, LONG daylightBias, bool daylightNow)
      : bias_(bias), daylightBias_(daylightBias), daylightNow_(daylightNow) {}

  std::map<LCTYPE, std::string> localeInfo; // what GetLocaleInfo answers; others fail

  std::uint32_t TimeZone(TTimeZoneInfo& info) override {
    info = {};
    info.Bias = bias_;
    info.DaylightBias = daylightBias_;
    return daylightNow_ ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
  }
  // As Windows does: the offset in force now, whatever the season of the date.
  bool ToLocalFileTime(const FILETIME& utc, FILETIME& local) override {
    const std::int64_t minutes = bias_ + (daylightNow_ ? daylightBias_ : 0);
    const std::int64_t ticks =
        static_cast<std::int64_t>(FileTimeToU64(utc)) - minutes * 60 * 10000000;
    if (ticks < 0)
      return false;
    local = U64ToFileTime(static_cast<std::uint64_t>(ticks));
    return true;
  }
  int Compare(std::uint32_t, std::uint32_t, std::string_view a, std::string_view b) override {
    return CSTR_EQUAL + (a < b ? -1 : a > b ? 1 : 0);
  }
  int SortKey(std::uint32_t, std::uint32_t, std::string_view src, std::string& dest) override {
    dest.assign(src);
    return static_cast<int>(dest.size());
  }
  bool LocaleInfo(std::uint32_t, std::uint32_t type, std::string& data) override {
    const auto it = localeInfo.find(type);
    if (it == localeInfo.end())
      return false;
    data = it->second;
    return true;
  }

private:
  LONG bias_;
  LONG daylightBias_;
  bool daylightNow_;
};

// Installs a fake zone (and locale) for the life of a scope.
class TFakeTimeZone {
public:
  TFakeTimeZone(LONG bias, LONG daylightBias, bool daylightNow)
      : service_(std::make_shared<TFakeTimeLocale>(bias, daylightBias, daylightNow)),
        scope_(Backend(service_)) {}

  TFakeTimeLocale& Service() const { return *service_; }

private:
  static std::shared_ptr<TWinApi> Backend(std::shared_ptr<TFakeTimeLocale> service) {
    auto backend = std::make_shared<TWinApi>();
    backend->timeLocale = std::move(service);
    return backend;
  }

  std::shared_ptr<TFakeTimeLocale> service_;
  TWinApiScope scope_;
};

} // namespace quillon::testing
