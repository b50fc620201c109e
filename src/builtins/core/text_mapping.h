// STRCONV's locale string mapping: case, hiragana and katakana, half and
// full width, with the flag values of the system's mapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

inline constexpr uint32_t k_map_lowercase = 0x100;
inline constexpr uint32_t k_map_uppercase = 0x200;
inline constexpr uint32_t k_map_hiragana = 0x100000;
inline constexpr uint32_t k_map_katakana = 0x200000;
inline constexpr uint32_t k_map_halfwidth = 0x400000;
inline constexpr uint32_t k_map_fullwidth = 0x800000;

// [text] mapped by [flags]; nothing when the flags contradict each other
// (upper and lower case, hiragana and katakana, half and full width). On
// Windows the system's own mapping does the work.
std::optional<std::u16string> map_text(std::u16string_view text, uint32_t flags);

// The portable mapping, the same on every system.
std::optional<std::u16string> map_text_portable(std::u16string_view text, uint32_t flags);

}  // namespace vesk
