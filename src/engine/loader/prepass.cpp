// The pre-pass over the physical lines of the run text: escape forms, the
// ")." rewrite, line numbers of included files, the split into statements,
// and the end of the pass.
#include "engine/loader/prepass.h"

#include <exception>

#include "engine/loader/pairing.h"
#include "engine/loader/prepass_state.h"
#include "engine/loader/prepass_text.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace prepass {
namespace {

// The escape forms in any letter case become their private forms, which
// the evaluator expands whatever OPTION SPECIALCHAR says.
void rewrite_escapes(std::u16string& line) {
  if (line.find(u"<#") == std::u16string::npos) return;
  constexpr std::u16string_view k_forms[][2] = {{u"<#CR>", u"<#_CR>"}, {u"<#TAB>", u"<#_TAB>"}, {u"<#DBL>", u"<#_DBL>"}};
  for (const auto& form : k_forms) {
    std::u16string upper = ascii_upper(line);
    for (size_t at = upper.find(form[0]); at != std::u16string::npos; at = upper.find(form[0], at + form[1].size())) {
      line.replace(at, form[0].size(), form[1]);
      upper.replace(at, form[0].size(), form[1]);
    }
  }
}

// A call followed by a member access, "F(1).NAME", becomes the indexed
// access "F[1].NAME". Answers false when the parentheses do not pair.
bool rewrite_member_calls(std::u16string& line) {
  for (;;) {
    std::u16string masked = mask_literals(line);
    size_t close = masked.find(u").");
    if (close == std::u16string::npos) return true;
    long opens = 0, closes = 0;
    for (char16_t c : masked) {
      opens += c == u'(';
      closes += c == u')';
    }
    if (opens != closes) return false;
    int depth = 0;
    size_t open = std::u16string::npos;
    for (size_t j = close; j-- > 0;) {
      if (masked[j] == u')') ++depth;
      if (masked[j] == u'(' && depth-- == 0) {
        open = j;
        break;
      }
    }
    if (open == std::u16string::npos) return false;
    line[close] = u']';
    line[open] = u'[';
  }
}

bool is_single(const std::u16string& line, bool in_text_block) {
  if (in_text_block) {
    bool closer = starts_with(line, u"ENDTEXTBLOCK;") || starts_with(line, u"ENDTEXTBLOCK ");
    return !(closer && line.find(u';') != std::u16string::npos);
  }
  if (starts_with(line, u"DEF_DLL ")) return true;
  return !starts_with(line, u"IF ") && find_outside_quotes(line, u";") == std::u16string::npos;
}

}  // namespace

bool PrePass::run(const std::vector<std::u16string>& run_text) {
  for (const std::u16string& raw : run_text) {
    if (!physical_line(raw)) return false;
  }
  return end_of_pass();
}

bool PrePass::physical_line(const std::u16string& raw) {
  std::u16string line = raw;
  bool broken = false;
  if (!m_in_text_block) rewrite_escapes(line);
  // The line list shows the line as written, before the ")." rewrite.
  const std::u16string shown = line;
  if (!m_in_text_block) broken = !rewrite_member_calls(line);
  ++m_line_counter;
  if (broken) {
    m_line_entry = decimal(m_line_counter - m_line_offset) + u"," + shown;
    append_marker(u"SyntaxError-45");
    return true;
  }
  if (is_single(line, m_in_text_block)) {
    number_lines(line, shown);
    return append(line);
  }
  m_line_entry = decimal(m_line_counter - m_line_offset) + u"," + shown;
  if (starts_with(line, u"IF ")) return expand_one_line_if(line);
  return add_pieces(line);
}

// Lines of an included file count from 1 after its header; the FEND that
// assembly inserted in front of the first definition takes no number of
// its own, so the lines after it keep their numbers in the file.
void PrePass::number_lines(const std::u16string& line, const std::u16string& shown) {
  if (!m_in_text_block && is_file_header(line)) {
    m_line_counter = 1;
    m_line_offset = 1;
    ++m_file_counter;
    m_header_seen = true;
  } else if (!m_in_text_block && m_header_seen && line == u"FEND") {
    m_line_offset = 2;
    m_header_seen = false;
  }
  m_line_entry = decimal(m_line_counter - m_line_offset) + u"," + shown;
}

// A line of several statements joined by ";".
bool PrePass::add_pieces(const std::u16string& line) {
  for (const std::u16string& piece : split_outside(line, u';', true, true)) {
    if (starts_with(piece, u"IF ")) {
      if (!expand_one_line_if(piece)) return false;
      continue;
    }
    bool was_in_block = m_in_text_block;
    if (!append(piece)) return false;
    if (!was_in_block && m_in_text_block) plant(u"SyntaxError-46");  // a text block stands on its own line
  }
  return true;
}

bool PrePass::end_of_pass() {
  if (!m_module.empty()) return fail(message(MessageId::LoadModuleNotClosed, m_module), -1);
  if (m_in_text_block) return fail(message(MessageId::LoadTextblockNotClosed), -1);
  classify_and_pair(m_program);
  for (const std::u16string& statement : m_program.code) {
    if (starts_with(statement, k_error_marker)) return true;
  }
  return check_constructors();
}

// A module's constructor is its member that bears the module's own name;
// it is called without arguments.
bool PrePass::check_constructors() {
  for (int32_t m = 0; m < m_program.module_names.size(); ++m) {
    const std::u16string& name = m_program.module_names.name_at(m);
    int32_t f = m_program.find_function(name + u"." + name);
    if (f < 0) continue;
    int32_t header = m_program.functions[f].header;
    std::u16string_view text = m_program.code[header];
    size_t open = text.find(u'('), close = text.rfind(u')');
    if (open == std::u16string_view::npos) continue;
    std::u16string_view inside = text.substr(open + 1, close == std::u16string_view::npos || close < open
                                                           ? std::u16string_view::npos
                                                           : close - open - 1);
    if (!trim_blanks(inside).empty()) return fail(message(MessageId::LoadConstructorArguments), header);
  }
  return true;
}

bool PrePass::fail(std::u16string message, int32_t statement) {
  m_error.message = std::move(message);
  m_error.statement = statement;
  return false;
}

}  // namespace prepass

bool is_file_header(std::u16string_view line) {
  return starts_with(line, u"PROCEDURE ") && ends_with(line, u".VSK()");
}

bool preprocess(const std::vector<std::u16string>& run_text, Program& program, VariableStore& store,
                LoadError& error) {
  program.clear();
  store.reset();
  error = LoadError();
  try {
    return prepass::PrePass(program, store, error).run(run_text);
  } catch (const std::exception& e) {
    error.message = u"SyntaxError(FReLoad):" + utf8_to_utf16(e.what());
    error.statement = -1;
    return false;
  }
}

}  // namespace vesk
