// The arithmetic calculator of the schedules: a formula text to a double.
//
// The calculator knows numbers, the operators | & comparisons + - * / MOD !,
// parentheses and a fixed set of numeric functions; it has no variables and
// no strings, and it is independent of the script expression evaluator.
// Date and time words of a schedule formula are replaced by numbers before
// the text reaches it.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// The result of a formula that cannot be computed, and the value of a
// number text that cannot be read.
inline constexpr double k_calculation_failed = -2100000000.0;

// A computed value and, when the computation failed, the calculator's own
// text for the first error (kept for diagnostics; no caller shows it).
struct Calculation {
  double value = 0;
  std::string error;
};

// Computes [formula], an 8-bit text. An empty or blank formula gives 0;
// every error gives k_calculation_failed. Never throws.
Calculation calculate_with_error(std::string_view formula);

// The same, value only.
double calculate(std::string_view formula);

// The same for a UTF-16 [formula]. Characters outside ASCII can never be
// part of a valid formula, so each of them makes the result
// k_calculation_failed.
double calculate(std::u16string_view formula);

}  // namespace vesk
