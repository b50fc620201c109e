// Fuzzes script assembly and line normalisation. The input is a main script;
// the part after a line "#INCLUDED#" becomes the file INC.VSK, which the
// main script may include with CALL, so both paths of the assembler run.
#include "app/container/script_container.h"
#include "engine/loader/assembly.h"
#include "fuzz_support.h"
#include "platform/platform.h"

using namespace vesk;

namespace {

bool read_container(loader::Lines& lines, std::u16string_view path, std::u16string& error) {
  std::u16string refused;
  ContainerNotices notices{nullptr, [&refused](const std::u16string& text) { refused = text; }};
  read_script_container(lines, path, notices);
  if (refused.empty()) return true;
  error = refused;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes = fuzz::bytes_of(data, size);
  static const std::u16string included = fuzz::private_file(u"INC.VSK");
  constexpr std::string_view separator = "\n#INCLUDED#\n";
  size_t cut = bytes.find(separator);
  if (cut != std::string_view::npos) {
    platform::replace_file_bytes(included, bytes.substr(cut + separator.size()));
    bytes = bytes.substr(0, cut);
  } else {
    platform::delete_file(included);
  }
  loader::FileTimes times;
  loader::Assembler assembler(times, loader::literal_call_target, read_container);
  loader::AssemblyInput input;
  input.in_memory_script = fuzz::lines_of(bytes);
  loader::AssemblyResult result = assembler.assemble(input);
  if (!result.ok && !result.run_text.empty()) std::abort();
  return 0;
}
