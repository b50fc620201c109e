// The OPTION statement: flags and key = value settings of the script,
// stored in the program's options.
#include "engine/loader/prepass_state.h"
#include "engine/loader/prepass_text.h"
#include <cstdint>

#include "engine/values/escapes.h"
#include "platform/platform.h"
#include "support/text.h"

namespace vesk::prepass {
namespace {

struct OptionFlag {
  std::u16string_view name;
  bool ScriptOptions::*flag;
};

constexpr OptionFlag k_flags[] = {
    {u"EXPLICIT", &ScriptOptions::explicit_names}, {u"SAMESTR", &ScriptOptions::same_str},
    {u"OPTPUBLIC", &ScriptOptions::opt_public},    {u"OPTFINALLY", &ScriptOptions::opt_finally},
    {u"SPECIALCHAR", &ScriptOptions::special_char}, {u"SHORTCIRCUIT", &ScriptOptions::short_circuit},
    {u"ROUNDVALUE", &ScriptOptions::round_value},  {u"OLDBUSY", &ScriptOptions::old_busy},
    {u"OLDBOOL", &ScriptOptions::old_bool},
};

bool read_int32(std::u16string_view text, int32_t& out) {
  long long value = 0;
  if (!read_integer(unquote(text), value) || value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int32_t>(value);
  return true;
}

// "x, y" (or x alone, y following as the next entry).
bool read_position(const std::vector<std::u16string>& entries, size_t& at, std::u16string value,
                   ScriptOptions& o) {
  value = unquote(value);
  std::u16string y_text;
  size_t comma = value.find(u',');
  if (comma != std::u16string::npos) {
    y_text = value.substr(comma + 1);
    value.resize(comma);
  } else {
    if (at + 1 >= entries.size()) return false;
    y_text = entries[++at];
  }
  if (!read_int32(value, o.position_x) || !read_int32(y_text, o.position_y)) return false;
  o.position_set = true;
  return true;
}

// "name, size" in double quotes.
bool read_font(std::u16string_view value, ScriptOptions& o) {
  std::u16string text = unquote(value);
  size_t comma = text.rfind(u',');
  if (comma == std::u16string::npos) return false;
  int32_t size = 0;
  if (!read_int32(std::u16string_view(text).substr(comma + 1), size)) return false;
  o.default_font_name = std::u16string(trim_blanks(std::u16string_view(text).substr(0, comma)));
  o.default_font_size = size;
  return true;
}

}  // namespace

bool PrePass::apply_options(std::u16string_view list) {
  std::vector<std::u16string> entries = split_outside(list, u',', false, false);
  for (size_t at = 0; at < entries.size(); ++at) {
    if (!apply_option(entries, at)) return false;
  }
  return true;
}

bool PrePass::apply_option(const std::vector<std::u16string>& entries, size_t& at) {
  ScriptOptions& o = m_program.options;
  const std::u16string& entry = entries[at];
  size_t eq = find_outside_quotes(entry, u"=");
  std::u16string key = ascii_upper(trim_blanks(std::u16string_view(entry).substr(0, eq)));
  if (eq == std::u16string::npos) {
    for (const OptionFlag& f : k_flags) {
      if (f.name != key) continue;
      o.*f.flag = true;
      if (f.flag == &ScriptOptions::old_bool) m_store.set_old_bool(true);
      return true;
    }
    return false;
  }
  std::u16string value(trim_blanks(std::u16string_view(entry).substr(eq + 1)));
  if (key == u"DLGTITLE") {
    o.dialog_title = expand_escapes(unquote(value), o.special_char);
    return true;
  }
  if (key == u"DLGMONITOR") {
    if (!read_int32(value, o.dialog_monitor)) return false;
    // A monitor that is not there means the default one.
    if (o.dialog_monitor < 0 || o.dialog_monitor >= platform::monitor_count()) o.dialog_monitor = -1;
    return true;
  }
  if (key == u"LOGFILE") {
    if (!read_int32(value, o.log_file_mode)) return false;
    if (o.log_file_mode & 4) o.clear_log = true;
    return true;
  }
  if (key == u"LOGPATH") {
    o.log_path = unquote(value);
    if (!o.log_path.empty()) o.clear_log = true;
    return true;
  }
  if (key == u"LOGLINES") {
    int32_t lines = 0;
    if (!read_int32(value, lines) || lines < 0) return false;
    o.saved_log_lines = decimal(o.log_lines);
    o.log_lines = lines;
    return true;
  }
  if (key == u"DEFAULTFONT") return read_font(value, o);
  if (key == u"POSITION") return read_position(entries, at, value, o);
  return false;
}

}  // namespace vesk::prepass
