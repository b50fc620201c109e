// Upper-casing of UTF-16 units through the generated range table.
#include "support/unicode_case.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

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

char16_t unicode_upper_beyond_ascii(char16_t c) {
  // The last range that starts at or before c is the only one that can hold it.
  auto after = std::upper_bound(std::begin(k_upper_ranges), std::end(k_upper_ranges), c,
                                [](char16_t unit, const CaseRange& r) { return unit < r.first; });
  if (after == std::begin(k_upper_ranges)) return c;
  const CaseRange& r = *(after - 1);
  if (c > r.last || (c - r.first) % r.step != 0) return c;
  return static_cast<char16_t>(c + r.delta);
}

namespace {

// Every unit that upper-cases to another, keyed by that other: the table
// read backwards.
struct UpperPair {
  char16_t upper;
  char16_t unit;
  bool operator<(const UpperPair& o) const { return upper != o.upper ? upper < o.upper : unit < o.unit; }
};

const std::vector<UpperPair>& upper_pairs() {
  static const std::vector<UpperPair> pairs = [] {
    std::vector<UpperPair> all;
    for (const CaseRange& r : k_upper_ranges)
      for (uint32_t c = r.first; c <= r.last; c += r.step)
        all.push_back({static_cast<char16_t>(static_cast<int32_t>(c) + r.delta), static_cast<char16_t>(c)});
    std::sort(all.begin(), all.end());
    return all;
  }();
  return pairs;
}

}  // namespace

size_t unicode_upper_preimage(char16_t upper, char16_t* out, size_t max) {
  const std::vector<UpperPair>& pairs = upper_pairs();
  auto first = std::lower_bound(pairs.begin(), pairs.end(), UpperPair{upper, 0});
  size_t count = 0;
  auto put = [&](char16_t unit) {
    if (count < max) out[count] = unit;
    ++count;
  };
  bool self = unicode_upper(upper) == upper;
  for (auto it = first; it != pairs.end() && it->upper == upper; ++it) {
    if (self && upper < it->unit) {
      put(upper);
      self = false;
    }
    put(it->unit);
  }
  if (self) put(upper);
  return count;
}

// OPTIMIZATION: a first pass maps a to z alone, eight units at a time
// where the processor has SSE2; only a text with a unit past
// ASCII takes the second pass through the table.
std::u16string unicode_upper(std::u16string_view text) {
  std::u16string out(text.size(), u'\0');
  char16_t beyond_ascii = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i before_a = _mm_set1_epi16(u'a' - 1), after_z = _mm_set1_epi16(u'z' + 1);
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80)), distance = _mm_set1_epi16(32);
  __m128i seen = _mm_setzero_si128();
  for (; i + 8 <= text.size(); i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    // Units from 0x8000 compare as negative: below "a", never a letter.
    __m128i letter = _mm_and_si128(_mm_cmpgt_epi16(v, before_a), _mm_cmplt_epi16(v, after_z));
    seen = _mm_or_si128(seen, _mm_and_si128(v, high));
    v = _mm_sub_epi16(v, _mm_and_si128(letter, distance));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out.data() + i), v);
  }
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(seen, _mm_setzero_si128())) != 0xFFFF) beyond_ascii = 1;
#endif
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    beyond_ascii |= c & 0xFF80;
    out[i] = static_cast<char16_t>(c - ((c >= u'a' && c <= u'z') ? 32 : 0));
  }
  if (beyond_ascii)
    for (size_t k = 0; k < text.size(); ++k)
      if (text[k] >= 0x80) out[k] = unicode_upper(text[k]);
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
