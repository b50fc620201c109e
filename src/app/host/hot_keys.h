// The hot-key settings: "key index,modifier index" into the key and
// modifier tables of the options dialog, turned into the virtual key and
// the modifier flags of a system hot-key registration.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vesk::host {

// The identifiers the launcher registers its hot keys under.
enum HotKeyId : int32_t {
  k_hot_key_stop = 9874,
  k_hot_key_play = 9875,
  k_hot_key_rec = 9876,
  k_hot_key_tray = 9877,
  k_hot_key_lunch_menu = 9878,
};

struct HotKey {
  uint32_t virtual_key = 0;
  uint32_t modifiers = 0;  // the registration's flags: 1 alt, 2 control, 4 shift, 8 Windows
};

// The key of [index] (0 to 54), or nothing outside the table.
std::optional<uint32_t> hot_key_virtual_key(int32_t index);
// The flags of [index] (0 to 5), or nothing outside the table.
std::optional<uint32_t> hot_key_modifiers(int32_t index);

// [setting] as written in the settings file; an empty or "-1" part takes
// the part of [fallback]. Nothing when an index lies outside its table.
std::optional<HotKey> read_hot_key(std::u16string_view setting, std::u16string_view fallback);

}  // namespace vesk::host
