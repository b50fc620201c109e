// Searching UTF-16 text a block of units at a time: the scans that run over
// whole texts (the escape mark, delimiters, REPLACE) at memory speed.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// The first position at or after [from] that holds [unit], or npos.
size_t find_unit(std::u16string_view text, char16_t unit, size_t from = 0);

// The first position at or after [from] where [pattern] starts, or npos;
// the same answers as std::u16string_view::find.
size_t find_text(std::u16string_view text, std::u16string_view pattern, size_t from = 0);

// Finds an upper-cased [pattern] in the upper-cased form of [text] without
// making that form whole: the text is upper-cased a block at a time as the
// search moves on, so a search through megabytes needs no second copy of
// them. Upper-casing maps unit to unit, so a position in the searched form
// is the position in the text. Both views must outlive the finder.
class UpperCaseFinder {
 public:
  UpperCaseFinder(std::u16string_view text, std::u16string_view pattern) : m_text(text), m_pattern(pattern) {}
  // As find_text() over the upper-cased text.
  size_t find(size_t from);

 private:
  static constexpr size_t k_block = 1 << 16;  // units upper-cased at a time
  void load(size_t start);

  std::u16string_view m_text;
  std::u16string_view m_pattern;
  std::u16string m_block;  // the text's units from m_start on, upper-cased; none yet
  size_t m_start = 0;
};

// True when [text] holds the escape mark "<#" starting at or after [from].
inline bool holds_escape_mark(std::u16string_view text, size_t from = 0) {
  return find_text(text, u"<#", from) != std::u16string_view::npos;
}

}  // namespace vesk
