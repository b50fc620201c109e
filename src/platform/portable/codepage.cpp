// Code page 1252 conversion (932 follows: until then it is read as 1252).
#include "platform/portable/codepage.h"

namespace vesk::platform {
namespace {

// Bytes 0x80..0x9F of code page 1252; the five undefined ones map to the C1
// control of the same value, as Windows does.
constexpr char16_t k_cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::u16string decode_code_page(unsigned, std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) out.push_back(b >= 0x80 && b < 0xA0 ? k_cp1252_high[b - 0x80] : b);
  return out;
}

std::string encode_code_page(unsigned, std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char byte = '?';
    for (int i = 0; i < 32; ++i)
      if (k_cp1252_high[i] == c) byte = static_cast<char>(0x80 + i);
    out.push_back(byte);
  }
  return out;
}

}  // namespace vesk::platform
