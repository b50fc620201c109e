// Numbers to text and number text to numbers, by the OLE rules, and the
// exact roundings that the conversions between number kinds share.
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <utility>

#include "engine/values/conversion_detail.h"
#include "support/text.h"
#include "support/whole_number.h"

namespace vesk {

using namespace conversion_detail;

namespace {

// 10^digits (exact for the 7 and 15 digits used): the whole numbers below
// it print without an exponent.
template <class Float>
constexpr Float whole_limit(int digits) {
  Float limit = 1;
  for (int i = 0; i < digits; ++i) limit *= 10;
  return limit;
}

// The decimal digits of [magnitude] into [out]; answers how many.
size_t whole_digits(uint64_t magnitude, char16_t* out) {
  // The count from the bit length: log10(2) is about 1233 / 4096.
  static constexpr auto k_powers = [] {
    std::array<uint64_t, 20> powers{};
    uint64_t power = 1;
    for (uint64_t& p : powers) p = std::exchange(power, power * 10);
    return powers;
  }();
  int bits = 64 - __builtin_clzll(magnitude | 1);
  size_t order = static_cast<size_t>(bits * 1233) >> 12;
  size_t count = order + (magnitude >= k_powers[order] ? 1 : 0);
  if (count == 0) count = 1;
  char16_t* at = out + count;
  // The digits below 2^32 come by 32-bit steps, which cost less, two at a
  // time.
  while (magnitude > 0xFFFFFFFFu) {
    *--at = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  }
  static constexpr char k_pairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  uint32_t low = static_cast<uint32_t>(magnitude);
  while (low >= 100) {
    const char* pair = k_pairs + 2 * (low % 100);
    low /= 100;
    *--at = static_cast<char16_t>(pair[1]);
    *--at = static_cast<char16_t>(pair[0]);
  }
  if (low >= 10) {
    *--at = static_cast<char16_t>(k_pairs[2 * low + 1]);
    *--at = static_cast<char16_t>(k_pairs[2 * low]);
  } else {
    *--at = static_cast<char16_t>(u'0' + low);
  }
  return count;
}

// [value] with [digits] significant digits in the shortest of the fixed and
// exponent forms (C's "%.*G"), the special values spelt as OLE spells them,
// written to [out] (k_number_text_room units); answers the length.
template <class Float, int digits>
size_t float_text(Float value, char16_t* out) {
  auto spelt = [out](std::u16string_view text) {
    std::copy(text.begin(), text.end(), out);
    return text.size();
  };
  if (std::isnan(value)) return spelt(std::signbit(value) ? u"-NAN(IND)" : u"NAN");
  if (std::isinf(value)) return spelt(value < 0 ? u"-INF" : u"INF");
  if (value == 0) return spelt(u"0");
  // OPTIMIZATION: a whole number below 10^digits prints its digits alone,
  // which is what the general form gives it; no conversion library needed.
  constexpr Float limit = whole_limit<Float>(digits);
  if (std::fabs(value) < limit) {
    // Below 2^31 the test and the conversion are 32-bit ones: on 32-bit x86
    // a 64-bit conversion goes through the x87 unit.
    double d = value;
    int32_t small = 0;
    uint64_t magnitude = 0;
    bool whole = false;
    if (truncate_to_int32(d, small)) {
      whole = static_cast<double>(small) == d;
      magnitude = small < 0 ? 0 - static_cast<uint64_t>(int64_t{small}) : static_cast<uint64_t>(small);
    } else if (is_whole_below_2_63(d)) {
      int64_t big = static_cast<int64_t>(d);
      whole = true;
      magnitude = big < 0 ? 0 - static_cast<uint64_t>(big) : static_cast<uint64_t>(big);
    }
    if (whole) {
      size_t sign = d < 0 ? 1 : 0;
      out[0] = u'-';
      return sign + whole_digits(magnitude, out + sign);
    }
  }
  char buffer[k_number_text_room];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  if (ec != std::errc()) return spelt(u"0");
  size_t length = static_cast<size_t>(end - buffer);
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<char16_t>(buffer[i] == 'e' ? 'E' : buffer[i]);
  return length;
}

// Number text taken apart. A decimal number is [digits] times 10^[exponent],
// the digits without leading or trailing zeros (none for 0). An "&H" or
// "&O" number is the 32-bit [word].
struct NumberText {
  bool negative = false;
  bool is_word = false;
  int32_t word = 0;
  std::string digits;
  int64_t exponent = 0;
};

constexpr int64_t k_exponent_cap = 1'000'000'000;

// The reader of number text. The grammar, blanks allowed between the parts:
//   text   -> affix* number affix*
//   affix  -> "+" | "-" | "(" | ")" | currency symbol   (each at most once;
//             "(" only before the number, ")" only after it, and only both)
//   number -> "&H" hexdigit+ | "&O" octdigit+
//           | digit { digit | "," | "." } [ ("E"|"e") ["+"|"-"] digit+ ]
//             (at most one ".", which may also lead: ".5")
class NumberTextReader {
 public:
  NumberTextReader(std::u16string_view text, const LocaleFacts& facts) : m_text(text), m_facts(facts) {}

