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

// True when [text] holds the escape mark "<#" starting at or after [from].
inline bool holds_escape_mark(std::u16string_view text, size_t from = 0) {
  return find_text(text, u"<#", from) != std::u16string_view::npos;
}

}  // namespace vesk
