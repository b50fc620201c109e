// Fuzzes the number reader and the numeric text test: number text in both
// locales, to every kind that reads text, and the text a double gives must
// read back as a number.
#include <cmath>
#include <cstdlib>

#include "engine/values/conversion.h"
#include "engine/values/numeric_text.h"
#include "fuzz_support.h"
#include "support/utf.h"

using namespace vesk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text = utf8_to_utf16(fuzz::bytes_of(data, size));
  for (bool keep_blanks : {false, true})
    for (bool strict : {false, true}) (void)is_numeric_text(text, {keep_blanks, strict});
  Value value = Value::string(text);
  (void)is_numeric_value(value, {});
  for (ConversionLocale locale : {ConversionLocale::English, ConversionLocale::Japanese}) {
    Converted<double> number = text_to_double(text, locale);
    (void)text_to_bool(text, locale);
    (void)to_i4(value, locale);
    (void)to_ui8(value, locale);
    (void)to_currency(value, locale);
    (void)to_date(value, locale);
    // Fifteen digits of a double near the largest one round past it.
    if (number && std::isfinite(*number) && std::fabs(*number) < 1e308) {
      std::u16string written = double_to_text(*number);
      if (!text_to_double(written, locale)) std::abort();
      if (!is_numeric_text(written, {})) std::abort();
    }
  }
  return 0;
}
