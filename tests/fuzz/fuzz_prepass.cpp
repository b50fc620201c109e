// Fuzzes the pre-pass, the pairing pass and the block checks over a script
// as the host loads it: assembled and normalised first, or, for an input
// whose first line is "#RUNTEXT#", taken as run text as it is (the form an
// embedded script reaches the pre-pass in).
#include "engine/loader/assembly.h"
#include "engine/runtime/block_checks.h"
#include "fuzz_support.h"

using namespace vesk;

namespace {

// CALL targets are not evaluated here (the assembly target fuzzes
// includes); a file name without quotes finds nothing in the private folder.
std::optional<std::u16string> no_includes(std::u16string_view, std::u16string& error) {
  error = u"no includes";
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes = fuzz::bytes_of(data, size);
  constexpr std::string_view raw_mark = "#RUNTEXT#\n";
  std::vector<std::u16string> run_text;
  if (bytes.substr(0, raw_mark.size()) == raw_mark) {
    run_text = fuzz::lines_of(bytes.substr(raw_mark.size()));
  } else {
    loader::FileTimes times;
    loader::Assembler assembler(times, no_includes);
    loader::AssemblyInput input;
    input.in_memory_script = fuzz::lines_of(bytes);
    loader::AssemblyResult assembled = assembler.assemble(input);
    if (!assembled.ok) return 0;
    run_text = std::move(assembled.run_text);
  }
  Interpreter& interpreter = fuzz::fuzz_interpreter();
  LoadError error;
  if (interpreter.load(run_text, error)) (void)check_blocks(interpreter, error);
  interpreter.cleanup();
  return 0;
}
