// OLE dates: the calendar behind them, their text forms and the reading of
// date and time texts.
//
// An OLE date is a double: the whole part counts days from 1899-12-30, the
// fraction is the time of day. Before that day the whole part is negative
// and the fraction still counts forward from midnight, so -1.5 is noon of
// 1899-12-29. The calendar is the Gregorian one throughout, and dates run
// from 100-01-01 to 9999-12-31.
//
// The text of a date follows the locale: "M/d/yyyy h:mm:ss AM" in English,
// "yyyy/M/d H:mm:ss" in Japanese. A date at midnight shows no time, and a
// time on 1899-12-30 (the date 0) shows no date.
//
// Date text is read as a list of numbers joined by date separators ("/",
// "-"), time separators (":", ".") and blanks or commas, with English month
// and weekday names in the English locale and the designators "AM", "PM"
// (and the locale's own, "午前" and "午後") after a time. The numbers of the
// date are matched to month, day and year in the locale's order first, then
// in the other orders, so "13/1/2000" is the 13th of January. A two-digit
// year 00-49 is 20xx, 50-99 is 19xx; a date without a year is in the
// current year; a text with a year and a month only is the 1st of that
// month. A text that is only a number is not a date.
#pragma once

#include <string>
#include <string_view>

#include "engine/values/conversion.h"

namespace vesk {

// A calendar date and time of day.
struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int weekday = 6;  // 0 Sunday … 6 Saturday; ignored by date_from_parts
};

inline constexpr double k_first_date = -657434.0;  // 100-01-01
inline constexpr double k_last_date = 2958465.0;   // 9999-12-31

// The OLE date of [parts]. A field out of its range is a type mismatch, a
// year outside 100 … 9999 an overflow.
Converted<double> date_from_parts(const DateTime& parts);

// [date] taken apart, the time rounded to the nearest second, or to the
// nearest millisecond when [milliseconds]. A date outside the range, NaN
// too, is an overflow.
Converted<DateTime> date_to_parts(double date, bool milliseconds = false);

Converted<std::u16string> date_to_text(double date, ConversionLocale locale = process_conversion_locale());

// Reads a date or time text; a date without a year takes [current_year].
Converted<double> text_to_date(std::u16string_view text, ConversionLocale locale, int current_year);
// The same in the current year of the system clock.
Converted<double> text_to_date(std::u16string_view text, ConversionLocale locale = process_conversion_locale());

}  // namespace vesk
