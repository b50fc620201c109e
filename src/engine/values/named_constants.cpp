// Lookup of the named constants, the key names and the GET_ special names.
//
// Every listed name sits in one hashed table built on first use; two families
// follow a rule instead of being listed: "VK_" with one digit or capital
// letter, and the IMG_MSK_ colour masks. The constants are grouped by prefix
// only in their table file; a name whose prefix has no group is simply not
// in the table, so one hashed look-up answers for every group.
#include "engine/values/named_constants.h"

#include <charconv>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "support/version.h"

namespace vesk {
namespace {

// Where a constant's value comes from: the table, or the system at each read.
enum class ConstantSource : uint8_t { Fixed, MouseX, MouseY, ScreenWidth, ScreenHeight, ScreenColours, Version };

struct ConstantEntry {
  double value;
  ConstantSource source;
};

using ConstantTable = std::unordered_map<std::u16string_view, ConstantEntry>;

struct ComputedConstant {
  std::u16string_view name;
  ConstantSource source;
};

constexpr ComputedConstant k_computed_constants[] = {
    {u"G_MOUSE_X", ConstantSource::MouseX},         {u"G_MOUSE_Y", ConstantSource::MouseY},
    {u"G_SCREEN_W", ConstantSource::ScreenWidth},   {u"G_SCREEN_H", ConstantSource::ScreenHeight},
    {u"G_SCREEN_C", ConstantSource::ScreenColours}, {u"GET_VESK_VER", ConstantSource::Version},
};

ConstantTable build_constant_table() {
  ConstantTable table;
  table.reserve(512);
#define C(name, value) table.emplace(u## #name, ConstantEntry{value, ConstantSource::Fixed});
#include "engine/values/constants.def"
#undef C
#define K(name, code) table.emplace(u## #name, ConstantEntry{code, ConstantSource::Fixed});
#include "engine/values/key_names.def"
#undef K
  for (const ComputedConstant& c : k_computed_constants) table.emplace(c.name, ConstantEntry{0, c.source});
  return table;
}

// Built once; the initialisation of a local static is thread-safe.
const ConstantTable& constant_table() {
  static const ConstantTable table = build_constant_table();
  return table;
}

double computed_value(ConstantSource source) {
  switch (source) {
    case ConstantSource::Fixed: break;
    case ConstantSource::MouseX: return platform::cursor_position().x;
    case ConstantSource::MouseY: return platform::cursor_position().y;
    case ConstantSource::ScreenWidth: return platform::screen_width();
    case ConstantSource::ScreenHeight: return platform::screen_height();
    case ConstantSource::ScreenColours: return platform::screen_colour_depth();
    case ConstantSource::Version: return version_number(k_version_text);
  }
  return 0;
}

// "VK_" followed by one digit or capital letter names that character's code.
std::optional<double> key_character_code(std::u16string_view name) {
  if (name.size() != 4 || name.substr(0, 3) != u"VK_") return std::nullopt;
  char16_t c = name[3];
  if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z')) return static_cast<double>(c);
  return std::nullopt;
}

// IMG_MSK_Rn, _Gn, _Bn (n = 1 … 8) mask the low n bits of one colour byte;
// IMG_MSK_BGRn (n = 1 … 6) of all three.
std::optional<double> colour_mask(std::u16string_view name) {
  constexpr std::u16string_view prefix = u"IMG_MSK_";
  if (name.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::u16string_view rest = name.substr(prefix.size());
  if (rest.size() < 2) return std::nullopt;
  std::u16string_view channel = rest.substr(0, rest.size() - 1);
  int bits = rest.back() - u'0';
  double factor = 0;
  int most_bits = 8;
  if (channel == u"R") {
    factor = 1;
  } else if (channel == u"G") {
    factor = 0x100;
  } else if (channel == u"B") {
    factor = 0x10000;
  } else if (channel == u"BGR") {
    factor = 0x10101;
    most_bits = 6;
  } else {
    return std::nullopt;
  }
  if (bits < 1 || bits > most_bits) return std::nullopt;
  return ((1 << bits) - 1) * factor;
}

// Where a special name's text comes from.
enum class SpecialSource : uint8_t {
  Fixed,
  WindowsDirectory,
  SystemDirectory,
  CurrentDirectory,
  ProgramDirectory,
  AppDataDirectory,
  LauncherCaption,
};

struct SpecialEntry {
  SpecialSource source;
  std::u16string_view text;
};

using SpecialTable = std::unordered_map<std::u16string_view, SpecialEntry>;

const SpecialTable& special_table() {
  static const SpecialTable table = {
#define S(name, source, text) {u## #name, SpecialEntry{SpecialSource::source, text}},
#include "engine/values/special_names.def"
#undef S
  };
  return table;
}

const SpecialEntry* find_special(std::u16string_view name) {
  if (name.substr(0, 4) != u"GET_" && name != u"EMPTYPARAM") return nullptr;
  auto it = special_table().find(name);
  return it == special_table().end() ? nullptr : &it->second;
}

// The launcher caption behind GET_VESK_NAME; the host sets it, script
// threads read it.
struct LauncherCaption {
  std::mutex lock;
  std::u16string text = u"VESK";
};

LauncherCaption& launcher_caption() {
  static LauncherCaption caption;
  return caption;
}

std::u16string launcher_caption_text() {
  LauncherCaption& caption = launcher_caption();
  std::lock_guard guard(caption.lock);
  return caption.text;
}

std::u16string special_value(const SpecialEntry& entry) {
  switch (entry.source) {
    case SpecialSource::Fixed: return std::u16string(entry.text);
    case SpecialSource::WindowsDirectory: return platform::windows_directory();
    case SpecialSource::SystemDirectory: return platform::system_directory();
    case SpecialSource::CurrentDirectory: return platform::current_directory();
    case SpecialSource::ProgramDirectory: return platform::program_directory();
    case SpecialSource::AppDataDirectory: return platform::app_data_directory();
    case SpecialSource::LauncherCaption: return launcher_caption_text();
  }
  return {};
}

}  // namespace

std::optional<double> find_constant(std::u16string_view name) {
  if (name.size() < 2) return std::nullopt;
  const ConstantTable& table = constant_table();
  if (auto it = table.find(name); it != table.end()) {
    const ConstantEntry& entry = it->second;
    return entry.source == ConstantSource::Fixed ? entry.value : computed_value(entry.source);
  }
  if (auto code = key_character_code(name)) return code;
  return colour_mask(name);
}

double constant_value(std::u16string_view name) { return find_constant(name).value_or(k_no_constant); }

std::u16string special_text(std::u16string_view name) {
  const SpecialEntry* entry = find_special(name);
  return entry ? special_value(*entry) : std::u16string();
}

bool is_special_name(std::u16string_view name) { return find_special(name) != nullptr; }

bool is_constant_or_special_name(std::u16string_view name) {
  if (name.size() < 2) return false;
  return constant_table().contains(name) || key_character_code(name) || colour_mask(name) ||
         is_special_name(name);
}

void set_launcher_caption(std::u16string_view caption, bool built_executable) {
  LauncherCaption& target = launcher_caption();
  std::lock_guard guard(target.lock);
  target.text = caption;
  if (built_executable) target.text += u".EXE";
}

double version_number(std::u16string_view version) {
  std::string digits;
  for (char16_t c : version) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (c >= u'A' && c <= u'I') c = static_cast<char16_t>(u'1' + (c - u'A'));
    digits.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  double number = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), number, std::chars_format::fixed);
  return number;
}

}  // namespace vesk
