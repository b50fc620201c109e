// Fuzzes the arithmetic calculator with 8-bit and UTF-16 formulas.
#include "builtins/calculator/calculator.h"
#include "fuzz_support.h"
#include "support/utf.h"

using namespace vesk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view formula = fuzz::bytes_of(data, size);
  (void)calculate_with_error(formula);
  (void)calculate(utf8_to_utf16(formula));
  return 0;
}
