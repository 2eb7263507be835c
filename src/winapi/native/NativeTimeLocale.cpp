// The native time-and-locale service: each method is the Win32 call it stands for. Compiled only
// for Windows (the Linux build checks it with the mingw compiler).

#include <windows.h>

#include "winapi/native/NativeBackend.h"

#include <string>

namespace quillon::winapi::native {

namespace {

FILETIME ToNative(const TFileTime& t) {
  FILETIME n;
  n.dwLowDateTime = t.dwLowDateTime;
  n.dwHighDateTime = t.dwHighDateTime;
  return n;
}

int Length(std::string_view text) {
  return static_cast<int>(text.size());
}

class TNativeLastError final : public TLastError {
public:
  std::uint32_t Get() const override { return ::GetLastError(); }
  void Set(std::uint32_t code) override { ::SetLastError(code); }
};

class TNativeTimeLocale final : public TTimeLocaleService {
public:
  std::uint32_t TimeZone(TTimeZoneInfo& info) override {
    TIME_ZONE_INFORMATION tz{};
    const DWORD id = ::GetTimeZoneInformation(&tz);
    info.Bias = tz.Bias;
    info.StandardBias = tz.StandardBias;
    info.DaylightBias = tz.DaylightBias;
    return id;
  }

  bool ToLocalFileTime(const TFileTime& utc, TFileTime& local) override {
    const FILETIME in = ToNative(utc);
    FILETIME out{};
    if (!::FileTimeToLocalFileTime(&in, &out))
      return false;
    local.dwLowDateTime = out.dwLowDateTime;
    local.dwHighDateTime = out.dwHighDateTime;
    return true;
  }

  int Compare(std::uint32_t locale, std::uint32_t flags, std::string_view a,
              std::string_view b) override {
    return ::CompareStringA(locale, flags, a.data(), Length(a), b.data(), Length(b));
  }

  int SortKey(std::uint32_t locale, std::uint32_t flags, std::string_view src,
              std::string& dest) override {
    // The first call measures the key; a sort key is bytes, so dest takes them as they come.
    const int size = ::LCMapStringA(locale, flags, src.data(), Length(src), nullptr, 0);
    if (size <= 0)
      return 0;
    dest.assign(static_cast<std::size_t>(size), '\0');
    const int written = ::LCMapStringA(locale, flags, src.data(), Length(src), dest.data(), size);
    dest.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return written;
  }

  bool LocaleInfo(std::uint32_t locale, std::uint32_t type, std::string& data) override {
    const int size = ::GetLocaleInfoA(locale, type, nullptr, 0);
    if (size <= 0)
      return false;
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written = ::GetLocaleInfoA(locale, type, text.data(), size);
    if (written <= 0)
      return false;
    text.resize(static_cast<std::size_t>(written - 1)); // without the terminator
    data = std::move(text);
    return true;
  }
};

} // namespace

std::shared_ptr<TLastError> NativeLastError() {
  return std::make_shared<TNativeLastError>();
}

std::shared_ptr<TTimeLocaleService> NativeTimeLocale() {
  return std::make_shared<TNativeTimeLocale>();
}

} // namespace quillon::winapi::native
