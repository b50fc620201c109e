// Block-wise unit search: eight units compared at once where the processor
// has SSE2, one at a time elsewhere.
#include "support/text_search.h"

#include <algorithm>
#include <cstring>

#include "support/unicode_case.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesk {

size_t find_unit(std::u16string_view text, char16_t unit, size_t from) {
  const char16_t* p = text.data();
  size_t n = text.size(), i = from;
  if (i >= n) return std::u16string_view::npos;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  for (; i + 8 <= n; i += 8) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(block, wanted));
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
  }
#endif
  for (; i < n; ++i)
    if (p[i] == unit) return i;
  return std::u16string_view::npos;
}

size_t find_text(std::u16string_view text, std::u16string_view pattern, size_t from) {
  if (pattern.empty()) return from <= text.size() ? from : std::u16string_view::npos;
  if (pattern.size() > text.size()) return std::u16string_view::npos;
  size_t last = text.size() - pattern.size();  // the last place the pattern fits
  // Where the pattern may start: its first unit is looked for there only.
  std::u16string_view starts = text.substr(0, last + 1);
  const char16_t first = pattern[0];
  const size_t rest = (pattern.size() - 1) * sizeof(char16_t);
  for (size_t at = find_unit(starts, first, from); at != std::u16string_view::npos;
       at = find_unit(starts, first, at + 1)) {
    if (std::memcmp(text.data() + at + 1, pattern.data() + 1, rest) == 0) return at;
  }
  return std::u16string_view::npos;
}

size_t find_any_unit(std::u16string_view text, const char16_t* units, size_t count, size_t from) {
  if (count == 1) return find_unit(text, units[0], from);
  const char16_t* p = text.data();
  size_t n = text.size(), i = from;
  if (i >= n) return std::u16string_view::npos;
#if defined(__SSE2__)
  // More than four units are left to the plain loop below.
  __m128i wanted[4];
  for (size_t k = 0; k < 4; ++k) wanted[k] = _mm_set1_epi16(static_cast<short>(units[k < count ? k : 0]));
  if (count == 2) {  // a letter's two cases: the common search
    for (; i + 8 <= n; i += 8) {
      __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(block, wanted[0]), _mm_cmpeq_epi16(block, wanted[1])));
      if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
  }
  for (; count <= 4 && i + 8 <= n; i += 8) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(block, wanted[0]), _mm_cmpeq_epi16(block, wanted[1])),
                               _mm_or_si128(_mm_cmpeq_epi16(block, wanted[2]), _mm_cmpeq_epi16(block, wanted[3])));
    int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
  }
#endif
  for (; i < n; ++i)
    for (size_t k = 0; k < count; ++k)
      if (p[i] == units[k]) return i;
  return std::u16string_view::npos;
}

UpperCaseFinder::UpperCaseFinder(std::u16string_view text, std::u16string_view pattern)
    : m_text(text), m_pattern(pattern) {
  if (!pattern.empty()) m_start_count = unicode_upper_preimage(pattern[0], m_starts, k_max_starts);
}

bool UpperCaseFinder::matches_at(size_t at) const {
  for (size_t j = 0; j < m_pattern.size(); ++j)
    if (unicode_upper(m_text[at + j]) != m_pattern[j]) return false;
  return true;
}

size_t UpperCaseFinder::find(size_t from) const {
  const size_t n = m_pattern.size();
  if (n == 0) return from <= m_text.size() ? from : std::u16string_view::npos;
  if (n > m_text.size() || m_start_count == 0) return std::u16string_view::npos;
  // Where the pattern may start.
  std::u16string_view starts = m_text.substr(0, m_text.size() - n + 1);
  if (m_start_count > k_max_starts) {
    for (size_t at = from; at < starts.size(); ++at)
      if (matches_at(at)) return at;
    return std::u16string_view::npos;
  }
  for (size_t at = find_any_unit(starts, m_starts, m_start_count, from); at != std::u16string_view::npos;
       at = find_any_unit(starts, m_starts, m_start_count, at + 1)) {
    if (matches_at(at)) return at;
  }
  return std::u16string_view::npos;
}

}  // namespace vesk
