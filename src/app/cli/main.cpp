// vesk-cli: runs a script from a console, for people, schedulers and tests.
#include <cstdio>
#include <string>
#include <vector>

#include "builtins/core/dispatch.h"
#include "engine/loader/assembly.h"
#include "engine/loader/include_path.h"
#include "engine/runtime/block_checks.h"
#include "engine/runtime/interpreter.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using vesk::u16;

constexpr const char* k_usage =
    "usage: vesk-cli SCRIPT [PARAM...]     run a script\n"
    "       vesk-cli --check SCRIPT        load and check a script, run nothing\n"
    "       vesk-cli --run-text SCRIPT     print the assembled, normalised run text\n"
    "       vesk-cli --help                show this text\n"
    "\n"
    "PRINT output goes to standard output, one UTF-8 line each. A script error\n"
    "writes its message and location to standard error and exits with status 1;\n"
    "EXITEXIT n exits with n; otherwise the status is 0. Status 2 means the\n"
    "command line was wrong. Messages are Japanese when LANG, LC_ALL or\n"
    "LC_MESSAGES begins with \"ja\" (on Windows: the system language).\n"
    "SCRIPT may leave out its \".vsk\" extension.\n";

void write_line(FILE* stream, std::u16string_view text) {
  std::string bytes = vesk::utf16_to_utf8(text);
  bytes.push_back('\n');
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

// Adds ".VSK" when the name as given is no file and has no extension.
std::u16string complete_script_path(std::u16string path) {
  if (vesk::platform::file_exists(path)) return path;
  size_t slash = path.find_last_of(u"\\/");
  size_t dot = path.find_last_of(u'.');
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) path += u".VSK";
  return path;
}

// PRINT lines to standard output, the error dialog's text to standard error.
class ConsoleOutput : public vesk::RunOutput {
 public:
  void print_line(const std::u16string& text) override {
    write_line(stdout, text);
    std::fflush(stdout);
  }
  void show_error(const std::u16string& message, const std::u16string& location) override {
    write_line(stderr, message);
    write_line(stderr, location);
    std::fflush(stderr);
  }
};

struct Options {
  enum class Mode { Run, Check, RunText } mode = Mode::Run;
  std::u16string script;
  std::vector<std::u16string> params;
};

int run(const Options& options) {
  std::u16string script = vesk::platform::absolute_path(complete_script_path(options.script));
  if (!vesk::platform::file_exists(script)) {
    write_line(stderr, u"vesk-cli: script not found: " + script);
    return 2;
  }
  // CALL targets of the main file resolve against the script's folder.
  vesk::platform::set_current_directory(vesk::loader::directory_of(script));

  vesk::loader::FileTimes times;
  vesk::loader::Assembler assembler(times);
  vesk::loader::AssemblyResult assembled = assembler.assemble({script, {}, std::nullopt});
  if (!assembled.ok) {
    write_line(stderr, assembled.error);
    return 1;
  }
  if (options.mode == Options::Mode::RunText) {
    for (const std::u16string& line : assembled.run_text) write_line(stdout, line);
    return 0;
  }
  ConsoleOutput output;
  vesk::Interpreter interpreter(output);
  vesk::install_core_builtins(interpreter);
  vesk::LoadError error;
  // The whole script is checked before its first statement runs; a load or
  // check error goes through the error channel like a run-time one.
  if (!interpreter.load(assembled.run_text, error) || !vesk::check_blocks(interpreter, error)) {
    interpreter.report_load_error(error);
    return 1;
  }
  if (options.mode == Options::Mode::Check) return 0;
  interpreter.run_main(options.params);
  interpreter.cleanup();
  if (interpreter.error_shown()) return 1;
  return interpreter.exit_code();
}

int cli_main(const std::vector<std::u16string>& args) {
  vesk::set_message_language_japanese(vesk::platform::system_language_is_japanese());
  Options options;
  size_t i = 1;
  if (i < args.size() && (args[i] == u"--help" || args[i] == u"-h" || args[i] == u"/?")) {
    std::fputs(k_usage, stdout);
    return 0;
  }
  if (i < args.size() && args[i] == u"--check") options.mode = Options::Mode::Check, ++i;
  else if (i < args.size() && args[i] == u"--run-text") options.mode = Options::Mode::RunText, ++i;
  if (i >= args.size()) {
    std::fputs(k_usage, stderr);
    return 2;
  }
  options.script = args[i++];
  options.params.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return run(options);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Output is UTF-8 bytes whatever the console code page.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i) {
    std::wstring_view arg(argv[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  return cli_main(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i) args.push_back(vesk::utf8_to_utf16(argv[i]));
  return cli_main(args);
}
#endif