  Converted<NumberText> read() {
    if (!read_affixes(true) || at_end()) return ConversionError::TypeMismatch;
    bool overflow = false;
    bool ok = peek() == u'&' ? read_word(overflow) : read_decimal();
    if (!ok || !read_affixes(false) || m_parens == 1) return ConversionError::TypeMismatch;
    if (overflow) return ConversionError::Overflow;
    m_number.negative = m_minus || m_parens == 2;
    return m_number;
  }

 private:
  bool at_end() const { return m_pos >= m_text.size(); }
  char16_t peek() const { return at_end() ? 0 : m_text[m_pos]; }

  bool take_currency() {
    for (std::u16string_view symbol : {m_facts.currency_symbol, m_facts.other_currency_symbol}) {
      if (!symbol.empty() && m_text.substr(m_pos).starts_with(symbol)) {
        m_pos += symbol.size();
        return true;
      }
    }
    return false;
  }

  // The signs, parentheses, currency symbols and blanks before ([leading])
  // or after the number; false when one repeats or does not belong there.
  bool read_affixes(bool leading) {
    while (!at_end()) {
      char16_t c = peek();
      if (is_text_blank(c)) {
        ++m_pos;
      } else if (c == u'+' && !m_plus) {
        m_plus = true;
        ++m_pos;
      } else if (c == u'-' && !m_minus) {
        m_minus = true;
        ++m_pos;
      } else if (c == u'(' && leading && m_parens == 0) {
        m_parens = 1;
        ++m_pos;
      } else if (c == u')' && !leading && m_parens == 1) {
        m_parens = 2;
        ++m_pos;
      } else if (!m_currency && take_currency()) {
        m_currency = true;
      } else {
        return leading;
      }
    }
    return true;
  }

  static int digit_value(char16_t c, int base) {
    int v = is_ascii_digit(c) ? c - u'0' : (c >= u'A' && c <= u'F') ? c - u'A' + 10 : (c >= u'a' && c <= u'f') ? c - u'a' + 10 : 99;
    return v < base ? v : -1;
  }

  // "&H…" or "&O…": a 32-bit word; values from 2^31 on wrap to negative.
  bool read_word(bool& overflow) {
    char16_t kind = ascii_upper(m_pos + 1 < m_text.size() ? m_text[m_pos + 1] : u'\0');
    int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
    if (base == 0) return false;
    m_pos += 2;
    uint64_t value = 0;
    size_t start = m_pos;
    for (int d; !at_end() && (d = digit_value(peek(), base)) >= 0; ++m_pos) {
      value = value * base + d;
      if (value > 0xFFFFFFFFu) {
        overflow = true;
        value = 0;
      }
    }
    m_number.is_word = true;
    m_number.word = static_cast<int32_t>(static_cast<uint32_t>(value));
    return m_pos > start;
  }

