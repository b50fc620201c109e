// Script assembly: loading, wrapping, include scanning and normalisation.
#include "engine/loader/assembly.h"

#include <algorithm>
#include <exception>

#include "engine/loader/include_path.h"
#include "engine/loader/line_normaliser.h"
#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk::loader {
namespace {

constexpr std::u16string_view k_main_procedure = u"__MAIN__";
constexpr std::u16string_view k_call_blank = u"CALL ";

bool is_definition(const std::u16string& word) {
  return word == u"FUNCTION" || word == u"PROCEDURE" || word == u"MODULE" || word == u"CLASS";
}

bool is_file_header(std::u16string_view line) {
  return starts_with(line, u"PROCEDURE ") && ends_with(line, u".VSK()");
}

// Splits the text behind "CALL " at the first ";" outside literals.
std::pair<std::u16string, std::u16string> split_statement(std::u16string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'"') quoted = !quoted;
    if (!quoted && text[i] == u';')
      return {std::u16string(trim_blanks(text.substr(0, i))), std::u16string(trim_blanks(text.substr(i + 1)))};
  }
  return {std::u16string(trim_blanks(text)), {}};
}

}  // namespace

bool FileTimes::record(size_t position, int32_t time) {
  if (m_times.size() <= position) m_times.resize(position + 1, 0);
  bool newer = m_times[position] < time;
  m_times[position] = time;
  return newer;
}

std::optional<std::u16string> literal_call_target(std::u16string_view target, std::u16string& error) {
  // FIXME: a target that is any other string expression ("dir" + name) is
  // handed to the expression evaluator once it exists; until then only a
  // single literal is accepted.
  std::u16string_view text = trim_blanks(target);
  if (!text.empty() && text[0] == u'"') {
    std::u16string value;
    for (size_t i = 1; i < text.size(); ++i) {
      if (text[i] != u'"') {
        value.push_back(text[i]);
      } else if (i + 1 < text.size() && text[i + 1] == u'"') {
        value.push_back(u'"');
        ++i;
      } else {
        if (i + 1 == text.size()) return value;
        break;
      }
    }
  }
  error = u"CALL: " + std::u16string(text);
  return std::nullopt;
}

bool plain_text_container(Lines&, std::u16string_view, std::u16string&) { return true; }

bool wrap_file(const std::u16string& name, Lines& lines, std::u16string& error) {
  ModuleNumbers scratch_modules;
  LineNormaliser scan(scratch_modules);
  size_t definition = lines.size();
  size_t group_start = 0;  // first physical line of a continued statement
  for (size_t i = 0; i < lines.size(); ++i) {
    bool in_block = scan.in_text_block();
    if (!scan.continuing()) group_start = i;
    std::u16string line = scan.normalise(lines[i]);
    if (in_block && scan.in_text_block()) continue;
    std::u16string word = first_word(line);
    if (word == u"FEND") {
      error = message(MessageId::FendMisplaced);
      return false;
    }
    if (is_definition(word)) {
      definition = group_start;
      break;
    }
  }
  if (definition < lines.size())
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(definition), u"FEND");
  else
    lines.push_back(u"FEND");
  lines.insert(lines.begin(), u"PROCEDURE " + name + u"()");
  return true;
}

AssemblyResult Assembler::assemble(const AssemblyInput& input) {
  AssemblyResult result;
  m_included.clear();
  m_header_dirs.clear();
  try {
    result.ok = assemble_into(input, result);
  } catch (const std::exception& e) {
    result.ok = false;
    result.error = u"creUscrptFil:" + u16(e.what());
  }
  if (!result.ok) result.run_text.clear();
  return result;
}

bool Assembler::load_file(const std::u16string& path, size_t position, Lines& lines, AssemblyResult& result) {
  std::optional<TextFileLines> file = load_text_file(path);
  if (!file) {
    result.error = u"FILE Not Found :" + ascii_upper(path);
    return false;
  }
  lines = std::move(file->lines);
  if (!m_decode(lines, path, result.error)) return false;
  if (m_times.record(position, platform::file_time_dos(path))) result.changed = true;
  return true;
}

bool Assembler::assemble_into(const AssemblyInput& input, AssemblyResult& result) {
  // TODO(engine): clear the interpreter's stop flag here.
  if (input.embedded) {
    result.run_text = *input.embedded;
    return true;
  }
  Lines& text = result.run_text;
  if (!input.script_path.empty() && platform::file_exists(input.script_path)) {
    if (!load_file(input.script_path, 0, text, result)) return false;
  } else {
    text = input.in_memory_script;
  }
  if (!wrap_file(std::u16string(k_main_procedure), text, result.error)) return false;

  ModuleNumbers modules;
  LineNormaliser normaliser(modules);
  std::u16string directory;
  bool main_file = true;
  // The run text grows behind the cursor as included files are appended.
  for (size_t i = 0; i < text.size(); ++i) {
    bool in_block = normaliser.in_text_block();
    std::u16string line = normaliser.normalise(text[i]);
    if (in_block && normaliser.in_text_block()) continue;
    if (is_file_header(line)) {
      auto known = std::find_if(m_header_dirs.begin(), m_header_dirs.end(),
                                [i](const auto& entry) { return entry.first == i; });
      std::u16string path = replace_all(std::u16string_view(line).substr(10), u'/', u'\\');
      directory = known != m_header_dirs.end() ? known->second : directory_of(path);
      main_file = false;
    }
    if (!include_calls(line, directory, main_file, result)) return false;
    text[i] = std::move(line);
  }
  return true;
}

// Rewrites every CALL of [line] to call its file's procedure and appends
// each file not yet included to the run text.
bool Assembler::include_calls(std::u16string& line, const std::u16string& directory, bool main_file,
                              AssemblyResult& result) {
  for (size_t at = find_call(line); at != std::u16string::npos;) {
    // The main file's CALLs resolve against the current directory, which
    // the host set to the main script's folder.
    std::u16string base = main_file ? platform::current_directory() : directory;
    size_t behind = at + k_call_blank.size();
    auto [target, rest] = split_statement(std::u16string_view(line).substr(behind));
    if (target.find(u'"') != std::u16string::npos) {
      std::optional<std::u16string> value = m_evaluate(target, result.error);
      if (!value) return false;
      target = ascii_upper(*value);
    }
    // Only the path turns "/" into "\": the arguments may divide. A path
    // that is still relative ("LIB\X.VSK", or ".." from a relative folder)
    // is made absolute and canonical, so that one file reached by two
    // spellings is included once under one procedure name.
    CallTarget call = split_target(resolve_include(target, base, main_file));
    std::u16string path = ascii_upper(platform::absolute_path(replace_all(call.path, u'/', u'\\')));

    std::u16string rewritten = line.substr(0, behind) + file_procedure_name(path) + call.arguments;
    size_t next = rewritten.size();
    line = rest.empty() ? rewritten : rewritten + u";" + rest;

    if (std::find(m_included.begin(), m_included.end(), path) == m_included.end()) {
      m_included.push_back(path);
      if (!platform::file_exists(path)) {
        result.error = u"FILE Not Found :" + path;
        return false;
      }
      Lines lines;
      if (!load_file(path, m_included.size(), lines, result)) return false;
      if (!wrap_file(file_procedure_name(path), lines, result.error)) return false;
      m_header_dirs.emplace_back(result.run_text.size(), directory_of(path));
      result.run_text.insert(result.run_text.end(), lines.begin(), lines.end());
    }
    at = rest.empty() ? std::u16string::npos : find_call(line, false, next + 1);
  }
  return true;
}

}  // namespace vesk::loader
