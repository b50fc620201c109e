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

// The first position at or after [from] that holds one of [units] (one to
// four of them), or npos.
size_t find_any_unit(std::u16string_view text, const char16_t* units, size_t count, size_t from = 0);

// Finds an upper-cased [pattern] in the upper-cased form of [text] without
// making that form: a match can only start at a unit that upper-cases to
// the pattern's first (found a block at a time), and only there are the
// rest of the units upper-cased and compared. Upper-casing maps unit to
// unit, so a position in the searched form is the position in the text.
// Both views must outlive the finder.
class UpperCaseFinder {
 public:
  UpperCaseFinder(std::u16string_view text, std::u16string_view pattern);
  // As find_text() over the upper-cased text.
  size_t find(size_t from) const;

 private:
  static constexpr size_t k_max_starts = 4;  // start units searched for at once
  bool matches_at(size_t at) const;

  std::u16string_view m_text;
  std::u16string_view m_pattern;
  char16_t m_starts[k_max_starts] = {};
  size_t m_start_count = 0;  // how many units upper-case to the first; more than the array holds is possible
};

// True when [text] holds the escape mark "<#" starting at or after [from].
inline bool holds_escape_mark(std::u16string_view text, size_t from = 0) {
  return find_text(text, u"<#", from) != std::u16string_view::npos;
}

}  // namespace vesk
