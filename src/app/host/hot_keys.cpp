// The hot-key tables.
#include "app/host/hot_keys.h"

#include "support/text.h"

namespace vesk::host {
namespace {

constexpr uint32_t k_alt = 1, k_control = 2, k_shift = 4, k_windows = 8;

// Virtual keys: F1 is 0x70, the arrows 0x25 to 0x28, End 0x23, Home 0x24.
constexpr uint32_t k_keys[55] = {
    0x20, 0x70, 0x71, 0x72, 0x73, 0x78, 0x79, 0x7A, 0x7B, 0x26, 0x28, 0x27, 0x25, 'Q', 'W', 'E', 'R', 'A', 'S',
    'D',  'F',  0x23, 0x24, 0x74, 0x75, 0x76, 0x77, 'T',  'Y',  'U',  'I',  'O',  'P',  'G', 'H', 'J', 'K', 'L',
    'Z',  'X',  'C',  'V',  'B',  'N',  'M',  '1',  '2',  '3',  '4',  '5',  '6',  '7',  '8', '9', '0'};

constexpr uint32_t k_modifiers[6] = {k_control, k_windows, k_alt, k_shift | k_control, k_shift | k_alt,
                                     k_control | k_alt};

// The number before or after the comma of [text]; nothing when empty,
// "-1" or no whole number.
std::optional<int32_t> part(std::u16string_view text, bool second) {
  size_t comma = text.find(u',');
  std::u16string_view piece = second ? (comma == std::u16string_view::npos ? std::u16string_view() : text.substr(comma + 1))
                                     : text.substr(0, comma);
  piece = trim_blanks(piece);
  if (piece.empty() || piece == u"-1" || piece.size() > 6) return std::nullopt;
  int32_t n = 0;
  for (char16_t c : piece) {
    if (c < u'0' || c > u'9') return -1;  // outside every table
    n = n * 10 + (c - u'0');
  }
  return n;
}

}  // namespace

std::optional<uint32_t> hot_key_virtual_key(int32_t index) {
  if (index < 0 || index >= 55) return std::nullopt;
  return k_keys[index];
}

std::optional<uint32_t> hot_key_modifiers(int32_t index) {
  if (index < 0 || index >= 6) return std::nullopt;
  return k_modifiers[index];
}

std::optional<HotKey> read_hot_key(std::u16string_view setting, std::u16string_view fallback) {
  std::optional<int32_t> key = part(setting, false), modifier = part(setting, true);
  if (!key) key = part(fallback, false);
  if (!modifier) modifier = part(fallback, true);
  if (!key || !modifier) return std::nullopt;
  std::optional<uint32_t> vk = hot_key_virtual_key(*key), flags = hot_key_modifiers(*modifier);
  if (!vk || !flags) return std::nullopt;
  return HotKey{*vk, *flags};
}

}  // namespace vesk::host
