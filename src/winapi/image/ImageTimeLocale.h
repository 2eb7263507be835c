#pragma once
// Time and locale of the image backend. The image's own zone and locale are not read: the program
// shows times and dates as the host it runs on would, so the time zone is the host's (TZ) and the
// locale's date formats and names are the host's LC_TIME (LC_ALL, LC_TIME, LANG).

#include "winapi/Services.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::winapi::image {

class TImageTimeLocale final : public TTimeLocaleService {
public:
  explicit TImageTimeLocale(
      std::shared_ptr<TLastError> lastError = std::make_shared<TThreadLastError>())
      : lastError_(std::move(lastError)) {}

  std::uint32_t TimeZone(TTimeZoneInfo& info) override;
  bool ToLocalFileTime(const TFileTime& utc, TFileTime& local) override;
  int Compare(std::uint32_t locale, std::uint32_t flags, std::string_view a,
              std::string_view b) override;
  int SortKey(std::uint32_t locale, std::uint32_t flags, std::string_view src,
              std::string& dest) override;
  // Short date and time pictures, AM/PM, month and day names of a real, installed LC_TIME; none
  // (ERROR_INVALID_FLAGS) for the C or POSIX locale, one that cannot be loaded, a pattern with a
  // conversion a picture cannot express, and the long date, which LC_TIME does not name.
  bool LocaleInfo(std::uint32_t locale, std::uint32_t type, std::string& data) override;

private:
  std::shared_ptr<TLastError> lastError_;
};

// A strftime pattern (as nl_langinfo reports D_FMT and T_FMT) as a Windows date or time picture
// ("%d.%m.%Y" -> "dd.MM.yyyy"); ampmPattern is T_FMT_AMPM, for "%r". None for a conversion that has
// no picture counterpart.
std::optional<std::string> WindowsPictureOfPosix(std::string_view pattern,
                                                 std::string_view ampmPattern);

} // namespace quillon::winapi::image
