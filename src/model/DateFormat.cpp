#include "model/DateFormat.h"

#include "winapi/TextCase.h"

#include <cstdlib>
#include <optional>

#if __has_include(<langinfo.h>)
#include <langinfo.h>
#include <locale.h>
#define QUILLON_HAVE_LANGINFO 1
#endif

namespace quillon {

namespace {

bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view what) {
  return pos <= text.size() && StartsWithTextAscii(text.substr(pos), what);
}

void AppendNumber(std::string& out, int value, int digits) {
  std::string number = std::to_string(value);
  if (static_cast<int>(number.size()) < digits)
    out.append(static_cast<std::size_t>(digits) - number.size(), '0');
  out += number;
}

// Nested formats ("c" inside a short date format, "ddddd" inside itself) end here.
constexpr int kMaxNesting = 2;

class TFormatter {
public:
  TFormatter(const TFormatSettings& settings, const TDateTimeParts& parts, std::string& out)
      : settings_(settings), parts_(parts), out_(out) {}

  void Append(std::string_view format, int depth) {
    if (depth > kMaxNesting)
      return;
    char lastToken = ' ';
    std::size_t i = 0;
    while (i < format.size()) {
      const char c = format[i];
      const char token = UpperAscii(c);
      if (c == '"' || c == '\'') {
        const std::size_t close = format.find(c, i + 1);
        const std::size_t end = close == std::string_view::npos ? format.size() : close;
        out_.append(format.substr(i + 1, end - i - 1));
        i = close == std::string_view::npos ? format.size() : close + 1;
        continue;
      }
      if (c == '/') {
        if (settings_.DateSeparator != '\0')
          out_ += settings_.DateSeparator;
        ++i;
        continue;
      }
      if (c == ':') {
        if (settings_.TimeSeparator != '\0')
          out_ += settings_.TimeSeparator;
        ++i;
        continue;
      }
      if (token == 'A') {
        i += AppendAmPm(format, i);
        continue;
      }
      if (std::string_view("YMDHNSZTC").find(token) == std::string_view::npos) {
        out_ += c;
        ++i;
        continue;
      }
      std::size_t count = 1;
      while (i + count < format.size() && UpperAscii(format[i + count]) == token)
        ++count;
      const std::size_t next = i + count;
      switch (token) {
      case 'Y':
        if (count <= 2)
          AppendNumber(out_, parts_.Year % 100, 2);
        else
          AppendNumber(out_, parts_.Year, 4);
        break;
      case 'M':
        if (lastToken == 'H')
          AppendNumber(out_, parts_.Minute, count == 1 ? 0 : 2);
        else if (count <= 2)
          AppendNumber(out_, parts_.Month, count == 1 ? 0 : 2);
        else if (count == 3)
          out_ += settings_.ShortMonthNames[static_cast<std::size_t>(parts_.Month - 1)];
        else
          out_ += settings_.LongMonthNames[static_cast<std::size_t>(parts_.Month - 1)];
        break;
      case 'D':
        if (count <= 2)
          AppendNumber(out_, parts_.Day, count == 1 ? 0 : 2);
        else if (count == 3)
          out_ += settings_.ShortDayNames[static_cast<std::size_t>(parts_.DayOfWeek - 1)];
        else if (count == 4)
          out_ += settings_.LongDayNames[static_cast<std::size_t>(parts_.DayOfWeek - 1)];
        else if (count == 5)
          Append(settings_.ShortDateFormat, depth + 1);
        else
          Append(settings_.LongDateFormat, depth + 1);
        break;
      case 'H': {
        int hour = parts_.Hour;
        if (AmPmFollows(format, next)) {
          hour %= 12;
          if (hour == 0)
            hour = 12;
        }
        AppendNumber(out_, hour, count == 1 ? 0 : 2);
        break;
      }
      case 'N':
        AppendNumber(out_, parts_.Minute, count == 1 ? 0 : 2);
        break;
      case 'S':
        AppendNumber(out_, parts_.Second, count == 1 ? 0 : 2);
        break;
      case 'Z':
        AppendNumber(out_, parts_.MSec, count <= 2 ? 0 : 3);
        break;
      case 'T':
        Append(count == 1 ? settings_.ShortTimeFormat : settings_.LongTimeFormat, depth + 1);
        break;
      case 'C':
        Append(settings_.ShortDateFormat, depth + 1);
        if (parts_.Hour != 0 || parts_.Minute != 0 || parts_.Second != 0 || parts_.MSec != 0) {
          out_ += ' ';
          Append(settings_.LongTimeFormat, depth + 1);
        }
        break;
      }
      lastToken = token;
      i = next;
    }
  }

private:
  // Writes the am/pm marker at pos (or a plain "a") and answers how many characters it took.
  std::size_t AppendAmPm(std::string_view format, std::size_t pos) {
    const bool pm = parts_.Hour >= 12;
    if (StartsWithNoCase(format, pos, "am/pm")) {
      out_.append(format.substr(pm ? pos + 3 : pos, 2));
      return 5;
    }
    if (StartsWithNoCase(format, pos, "a/p")) {
      out_ += format[pm ? pos + 2 : pos];
      return 3;
    }
    if (StartsWithNoCase(format, pos, "ampm")) {
      out_ += pm ? settings_.TimePMString : settings_.TimeAMString;
      return 4;
    }
    out_ += format[pos];
    return 1;
  }

