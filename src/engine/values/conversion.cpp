// Conversions of script values from kind to kind: each target kind's rules
// over every source kind, and the VARTYPE conversion that picks among them.
#include "engine/values/conversion.h"

#include <cmath>
#include <optional>
#include <string>
#include <type_traits>

#include "engine/values/conversion_detail.h"
#include "engine/values/date_conversion.h"
#include "platform/platform.h"
#include "support/messages.h"

namespace vesk {

using namespace conversion_detail;

namespace {

constexpr ConversionError k_mismatch = ConversionError::TypeMismatch;
constexpr ConversionError k_overflow = ConversionError::Overflow;

bool is_integer_kind(VarType type) {
  switch (type) {
    case VarType::I1:
    case VarType::UI1:
    case VarType::I2:
    case VarType::UI2:
    case VarType::I4:
    case VarType::UI4:
    case VarType::I8:
    case VarType::UI8:
      return true;
    default:
      return false;
  }
}

// The exact value of an integer kind.
WholeNumber integer_of(const Value& value) {
  if (value.is(VarType::UI8)) return WholeNumber{false, value.as_ui8()};
  return whole_from_signed(value.as_i8());
}

// The text that a string kind holds; nothing for the other kinds.
std::optional<std::u16string_view> text_of(const Value& value, std::u16string& decoded) {
  if (value.is_string()) return value.as_string();
  if (!value.is_ansi_string()) return std::nullopt;
  decoded = platform::ansi_to_utf16(value.as_ansi_string());
  return std::u16string_view(decoded);
}

// [value] as an exact whole number, the way the integer kinds take it.
Converted<WholeNumber> to_whole(const Value& value, ConversionLocale locale) {
  if (is_integer_kind(value.type())) return integer_of(value);
  switch (value.type()) {
    case VarType::Empty:
      return WholeNumber{};
    case VarType::R4:
      return round_double(value.as_r4());
    case VarType::R8:
    case VarType::Date:
      return round_double(value.as_r8());
    case VarType::Currency:
      return round_currency(value.as_i8());
    case VarType::Bool:
      return whole_from_signed(value.bool_word());
    default:
      break;
  }
  std::u16string decoded;
  if (std::optional<std::u16string_view> text = text_of(value, decoded)) return text_to_whole(*text, locale, 0);
  return k_mismatch;
}

template <class T>
Converted<T> to_integer(const Value& value, ConversionLocale locale) {
  // A Boolean's word is taken into the width of an unsigned kind: the
  // COM word -1 gives 255 as a Byte.
  if (std::is_unsigned_v<T> && value.is(VarType::Bool)) return static_cast<T>(value.bool_word());
  Converted<WholeNumber> whole = to_whole(value, locale);
  if (!whole) return whole.error();
  constexpr int bits = static_cast<int>(sizeof(T) * 8);
  if constexpr (std::is_unsigned_v<T>) {
    if (!whole->fits_unsigned(bits)) return k_overflow;
    return static_cast<T>(whole->magnitude);
  } else {
    if (!whole->fits_signed(bits)) return k_overflow;
    return static_cast<T>(whole->as_signed());
  }
}

Value boolean_of(bool truth) { return Value::boolean(truth); }

}  // namespace

ConversionLocale process_conversion_locale() {
  return message_language_is_japanese() ? ConversionLocale::Japanese : ConversionLocale::English;
}

Converted<double> to_double(const Value& value, ConversionLocale locale) {
  if (is_integer_kind(value.type())) {
    WholeNumber whole = integer_of(value);
    double magnitude = static_cast<double>(whole.magnitude);
    return whole.negative ? -magnitude : magnitude;
  }
  switch (value.type()) {
    case VarType::Empty:
      return 0.0;
    case VarType::R4:
      return static_cast<double>(value.as_r4());
    case VarType::R8:
    case VarType::Date:
      return value.as_r8();
    case VarType::Currency:
      return currency_to_double(value.as_i8());
    case VarType::Bool:
      return static_cast<double>(value.bool_word());
    default:
      break;
  }
  std::u16string decoded;
  if (std::optional<std::u16string_view> text = text_of(value, decoded)) return text_to_double(*text, locale);
  return k_mismatch;
}

Converted<float> to_float(const Value& value, ConversionLocale locale) {
  if (value.is(VarType::R4)) return value.as_r4();
  Converted<double> number = to_double(value, locale);
  if (!number) return number.error();
  // Beyond the largest single plus half its last unit a double rounds to
  // infinity, which only an infinity may become.
  if (std::isfinite(*number) && std::fabs(*number) >= 0x1.ffffffp127) return k_overflow;
  return static_cast<float>(*number);
}

Converted<int8_t> to_i1(const Value& value, ConversionLocale locale) { return to_integer<int8_t>(value, locale); }
Converted<uint8_t> to_ui1(const Value& value, ConversionLocale locale) { return to_integer<uint8_t>(value, locale); }
Converted<int16_t> to_i2(const Value& value, ConversionLocale locale) { return to_integer<int16_t>(value, locale); }
Converted<uint16_t> to_ui2(const Value& value, ConversionLocale locale) { return to_integer<uint16_t>(value, locale); }
Converted<int32_t> to_i4(const Value& value, ConversionLocale locale) { return to_integer<int32_t>(value, locale); }
Converted<uint32_t> to_ui4(const Value& value, ConversionLocale locale) { return to_integer<uint32_t>(value, locale); }
Converted<int64_t> to_i8(const Value& value, ConversionLocale locale) { return to_integer<int64_t>(value, locale); }
Converted<uint64_t> to_ui8(const Value& value, ConversionLocale locale) { return to_integer<uint64_t>(value, locale); }

Converted<int64_t> to_currency(const Value& value, ConversionLocale locale) {
  switch (value.type()) {
    case VarType::Currency:
      return value.as_i8();
    case VarType::R4:
      return double_to_currency(value.as_r4());
    case VarType::R8:
    case VarType::Date:
      return double_to_currency(value.as_r8());
    default:
      break;
  }
  std::u16string decoded;
  std::optional<std::u16string_view> text = text_of(value, decoded);
  Converted<WholeNumber> whole = text ? text_to_whole(*text, locale, 4) : to_whole(value, locale);
  if (!whole) return whole.error();
  WholeNumber scaled = *whole;
  if (!text && __builtin_mul_overflow(scaled.magnitude, uint64_t{10000}, &scaled.magnitude)) return k_overflow;
  if (!scaled.fits_signed(64)) return k_overflow;
  return scaled.as_signed();
}

Converted<double> to_date(const Value& value, ConversionLocale locale) {
  if (value.is(VarType::Date)) return value.as_r8();
  std::u16string decoded;
  if (std::optional<std::u16string_view> text = text_of(value, decoded)) return text_to_date(*text, locale);
  Converted<double> number = to_double(value, locale);
  if (!number) return number.error();
  if (!(*number > k_first_date - 1 && *number < k_last_date + 1)) return k_overflow;
  return *number;
}

Converted<bool> to_bool(const Value& value, ConversionLocale locale) {
  if (is_integer_kind(value.type())) return integer_of(value).magnitude != 0;
  switch (value.type()) {
    case VarType::Empty:
      return false;
    case VarType::R4:
      return value.as_r4() != 0;
    case VarType::R8:
    case VarType::Date:
      return value.as_r8() != 0;
    case VarType::Currency:
      return value.as_i8() != 0;
    case VarType::Bool:
      return value.bool_word() != 0;
    default:
      break;
  }
  std::u16string decoded;
  if (std::optional<std::u16string_view> text = text_of(value, decoded)) return text_to_bool(*text, locale);
  return k_mismatch;
}

Converted<std::u16string> to_text(const Value& value, ConversionLocale locale) {
  if (is_integer_kind(value.type())) {
    WholeNumber whole = integer_of(value);
    std::string digits = std::to_string(whole.magnitude);
    std::u16string text(whole.negative ? u"-" : u"");
    text.append(digits.begin(), digits.end());
    return text;
  }
  switch (value.type()) {
    case VarType::Empty:
      return std::u16string();
    case VarType::R4:
      return float_to_text(value.as_r4());
    case VarType::R8:
      return double_to_text(value.as_r8());
    case VarType::Currency:
      return currency_to_text(value.as_i8());
    case VarType::Date:
      return date_to_text(value.as_r8(), locale);
    case VarType::Bool:
      return std::u16string(value.bool_word() != 0 ? u"True" : u"False");
    case VarType::String:
      return std::u16string(value.as_string());
    case VarType::AnsiString:
      return platform::ansi_to_utf16(value.as_ansi_string());
    default:
      return k_mismatch;
  }
}

namespace {

// Wraps a converted field in the value of [make].
template <class T, class Make>
Converted<Value> wrap(const Converted<T>& converted, Make make) {
  if (!converted) return converted.error();
  return make(*converted);
}

// Empty and Null are reached from every scalar kind but Error.
bool clears_to_empty_or_null(const Value& value) {
  return !value.is_array() && !value.is_object() && !value.is(VarType::Error);
}

}  // namespace

Converted<Value> change_type(const Value& value, VarType target, ConversionLocale locale) {
  if (value.type() == target) return value;
  switch (target) {
    case VarType::Empty:
      return clears_to_empty_or_null(value) ? Converted<Value>(Value::empty()) : k_mismatch;
    case VarType::Null:
      return clears_to_empty_or_null(value) ? Converted<Value>(Value::null()) : k_mismatch;
    case VarType::I1:
      return wrap(to_i1(value, locale), Value::i1);
    case VarType::UI1:
      return wrap(to_ui1(value, locale), Value::byte);
    case VarType::I2:
      return wrap(to_i2(value, locale), Value::i2);
    case VarType::UI2:
      return wrap(to_ui2(value, locale), Value::word);
    case VarType::I4:
      return wrap(to_i4(value, locale), Value::i4);
    case VarType::UI4:
      return wrap(to_ui4(value, locale), Value::ui4);
    case VarType::I8:
      return wrap(to_i8(value, locale), Value::i8);
    case VarType::UI8:
      return wrap(to_ui8(value, locale), Value::ui8);
    case VarType::R4:
      return wrap(to_float(value, locale), Value::r4);
    case VarType::R8:
      return wrap(to_double(value, locale), Value::r8);
    case VarType::Currency:
      return wrap(to_currency(value, locale), Value::currency);
    case VarType::Date:
      return wrap(to_date(value, locale), Value::date);
    case VarType::Bool:
      return wrap(to_bool(value, locale), boolean_of);
    case VarType::String:
      return wrap(to_text(value, locale), [](std::u16string text) { return Value::string(std::move(text)); });
    case VarType::AnsiString:
      return wrap(to_text(value, locale),
                  [](const std::u16string& text) { return Value::ansi_string(platform::utf16_to_ansi(text)); });
    default:
      return k_mismatch;
  }
}

}  // namespace vesk
