// The portable locale string mapping: the system's case rules (through
// support/unicode_case.h) and its width and kana rows (text_mapping.def).
#include "builtins/core/text_mapping.h"

#include <array>
#include <map>
#include <vector>

#include "support/unicode_case.h"

namespace vesk {
namespace {

struct MappingRow {
  uint32_t flags;
  std::u16string_view input;
  std::u16string_view output;
};

constexpr MappingRow k_rows[] = {
#define W(flags, input, output) {flags, input, output},
#include "builtins/core/text_mapping.def"
#undef W
};

// The rows of one flag combination, by input.
using RowMap = std::map<std::u16string_view, std::u16string_view>;

const RowMap& rows_for(uint32_t flags) {
  static const std::map<uint32_t, RowMap> tables = [] {
    std::map<uint32_t, RowMap> t;
    for (const MappingRow& row : k_rows) t[row.flags].emplace(row.input, row.output);
    return t;
  }();
  static const RowMap none;
  auto it = tables.find(flags);
  return it == tables.end() ? none : it->second;
}

bool has_rows(uint32_t flags) { return &rows_for(flags) != &rows_for(0); }

// Longest match first: a kana with its sound mark is one row.
std::u16string apply_rows(std::u16string_view text, const RowMap& rows) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    if (i + 1 < text.size()) {
      if (auto it = rows.find(text.substr(i, 2)); it != rows.end()) {
        out += it->second;
        i += 2;
        continue;
      }
    }
    auto it = rows.find(text.substr(i, 1));
    out += it != rows.end() ? it->second : text.substr(i, 1);
    ++i;
  }
  return out;
}

// Lower-casing is the inverse of the system's upper-casing: the first
// character (in code order) that upper-cases to a character is its lower
// case.
char16_t unicode_lower(char16_t c) {
  static const std::vector<char16_t> lower = [] {
    std::vector<char16_t> t(0x10000);
    for (uint32_t i = 0; i < 0x10000; ++i) t[i] = static_cast<char16_t>(i);
    std::vector<bool> taken(0x10000, false);
    for (uint32_t i = 0; i < 0x10000; ++i) {
      char16_t u = unicode_upper(static_cast<char16_t>(i));
      if (u != i && !taken[u]) t[u] = static_cast<char16_t>(i), taken[u] = true;
    }
    return t;
  }();
  return lower[c];
}

std::u16string map_case(std::u16string_view text, uint32_t flags) {
  std::u16string out(text);
  if (flags & k_map_uppercase)
    for (char16_t& c : out) c = unicode_upper(c);
  if (flags & k_map_lowercase)
    for (char16_t& c : out) c = unicode_lower(c);
  return out;
}

}  // namespace

std::optional<std::u16string> map_text_portable(std::u16string_view text, uint32_t flags) {
  auto both = [&](uint32_t a, uint32_t b) { return (flags & a) && (flags & b); };
  if (both(k_map_lowercase, k_map_uppercase) || both(k_map_hiragana, k_map_katakana) ||
      both(k_map_halfwidth, k_map_fullwidth))
    return std::nullopt;
  std::u16string out = map_case(text, flags);
  uint32_t kana_width = flags & (k_map_hiragana | k_map_katakana | k_map_halfwidth | k_map_fullwidth);
  if (kana_width == 0) return out;
  if (has_rows(kana_width)) return apply_rows(out, rows_for(kana_width));
  // Combinations without rows of their own: kana first, then width.
  if (uint32_t kana = kana_width & (k_map_hiragana | k_map_katakana)) out = apply_rows(out, rows_for(kana));
  if (uint32_t width = kana_width & (k_map_halfwidth | k_map_fullwidth)) out = apply_rows(out, rows_for(width));
  return out;
}

#ifndef _WIN32
std::optional<std::u16string> map_text(std::u16string_view text, uint32_t flags) {
  return map_text_portable(text, flags);
}
#endif

}  // namespace vesk
