#include "winapi/image/ImageTimeLocale.h"

#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <cstdlib>
#include <ctime>
#include <langinfo.h>
#include <limits>
#include <locale.h>

namespace quillon::winapi::image {

namespace {

// Offset of local time from UTC in seconds at a moment, and whether daylight time is in force.
long OffsetAt(std::time_t t, bool& daylight) {
  std::tm local{};
  localtime_r(&t, &local);
  daylight = local.tm_isdst > 0;
  return local.tm_gmtoff;
}

// --- strftime patterns as Windows pictures -------------------------------------------------------

constexpr int kMaxPosixNesting = 3;

// Literal text of a picture: quoted whenever it holds a letter, a quote doubled inside.
void AppendLiteral(std::string& out, std::string_view literal) {
  bool letters = false;
  for (const char c : literal)
    letters = letters || (UpperAscii(c) >= 'A' && UpperAscii(c) <= 'Z') || c == '\'';
  if (!letters) {
    out += literal;
    return;
  }
  out += '\'';
  for (const char c : literal)
    out += c == '\'' ? std::string_view("''") : std::string_view(&c, 1);
  out += '\'';
}

std::optional<std::string> ConvertPosix(std::string_view pattern, std::string_view ampmPattern,
                                        int depth) {
  if (depth > kMaxPosixNesting)
    return std::nullopt;
  std::string out;
  std::string literal;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      literal += pattern[i];
      continue;
    }
    if (++i >= pattern.size())
      return std::nullopt;
    // The alternative-representation modifiers fall back to the plain conversion.
    if ((pattern[i] == 'E' || pattern[i] == 'O') && ++i >= pattern.size())
      return std::nullopt;
    const char conversion = pattern[i];
    if (conversion == '%' || conversion == 'n' || conversion == 't') {
      literal += conversion == '%' ? '%' : ' ';
      continue;
    }
    std::string_view token;
    std::string_view expansion;
    switch (conversion) {
    case 'Y':
      token = "yyyy";
      break;
    case 'y':
      token = "yy";
      break;
    case 'm':
      token = "MM";
      break;
    case 'd':
      token = "dd";
      break;
    case 'e':
      token = "d";
      break;
    case 'b':
    case 'h':
      token = "MMM";
      break;
    case 'B':
      token = "MMMM";
      break;
    case 'a':
      token = "ddd";
      break;
    case 'A':
      token = "dddd";
      break;
    case 'H':
      token = "HH";
      break;
    case 'I':
      token = "hh";
      break;
    case 'k':
      token = "H";
      break;
    case 'l':
      token = "h";
      break;
    case 'M':
      token = "mm";
      break;
    case 'S':
      token = "ss";
      break;
    case 'p':
    case 'P':
      token = "tt";
      break;
    case 'T':
      expansion = "%H:%M:%S";
      break;
    case 'R':
      expansion = "%H:%M";
      break;
    case 'D':
      expansion = "%m/%d/%y";
      break;
    case 'F':
      expansion = "%Y-%m-%d";
      break;
    case 'r':
      expansion = ampmPattern.empty() ? "%I:%M:%S %p" : ampmPattern;
      break;
    default:
      return std::nullopt;
    }
    AppendLiteral(out, literal);
    literal.clear();
    if (!token.empty()) {
      out += token;
      continue;
    }
    const std::optional<std::string> inner = ConvertPosix(expansion, ampmPattern, depth + 1);
    if (!inner)
      return std::nullopt;
    out += *inner;
  }
  AppendLiteral(out, literal);
  return out;
}

// The host's LC_TIME locale as the environment names it; none for C, POSIX or an unknown name.
class THostLocale {
public:
  THostLocale() {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
      const char* value = std::getenv(variable);
      if (value != nullptr && *value != '\0') {
        name = value;
        break;
      }
    }
    if (name == nullptr)
      return;
    const std::string_view localeName(name);
    if (localeName == "C" || localeName == "POSIX" || localeName.starts_with("C."))
      return;
    locale_ = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
  }
  ~THostLocale() {
    if (locale_ != static_cast<locale_t>(nullptr))
      freelocale(locale_);
  }
  THostLocale(const THostLocale&) = delete;
  THostLocale& operator=(const THostLocale&) = delete;

  bool Valid() const { return locale_ != static_cast<locale_t>(nullptr); }
  std::string Item(nl_item item) const { return nl_langinfo_l(item, locale_); }

private:
  locale_t locale_ = static_cast<locale_t>(nullptr);
};

// Windows numbers days from Monday, LC_TIME from Sunday.
nl_item PosixDay(std::uint32_t windowsDay, nl_item sunday) {
  return static_cast<nl_item>(sunday + static_cast<nl_item>((windowsDay + 1) % 7));
}

} // namespace

std::optional<std::string> WindowsPictureOfPosix(std::string_view pattern,
                                                 std::string_view ampmPattern) {
  std::optional<std::string> picture = ConvertPosix(pattern, ampmPattern, 0);
  if (picture && picture->empty())
    return std::nullopt;
  return picture;
}

