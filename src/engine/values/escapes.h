// The escape forms of script text: "<#_DBL>", "<#CR>" and their kin.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// Expands the escapes of [text]: "<#_DBL>", "<#_CR>" and "<#_TAB>" always;
// "<#DBL>", "<#CR>" and "<#TAB>" unless [special_char] (OPTION SPECIALCHAR)
// is in force. "CR" stands for a carriage return and line feed.
std::u16string expand_escapes(std::u16string_view text, bool special_char);

// Expands in place; does nothing (and allocates nothing) when [text] holds
// no "<#".
void expand_escapes_in_place(std::u16string& text, bool special_char);

}  // namespace vesk
