// The shared pieces of the fuzz targets.
#include "fuzz_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "builtins/core/dispatch.h"
#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/messages.h"
#include "support/utf.h"

namespace vesk::fuzz {

std::vector<std::u16string> lines_of(std::string_view bytes) { return split_lines(decode_text_bytes(bytes).text); }

const std::u16string& private_folder() {
  static const std::u16string folder = [] {
    std::filesystem::path base = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                      : std::filesystem::temp_directory_path();
    std::filesystem::path own = base / ("vesk-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(own);
    std::filesystem::current_path(own);
    // libFuzzer ends the process with exit(): the folder goes with it.
    static const std::filesystem::path removed = own;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::current_path(removed.parent_path(), ignored);
      std::filesystem::remove_all(removed, ignored);
    });
    set_message_language_japanese(false);
    return own.u16string();
  }();
  return folder;
}

std::u16string private_file(std::u16string_view name) { return private_folder() + u"/" + std::u16string(name); }

namespace {

// Built-ins that read only their arguments and answer a value.
constexpr std::u16string_view k_pure[] = {
    u"INT",     u"ABS",        u"ZCUT",   u"ROUND",  u"SQRT",     u"POWER",    u"SIN",    u"COS",
    u"TAN",     u"EXP",        u"LN",     u"LOGN",   u"COPY",     u"LENGTH",   u"POS",    u"CHKNUM",
    u"VAL",     u"FORMAT",     u"CHGMOJ", u"TRIM",   u"CHR",      u"ASC",      u"TOKEN",  u"LENGTHB",
    u"COPYB",   u"POSB",       u"CHRB",   u"ASCB",   u"BYTETYPE", u"ISUNICODE", u"CEIL",  u"ARCSIN",
    u"ARCCOS",  u"ARCTAN",     u"STRCONV", u"ENCODE", u"DECODE",  u"REPLACE",  u"VARTYPE", u"BETWEENSTR",
    u"SHIFTARRAY", u"CALCARRAY", u"SPLIT", u"JOIN",  u"SLICE",    u"QSORT",    u"RESIZE", u"SAFEARRAY",
    u"GETTIME",
};

std::u16string_view bare_name(std::u16string_view name) {
  constexpr std::u16string_view global = u"GLOBAL.";
  if (name.size() > global.size() && name.substr(0, global.size()) == global) name.remove_prefix(global.size());
  return name;
}

}  // namespace

std::optional<Value> PureBuiltins::call(Interpreter& interpreter, const CallSite& call, CallFrame& frame,
                                        bool& failed) {
  std::u16string_view name = bare_name(call.name);
  if (!m_core.bounds(name)) return std::nullopt;
  if (std::find(std::begin(k_pure), std::end(k_pure), name) == std::end(k_pure)) return Value::i4(0);
  return m_core.call(interpreter, call, frame, failed);
}

Interpreter& fuzz_interpreter() {
  static SilentOutput output;
  static Interpreter interpreter(output);
  static PureBuiltins* library = [] {
    private_folder();
    install_core_builtins(interpreter);
    return new PureBuiltins(*interpreter.library());
  }();
  interpreter.set_library(library);
  return interpreter;
}

}  // namespace vesk::fuzz
