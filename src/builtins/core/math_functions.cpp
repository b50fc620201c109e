// The numeric group: INT to LOGN, CEIL and the inverse trigonometric
// functions, on up to three doubles.
#include <cmath>
#include <limits>

#include "builtins/core/builtin_context.h"
#include "engine/values/conversion.h"
#include "support/messages.h"

namespace vesk {
namespace {

enum NumericId : int32_t {
  k_int = 0, k_abs = 1, k_zcut = 2, k_round = 3, k_sqrt = 4, k_power = 5, k_sin = 6, k_cos = 7,
  k_tan = 8, k_exp = 9, k_ln = 10, k_logn = 11,
  k_ceil = 88, k_arcsin = 89, k_arccos = 90, k_arctan = 91,
};

// [x] rounded to a multiple of 10^[digits], ties to even: -2 keeps two
// decimals, 2 rounds to hundreds.
double round_to(double x, int digits) {
  if (!std::isfinite(x)) return x;
  double scale = std::pow(10.0, std::abs(digits));
  double scaled = digits < 0 ? x * scale : x / scale;
  if (!std::isfinite(scaled)) return x;
  double r = std::nearbyint(scaled);
  return digits < 0 ? r / scale : r * scale;
}

// CEIL gives a 32-bit integer; values beyond its range stop at its ends.
Value ceiling(double x) {
  double c = std::ceil(x);
  if (std::isnan(c)) return Value::i4(0);
  if (c >= 2147483647.0) return Value::i4(std::numeric_limits<int32_t>::max());
  if (c <= -2147483648.0) return Value::i4(std::numeric_limits<int32_t>::min());
  return Value::i4(static_cast<int32_t>(c));
}

}  // namespace

Value run_numeric_group(BuiltinContext& ctx, const std::array<double, 3>& n, int given) {
  double x = n[0];
  switch (ctx.id) {
    case k_int: return Value::r8(std::trunc(x));
    case k_abs: return Value::r8(std::fabs(x));
    case k_zcut: return x < 0 ? Value::byte(0) : Value::r8(x);
    case k_round: {
      double d = std::trunc(n[1]);
      if (d < -37 || d > 37) {
        std::u16string text = given > 1 ? ctx.site.arguments[1] : std::u16string();
        return ctx.fail(message(MessageId::DefinitionWrong, text));
      }
      return Value::r8(round_to(x, static_cast<int>(d)));
    }
    case k_sqrt: return Value::r8(std::sqrt(x));
    case k_power: return Value::r8(std::pow(x, n[1]));
    case k_sin: return Value::r8(std::sin(x));
    case k_cos: return Value::r8(std::cos(x));
    case k_tan: return Value::r8(std::tan(x));
    case k_exp: return Value::r8(std::exp(x));
    case k_ln: return Value::r8(std::log(x));
    // log2 over log2 keeps powers of two exact: LOGN(2, 8) is 3.
    case k_logn: return Value::r8(std::log2(n[1]) / std::log2(x));
    case k_ceil: return ceiling(x);
    case k_arcsin: return Value::r8(std::asin(x));
    case k_arccos: return Value::r8(std::acos(x));
    case k_arctan: return Value::r8(std::atan(x));
    default: return failed_result();
  }
}

}  // namespace vesk
