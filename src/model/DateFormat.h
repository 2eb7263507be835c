#pragma once
// Display of dates with Delphi-style format strings ("c", "ss.zzz", "yyyy-mm-dd hh:nn:ss").
//
// Tokens (letters in either case): y/yy two-digit year, yyy/yyyy four-digit year; m/mm month,
// mmm/mmmm month name (minutes when it follows an hour token); d/dd day, ddd/dddd day name,
// ddddd short date, dddddd long date; h/hh hour (12-hour when an am/pm token follows); n/nn
// minutes; s/ss seconds; z milliseconds, zzz three-digit milliseconds; t short time, tt long time;
// c short date and long time, the time left out at exactly midnight; am/pm, a/p, ampm; "/" the
// date separator, ":" the time separator; text in '...' or "..." as it stands; anything else is
// copied.

#include "model/DateUtils.h"

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

struct TFormatSettings {
  char DateSeparator = '-';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "yyyy-mm-dd";
  std::string LongDateFormat = "dddd, d mmmm yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};
  std::array<std::string, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};
};

// A date that has no calendar form (NaN, infinite, outside years 1 to 9999).
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The settings every display uses unless it passes its own. On first use they come from the
// installed backend's locale (its short date and time pictures, names and AM/PM) when it has one
// whose pictures we can show; otherwise they are the defaults above: ISO dates "yyyy-mm-dd" and
// 24-hour times "hh:nn:ss", English names.
TFormatSettings& FormatSettings();

// The settings of the installed backend's locale, as described at FormatSettings.
TFormatSettings LocaleFormatSettings();

// Turns Windows pictures (as GetLocaleInfo reports the short date and the time format) into the
// date and time formats of settings. false, settings unchanged, for a picture with a token that has
// no counterpart here (the era).
bool ApplyLocalePictures(std::string_view shortDate, std::string_view time,
                         TFormatSettings& settings);

bool TryFormatDateTime(std::string_view format, TDateTime value, std::string& text,
                       const TFormatSettings& settings = FormatSettings());
// Throws EConvertError for a date that has no calendar form.
std::string FormatDateTime(std::string_view format, TDateTime value,
                           const TFormatSettings& settings = FormatSettings());

// The text of a date cell of a list: format "c", zeroText for the absent date 0, "?!" for a
// date that cannot be formatted.
std::string DateCellText(TDateTime value, std::string_view zeroText = {},
                         const TFormatSettings& settings = FormatSettings());

} // namespace quillon
