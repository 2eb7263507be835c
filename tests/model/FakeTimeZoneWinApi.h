#pragma once
// A Windows-system stand-in that has nothing but a time zone the test chooses.

#include "winapi/WinApi.h"

#include <cstdint>
#include <memory>

namespace quillon::testing {

using namespace quillon::winapi;

class TFakeTimeZoneWinApi final : public TNullWinApi {
public:
  TFakeTimeZoneWinApi(LONG bias, LONG daylightBias, bool daylightNow)
      : bias_(bias), daylightBias_(daylightBias), daylightNow_(daylightNow) {}

  DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) override {
    info = {};
    info.Bias = bias_;
    info.DaylightBias = daylightBias_;
    return daylightNow_ ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
  }
  // As Windows does: the offset in force now, whatever the season of the date.
  BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) override {
    const std::int64_t minutes = bias_ + (daylightNow_ ? daylightBias_ : 0);
    const std::int64_t ticks =
        static_cast<std::int64_t>(FileTimeToU64(utc)) - minutes * 60 * 10000000;
    if (ticks < 0)
      return false;
    local = U64ToFileTime(static_cast<std::uint64_t>(ticks));
    return true;
  }


private:
  LONG bias_;
  LONG daylightBias_;
  bool daylightNow_;
};

// Installs a fake zone for the life of a scope.
struct TFakeTimeZone {
  TFakeTimeZone(LONG bias, LONG daylightBias, bool daylightNow)
      : scope(std::make_shared<TFakeTimeZoneWinApi>(bias, daylightBias, daylightNow)) {}
  TWinApiScope scope;
};

} // namespace quillon::testing
