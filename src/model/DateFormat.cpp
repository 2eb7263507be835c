#include "model/DateFormat.h"

#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <optional>

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

// --- Windows pictures ----------------------------------------------------------------------

void AppendLiteral(std::string& out, std::string_view literal) {
  if (literal.empty())
    return;
  const char quote = literal.find('"') == std::string_view::npos ? '"' : '\'';
  out += quote;
  out += literal;
  out += quote;
}

// One run of a picture letter ("MMM") as the token of our formats; empty for a letter that is
// text, nullopt for one we cannot show (the era).
std::optional<std::string> TokenOfPicture(char letter, std::size_t count) {
  const auto repeat = [&](char c, std::size_t most) {
    return std::string(std::min(count, most), c);
  };
  switch (letter) {
  case 'd':
    return repeat('d', 4);
  case 'M':
    return repeat('m', 4);
  case 'y':
    return count <= 2 ? "yy" : "yyyy";
  case 'h':
  case 'H':
    return repeat('h', 2); // 12 hours when an am/pm token follows, as in the picture
  case 'm':
    return repeat('n', 2);
  case 's':
    return repeat('s', 2);
  case 't':
    return count == 1 ? "a/p" : "ampm";
  case 'g':
    return std::nullopt;
  default:
    return std::string();
  }
}

// A Windows date or time picture ("dd.MM.yyyy", "h:mm:ss tt") in our format's tokens; quoted text
// ('o''clock') and every other character stay literal.
std::optional<std::string> ConvertPicture(std::string_view picture) {
  std::string out;
  std::string literal;
  auto flushLiteral = [&] {
    if (literal.find('"') != std::string::npos && literal.find('\'') != std::string::npos)
      return false;
    AppendLiteral(out, literal);
    literal.clear();
    return true;
  };
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      for (++i; i < picture.size(); ++i) {
        if (picture[i] != '\'')
          literal += picture[i];
        else if (i + 1 < picture.size() && picture[i + 1] == '\'')
          literal += picture[++i];
        else
          break;
      }
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < picture.size() && picture[end] == c)
      ++end;
    const std::optional<std::string> token = TokenOfPicture(c, end - i);
    if (!token)
      return std::nullopt;
    if (token->empty()) {
      literal.append(picture.substr(i, end - i));
    } else {
      if (!flushLiteral())
        return std::nullopt;
      out += *token;
    }
    i = end;
  }
  if (!flushLiteral())
    return std::nullopt;
  return out;
}

std::optional<std::string> LocaleText(winapi::LCTYPE type) {
  std::string text;
  if (winapi::GetLocaleInfo(winapi::LOCALE_USER_DEFAULT, type, text) == 0)
    return std::nullopt;
  return text;
}

} // namespace

bool ApplyLocalePictures(std::string_view shortDate, std::string_view time,
                         TFormatSettings& settings) {
  const std::optional<std::string> date = ConvertPicture(shortDate);
  const std::optional<std::string> longTime = ConvertPicture(time);
  if (!date || !longTime || date->empty() || longTime->empty())
    return false;
  settings.ShortDateFormat = *date;
  settings.LongTimeFormat = *longTime;
  return true;
}

TFormatSettings LocaleFormatSettings() {
  TFormatSettings settings;
  const std::optional<std::string> date = LocaleText(winapi::LOCALE_SSHORTDATE);
  const std::optional<std::string> time = LocaleText(winapi::LOCALE_STIMEFORMAT);
  if (!date || !time || !ApplyLocalePictures(*date, *time, settings))
    return settings;
  const auto name = [](winapi::LCTYPE type, std::string& target) {
    if (std::optional<std::string> text = LocaleText(type); text && !text->empty())
      target = std::move(*text);
  };
  for (std::size_t i = 0; i < 12; ++i) {
    const auto month = static_cast<winapi::LCTYPE>(i);
    name(winapi::LOCALE_SABBREVMONTHNAME1 + month, settings.ShortMonthNames[i]);
    name(winapi::LOCALE_SMONTHNAME1 + month, settings.LongMonthNames[i]);
  }
  // Our names start on Sunday, the locale's on Monday.
  for (std::size_t i = 0; i < 7; ++i) {
    const auto day = static_cast<winapi::LCTYPE>((i + 6) % 7);
    name(winapi::LOCALE_SABBREVDAYNAME1 + day, settings.ShortDayNames[i]);
    name(winapi::LOCALE_SDAYNAME1 + day, settings.LongDayNames[i]);
  }
  // 24-hour locales have no markers; keep ours for formats that ask for them anyway.
  name(winapi::LOCALE_S1159, settings.TimeAMString);
  name(winapi::LOCALE_S2359, settings.TimePMString);
  return settings;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = LocaleFormatSettings();
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
