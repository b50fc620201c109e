// The Windows ANSI code pages 1252 and 932, written out so that a POSIX build
// converts bytes exactly as Windows does.
#pragma once

#include <string>
#include <string_view>

namespace vesk::platform {

std::u16string decode_code_page(unsigned code_page, std::string_view bytes);
std::string encode_code_page(unsigned code_page, std::u16string_view text);

}  // namespace vesk::platform
