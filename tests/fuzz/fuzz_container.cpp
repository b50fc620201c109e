// Fuzzes the script container reader on any text, and checks that lines
// enciphered in the current versions read back as they were.
#include <cstdlib>

#include "app/container/script_container.h"
#include "fuzz_support.h"

using namespace vesk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t choice = data[0];
  std::vector<std::u16string> lines = fuzz::lines_of(fuzz::bytes_of(data + 1, size - 1));
  std::vector<std::u16string> read = lines;
  ContainerNotices silent;
  bool container = read_script_container(read, u"FUZZ.VSK", silent);

  // Plain lines enciphered as version 4 or 5 come back unchanged.
  if (!container && !lines.empty()) {
    int version = 4 + (choice & 1);
    ContainerKey key{(choice >> 1) % 9, static_cast<uint16_t>(choice * 257)};
    std::vector<std::u16string> stored = encipher_lines(lines, version, key);
    if (read_script_container(stored, u"FUZZ.VSK", silent) && stored != lines) std::abort();
  }
  return 0;
}
