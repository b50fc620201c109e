// The whole-number tests read from a double's bits answer as the
// floating-point library does, and so do the forms each platform picks.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/whole_number.h"

namespace vesk {
namespace {

bool whole_by_library(double value) { return std::isfinite(value) && std::trunc(value) == value; }

// False when the truncation is out of int32_t's range (2^31 in magnitude
// or more, as both forms count it) or no number.
bool truncate_by_library(double value, int32_t& out) {
  if (!(std::fabs(value) < 2147483648.0)) return false;
  out = static_cast<int32_t>(std::trunc(value));
  return true;
}

void expect_agreement(double value) {
  EXPECT_EQ(whole_by_bits(value), whole_by_library(value)) << value;
  if (std::fabs(value) < 9223372036854775808.0) {
    EXPECT_EQ(is_whole_below_2_63(value), whole_by_library(value)) << value;
  }
  int32_t expected = 0, by_bits = 0, picked = 0;
  bool in_range = truncate_by_library(value, expected);
  ASSERT_EQ(truncate_by_bits(value, by_bits), in_range) << value;
  ASSERT_EQ(truncate_to_int32(value, picked), in_range) << value;
  if (in_range) {
    EXPECT_EQ(by_bits, expected) << value;
    EXPECT_EQ(picked, expected) << value;
  }
}

TEST(WholeNumber, EdgesOfEveryRange) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> edges = {
      0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 1.5, -2.5, 3.0, 1e-300, -1e-300,
      std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
      2147483647.0, 2147483647.5, -2147483647.75, 2147483648.0, -2147483648.0, -2147483648.5, 4294967296.5,
      4503599627370495.5, 4503599627370496.0, 4503599627370497.0, 9007199254740993.0, 1e15, 1e15 + 0.5,
      9223372036854775807.0, -9223372036854775808.0, 1e300, -1e300, std::numeric_limits<double>::max(),
      inf, -inf, std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
  for (double value : edges) expect_agreement(value);
  // Each power of two and its neighbours, where the fraction's width changes.
  for (int exponent = -3; exponent <= 64; ++exponent) {
    double power = std::ldexp(1.0, exponent);
    for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, inf), power + 0.5})
      for (double sign : {1.0, -1.0}) expect_agreement(sign * value);
  }
}

TEST(WholeNumber, RandomBitsAndRandomMagnitudes) {
  std::mt19937_64 random(11);
  for (int i = 0; i < 200000; ++i) expect_agreement(std::bit_cast<double>(random()));
  std::uniform_real_distribution<double> spread(-5e9, 5e9);
  for (int i = 0; i < 200000; ++i) {
    double value = spread(random);
    expect_agreement(value);
    expect_agreement(std::round(value));
  }
}

}  // namespace
}  // namespace vesk