std::uint32_t TImageTimeLocale::TimeZone(TTimeZoneInfo& info) {
  const std::time_t now = std::time(nullptr);
  bool daylightNow = false;
  const long nowOffset = OffsetAt(now, daylightNow);
  // Probe the year's two halves to learn the standard and the daylight offsets.
  std::tm probe{};
  localtime_r(&now, &probe);
  long standardOffset = nowOffset;
  long daylightOffset = nowOffset;
  bool haveDaylight = false;
  for (const int month : {0, 6}) {
    std::tm m{};
    m.tm_year = probe.tm_year;
    m.tm_mon = month;
    m.tm_mday = 1;
    m.tm_hour = 12;
    m.tm_isdst = -1;
    const std::time_t t = std::mktime(&m);
    bool dst = false;
    const long off = OffsetAt(t, dst);
    if (dst) {
      daylightOffset = off;
      haveDaylight = true;
    } else {
      standardOffset = off;
    }
  }
  if (daylightNow)
    daylightOffset = nowOffset;
  else
    standardOffset = nowOffset;
  info.Bias = static_cast<LONG>(-standardOffset / 60);
  info.StandardBias = 0;
  info.DaylightBias =
      haveDaylight || daylightNow ? static_cast<LONG>(-(daylightOffset - standardOffset) / 60) : 0;
  if (!haveDaylight && !daylightNow)
    return TIME_ZONE_ID_UNKNOWN;
  return daylightNow ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

// As on Windows, the conversion applies the bias in force now, whatever the season of the date.
bool TImageTimeLocale::ToLocalFileTime(const TFileTime& utc, TFileTime& local) {
  // Only the offset in force now counts. It runs for every date of every entry a list reads, so
  // it asks for that offset alone: the whole zone (TimeZone) costs two mktime calls more.
  bool daylightNow = false;
  const std::int64_t biasMinutes = -OffsetAt(std::time(nullptr), daylightNow) / 60;
  const std::uint64_t utcTicks = FileTimeToU64(utc);
  std::int64_t ticks = 0;
  // A FILETIME holds at most 2^63 - 1 ticks; the shifted time must stay in that range too.
  if (utcTicks > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ||
      __builtin_sub_overflow(static_cast<std::int64_t>(utcTicks),
                             biasMinutes * 60 * static_cast<std::int64_t>(10000000), &ticks) ||
      ticks < 0) {
    lastError_->Set(ERROR_INVALID_PARAMETER);
    return false;
  }
  local = U64ToFileTime(static_cast<std::uint64_t>(ticks));
  return true;
}

// The image's own locale is not read. Text is folded to lower case and then compared byte by
// byte, which puts "_" and the other punctuation between "Z" and "a" before the letters, as
// Windows does. Only ASCII letters fold: bytes above 127 compare as they are, so UTF-8 text
// orders by code point and "É" and "é" stay two different texts.
int TImageTimeLocale::Compare(std::uint32_t, std::uint32_t flags, std::string_view a,
                              std::string_view b) {
  if (flags != NORM_IGNORECASE) {
    lastError_->Set(ERROR_INVALID_FLAGS);
    return 0;
  }
  return CSTR_EQUAL + CompareLowerAscii(a, b);
}

// The key is the text folded as above; comparing keys bytewise is then Compare's order.
int TImageTimeLocale::SortKey(std::uint32_t, std::uint32_t flags, std::string_view src,
                              std::string& dest) {
  if (flags != (LCMAP_SORTKEY | NORM_IGNORECASE)) {
    lastError_->Set(ERROR_INVALID_FLAGS);
    return 0;
  }
  dest.assign(src);
  for (char& c : dest)
    c = LowerAscii(c);
  return static_cast<int>(dest.size());
}

bool TImageTimeLocale::LocaleInfo(std::uint32_t, std::uint32_t type, std::string& data) {
  const THostLocale host;
  std::optional<std::string> text;
  if (host.Valid()) {
    if (type == LOCALE_SSHORTDATE)
      text = WindowsPictureOfPosix(host.Item(D_FMT), host.Item(T_FMT_AMPM));
    else if (type == LOCALE_STIMEFORMAT)
      text = WindowsPictureOfPosix(host.Item(T_FMT), host.Item(T_FMT_AMPM));
    else if (type == LOCALE_S1159)
      text = host.Item(AM_STR);
    else if (type == LOCALE_S2359)
      text = host.Item(PM_STR);
    else if (type >= LOCALE_SDAYNAME1 && type < LOCALE_SDAYNAME1 + 7)
      text = host.Item(PosixDay(type - LOCALE_SDAYNAME1, DAY_1));
    else if (type >= LOCALE_SABBREVDAYNAME1 && type < LOCALE_SABBREVDAYNAME1 + 7)
      text = host.Item(PosixDay(type - LOCALE_SABBREVDAYNAME1, ABDAY_1));
    else if (type >= LOCALE_SMONTHNAME1 && type < LOCALE_SMONTHNAME1 + 12)
      text =
          host.Item(static_cast<nl_item>(MON_1 + static_cast<nl_item>(type - LOCALE_SMONTHNAME1)));
    else if (type >= LOCALE_SABBREVMONTHNAME1 && type < LOCALE_SABBREVMONTHNAME1 + 12)
      text = host.Item(
          static_cast<nl_item>(ABMON_1 + static_cast<nl_item>(type - LOCALE_SABBREVMONTHNAME1)));
  }
  if (!text) {
    lastError_->Set(ERROR_INVALID_FLAGS);
    return false;
  }
  data = std::move(*text);
  return true;
}

} // namespace quillon::winapi::image
