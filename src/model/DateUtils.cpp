#include "model/DateUtils.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace quillon {

namespace {

// Days between 1970-01-01 and a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// 0001-01-01 and 9999-12-31 as day counts; what lies outside is not a calendar date here.
constexpr std::int64_t kMinDay = -693593;
constexpr std::int64_t kMaxDay = 2958465;

TTimeZoneSnapshot& Snapshot() {
  static TTimeZoneSnapshot snapshot;
  return snapshot;
}

// Optional sign and decimal digits, nothing else, within 64 bits.
std::optional<std::int64_t> ParseInt64(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty())
    return std::nullopt;
  std::uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (ec != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  constexpr std::uint64_t kMaxPositive = 0x7FFFFFFFFFFFFFFFull;
  if (negative) {
    if (magnitude > kMaxPositive + 1)
      return std::nullopt;
    return static_cast<std::int64_t>(0 - magnitude);
  }
  if (magnitude > kMaxPositive)
    return std::nullopt;
  return static_cast<std::int64_t>(magnitude);
}

TDateTime LowWordUnixTime(std::int64_t value) {
  return UnixTimeToDateTime(static_cast<double>(static_cast<std::uint32_t>(value)));
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  date = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
      static_cast<std::int64_t>(kUnixDateDelta));
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& time) {
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 ||
      msec < 0 || msec >= 1000)
    return false;
  time = (((hour * 60 + minute) * 60 + second) * 1000 + msec) / kMSecsPerDay;
  return true;
}

bool TryDecodeDateTime(TDateTime value, TDateTimeParts& parts) {
  if (!std::isfinite(value))
    return false;
  const double scaled = std::round(value * kMSecsPerDay);
  constexpr double kLimit = static_cast<double>(kMaxDay + 1) * kMSecsPerDay;
  if (std::fabs(scaled) >= kLimit)
    return false;
  const auto totalMs = static_cast<std::int64_t>(scaled);
  const std::int64_t msPerDay = static_cast<std::int64_t>(kMSecsPerDay);
  // The integer part counts days, the fraction is the time of day in either direction.
  const std::int64_t days = totalMs / msPerDay;
  const std::int64_t msOfDay = std::llabs(totalMs % msPerDay);
  if (days < kMinDay || days > kMaxDay)
    return false;
  CivilFromDays(days - static_cast<std::int64_t>(kUnixDateDelta), parts.Year, parts.Month,
                parts.Day);
  // 1899-12-30 was a Saturday (7).
  parts.DayOfWeek = static_cast<int>((((days % 7) + 7) % 7 + 6) % 7 + 1);
  parts.Hour = static_cast<int>(msOfDay / 3600000);
  parts.Minute = static_cast<int>(msOfDay / 60000 % 60);
  parts.Second = static_cast<int>(msOfDay / 1000 % 60);
  parts.MSec = static_cast<int>(msOfDay % 1000);
  return true;
}

TDateTime SystemTimeToDateTime(const winapi::SYSTEMTIME& st) {
  TDateTime date = 0, time = 0;
  if (!TryEncodeDate(st.wYear, st.wMonth, st.wDay, date) ||
      !TryEncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, time))
    return 0;
  return date + time;
}

TDateTime Now() {
  winapi::SYSTEMTIME st;
  winapi::GetLocalTime(st);
  return SystemTimeToDateTime(st);
}

void TakeTimeZoneSnapshot() {
  winapi::TIME_ZONE_INFORMATION info;
  const winapi::DWORD id = winapi::GetTimeZoneInformation(info);
  SetTimeZoneSnapshot({info.Bias, info.DaylightBias, id == winapi::TIME_ZONE_ID_DAYLIGHT});
}

void SetTimeZoneSnapshot(const TTimeZoneSnapshot& snapshot) {
  Snapshot() = snapshot;
}

const TTimeZoneSnapshot& TimeZoneSnapshot() {
  return Snapshot();
}

TDateTime FileTimeToDateTime(const winapi::FILETIME& fileTime) {
  winapi::FILETIME local;
  if (!winapi::FileTimeToLocalFileTime(fileTime, local))
    return 0;
  winapi::WORD dosDate = 0, dosTime = 0;
  if (!winapi::FileTimeToDosDateTime(local, dosDate, dosTime)) {
    dosDate = 0;
    dosTime = 0;
  }
  TDateTime date = 0, time = 0;
  // A zero DOS date has month 0 and fails here, as do the 62 "seconds" a DOS time can hold.
  if (!TryEncodeDate(1980 + (dosDate >> 9), (dosDate >> 5) & 15, dosDate & 31, date) ||
      !TryEncodeTime(dosTime >> 11, (dosTime >> 5) & 63, (dosTime & 31) * 2, 0, time))
    return 0;
  return date + time;
}

TDateTime UnixTimeToDateTime(double seconds) {
  const TTimeZoneSnapshot& tz = Snapshot();
  const double offset = tz.Daylight ? tz.Bias + tz.DaylightBias : tz.Bias;
  return seconds / kSecsPerDay + kUnixDateDelta - offset / kMinsPerDay;
}

TDateTime UnixTimeTextToDateTime(std::string_view text) {
  const std::optional<std::int64_t> value = ParseInt64(text);
  return value ? LowWordUnixTime(*value) : 0;
}

TDateTime MorkTimeTextToDateTime(std::string_view text) {
  constexpr std::int64_t kLargestSeconds = 100'000'000'000;
  const std::optional<std::int64_t> value = ParseInt64(text);
  if (!value)
    return 0;
  if (*value > kLargestSeconds)
    return UnixTimeToDateTime(static_cast<double>(*value / 1'000'000));
  return LowWordUnixTime(*value);
}

bool TryUnixTimeTextToDateTime(std::string_view text, TDateTime& date) {
  const std::optional<std::int64_t> value = ParseInt64(text);
  if (!value)
    return false;
  date = LowWordUnixTime(*value);
  return true;
}

bool TryUnixFloatTextToDateTime(std::string_view text, TDateTime& date) {
  // from_chars takes no plus sign; a second sign after it must still fail.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
      return false;
  }
  if (text.empty())
    return false;
  double seconds = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds))
    return false;
  date = UnixTimeToDateTime(seconds);
  return true;
}

TDateTime SQLiteTimeToDateTime(std::optional<std::int64_t> value) {
  return value ? UnixTimeToDateTime(static_cast<double>(*value)) : 0;
}

double O4ZoneOffset() {
  winapi::TIME_ZONE_INFORMATION info;
  const winapi::DWORD id = winapi::GetTimeZoneInformation(info);
  return id == winapi::TIME_ZONE_ID_DAYLIGHT ? info.Bias + info.DaylightBias : info.Bias;
}

TDateTime O4TimeToDateTime(std::uint32_t seconds) {
  return O4TimeToDateTime(seconds, O4ZoneOffset());
}

TDateTime O4TimeToDateTime(std::uint32_t seconds, double offset) {
  return static_cast<double>(seconds / 86400) + kUnixDateDelta +
         static_cast<double>(seconds % 86400) * 1000 / kMSecsPerDay - offset / kMinsPerDay;
}

} // namespace quillon