  // Whether an am/pm marker comes before the next hour token, which makes hours 12-hour ones.
  static bool AmPmFollows(std::string_view format, std::size_t pos) {
    while (pos < format.size()) {
      const char c = format[pos];
      if (c == '"' || c == '\'') {
        const std::size_t close = format.find(c, pos + 1);
        if (close == std::string_view::npos)
          return false;
        pos = close + 1;
        continue;
      }
      if (UpperAscii(c) == 'H')
        return false;
      if (StartsWithNoCase(format, pos, "am/pm") || StartsWithNoCase(format, pos, "a/p") ||
          StartsWithNoCase(format, pos, "ampm"))
        return true;
      ++pos;
    }
    return false;
  }

  const TFormatSettings& settings_;
  const TDateTimeParts& parts_;
  std::string& out_;
};

// --- strftime patterns ---------------------------------------------------------------------

constexpr int kMaxPosixNesting = 3;

void AppendLiteral(std::string& out, std::string_view literal) {
  if (literal.empty())
    return;
  const char quote = literal.find('"') == std::string_view::npos ? '"' : '\'';
  out += quote;
  out += literal;
  out += quote;
}

std::optional<std::string> ConvertPosix(std::string_view pattern, std::string_view ampmPattern,
                                        int depth) {
  if (depth > kMaxPosixNesting)
    return std::nullopt;
  std::string out;
  std::string literal;
  auto flushLiteral = [&] {
    if (literal.find('"') != std::string::npos && literal.find('\'') != std::string::npos)
      return false;
    AppendLiteral(out, literal);
    literal.clear();
    return true;
  };
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
      token = "mm";
      break;
    case 'd':
      token = "dd";
      break;
    case 'e':
      token = "d";
      break;
    case 'b':
    case 'h':
      token = "mmm";
      break;
    case 'B':
      token = "mmmm";
      break;
    case 'a':
      token = "ddd";
      break;
    case 'A':
      token = "dddd";
      break;
    case 'H':
    case 'I':
      token = "hh";
      break;
    case 'k':
    case 'l':
      token = "h";
      break;
    case 'M':
      token = "nn";
      break;
    case 'S':
      token = "ss";
      break;
    case 'p':
    case 'P':
      token = "ampm";
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
    if (!flushLiteral())
      return std::nullopt;
    if (!token.empty()) {
      out += token;
      continue;
    }
    const std::optional<std::string> inner = ConvertPosix(expansion, ampmPattern, depth + 1);
    if (!inner)
      return std::nullopt;
    out += *inner;
  }
  if (!flushLiteral())
    return std::nullopt;
  return out;
}

} // namespace

bool ApplyPosixFormats(std::string_view dateFormat, std::string_view timeFormat,
                       std::string_view timeAmPmFormat, TFormatSettings& settings) {
  const std::optional<std::string> date = ConvertPosix(dateFormat, timeAmPmFormat, 0);
  const std::optional<std::string> time = ConvertPosix(timeFormat, timeAmPmFormat, 0);
  if (!date || !time || date->empty() || time->empty())
    return false;
  settings.ShortDateFormat = *date;
  settings.LongTimeFormat = *time;
  return true;
}

TFormatSettings HostFormatSettings() {
  TFormatSettings settings;
#ifdef QUILLON_HAVE_LANGINFO
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      name = value;
      break;
    }
  }
  if (name == nullptr)
    return settings;
  const std::string_view localeName(name);
  if (localeName == "C" || localeName == "POSIX" || localeName.starts_with("C."))
    return settings;
  const locale_t locale = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr))
    return settings;
  TFormatSettings host = settings;
  if (ApplyPosixFormats(nl_langinfo_l(D_FMT, locale), nl_langinfo_l(T_FMT, locale),
                        nl_langinfo_l(T_FMT_AMPM, locale), host)) {
    for (int i = 0; i < 12; ++i) {
      host.ShortMonthNames[static_cast<std::size_t>(i)] = nl_langinfo_l(ABMON_1 + i, locale);
      host.LongMonthNames[static_cast<std::size_t>(i)] = nl_langinfo_l(MON_1 + i, locale);
    }
    for (int i = 0; i < 7; ++i) {
      host.ShortDayNames[static_cast<std::size_t>(i)] = nl_langinfo_l(ABDAY_1 + i, locale);
      host.LongDayNames[static_cast<std::size_t>(i)] = nl_langinfo_l(DAY_1 + i, locale);
    }
    // 24-hour locales have no markers; keep ours for formats that ask for them anyway.
    if (const std::string am = nl_langinfo_l(AM_STR, locale); !am.empty())
      host.TimeAMString = am;
    if (const std::string pm = nl_langinfo_l(PM_STR, locale); !pm.empty())
      host.TimePMString = pm;
    settings = host;
  }
  freelocale(locale);
#endif
  return settings;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = HostFormatSettings();
  return settings;
}

bool TryFormatDateTime(std::string_view format, TDateTime value, std::string& text,
                       const TFormatSettings& settings) {
  TDateTimeParts parts;
  if (!TryDecodeDateTime(value, parts))
    return false;
  std::string out;
  TFormatter(settings, parts, out).Append(format, 0);
  text = std::move(out);
  return true;
}

std::string FormatDateTime(std::string_view format, TDateTime value,
                           const TFormatSettings& settings) {
  std::string text;
  if (!TryFormatDateTime(format, value, text, settings))
    throw EConvertError("Invalid argument to date encode");
  return text;
}

std::string DateCellText(TDateTime value, std::string_view zeroText,
                         const TFormatSettings& settings) {
  if (value == 0)
    return std::string(zeroText);
  std::string text;
  if (!TryFormatDateTime("c", value, text, settings))
    return "?!";
  return text;
}

} // namespace quillon
