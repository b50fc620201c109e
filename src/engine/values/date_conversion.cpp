// The calendar of OLE dates and the text form of a date.
#include "engine/values/date_conversion.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "engine/values/conversion_detail.h"

namespace vesk {

using namespace conversion_detail;

namespace {

// 1899-12-30 counted in days from 1970-01-01.
constexpr int64_t k_epoch_from_1970 = -25569;

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static constexpr int k_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : k_days[month - 1];
}

// Days from 1970-01-01 to the Gregorian date, for any year (the era
// arithmetic of the proleptic calendar, 400 years a cycle).
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

void civil_from_days(int64_t days, DateTime& out) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  unsigned day_of_era = static_cast<unsigned>(days - era * 146097);
  unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  unsigned shifted_month = (5 * day_of_year + 2) / 153;
  out.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  out.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  out.year = static_cast<int>(static_cast<int64_t>(year_of_era) + era * 400 + (out.month <= 2));
}

bool fields_in_range(const DateTime& p) {
  return p.month >= 1 && p.month <= 12 && p.day >= 1 && p.day <= days_in_month(p.year, p.month) &&
         p.hour >= 0 && p.hour <= 23 && p.minute >= 0 && p.minute <= 59 && p.second >= 0 &&
         p.second <= 59 && p.millisecond >= 0 && p.millisecond <= 999;
}

void append_number(std::u16string& text, int value, int min_digits = 1) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < min_digits) text.append(min_digits - digits.size(), u'0');
  text.append(digits.begin(), digits.end());
}

void append_date(std::u16string& text, const DateTime& p, const LocaleFacts& facts) {
  bool year_first = facts.date_order == DateOrder::YearMonthDay;
  append_number(text, year_first ? p.year : p.month);
  text.push_back(u'/');
  append_number(text, year_first ? p.month : p.day);
  text.push_back(u'/');
  append_number(text, year_first ? p.day : p.year);
}

void append_time(std::u16string& text, const DateTime& p, const LocaleFacts& facts) {
  int hour = p.hour;
  if (facts.twelve_hour_clock) hour = hour % 12 == 0 ? 12 : hour % 12;
  append_number(text, hour);
  text.push_back(u':');
  append_number(text, p.minute, 2);
  text.push_back(u':');
  append_number(text, p.second, 2);
  if (facts.twelve_hour_clock) {
    text.push_back(u' ');
    text.append(p.hour < 12 ? facts.am_designator : facts.pm_designator);
  }
}

}  // namespace

Converted<double> date_from_parts(const DateTime& parts) {
  if (parts.year < 100 || parts.year > 9999) return ConversionError::Overflow;
  if (!fields_in_range(parts)) return ConversionError::TypeMismatch;
  int64_t days = days_from_civil(parts.year, parts.month, parts.day) - k_epoch_from_1970;
  int64_t milliseconds = ((parts.hour * 60 + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
  double time = static_cast<double>(milliseconds) / 86400000.0;
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

Converted<DateTime> date_to_parts(double date, bool milliseconds) {
  if (!(date > k_first_date - 1 && date < k_last_date + 1)) return ConversionError::Overflow;
  double whole = 0;
  double fraction = std::fabs(std::modf(date, &whole));
  int64_t days = static_cast<int64_t>(whole);
  const int64_t units_per_day = milliseconds ? 86400000 : 86400;
  int64_t units = std::llround(fraction * static_cast<double>(units_per_day));
  if (units >= units_per_day) {
    // Rounding reached the next midnight; the last day keeps its last unit.
    if (days < static_cast<int64_t>(k_last_date)) {
      ++days;
      units = 0;
    } else {
      units = units_per_day - 1;
    }
  }
  DateTime out;
  civil_from_days(days + k_epoch_from_1970, out);
  int64_t weekday = (days + 6) % 7;
  out.weekday = static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
  int64_t seconds = milliseconds ? units / 1000 : units;
  out.millisecond = milliseconds ? static_cast<int>(units % 1000) : 0;
  out.hour = static_cast<int>(seconds / 3600);
  out.minute = static_cast<int>(seconds / 60 % 60);
  out.second = static_cast<int>(seconds % 60);
  return out;
}

Converted<std::u16string> date_to_text(double date, ConversionLocale locale) {
  Converted<DateTime> parts = date_to_parts(date);
  if (!parts) return parts.error();
  const LocaleFacts& facts = locale_facts(locale);
  const DateTime& p = *parts;
  bool has_date = !(p.year == 1899 && p.month == 12 && p.day == 30);
  bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  std::u16string text;
  if (has_date) append_date(text, p, facts);
  if (has_date && has_time) text.push_back(u' ');
  if (has_time || !has_date) append_time(text, p, facts);
  return text;
}

}  // namespace vesk
