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

void UpperCaseFinder::load(size_t start) {
  m_start = start;
  m_block = unicode_upper(m_text.substr(start, std::max(k_block, 2 * m_pattern.size())));
}

size_t UpperCaseFinder::find(size_t from) {
  const size_t n = m_pattern.size();
  for (;;) {
    if (from > m_text.size() || m_text.size() - from < n) return std::u16string_view::npos;
    size_t end = m_start + m_block.size();
    // The block must hold [from] and, unless it reaches the end, a whole
    // pattern's length after it.
    if (from < m_start || from >= end || (end - from < n && end < m_text.size())) {
      load(from);
      end = m_start + m_block.size();
    }
    size_t at = find_text(m_block, m_pattern, from - m_start);
    if (at != std::u16string_view::npos) return m_start + at;
    if (end == m_text.size()) return std::u16string_view::npos;
    from = end - n + 1;  // the first start whose match the block could not hold
  }
}

}  // namespace vesk
