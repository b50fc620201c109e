// Fuzzes the expression compiler and evaluator: each input line is compiled
// and evaluated in a throw-away frame of an interpreter whose built-ins
// compute values but touch nothing outside (no files, windows or waits).
#include "engine/runtime/frame_host.h"
#include "fuzz_support.h"

using namespace vesk;

namespace {

// Errors are reported into the frame only, as for a declaration.
class QuietHost : public FrameHost {
 public:
  using FrameHost::FrameHost;
  void report_expression_error() override {}
};

Interpreter& loaded_interpreter() {
  Interpreter& interpreter = fuzz::fuzz_interpreter();
  static bool loaded = [&interpreter] {
    LoadError error;
    return interpreter.load({u"PROCEDURE __MAIN__()", u"DIM A[3] = 1, 2, 3, 4", u"FEND"}, error);
  }();
  (void)loaded;
  return interpreter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Interpreter& interpreter = loaded_interpreter();
  std::vector<std::u16string> lines = fuzz::lines_of(fuzz::bytes_of(data, size));
  if (lines.size() > 8) lines.resize(8);
  for (const std::u16string& line : lines) {
    std::unique_ptr<CompiledExpression> expression = compile_expression(line);
    for (bool condition : {false, true}) {
      CallFrame frame;
      QuietHost host(interpreter, frame);
      (void)evaluate(*expression, host, condition);
    }
  }
  return 0;
}
