// Upper-casing of script text by the system's rules, for every character of
// the BMP, and the case-insensitive comparisons built on it.
//
// The mapping is the system's one-character upper-casing: one-way mappings
// (the dotless i, the long s, the micro sign, title-case digraphs) are left
// alone, and a character outside the BMP (a surrogate unit) never changes.
// Keys of hash tables, and the comparisons of the evaluator that ignore case,
// use these functions so that both agree on what "the same text" is.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// The upper-case form of a unit from 0x80 on, through the table.
char16_t unicode_upper_beyond_ascii(char16_t c);

// The upper-case form of the UTF-16 unit [c]; [c] itself when it has none.
// OPTIMIZATION: ASCII is upper-cased inline, without the table's call.
inline char16_t unicode_upper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return unicode_upper_beyond_ascii(c);
}

// The units that upper-case to [upper], in ascending order ([upper] among
// them when it is its own upper case). Writes at most [max] of them to
// [out] and returns how many there are.
size_t unicode_upper_preimage(char16_t upper, char16_t* out, size_t max);

// Upper-cases every unit of [text].
std::u16string unicode_upper(std::u16string_view text);

// True when [a] and [b] are equal after upper-casing.
bool unicode_iequals(std::u16string_view a, std::u16string_view b);

// Orders [a] and [b] by their upper-cased units (negative, 0 or positive).
int unicode_icompare(std::u16string_view a, std::u16string_view b);

}  // namespace vesk
