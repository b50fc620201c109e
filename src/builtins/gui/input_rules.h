// The rules of simulated input that need no window system: the held-input
// list and its entries, which keys travel with the extended flag, how the
// mouse coordinates meet the desktop's edges and how long a mouse function
// sleeps. The Win32 side (input.h) applies them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::gui {

// The action argument of BTN and KBD.
enum InputAction : int32_t { k_action_click = 0, k_action_down = 1, k_action_up = 2 };

// The button argument of BTN.
enum MouseButtonArgument : int32_t { k_button_left = 0, k_button_right = 1, k_button_middle = 2, k_button_wheel = 9 };

// The key code that stands for the Enter key of the numeric pad.
inline constexpr int64_t k_key_pad_enter = 901;
// Codes from here on are typed as the Unicode character of that code.
inline constexpr int64_t k_first_character_code = 256;

inline bool is_character_code(int64_t key) { return key >= k_first_character_code && key != k_key_pad_enter; }

// A key code that can go out at all: a key, or a character that is no
// half of a surrogate pair.
inline bool is_sendable_key(int64_t key) { return key > 0 && key <= 0x10FFFF && (key < 0xD800 || key > 0xDFFF); }

// The key code that goes out for [key]: the right-hand shift, control and
// alt keys as their plain keys, the pad's Enter as Enter.
inline int64_t sent_key_code(int64_t key) {
  switch (key) {
    case 161: return 16;
    case 163: return 17;
    case 165: return 18;
    case k_key_pad_enter: return 13;
    default: return key;
  }
}

// Keys that the keyboard reports with the extended flag: the right-hand
// modifiers, the pad's Enter, the arrows, Insert, Delete, Home, End, the
// page keys and the pad's divide key.
inline bool is_extended_key(int64_t key) {
  switch (key) {
    case 161:
    case 163:
    case 165:
    case k_key_pad_enter:
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
    case 39:
    case 40:
    case 45:
    case 46:
    case 111: return true;
    default: return false;
  }
}

// The modifier keys that SCKEY holds down while the later keys go out.
inline bool is_held_modifier(int64_t key) {
  return key == 16 || key == 17 || key == 18 || key == 91 || key == 92 || (key >= 160 && key <= 165);
}

// The hot-key modifier bit of [key] (ALT 1, CTRL 2, SHIFT 4, WIN 8), 0 for
// other keys.
inline uint32_t hot_key_modifier_bit(int64_t key) {
  switch (key) {
    case 18:
    case 165: return 1;
    case 17:
    case 162:
    case 163: return 2;
    case 16:
    case 160:
    case 161: return 4;
    case 91:
    case 92: return 8;
    default: return 0;
  }
}

// Which modifier of the direct mode [key] is.
enum class DirectModifier { None, Shift, Control, Alt };
inline DirectModifier direct_modifier(int64_t key) {
  if (key == 16 || key == 160 || key == 161) return DirectModifier::Shift;
  if (key == 17 || key == 162 || key == 163) return DirectModifier::Control;
  if (key == 18 || key == 164 || key == 165) return DirectModifier::Alt;
  return DirectModifier::None;
}

// The second parameter of a posted key message: the scan code in bits 16
// to 23, a repeat count of 1, the extended flag, and for a key-up the
// previous-state and transition bits.
inline uint32_t key_message_parameter(uint32_t scan, bool extended, bool up) {
  uint32_t p = ((scan & 0xFF) << 16) | 1u;
  if (extended) p |= 0x1000000u;
  if (up) p |= 0xC0000000u;
  return p;
}

// MMV's point on a desktop that starts at [first] and has [size] pixels:
// before the edge the edge, at or beyond the far edge the last pixel.
inline int64_t clamp_to_desktop(int64_t v, int64_t first, int64_t size) {
  if (v < first) return first;
  if (v >= first + size) return first + size - 1;
  return v;
}