  bool read_decimal() {
    bool seen_digit = false;
    bool seen_point = false;
    int64_t fraction_digits = 0;
    size_t trailing_zeros = 0;
    for (; !at_end(); ++m_pos) {
      char16_t c = peek();
      if (is_ascii_digit(c)) {
        seen_digit = true;
        if (seen_point) ++fraction_digits;
        if (c == u'0' && m_number.digits.empty()) continue;
        m_number.digits.push_back(static_cast<char>(c));
        trailing_zeros = c == u'0' ? trailing_zeros + 1 : 0;
      } else if (c == m_facts.thousands_separator && seen_digit) {
        continue;
      } else if (c == m_facts.decimal_separator && !seen_point) {
        seen_point = true;
      } else {
        break;
      }
    }
    if (!seen_digit) return false;
    m_number.digits.resize(m_number.digits.size() - trailing_zeros);
    int64_t exponent = 0;
    if (ascii_upper(peek()) == u'E' && !read_exponent(exponent)) return false;
    m_number.exponent = exponent - fraction_digits + static_cast<int64_t>(trailing_zeros);
    return true;
  }

  // "E" [sign] digits; the value is capped far beyond any double's range.
  bool read_exponent(int64_t& exponent) {
    ++m_pos;
    bool negative = peek() == u'-';
    if (peek() == u'-' || peek() == u'+') ++m_pos;
    size_t start = m_pos;
    for (; !at_end() && is_ascii_digit(peek()); ++m_pos)
      exponent = std::min(exponent * 10 + (peek() - u'0'), k_exponent_cap);
    if (negative) exponent = -exponent;
    return m_pos > start;
  }

  std::u16string_view m_text;
  const LocaleFacts& m_facts;
  size_t m_pos = 0;
  bool m_plus = false;
  bool m_minus = false;
  int m_parens = 0;  // 1 after "(", 2 after the matching ")"
  bool m_currency = false;
  NumberText m_number;
};

Converted<NumberText> split_number_text(std::u16string_view text, ConversionLocale locale) {
  return NumberTextReader(text, locale_facts(locale)).read();
}

// The nearest double to the decimal number, ties to even.
Converted<double> decimal_to_double(const NumberText& number) {
  if (number.digits.empty()) return number.negative ? -0.0 : 0.0;
  // The number lies in [10^(magnitude-1), 10^magnitude).
  int64_t magnitude = static_cast<int64_t>(number.digits.size()) + number.exponent;
  if (magnitude > 310) return ConversionError::Overflow;
  double value = 0;
  if (magnitude >= -330) {
    std::string text = number.digits + "e" + std::to_string(number.exponent);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
      if (magnitude > 0) return ConversionError::Overflow;
      value = 0;
    } else if (ec != std::errc() || end != text.data() + text.size()) {
      return ConversionError::TypeMismatch;
    }
  }
  return number.negative ? -value : value;
}

bool multiply_add(uint64_t& value, uint64_t factor, uint64_t addend) {
  return !__builtin_mul_overflow(value, factor, &value) && !__builtin_add_overflow(value, addend, &value);
}

// The decimal number times 10^[scale], rounded to even.
Converted<WholeNumber> decimal_to_whole(const NumberText& number, int scale) {
  WholeNumber out{number.negative, 0};
  const std::string& digits = number.digits;
  int64_t exponent = number.exponent + scale;
  int64_t kept = static_cast<int64_t>(digits.size()) + std::min<int64_t>(exponent, 0);
  if (digits.empty() || kept < 0) return out;
  if (kept > 20 || exponent > 20) return ConversionError::Overflow;
  for (int64_t i = 0; i < kept; ++i)
    if (!multiply_add(out.magnitude, 10, digits[i] - '0')) return ConversionError::Overflow;
  for (int64_t i = 0; i < exponent; ++i)
    if (!multiply_add(out.magnitude, 10, 0)) return ConversionError::Overflow;
  if (kept < static_cast<int64_t>(digits.size())) {
    // The dropped digits end in a non-zero digit, so a first dropped "5"
    // is a tie only when it is the last digit.
    char first = digits[kept];
    bool tie = first == '5' && kept + 1 == static_cast<int64_t>(digits.size());
    bool up = first > '5' || (first == '5' && (!tie || (out.magnitude & 1)));
    if (up && !multiply_add(out.magnitude, 1, 1)) return ConversionError::Overflow;
  }
  return out;
}

}  // namespace

size_t double_to_text(double value, char16_t* out) { return float_text<double, 15>(value, out); }

std::u16string double_to_text(double value) {
  char16_t text[k_number_text_room];
  return std::u16string(text, double_to_text(value, text));
}

