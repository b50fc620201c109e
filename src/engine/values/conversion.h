// Conversions between script value kinds, by the OLE automation rules.
//
// Every conversion that the interpreter makes between kinds goes through
// here: numbers to text and back, text to Boolean, dates to text and back,
// and VARTYPE's conversion to a given kind. The rules are those of the OLE
// variant conversions for the user's default locale, with these choices of
// our own:
//
// - A Boolean converts to a number as its stored word: TRUE (word 1) gives
//   1, a Boolean that came from COM with the word -1 gives -1. A conversion
//   to Boolean gives the interpreter's TRUE (word 1) or FALSE (word 0), so
//   that `x OR FALSE` and `x = TRUE` agree for converted values too.
// - A Boolean's text is "True" or "False", whatever its word.
// - Number text is read with correct rounding (the nearest double, ties to
//   even). "&H" and "&O" texts are 32-bit words: values of 2^31 and more
//   wrap to negative, a sign before them negates, more than 32 bits is an
//   overflow.
// - NaN converts to no integer kind (overflow).
//
// The locale decides the currency symbol that number text may carry and
// the form of date texts. The program knows two locales, English (United
// States) and Japanese; both use "." for decimals and "," for thousands.
// Unless a caller names one, the process locale is used: Japanese when the
// message language is Japanese (support/messages.h), English otherwise.
//
// Conversions never throw; a failure comes back as a ConversionError, the
// two failures OLE reports: a kind or text that does not convert (type
// mismatch), and a value outside the target's range (overflow).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/values/value.h"
#include "support/result.h"

namespace vesk {

enum class ConversionError { TypeMismatch, Overflow };

template <class T>
using Converted = Result<T, ConversionError>;

enum class ConversionLocale { English, Japanese };

// The locale of the process, from the message language.
ConversionLocale process_conversion_locale();

// Each of these converts [value] to one kind. Empty converts to 0, "" or
// FALSE; Null, Error values, COM objects (NOTHING too) and arrays convert
// to nothing (type mismatch). Numbers going to an integer kind are rounded
// to the nearest integer, halves to even.
Converted<double> to_double(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<float> to_float(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<int8_t> to_i1(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<uint8_t> to_ui1(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<int16_t> to_i2(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<uint16_t> to_ui2(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<int32_t> to_i4(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<uint32_t> to_ui4(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<int64_t> to_i8(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<uint64_t> to_ui8(const Value& value, ConversionLocale locale = process_conversion_locale());
// Currency as OLE stores it: the amount times 10,000.
Converted<int64_t> to_currency(const Value& value, ConversionLocale locale = process_conversion_locale());
// An OLE date: days since 1899-12-30, the time of day as the fraction.
Converted<double> to_date(const Value& value, ConversionLocale locale = process_conversion_locale());
Converted<bool> to_bool(const Value& value, ConversionLocale locale = process_conversion_locale());
// The wide-string form.
Converted<std::u16string> to_text(const Value& value, ConversionLocale locale = process_conversion_locale());
// The text of [value] without a copy where it can be had: a string's own
// text, else its to_text form, kept in [holder]. False (and [text] left as
// it was) when the value has no text.
inline bool text_in_place(const Value& value, std::u16string& holder, std::u16string_view& text) {
  if (value.is_string()) {
    text = value.as_string();
    return true;
  }
  Converted<std::u16string> converted = to_text(value);
  if (!converted.ok()) return false;
  holder = std::move(*converted);
  text = holder;
  return true;
}

// [value] converted to the kind [target]. A value of that kind already is
// copied unchanged (a COM object or an array too). Empty and Null are
// reached from every scalar kind but Error; Variant, Object, array kinds
// and unknown codes are never reached from another kind.
Converted<Value> change_type(const Value& value, VarType target,
                             ConversionLocale locale = process_conversion_locale());

// The text of a double: 15 significant digits, as "0.3", "1E+20",
// "-1.5E-07"; -0 gives "0", and NaN, -NaN, infinities "NAN", "-NAN(IND)",
// "INF", "-INF".
std::u16string double_to_text(double value);
// The same text written to [out], which has room for k_number_text_room
// units; answers its length.
constexpr size_t k_number_text_room = 32;
size_t double_to_text(double value, char16_t* out);
// The text of a single: 7 significant digits, in the same forms.
std::u16string float_to_text(float value);
// The text of a currency amount ([scaled] is the amount times 10,000): every
// digit it holds, without trailing zeros ("1.5", "0.0001", "12345").
std::u16string currency_to_text(int64_t scaled);

// Reads number text: blanks around; a sign, parentheses (negative) and the
// currency symbol before or after; digits with thousands separators, a
// decimal point and an exponent "E" with optional sign; or "&H" hex and
// "&O" octal digits.
Converted<double> text_to_double(std::u16string_view text,
                                 ConversionLocale locale = process_conversion_locale());
// Reads "True" or "False" (any case, also "#TRUE#" and "#FALSE#") or
// number text, which is true when it is not 0.
Converted<bool> text_to_bool(std::u16string_view text,
                             ConversionLocale locale = process_conversion_locale());

}  // namespace vesk
