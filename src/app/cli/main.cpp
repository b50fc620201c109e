// vesk-cli: runs a script from a console, for people, schedulers and tests.
#include <cstdio>
#include <string>
#include <vector>

#include "app/container/script_container.h"
#include "builtins/core/dispatch.h"
#include "engine/loader/assembly.h"
#include "engine/loader/include_path.h"
#include "engine/runtime/block_checks.h"
#include "engine/runtime/interpreter.h"
#include "platform/platform.h"
#include "platform/text_file.h"
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
    "       vesk-cli --encipher SCRIPT [OUT]\n"
    "                                      write SCRIPT as an enciphered script to OUT\n"
    "                                      (default: SCRIPT itself, the plain text kept\n"
    "                                      as SCRIPT with the extension .ORG)\n"
    "       vesk-cli --help                show this text\n"
    "\n"
    "PRINT output goes to standard output, one UTF-8 line each. A script error\n"
    "writes its message and location to standard error and exits with status 1;\n"
    "EXITEXIT n exits with n; otherwise the status is 0. Status 2 means the\n"
    "command line was wrong. Messages are Japanese when LANG, LC_ALL or\n"
    "LC_MESSAGES begins with \"ja\" (on Windows: the system language).\n"
    "A recoverable failure that would ask whether to abort writes its question\n"
    "to standard error and lets the script go on. Enciphered scripts run like\n"
    "plain ones. SCRIPT may leave out its \".vsk\" extension.\n"
    "Nobody answers dialogs here: MSGBOX, INPUT and SLCTBOX write their text to\n"
    "standard error and give the default button, the default text and 0;\n"
    "POPUPMENU gives -1; balloons, STOPFORM and LOGPRINT do nothing (on Windows;\n"
    "elsewhere they are not available).\n";

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
  // Nobody can answer at a console: the question is shown and the script
  // goes on (the answer "No").
  bool ask_abort(const std::u16string& text, bool ok_only) override {
    for (const std::u16string& line : vesk::split_lines(text)) write_line(stderr, line);
    std::fflush(stderr);
    return ok_only;
  }
};

// Scripts are read through the container reader; a refused container ends
// the load with its message.
bool read_container(vesk::loader::Lines& lines, std::u16string_view path, std::u16string& error) {
  std::u16string refused;
  vesk::ContainerNotices notices{nullptr, [&refused](const std::u16string& text) { refused = text; }};
  vesk::read_script_container(lines, path, notices);
  if (refused.empty()) return true;
  error = refused;
  return false;
}

struct Options {
  enum class Mode { Run, Check, RunText, Encipher } mode = Mode::Run;
  std::u16string script;
  std::vector<std::u16string> params;
};

int run(const Options& options) {
  std::u16string script = vesk::platform::absolute_path(complete_script_path(options.script));
  if (!vesk::platform::file_exists(script)) {
    write_line(stderr, u"vesk-cli: script not found: " + script);
    return 2;
  }
  if (options.mode == Options::Mode::Encipher) {
    std::u16string output = options.params.empty() ? script : vesk::platform::absolute_path(options.params[0]);
    if (vesk::write_script_container(script, output)) return 0;
    write_line(stderr, u"vesk-cli: cannot write the enciphered script " + output);
    return 1;
  }
  // CALL targets of the main file resolve against the script's folder.
  vesk::platform::set_current_directory(vesk::loader::directory_of(script));

  vesk::loader::FileTimes times;
  vesk::loader::Assembler assembler(times, vesk::loader::literal_call_target, read_container);
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
  else if (i < args.size() && args[i] == u"--encipher") options.mode = Options::Mode::Encipher, ++i;
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
  vesk::platform::tune_heap();
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
  vesk::platform::tune_heap();
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i) args.push_back(vesk::utf8_to_utf16(argv[i]));
  return cli_main(args);
}
#endif