std::u16string float_to_text(float value) {
  char16_t text[k_number_text_room];
  return std::u16string(text, float_text<float, 7>(value, text));
}

std::u16string currency_to_text(int64_t scaled) {
  WholeNumber amount = whole_from_signed(scaled);
  std::u16string text = amount.negative ? u"-" : u"";
  std::string whole = std::to_string(amount.magnitude / 10000);
  text.append(whole.begin(), whole.end());
  unsigned fraction = static_cast<unsigned>(amount.magnitude % 10000);
  if (fraction != 0) {
    text.push_back(u'.');
    for (unsigned unit = 1000; fraction != 0; unit /= 10) {
      text.push_back(static_cast<char16_t>(u'0' + fraction / unit));
      fraction %= unit;
    }
  }
  return text;
}

Converted<double> text_to_double(std::u16string_view text, ConversionLocale locale) {
  Converted<NumberText> number = split_number_text(text, locale);
  if (!number) return number.error();
  if (number->is_word) return number->negative ? -double(number->word) : double(number->word);
  return decimal_to_double(*number);
}

Converted<bool> text_to_bool(std::u16string_view text, ConversionLocale locale) {
  if (ascii_iequals(text, u"True") || ascii_iequals(text, u"#TRUE#")) return true;
  if (ascii_iequals(text, u"False") || ascii_iequals(text, u"#FALSE#")) return false;
  Converted<double> number = text_to_double(text, locale);
  if (!number) return number.error();
  return *number != 0;
}

namespace conversion_detail {

WholeNumber whole_from_signed(int64_t value) {
  uint64_t magnitude = static_cast<uint64_t>(value);
  return value < 0 ? WholeNumber{true, 0 - magnitude} : WholeNumber{false, magnitude};
}

Converted<WholeNumber> round_double(double value) {
  double rounded = std::nearbyint(value);
  if (!(std::fabs(rounded) < 18446744073709551616.0)) return ConversionError::Overflow;
  return WholeNumber{rounded < 0, static_cast<uint64_t>(std::fabs(rounded))};
}

Converted<int64_t> double_to_currency(double value) {
  if (!(std::fabs(value) < 1e15)) return ConversionError::Overflow;
  if (value == 0) return int64_t{0};
  // |value| = mantissa * 2^(exponent - 53) with a 53-bit mantissa, and
  // 10,000 = 625 * 2^4, so |value| * 10,000 = mantissa * 625 * 2^(exponent
  // - 49), whose integer factor still fits in 64 bits.
  int exponent = 0;
  double fraction = std::frexp(std::fabs(value), &exponent);
  uint64_t product = static_cast<uint64_t>(std::ldexp(fraction, 53)) * 625;
  int shift = exponent - 49;
  uint64_t amount = 0;
  if (shift >= 0) {
    amount = product << shift;  // |value| < 2^50 keeps shift <= 1
  } else if (shift > -64) {
    int drop = -shift;
    amount = product >> drop;
    uint64_t rest = product & ((uint64_t{1} << drop) - 1);
    uint64_t half = uint64_t{1} << (drop - 1);
    if (rest > half || (rest == half && (amount & 1))) ++amount;
  }
  WholeNumber out{value < 0, amount};
  if (!out.fits_signed(64)) return ConversionError::Overflow;
  return out.as_signed();
}

WholeNumber round_currency(int64_t scaled) {
  WholeNumber amount = whole_from_signed(scaled);
  uint64_t whole = amount.magnitude / 10000;
  uint64_t rest = amount.magnitude % 10000;
  if (rest > 5000 || (rest == 5000 && (whole & 1))) ++whole;
  return WholeNumber{amount.negative, whole};
}

double currency_to_double(int64_t scaled) {
  std::string text = std::to_string(scaled) + "e-4";
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

Converted<WholeNumber> text_to_whole(std::u16string_view text, ConversionLocale locale, int scale) {
  Converted<NumberText> number = split_number_text(text, locale);
  if (!number) return number.error();
  if (!number->is_word) return decimal_to_whole(*number, scale);
  int64_t value = number->word;
  for (int i = 0; i < scale; ++i) value *= 10;
  return whole_from_signed(number->negative ? -value : value);
}

}  // namespace conversion_detail

}  // namespace vesk
