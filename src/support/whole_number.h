// Whole-number tests and conversions of doubles that every arithmetic
// statement makes. On 32-bit x86 a double becomes a 64-bit integer only
// through the x87 unit, which must switch its rounding mode to truncation
// and back (fnstcw/fldcw) for each conversion and moves the number through
// memory; without SSE2 even a 32-bit conversion goes that way. There these read
// the double's bits with integer operations instead; elsewhere a
// conversion is one instruction and is used as it is.
#pragma once

#include <bit>
#include <cstdint>

namespace vesk {

// The unbiased binary exponent of a double's [bits]: 1024 for infinities
// and NaN, below 0 for magnitudes under 1.
inline int binary_exponent(uint64_t bits) { return static_cast<int>((bits >> 52) & 0x7ff) - 1023; }

// Whether [value] has no fraction, read from its bits; false for
// infinities and NaN.
inline bool whole_by_bits(double value) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  int exponent = binary_exponent(bits);
  if (exponent >= 52) return exponent < 1024;  // no fraction bits left
  if (exponent < 0) return (bits << 1) == 0;   // only zero, of either sign
  // Shifting out the sign, the exponent and the whole part leaves the
  // fraction.
  return (bits << (12 + exponent)) == 0;
}

// [value] truncated toward zero when its magnitude is below 2^31, read
// from its bits; false otherwise (also for infinities and NaN).
inline bool truncate_by_bits(double value, int32_t& out) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  int exponent = binary_exponent(bits);
  if (exponent < 0) {
    out = 0;
    return true;
  }
  if (exponent > 30) return false;
  uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  auto magnitude = static_cast<uint32_t>(mantissa >> (52 - exponent));
  out = static_cast<int32_t>(static_cast<int64_t>(bits) < 0 ? 0u - magnitude : magnitude);
  return true;
}

// Whether [value], a finite number whose magnitude is below 2^63, has no
// fraction.
#if defined(__i386__) && defined(__SSE2_MATH__)
// Adding 2^52 to a magnitude below it leaves no fraction bits, so the sum
// less 2^52 is the magnitude itself exactly when that is whole, in any
// rounding mode. (Only when doubles are computed in SSE2 registers: the
// x87 unit's wider registers would keep the fraction.)
[[gnu::always_inline]] inline bool is_whole_below_2_63(double value) {
  double magnitude = __builtin_fabs(value);
  if (!(magnitude < 4503599627370496.0)) return true;
  return (magnitude + 4503599627370496.0) - 4503599627370496.0 == magnitude;
}
#elif defined(__i386__)
[[gnu::always_inline]] inline bool is_whole_below_2_63(double value) { return whole_by_bits(value); }
#else
[[gnu::always_inline]] inline bool is_whole_below_2_63(double value) {
  return static_cast<double>(static_cast<int64_t>(value)) == value;
}
#endif

#if defined(__i386__) && !defined(__SSE2_MATH__)
inline bool truncate_to_int32(double value, int32_t& out) { return truncate_by_bits(value, out); }
#else
inline bool truncate_to_int32(double value, int32_t& out) {
  if (!(value > -2147483648.0 && value < 2147483648.0)) return false;
  out = static_cast<int32_t>(value);
  return true;
}
#endif

}  // namespace vesk