// BTN's point: exactly at the far edge moves in by one pixel; outside the
// desktop there is no point and the BTN does nothing.
inline std::optional<int64_t> button_coordinate(int64_t v, int64_t first, int64_t size) {
  if (v == first + size) return v - 1;
  if (v < first || v > first + size) return std::nullopt;
  return v;
}

// The milliseconds MMV or BTN ([button]) sleep for a [delay]: a script
// thread sleeps all of it; the main script subtracts the [gap] since the
// previous built-in returned. A remainder from -9 to 0 sleeps 0 ms for MMV
// and 1 ms for BTN; below that nothing.
inline int64_t mouse_delay_ms(int64_t delay, int64_t gap, bool in_thread, bool button) {
  if (in_thread) return std::max<int64_t>(delay, 0);
  int64_t rest = delay - gap;
  if (rest > 0) return rest;
  if (rest >= -9) return button ? 1 : 0;
  return 0;
}

// One entry of the held-input list: a mouse button or a key that went
// down and has not come up, with the window it went to in direct mode.
struct HeldEntry {
  enum class Kind { LeftButton, RightButton, MiddleButton, Key };
  Kind kind = Kind::Key;
  int64_t key = 0;
  std::optional<uint64_t> window;  // the direct-mode target
};

// The buttons and keys a run pressed and has not released, in the order
// they went down; the end of the run releases them. The text form of an
// entry is "LEFTDOWN", "RIGHTDOWN", "MIDDLEDOWN" or "KBD" + key code, each
// followed by "," + the window's handle in direct mode.
class HeldInputList {
 public:
  static std::string text_of(const HeldEntry& entry) {
    std::string text;
    switch (entry.kind) {
      case HeldEntry::Kind::LeftButton: text = "LEFTDOWN"; break;
      case HeldEntry::Kind::RightButton: text = "RIGHTDOWN"; break;
      case HeldEntry::Kind::MiddleButton: text = "MIDDLEDOWN"; break;
      case HeldEntry::Kind::Key: text = "KBD" + std::to_string(entry.key); break;
    }
    if (entry.window) text += "," + std::to_string(*entry.window);
    return text;
  }

  // The entry that [text] stands for; an unreadable key or window gives
  // key 0 or no window.
  static HeldEntry parse(const std::string& text) {
    HeldEntry entry;
    size_t comma = text.find(',');
    std::string head = text.substr(0, comma);
    if (comma != std::string::npos) entry.window = read_number(text.substr(comma + 1));
    if (head == "LEFTDOWN") {
      entry.kind = HeldEntry::Kind::LeftButton;
    } else if (head == "RIGHTDOWN") {
      entry.kind = HeldEntry::Kind::RightButton;
    } else if (head == "MIDDLEDOWN") {
      entry.kind = HeldEntry::Kind::MiddleButton;
    } else {
      entry.kind = HeldEntry::Kind::Key;
      entry.key = head.size() > 3 ? static_cast<int64_t>(read_number(head.substr(3))) : 0;
    }
    return entry;
  }

  // Adds [entry] unless it is already there.
  void add(const HeldEntry& entry) {
    std::string text = text_of(entry);
    if (std::find(m_entries.begin(), m_entries.end(), text) == m_entries.end()) m_entries.push_back(std::move(text));
  }
  void remove(const HeldEntry& entry) {
    std::string text = text_of(entry);
    m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), text), m_entries.end());
  }
  // Empties the list and gives what it held, in order.
  std::vector<HeldEntry> take() {
    std::vector<HeldEntry> entries;
    for (const std::string& text : m_entries) entries.push_back(parse(text));
    m_entries.clear();
    return entries;
  }
  const std::vector<std::string>& entries() const { return m_entries; }

 private:
  static uint64_t read_number(const std::string& digits) {
    uint64_t n = 0;
    for (char c : digits) {
      if (c < '0' || c > '9' || n > (UINT64_MAX - 9) / 10) break;
      n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    return n;
  }

  std::vector<std::string> m_entries;
};

}  // namespace vesk::gui
