// The ANSI code pages 1252 and 932 as Windows converts them: decoding as
// MultiByteToWideChar with flags 0, encoding as WideCharToMultiByte with
// flags 0 (best fit allowed, default char '?'). The data is generated from
// tables recorded from Win32 (tools/gen-codepage-tables); this file only
// walks it.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/portable/codepage.h"

namespace vesk::platform {
namespace {

// One mapping of a sorted table: a code (a byte, or lead byte * 256 + trail
// byte) and a UTF-16 unit, in the order the table is searched by.
struct CodePair {
  uint16_t key;
  uint16_t value;
};

struct ByteRange {
  uint8_t first;
  uint8_t last;
};

// Everything one code page needs. [single] decodes every byte that is not a
// lead byte, and holds the Unicode default char for lead bytes: a lead byte
// at the end of the text, or before one of [lone_lead_trails], decodes
// alone to it. A lead byte with any other trail byte takes both bytes and
// decodes through [double_codes], or to the Unicode default char when the
// pair is not a valid code.
struct CodePageTables {
  unsigned code_page;
  std::span<const char16_t, 256> single;
  std::span<const ByteRange> lead_ranges;
  std::span<const uint8_t> lone_lead_trails;
  std::span<const CodePair> double_codes;
  std::span<const CodePair> encode;
  uint8_t default_char;
  char16_t unicode_default;
};

#include "platform/portable/codepage_tables.inc"

std::optional<uint16_t> find(std::span<const CodePair> table, uint16_t key) {
  auto at = std::lower_bound(table.begin(), table.end(), key,
                             [](const CodePair& pair, uint16_t k) { return pair.key < k; });
  if (at == table.end() || at->key != key) return std::nullopt;
  return at->value;
}

bool is_lead(const CodePageTables& cp, uint8_t byte) {
  return std::any_of(cp.lead_ranges.begin(), cp.lead_ranges.end(),
                     [byte](const ByteRange& r) { return byte >= r.first && byte <= r.last; });
}

bool ends_lone_lead(const CodePageTables& cp, uint8_t trail) {
  return std::find(cp.lone_lead_trails.begin(), cp.lone_lead_trails.end(), trail) != cp.lone_lead_trails.end();
}

// A POSIX build only ever asks for 1252 or 932 (see ansi_code_page()); any
// other number is read as 1252 rather than failing.
const CodePageTables& tables_for(unsigned code_page) { return code_page == 932 ? k_cp932 : k_cp1252; }

}  // namespace

std::u16string decode_code_page(unsigned code_page, std::string_view bytes) {
  const CodePageTables& cp = tables_for(code_page);
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto byte = static_cast<uint8_t>(bytes[i]);
    if (!is_lead(cp, byte) || i + 1 == bytes.size() || ends_lone_lead(cp, static_cast<uint8_t>(bytes[i + 1]))) {
      out.push_back(cp.single[byte]);
      continue;
    }
    auto code = static_cast<uint16_t>(byte << 8 | static_cast<uint8_t>(bytes[++i]));
    out.push_back(find(cp.double_codes, code).value_or(cp.unicode_default));
  }
  return out;
}

// Each UTF-16 unit is converted on its own, as Windows does for these code
// pages: a surrogate pair (a character outside the BMP) has no code in
// either, so it becomes two default chars, "??", and so does a lone
// surrogate become one.
std::string encode_code_page(unsigned code_page, std::u16string_view text) {
  const CodePageTables& cp = tables_for(code_page);
  std::string out;
  out.reserve(text.size());
  for (char16_t unit : text) {
    std::optional<uint16_t> code = find(cp.encode, unit);
    if (!code) {
      out.push_back(static_cast<char>(cp.default_char));
      continue;
    }
    if (*code > 0xFF) out.push_back(static_cast<char>(*code >> 8));
    out.push_back(static_cast<char>(*code & 0xFF));
  }
  return out;
}

}  // namespace vesk::platform
