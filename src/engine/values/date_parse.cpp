// The reading of date and time texts into OLE dates.
#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <string_view>

#include "engine/values/conversion_detail.h"
#include "engine/values/date_conversion.h"
#include "support/text.h"

namespace vesk {

using namespace conversion_detail;

namespace {

// Full names first, so that "June" is not read as "Jun" and a stray "e".
constexpr std::u16string_view k_month_names[] = {
    u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August",
    u"September", u"October", u"November", u"December", u"Jan", u"Feb", u"Mar", u"Apr",
    u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
constexpr std::u16string_view k_english_weekdays[] = {
    u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday",
    u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
constexpr std::u16string_view k_japanese_weekdays[] = {
    u"\u65E5\u66DC\u65E5", u"\u6708\u66DC\u65E5", u"\u706B\u66DC\u65E5", u"\u6C34\u66DC\u65E5",
    u"\u6728\u66DC\u65E5", u"\u91D1\u66DC\u65E5", u"\u571F\u66DC\u65E5"};

constexpr int k_max_fields = 6;

// One number of the text, or a month given by name.
struct DateField {
  int value = 0;
  bool month_name = false;
  bool time_separator_after = false;
  bool date_separator_after = false;
};

enum class Designator { None, Am, Pm };

// The numbers of a date text in order, with what stood between them.
struct DateFields {
  DateField fields[k_max_fields];
  int count = 0;
  Designator designator = Designator::None;
  int designator_field = -1;
};

// The length of the name in [names] that [rest] starts with, 0 for none.
template <class Names>
size_t name_length(std::u16string_view rest, const Names& names, int* index = nullptr) {
  int i = 0;
  for (std::u16string_view name : names) {
    if (ascii_istarts_with(rest, name)) {
      if (index) *index = i;
      return name.size();
    }
    ++i;
  }
  return 0;
}

class DateTextScanner {
 public:
  DateTextScanner(std::u16string_view text, const LocaleFacts& facts) : m_text(text), m_facts(facts) {}

  bool scan(DateFields& out) {
    while (m_pos < m_text.size()) {
      char16_t c = m_text[m_pos];
      bool last = m_pos + 1 == m_text.size();
      bool ok = true;
      if (is_text_blank(c)) {
        ++m_pos;
      } else if (is_ascii_digit(c)) {
        ok = scan_number(out);
      } else if (c == u':' || c == u'.') {
        ok = mark_separator(out, last, &DateField::time_separator_after);
      } else if (c == u'/' || c == u'-') {
        ok = ++m_date_separators <= 2 && mark_separator(out, last, &DateField::date_separator_after);
      } else if (c == u',') {
        ok = !last;
        ++m_pos;
      } else {
        ok = scan_name(out);
      }
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool scan_number(DateFields& out) {
    if (out.count == k_max_fields) return false;
    int value = 0;
    for (; m_pos < m_text.size() && is_ascii_digit(m_text[m_pos]); ++m_pos)
      value = std::min(value * 10 + (m_text[m_pos] - u'0'), 100000);
    out.fields[out.count++].value = value;
    return true;
  }

  // A separator stands after a field, once, and not at the end.
  bool mark_separator(DateFields& out, bool last, bool DateField::*kind) {
    ++m_pos;
    if (out.count == 0 || last) return false;
    DateField& field = out.fields[out.count - 1];
    if (field.time_separator_after || field.date_separator_after) return false;
    field.*kind = true;
    return true;
  }

  bool scan_name(DateFields& out) {
    std::u16string_view rest = m_text.substr(m_pos);
    size_t length = 0;
    if ((length = designator_length(rest, out)) != 0) {
      if (out.count == 0 || out.designator_field >= 0) return false;
      out.designator_field = out.count - 1;
    } else if (int month = 0; m_facts.english_date_names && (length = name_length(rest, k_month_names, &month))) {
      if (out.count == k_max_fields) return false;
      out.fields[out.count].value = month % 12 + 1;
      out.fields[out.count++].month_name = true;
    } else if (m_facts.english_date_names) {
      length = name_length(rest, k_english_weekdays);
    } else {
      length = name_length(rest, k_japanese_weekdays);
    }
    m_pos += length;
    return length != 0;
  }

  // "AM" and "PM" are read in every locale, the locale's own designators
  // beside them.
  size_t designator_length(std::u16string_view rest, DateFields& out) const {
    int which = 0;
    size_t length = name_length(rest, std::initializer_list<std::u16string_view>{
        u"AM", u"PM", m_facts.am_designator, m_facts.pm_designator}, &which);
    if (length) out.designator = which % 2 == 0 ? Designator::Am : Designator::Pm;
    return length;
  }

  std::u16string_view m_text;
  const LocaleFacts& m_facts;
  size_t m_pos = 0;
  int m_date_separators = 0;
};

// Where month, day and year stand among the date fields.
struct FieldOrder {
  int month;
  int day;
  int year;
};

constexpr FieldOrder k_mdy{0, 1, 2};
constexpr FieldOrder k_dmy{1, 0, 2};
constexpr FieldOrder k_ymd{1, 2, 0};
constexpr FieldOrder k_ydm{2, 1, 0};
constexpr FieldOrder k_myd{0, 2, 1};

// The locale's order is tried first, then the orders that keep the month
// before the day, then the rest.
constexpr FieldOrder k_month_day_year_trials[] = {k_mdy, k_ymd, k_myd, k_ydm, k_dmy};
constexpr FieldOrder k_year_month_day_trials[] = {k_ymd, k_mdy, k_myd, k_ydm, k_dmy};

int full_year(int year) { return year < 50 ? year + 2000 : year < 100 ? year + 1900 : year; }

bool is_valid_date(int year, int month, int day) {
  DateTime probe;
  probe.year = year;
  probe.month = month;
  probe.day = day;
  return year >= 100 && year <= 9999 && date_from_parts(probe).ok();
}

// The calendar date of [values] (the numbers of the date, a third standing
// for the current year when the text had two); false when no order fits.
bool resolve_date(const DateField* values, int count, int current_year, const LocaleFacts& facts, DateTime& out) {
  int named_month = -1;
  for (int i = 0; i < count; ++i)
    if (values[i].month_name) {
      if (named_month >= 0) return false;
      named_month = i;
    }
  int v[3] = {values[0].value, values[1].value, count == 3 ? values[2].value : current_year};
  bool from_text[3] = {true, true, count == 3};
  auto fits = [&](const FieldOrder& order, int day_fallback) {
    if (named_month >= 0 && order.month != named_month) return false;
    int year = from_text[order.year] ? full_year(v[order.year]) : v[order.year];
    int day = day_fallback ? day_fallback : v[order.day];
    if (!is_valid_date(year, v[order.month], day)) return false;
    out.year = year;
    out.month = v[order.month];
    out.day = day;
    return true;
  };
  const auto& trials = facts.date_order == DateOrder::YearMonthDay ? k_year_month_day_trials : k_month_day_year_trials;
  for (const FieldOrder& order : trials)
    if (count == 3 || order.year == 2) {
      if (fits(order, 0)) return true;
    }
  if (count != 2) return false;
  // Two numbers that are no day and month: a year and a month, on the 1st.
  v[2] = 1;
  return fits(FieldOrder{1, 2, 0}, 1) || fits(FieldOrder{0, 2, 1}, 1);
}

// Splits the fields into the time (first..last) and the date around it.
bool find_time_fields(const DateFields& f, int& first, int& last) {
  first = -1;
  for (int i = 0; i < f.count; ++i)
    if (f.fields[i].time_separator_after) {
      first = i;
      break;
    }
  if (first < 0) {
    // A lone number before a designator is an hour ("3 PM").
    first = last = f.designator_field;
    return first < 0 || first == 0 || !f.fields[first - 1].date_separator_after;
  }
  last = first;
  while (f.fields[last].time_separator_after) ++last;
  for (int i = last + 1; i < f.count; ++i)
    if (f.fields[i].time_separator_after) return false;
  if (f.designator_field >= 0 && f.designator_field != last) return false;
  if (first > 0 && f.fields[first - 1].date_separator_after) return false;
  return last - first < 3;
}

bool resolve_time(const DateFields& f, int first, int last, DateTime& out) {
  int values[3] = {0, 0, 0};
  for (int i = first; i <= last; ++i) {
    const DateField& field = f.fields[i];
    if (field.month_name || field.date_separator_after) return false;
    values[i - first] = field.value;
  }
  int hour = values[0];
  if (f.designator == Designator::Pm && hour < 12) hour += 12;
  if (f.designator == Designator::Am && hour == 12) hour = 0;
  if (hour > 23 || values[1] > 59 || values[2] > 59) return false;
  out.hour = hour;
  out.minute = values[1];
  out.second = values[2];
  return true;
}

bool parse_date_fields(const DateFields& f, int current_year, const LocaleFacts& facts, DateTime& out) {
  if (f.count == 0) return false;
  const DateField& final_field = f.fields[f.count - 1];
  if (final_field.time_separator_after || final_field.date_separator_after) return false;
  int first = -1;
  int last = -1;
  if (!find_time_fields(f, first, last)) return false;
  if (first >= 0 && (!resolve_time(f, first, last, out) || (first != 0 && last != f.count - 1))) return false;
  int date_start = first == 0 ? last + 1 : 0;
  int date_count = first < 0 ? f.count : f.count - (last - first + 1);
  if (date_count == 0) return true;
  return date_count >= 2 && date_count <= 3 &&
         resolve_date(f.fields + date_start, date_count, current_year, facts, out);
}

int current_year_of_clock() {
  auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  return static_cast<int>(std::chrono::year_month_day(today).year());
}

}  // namespace

Converted<double> text_to_date(std::u16string_view text, ConversionLocale locale, int current_year) {
  const LocaleFacts& facts = locale_facts(locale);
  DateFields fields;
  DateTime parts;
  if (!DateTextScanner(text, facts).scan(fields) || !parse_date_fields(fields, current_year, facts, parts))
    return ConversionError::TypeMismatch;
  Converted<double> date = date_from_parts(parts);
  if (!date) return ConversionError::TypeMismatch;
  return date;
}

Converted<double> text_to_date(std::u16string_view text, ConversionLocale locale) {
  return text_to_date(text, locale, current_year_of_clock());
}

}  // namespace vesk
