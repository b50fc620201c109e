// Upper-casing of UTF-16 units through the generated range table.
#include "support/unicode_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace vesk {
namespace {

// Every [step]-th unit from [first] to [last] upper-cases to itself + [delta].
struct CaseRange {
  char16_t first;
  char16_t last;
  uint8_t step;
  int32_t delta;
};

constexpr CaseRange k_upper_ranges[] = {
#define R(first, last, step, delta) {first, last, step, delta},
#include "support/unicode_case.def"
#undef R
};

constexpr bool ranges_are_ordered() {
  for (size_t i = 1; i < std::size(k_upper_ranges); ++i)
    if (k_upper_ranges[i - 1].last >= k_upper_ranges[i].first) return false;
  return true;
}
static_assert(ranges_are_ordered(), "the lookup needs ordered, disjoint ranges");

}  // namespace

char16_t unicode_upper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  // The last range that starts at or before c is the only one that can hold it.
  auto after = std::upper_bound(std::begin(k_upper_ranges), std::end(k_upper_ranges), c,
                                [](char16_t unit, const CaseRange& r) { return unit < r.first; });
  if (after == std::begin(k_upper_ranges)) return c;
  const CaseRange& r = *(after - 1);
  if (c > r.last || (c - r.first) % r.step != 0) return c;
  return static_cast<char16_t>(c + r.delta);
}

std::u16string unicode_upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = unicode_upper(c);
  return out;
}

bool unicode_iequals(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && unicode_upper(a[i]) != unicode_upper(b[i])) return false;
  return true;
}

int unicode_icompare(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = unicode_upper(a[i]), y = unicode_upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace vesk
