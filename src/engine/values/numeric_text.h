// The numeric text test: does a value read as a number?
#pragma once

#include <string_view>

#include "engine/values/value.h"

namespace vesk {

struct NumericTextMode {
  bool keep_blanks = false;  // blanks at the ends make the text non-numeric
  bool strict = false;       // an exponent letter needs a sign and digits after it
};

// True when [text] is numeric: at most 64 characters (at most 32 unless a
// "." stands among the first 32); "$" and hexadecimal digits; or only the
// characters + - . 0-9 E e, not just a sign, "." or "E", and readable as a
// floating-point number.
bool is_numeric_text(std::u16string_view text, NumericTextMode mode);

// The same test over a value's text form; a value without a text form is
// not numeric.
bool is_numeric_value(const Value& value, NumericTextMode mode);

}  // namespace vesk
