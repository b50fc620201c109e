// Script assembly: the main file and every file it includes with CALL become
// one flat, normalised run text of file procedures and definitions.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::loader {

using Lines = std::vector<std::u16string>;

// The last-write times of the files of the previous assembly, by position
// (0 = main file, then included files in the order appended). The host keeps
// it across runs; a file newer than its entry marks the run text "changed".
class FileTimes {
 public:
  // Stores [time] at [position] and answers whether it is newer than before.
  bool record(size_t position, int32_t time);
  void clear() { m_times.clear(); }
  const std::vector<int32_t>& times() const { return m_times; }

 private:
  std::vector<int32_t> m_times;
};

struct AssemblyInput {
  std::u16string script_path;      // the main file; empty for the in-memory script
  Lines in_memory_script;          // used when the path names no existing file
  std::optional<Lines> embedded;   // an embedded script runs as it is
};

struct AssemblyResult {
  Lines run_text;
  bool ok = false;
  std::u16string error;  // what the host reports when !ok
  bool changed = false;
};

// Evaluates a CALL target that holds a double quote; answers the target text
// or nothing with [error] set (the evaluation stopped the run).
using CallTargetEvaluator = std::function<std::optional<std::u16string>(std::u16string_view, std::u16string& error)>;

// Decodes the file [path], loaded as [lines], in place when it is a script
// container; false with [error] set when the file is refused.
using ContainerDecoder = std::function<bool(Lines&, std::u16string_view path, std::u16string& error)>;

// Reads a CALL target that is a single string literal. Any other expression
// needs the evaluator, which plugs in through CallTargetEvaluator.
std::optional<std::u16string> literal_call_target(std::u16string_view target, std::u16string& error);

// Leaves the lines as they are: plain scripts need no decoding.
bool plain_text_container(Lines& lines, std::u16string_view path, std::u16string& error);

// Wraps [lines] into the file procedure [name]: a header in front, "FEND" in
// front of the first definition (or at the end when there is none).
// Answers false with [error] set when a FEND stands before any definition.
bool wrap_file(const std::u16string& name, Lines& lines, std::u16string& error);

class Assembler {
 public:
  explicit Assembler(FileTimes& times, CallTargetEvaluator evaluate = literal_call_target,
                     ContainerDecoder decode = plain_text_container)
      : m_times(times), m_evaluate(std::move(evaluate)), m_decode(std::move(decode)) {}

  AssemblyResult assemble(const AssemblyInput& input);

 private:
  bool assemble_into(const AssemblyInput& input, AssemblyResult& result);
  bool load_file(const std::u16string& path, size_t position, Lines& lines, AssemblyResult& result);
  bool include_calls(std::u16string& line, const std::u16string& directory, bool main_file,
                     AssemblyResult& result);

  FileTimes& m_times;
  CallTargetEvaluator m_evaluate;
  ContainerDecoder m_decode;
  std::vector<std::u16string> m_included;
  // The real folder of each included file, by the index of its header line.
  std::vector<std::pair<size_t, std::u16string>> m_header_dirs;
};

}  // namespace vesk::loader
