#pragma once
// The system's one date type and the conversions from the browsers' own time formats.
//
// A TDateTime counts days since 1899-12-30 00:00 in local time; the fraction is the time of day.
// 0 stands for an absent date everywhere.

#include "winapi/WinApi.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

using TDateTime = double;

constexpr double kSecsPerDay = 86400;
constexpr double kMinsPerDay = 1440;
constexpr double kMSecsPerDay = 86400000;
constexpr double kUnixDateDelta = 25569; // 1899-12-30 to 1970-01-01

// --- Calendar ------------------------------------------------------------------------------
// Years 1 to 9999; false for a date that does not exist.
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
// false unless hour < 24, minute < 60, second < 60, msec < 1000.
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& time);

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0, DayOfWeek = 0; // DayOfWeek: 1 = Sunday
  int Hour = 0, Minute = 0, Second = 0, MSec = 0;
};
// Splits a date to the millisecond (rounded). false for NaN, infinities and dates outside
// 0001-01-01 .. 9999-12-31. A negative value counts days before 1899-12-30, its fraction is
// still the time of day.
bool TryDecodeDateTime(TDateTime value, TDateTimeParts& parts);

TDateTime SystemTimeToDateTime(const winapi::SYSTEMTIME& st);
// The local time now, as the system reports it.
TDateTime Now();

// --- Time zone -----------------------------------------------------------------------------
// Unix times are shifted by the zone offset that held when the program started, whatever season
// the converted date falls in; that is why the offset is read once and kept.
struct TTimeZoneSnapshot {
  std::int32_t Bias = 0;         // minutes; UTC = local time + Bias
  std::int32_t DaylightBias = 0; // minutes, added to Bias while daylight time is in effect
  bool Daylight = false;         // daylight time was in effect when the snapshot was taken
};
// Reads the system's time-zone information; start-up calls it once. Until then the snapshot is
// UTC (all zero).
void TakeTimeZoneSnapshot();
void SetTimeZoneSnapshot(const TTimeZoneSnapshot& snapshot);
const TTimeZoneSnapshot& TimeZoneSnapshot();

// --- Conversions ---------------------------------------------------------------------------
// A Windows file time (UTC) in local time, to two seconds. 0 outside the DOS date range
// (1980 .. 2107) and for any failure.
TDateTime FileTimeToDateTime(const winapi::FILETIME& fileTime);

// Unix seconds in local time with the snapshot's offset. No range check: 0 seconds is
// 1970-01-01 00:00 UTC, not the absent date.
TDateTime UnixTimeToDateTime(double seconds);

// Decimal integer text (optional sign); its low 32 bits, as an unsigned number, are the Unix
// seconds. 0 for text that is not such an integer.
TDateTime UnixTimeTextToDateTime(std::string_view text);

// As UnixTimeTextToDateTime, but text that is not an integer leaves date as it was (readers that
// keep a previous or default value). Returns whether date was set.
bool TryUnixTimeTextToDateTime(std::string_view text, TDateTime& date);

// The date text of a Mork history row. The Mozilla browsers write microseconds since 1970 there;
// taken as seconds they would give dates thousands of years off, or a random date once cut to
// 32 bits. A number too large for seconds (beyond 10^11, the year 5138) is therefore read as
// microseconds; any other text goes through UnixTimeTextToDateTime.
TDateTime MorkTimeTextToDateTime(std::string_view text);

// Decimal floating-point Unix seconds ("1234567890", "1.5e9"); text that is not such a number
// (or not finite) leaves date as it was. Returns whether date was set.
bool TryUnixFloatTextToDateTime(std::string_view text, TDateTime& date);

// A date column of an SQLite store read as a 64-bit integer, passed whole as Unix seconds,
// whatever unit the store uses. A column that could not be read (nullopt) gives 0.
TDateTime SQLiteTimeToDateTime(std::optional<std::int64_t> value);

// Opera's 32-bit second counts, with the zone offset the system reports at this call.
TDateTime O4TimeToDateTime(std::uint32_t seconds);
// The zone offset (minutes) O4TimeToDateTime applies, as the system reports it now, and the
// conversion with an offset read once: a reader of 100,000 times asks the system once, not once
// per time (each asking reads the zone's files).
double O4ZoneOffset();
TDateTime O4TimeToDateTime(std::uint32_t seconds, double zoneOffset);

} // namespace quillon
