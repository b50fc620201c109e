// The program's version, kept in this one place.
//
// The text has the form "major.minor", optionally followed by a letter and a
// digit for a pre-release ("1.2b3"). Scripts read it as a number through
// GET_VESK_VER: the letters A to I stand for the digits 1 to 9, so "1.2b3"
// reads as 1.223 and later releases always compare greater.
#pragma once

namespace vesk {

inline constexpr char16_t k_version_text[] = u"0.1";

}  // namespace vesk
