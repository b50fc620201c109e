// What the fuzz targets share: input bytes turned into script lines as the
// loader reads them, a private folder for the targets that need files, and
// a built-in library that only lets side-effect-free built-ins run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/runtime/builtin_library.h"
#include "engine/runtime/interpreter.h"

namespace vesk::fuzz {

inline std::string_view bytes_of(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// [bytes] decoded with the encoding rule of text files and split into lines.
std::vector<std::u16string> lines_of(std::string_view bytes);

// A folder of this process's own, made on first use and made the current
// directory, so that relative names a fuzzed script holds never reach
// anybody's files. In memory (/dev/shm) where the machine has it.
const std::u16string& private_folder();

// A file name inside the private folder.
std::u16string private_file(std::u16string_view name);

// A host that shows nothing and answers every question with "abort".
class SilentOutput : public RunOutput {
 public:
  void print_line(const std::u16string&) override {}
  void show_error(const std::u16string&, const std::u16string&) override {}
};

// The core library's argument bounds, but only the built-ins that compute a
// value from their arguments run; the others (files, windows, input,
// waiting, settings) answer 0 without doing anything.
class PureBuiltins : public BuiltinLibrary {
 public:
  explicit PureBuiltins(BuiltinLibrary& core) : m_core(core) {}
  std::optional<Value> call(Interpreter& interpreter, const CallSite& call, CallFrame& frame, bool& failed) override;
  std::optional<ArgumentBounds> bounds(std::u16string_view name) const override { return m_core.bounds(name); }

 private:
  BuiltinLibrary& m_core;
};

// An interpreter with the pure built-ins installed, made once per process.
Interpreter& fuzz_interpreter();

}  // namespace vesk::fuzz
