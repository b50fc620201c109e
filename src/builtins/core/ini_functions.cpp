// READINI, WRITEINI and DELETEINI: INI files through the settings-file
// engine, with an explicit file.
#include "app/settings/settings_file.h"
#include "builtins/core/builtin_context.h"
#include "engine/values/named_constants.h"
#include "engine/values/numeric_text.h"
#include "platform/platform.h"
#include "support/text.h"

namespace vesk {
namespace {

// The file argument: empty means the launcher's caption + ".INI" in the
// program's folder; a name without "." gets ".INI".
std::u16string ini_file(const BuiltinContext& ctx, int k) {
  std::u16string file = ctx.given(k) ? std::u16string(trim_blanks(ctx.text(k))) : std::u16string();
  if (file.empty()) {
    std::u16string name = special_text(u"GET_VESK_NAME");
    if (name.size() > 4 && ascii_upper(name.substr(name.size() - 4)) == u".EXE") name.resize(name.size() - 4);
    std::u16string folder = platform::program_directory();
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    return folder + name + u".INI";
  }
  size_t name_start = file.find_last_of(u"\\/");
  name_start = name_start == std::u16string::npos ? 0 : name_start + 1;
  if (file.find(u'.', name_start) == std::u16string::npos) file += u".INI";
  return file;
}

}  // namespace

// READINI(section, key, file)
Value builtin_readini(BuiltinContext& ctx) {
  std::u16string value = process_settings().read(ctx.text(0), ctx.text(1), ini_file(ctx, 2));
  if (is_numeric_text(value, NumericTextMode{false, true})) return Value::ansi_string(platform::utf16_to_ansi(value));
  return Value::string(std::move(value));
}

// WRITEINI(section, key, value, file)
Value builtin_writeini(BuiltinContext& ctx) {
  process_settings().write(ctx.text(0), ctx.text(1), ctx.text(2), ini_file(ctx, 3));
  return Value();
}

// DELETEINI(section, key, file): an empty key deletes the whole section.
Value builtin_deleteini(BuiltinContext& ctx) {
  process_settings().remove(ctx.text(0), ctx.given(1) ? ctx.text(1) : std::u16string(), ini_file(ctx, 2));
  return Value();
}

}  // namespace vesk
