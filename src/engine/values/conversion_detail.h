// Pieces shared by the conversion files: the locale facts, the blank test
// and exact whole numbers. Not for use outside the conversions.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/values/conversion.h"

namespace vesk::conversion_detail {

enum class DateOrder { MonthDayYear, YearMonthDay };

// What the conversions read from the user's locale.
struct LocaleFacts {
  char16_t decimal_separator;
  char16_t thousands_separator;
  // Number text may carry either symbol. The Japanese yen sign is U+00A5 on
  // Windows; its full-width form U+FFE5 is read too.
  std::u16string_view currency_symbol;
  std::u16string_view other_currency_symbol;
  DateOrder date_order;
  bool twelve_hour_clock;
  std::u16string_view am_designator;
  std::u16string_view pm_designator;
  // Dates may name their month (and weekday) in English.
  bool english_date_names;
};

inline constexpr LocaleFacts k_english_facts{
    u'.', u',', u"$", u"", DateOrder::MonthDayYear, true, u"AM", u"PM", true};
inline constexpr LocaleFacts k_japanese_facts{
    u'.', u',', u"\u00A5", u"\uFFE5", DateOrder::YearMonthDay, false, u"\u5348\u524D", u"\u5348\u5F8C", false};

inline const LocaleFacts& locale_facts(ConversionLocale locale) {
  return locale == ConversionLocale::Japanese ? k_japanese_facts : k_english_facts;
}

// The blanks that may stand around number and date text: the ASCII controls
// tab to carriage return, the blank, and the Unicode space separators.
constexpr bool is_text_blank(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

constexpr bool is_ascii_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A whole number that may need all 64 bits either side of 0.
struct WholeNumber {
  bool negative = false;
  uint64_t magnitude = 0;

  bool fits_signed(int bits) const {
    uint64_t limit = uint64_t{1} << (bits - 1);
    return negative ? magnitude <= limit : magnitude < limit;
  }
  bool fits_unsigned(int bits) const {
    return magnitude == 0 || (!negative && (bits == 64 || magnitude < (uint64_t{1} << bits)));
  }
  // The value as a signed number; fits_signed(64) must hold.
  int64_t as_signed() const {
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  }
};

WholeNumber whole_from_signed(int64_t value);

// [value] rounded to the nearest whole number, halves to even; NaN,
// infinities and magnitudes of 2^64 and more are an overflow.
Converted<WholeNumber> round_double(double value);

// Exactly [value] times 10,000, rounded to even: the double-to-currency
// rule, free of the rounding of a floating-point product.
Converted<int64_t> double_to_currency(double value);

// The currency amount [scaled] / 10,000 rounded to a whole number, halves
// to even.
WholeNumber round_currency(int64_t scaled);

// The exact double nearest to the currency amount [scaled] / 10,000.
double currency_to_double(int64_t scaled);

// Number text read exactly, times 10^[scale], rounded to a whole number
// with halves to even (scale 0 for the integer kinds, 4 for currency).
Converted<WholeNumber> text_to_whole(std::u16string_view text, ConversionLocale locale, int scale);

}  // namespace vesk::conversion_detail
