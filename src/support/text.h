// Small helpers over UTF-16 script text: blanks, trimming, ASCII case.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

inline constexpr char16_t k_full_width_blank = u'\u3000';

// True for the blank, the tab and the full-width blank: the characters that
// trimming removes from script lines.
constexpr bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == k_full_width_blank; }

constexpr char16_t ascii_upper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - 32 : c; }
constexpr char16_t ascii_lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

// Upper-cases the ASCII letters a to z only; every other character stays.
std::u16string ascii_upper(std::u16string_view text);

// Removes blanks, tabs and full-width blanks at both ends.
std::u16string_view trim_blanks(std::u16string_view text);

// Compares ASCII case-insensitively.
bool ascii_iequals(std::u16string_view a, std::u16string_view b);
bool ascii_istarts_with(std::u16string_view text, std::u16string_view prefix);

bool starts_with(std::u16string_view text, std::u16string_view prefix);
bool ends_with(std::u16string_view text, std::u16string_view suffix);

// Replaces every [from] by [to] in [text].
std::u16string replace_all(std::u16string_view text, char16_t from, char16_t to);

}  // namespace vesk
