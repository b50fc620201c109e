// Conversions between UTF-8 and the UTF-16 that script text uses everywhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// Decodes [bytes] as UTF-8. Returns nothing when the bytes are not valid
// UTF-8 (overlong forms, surrogates, truncated sequences, values above
// U+10FFFF), so a caller can tell real UTF-8 from other text.
std::optional<std::u16string> utf8_to_utf16_strict(std::string_view bytes);

// Decodes [bytes] as UTF-8, turning each invalid sequence into U+FFFD.
std::u16string utf8_to_utf16(std::string_view bytes);

// Encodes [text] as UTF-8; a lone surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// Convenience for tests and messages written as ASCII or UTF-8 literals.
inline std::u16string u16(std::string_view utf8) { return utf8_to_utf16(utf8); }

}  // namespace vesk
