// The declaration pre-pass: the run text becomes the statement table; the
// definitions and declarations are registered; block openers are paired
// with their closers and compiled with the offsets the executor uses.
#include "engine/loader/statement_table.h"

#include "engine/loader/block_pairing.h"
#include "engine/values/expression.h"

#include <exception>

#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

const std::u16string k_marker = k_error_marker;

std::u16string word_of(std::u16string_view text) {
  return std::u16string(text.substr(0, text.find(u' ')));
}

std::u16string rest_of(std::u16string_view text) {
  size_t blank = text.find(u' ');
  return blank == std::u16string_view::npos ? std::u16string() : std::u16string(trim_blanks(text.substr(blank + 1)));
}

// Splits at ";" outside quotes, parentheses and brackets.
std::vector<std::u16string> split_statements(std::u16string_view line) {
  std::vector<std::u16string> parts;
  int depth = 0;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    char16_t c = i < line.size() ? line[i] : u';';
    if (c == u'"') quoted = !quoted;
    if (quoted && i < line.size()) continue;
    if (c == u'(' || c == u'[') ++depth;
    if (c == u')' || c == u']') --depth;
    if (c == u';' && (depth <= 0 || i == line.size())) {
      std::u16string_view part = trim_blanks(line.substr(start, i - start));
      if (!part.empty()) parts.emplace_back(part);
      start = i + 1;
    }
  }
  return parts;
}

bool holds_outside_quotes(std::u16string_view text, char16_t c) {
  bool quoted = false;
  for (char16_t x : text) {
    if (x == u'"') quoted = !quoted;
    if (!quoted && x == c) return true;
  }
  return false;
}

size_t find_outside_quotes(std::u16string_view text, std::u16string_view pattern) {
  bool quoted = false;
  for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
    if (text[i] == u'"') quoted = !quoted;
    if (!quoted && text.substr(i, pattern.size()) == pattern) return i;
  }
  return std::u16string_view::npos;
}

class Prepass {
 public:
  Prepass(Program& program, VariableStore& store) : m_p(program), m_store(store) {}

  bool run(const std::vector<std::u16string>& text, LoadError& error);

 private:
  void add(std::u16string statement, const std::u16string& line_entry);
  void expand_one_line_if(std::u16string_view text, const std::u16string& line_entry);
  bool register_last();
  bool fail(std::u16string message, int32_t statement) {
    m_error = {std::move(message), statement};
    return false;
  }
  void mark(std::u16string message) { m_p.code.back() = k_marker + message; }
  void add_check_entry();
  bool option(std::u16string_view list);
  void classify() { pair_blocks(m_p); }

  Program& m_p;
  VariableStore& m_store;
  LoadError m_error;
  std::u16string m_module, m_function;
  bool m_in_function = false, m_result_seen = false, m_text_block = false;
  FunctionKind m_kind = FunctionKind::Procedure;
  std::u16string m_block_name, m_block_text;
};

void Prepass::add(std::u16string statement, const std::u16string& line_entry) {
  m_p.code.push_back(std::move(statement));
  m_p.lines.push_back(line_entry);
}

void Prepass::add_check_entry() {
  m_p.check_entry_names.push_back(u"CLASS " + m_module);
  m_p.check_entries.push_back({FunctionKind::Procedure, static_cast<int32_t>(m_p.code.size()) - 2});
}

void Prepass::expand_one_line_if(std::u16string_view text, const std::u16string& line_entry) {
  std::u16string rest(trim_blanks(text.substr(3)));
  if (!rest.empty() && rest.back() == u';') rest.pop_back();
  std::u16string condition, then_part, else_part;
  bool has_then = false, has_else = false;
  size_t then = find_outside_quotes(rest, u" THEN ");
  if (then == std::u16string::npos) then = find_outside_quotes(rest, u")THEN ");
  if (then != std::u16string::npos) {
    bool paren = rest[then] == u')';
    condition = std::u16string(trim_blanks(std::u16string_view(rest).substr(0, then + (paren ? 1 : 0))));
    std::u16string after = u" " + rest.substr(then + (paren ? 6 : 6));
    has_then = true;
    size_t otherwise = find_outside_quotes(after, u" ELSE ");
    if (otherwise != std::u16string::npos) {
      then_part = std::u16string(trim_blanks(std::u16string_view(after).substr(0, otherwise)));
      else_part = std::u16string(trim_blanks(std::u16string_view(after).substr(otherwise + 6)));
      has_else = true;
    } else {
      then_part = std::u16string(trim_blanks(after));
    }
  } else {
    condition = rest;
  }
  add(u"IFB " + condition, line_entry);
  register_last();
  if (!has_then) return;
  (void)has_else;
  for (std::u16string part : {then_part, std::u16string(u"ELSE"), else_part, std::u16string(u"ENDIF")}) {
    if (part.empty()) part = k_nop_statement;
    add(part, line_entry);
    register_last();
  }
}

bool Prepass::option(std::u16string_view list) {
  ScriptOptions& o = m_p.options;
  for (const std::u16string& entry : split_arguments(list)) {
    size_t eq = entry.find(u'=');
    std::u16string key(trim_blanks(std::u16string_view(entry).substr(0, eq)));
    std::u16string value = eq == std::u16string::npos ? u"" : std::u16string(trim_blanks(std::u16string_view(entry).substr(eq + 1)));
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') value = value.substr(1, value.size() - 2);
    if (key == u"EXPLICIT") o.explicit_names = true;
    else if (key == u"SAMESTR") o.same_str = true;
    else if (key == u"OPTPUBLIC") o.opt_public = true;
    else if (key == u"OPTFINALLY") o.opt_finally = true;
    else if (key == u"SPECIALCHAR") o.special_char = true;
    else if (key == u"SHORTCIRCUIT") o.short_circuit = true;
    else if (key == u"ROUNDVALUE") o.round_value = true;
    else if (key == u"OLDBUSY") o.old_busy = true;
    else if (key == u"OLDBOOL") o.old_bool = true;
    else if (key == u"DLGTITLE") o.dialog_title = value;
    else if (key == u"LOGPATH") o.log_path = value;
    else if (key == u"DLGMONITOR" || key == u"LOGFILE" || key == u"LOGLINES") {
      std::string digits = utf16_to_utf8(value);
      char* end = nullptr;
      long n = std::strtol(digits.c_str(), &end, 10);
      if (digits.empty() || *end != '\0' || (key == u"LOGLINES" && n < 0)) return false;
      (key == u"DLGMONITOR" ? o.dialog_monitor : key == u"LOGFILE" ? o.log_file_mode : o.log_lines) = int32_t(n);
    } else if (key == u"DEFAULTFONT") o.default_font_name = value;
    else if (key == u"POSITION") o.position_set = true;
    else return false;
  }
  return true;
}

// The per-statement pre-pass of the statement just appended.
bool Prepass::register_last() {
  std::u16string& s = m_p.code.back();
  if (s.empty() && !m_text_block) return true;
  std::u16string w = word_of(s), r = rest_of(s);
  if (m_text_block && w != u"ENDTEXTBLOCK") {
    if (!m_block_name.empty()) m_block_text += s + u"\r\n";
    s.clear();
    return true;
  }
  if (w == u"ENDTEXTBLOCK") {
    if (!r.empty()) return mark(u"SyntaxError-30"), true;
    if (!m_text_block) return mark(message(MessageId::LoadTextblockUnpaired)), true;
    if (!m_block_name.empty()) {
      if (m_block_text.size() >= 2) m_block_text.resize(m_block_text.size() - 2);
      m_store.set_textblock_text(m_block_name, m_block_text);
    }
    m_text_block = false;
    s.clear();
    return true;
  }
  if (w == u"TEXTBLOCK") {
    if (r.find_first_of(u" ,+*/=<>()![]?") != std::u16string::npos) return mark(u"SyntaxError-31"), true;
    s.clear();
    m_text_block = true;
    m_block_name = r;
    m_block_text.clear();
    if (!r.empty()) {
      std::u16string e = m_store.declare_textblock(r);
      if (!e.empty()) mark(e);
    }
    return true;
  }
  if (w == u"MODULE" || w == u"CLASS") {
    std::u16string name = word_of(r);
    std::u16string number = rest_of(r);
    if (!m_module.empty()) return mark(message(MessageId::LoadModuleMultiplexing)), add_check_entry(), true;
    if (name == u"THIS" || name == u"GLOBAL") return mark(u"prohibition word: " + name), add_check_entry(), true;
    if (m_p.module_names.find(name) >= 0) return mark(message(MessageId::LoadModuleDefinedTwice)), add_check_entry(), true;
    m_module = name;
    m_p.module_names.add(name);
    m_p.module_numbers.push_back(std::atoi(utf16_to_utf8(number).c_str()));
    s.clear();
    return true;
  }
  if (w == u"ENDMODULE" || w == u"ENDCLASS") {
    if (m_module.empty()) return mark(u"SyntaxError-35"), true;
    m_module.clear();
    s.clear();
    return true;
  }
  if (w == u"FUNCTION" || w == u"PROCEDURE") {
    std::u16string name(trim_blanks(std::u16string_view(r).substr(0, r.find(u'('))));
    if (m_in_function) return fail(message(MessageId::LoadFunctionNotClosed, name), int32_t(m_p.code.size()) - 1);
    m_in_function = true;
    m_result_seen = false;
    m_kind = w == u"FUNCTION" ? FunctionKind::Function : FunctionKind::Procedure;
    if (!is_included_file_header(s) && name.find_first_of(u",+*=<>()!?") != std::u16string::npos)
      return fail(u"SyntaxError-36:" + name, int32_t(m_p.code.size()) - 1);
    if (!m_module.empty()) name = m_module + u"." + name;
    m_function = name;
    if (m_p.function_names.find(name) >= 0)
      return fail(message(MessageId::MultiplexDefinition, name), int32_t(m_p.code.size()) - 1);
    m_p.function_names.add(name);
    m_p.functions.push_back({m_kind, static_cast<int32_t>(m_p.code.size()) - 1});
    return true;
  }
  if (w == u"FEND") {
    m_in_function = false;
    if (m_kind == FunctionKind::Function && !m_result_seen) mark(message(MessageId::LoadFunctionWithoutResult, m_function));
    return true;
  }
  if (m_in_function) {
    std::u16string_view rest = s;
    for (size_t at = rest.find(u"RESULT"); at != std::u16string_view::npos; at = rest.find(u"RESULT", at + 1)) {
      auto boundary = [](char16_t c) { return std::u16string_view(u" ,+-*/=<>()!?").find(c) != std::u16string_view::npos; };
      bool left = at == 0 || boundary(rest[at - 1]);
      bool right = at + 6 >= rest.size() || boundary(rest[at + 6]);
      if (!left || !right) continue;
      if (m_kind == FunctionKind::Procedure) return mark(message(MessageId::LoadResultInProcedure, m_function)), true;
      m_result_seen = true;
      break;
    }
  }
  bool module_level = !m_module.empty() && !m_in_function;
  if (w == u"CONST") {
    std::u16string e = m_store.declare_const(r);
    s.clear();
    if (!e.empty()) mark(e);
    return true;
  }
  if ((w == u"PUBLIC" && !starts_with(r, u"HASHTBL ")) || (w == u"DIM" && module_level)) {
    std::u16string prefix = m_module.empty() ? u"" : m_module + u".";
    std::u16string e = m_store.declare_global(r, w == u"DIM", prefix);
    s.clear();
    if (!e.empty()) {
      mark(e);
      if (module_level) add_check_entry();
    }
    return true;
  }
  if ((w == u"PUBLIC" && starts_with(r, u"HASHTBL ")) || (w == u"HASHTBL" && module_level)) {
    std::u16string list = w == u"PUBLIC" ? rest_of(r) : r;
    std::u16string e = m_store.declare_hashtbl(list, m_store.global_frame(), true);
    s.clear();
    if (!e.empty()) mark(e);
    return true;
  }
  if (module_level) return mark(u"SyntaxError-40"), add_check_entry(), true;
  if (w == u"OPTION") {
    bool ok = option(r);
    s.clear();
    if (!ok) mark(message(MessageId::LoadOptionWrong));
    return true;
  }
  if (w == u"DEF_DLL") {
    std::u16string name(trim_blanks(std::u16string_view(s).substr(7)));
    name = name.substr(0, name.find_first_of(u"( :;"));
    if (m_p.dll_names.find(name) < 0) {
      m_p.dll_names.add(name);
      m_p.dll_declarations.push_back(s);
    }
  }
  return true;
}

}  // namespace

bool is_included_file_header(std::u16string_view line) {
  return starts_with(line, u"PROCEDURE ") && ends_with(line, u".VSK()");
}

namespace {

bool Prepass::run(const std::vector<std::u16string>& text, LoadError& error) {
  int line_counter = 0, offset = 1;
  bool header_seen = true;
  for (const std::u16string& raw : text) {
    std::u16string line = raw;
    if (!m_text_block && line.find(u"<#") != std::u16string::npos) {
      for (auto [from, to] : {std::pair<std::u16string_view, std::u16string_view>{u"<#CR>", u"<#_CR>"},
                              {u"<#TAB>", u"<#_TAB>"},
                              {u"<#DBL>", u"<#_DBL>"}}) {
        std::u16string upper = ascii_upper(line);
        for (size_t at = upper.find(from); at != std::u16string::npos; at = upper.find(from, at + to.size())) {
          line.replace(at, from.size(), to);
          upper.replace(at, from.size(), to);
        }
      }
    }
    ++line_counter;
    bool single = m_text_block || starts_with(line, u"DEF_DLL ") ||
                  (!starts_with(line, u"IF ") && !holds_outside_quotes(line, u';'));
    if (is_included_file_header(line)) {
      line_counter = 1;
      offset = 1;
      header_seen = true;
    }
    std::u16string entry = u16(std::to_string(line_counter - offset)) + u"," + raw;
    if (single) {
      add(line, entry);
      if (!register_last()) break;
      if (header_seen && line == u"FEND" && !is_included_file_header(line)) {
        // The first FEND was inserted by assembly: later lines keep their numbers.
        if (m_p.code.size() >= 1) {
          offset = 2;
          header_seen = false;
        }
      }
      continue;
    }
    if (starts_with(line, u"IF ")) {
      expand_one_line_if(line, entry);
      continue;
    }
    bool failed = false;
    for (const std::u16string& piece : split_statements(line)) {
      if (starts_with(piece, u"IF ")) {
        expand_one_line_if(piece, entry);
        continue;
      }
      bool was_block = m_text_block;
      add(piece, entry);
      if (!register_last()) {
        failed = true;
        break;
      }
      if (!was_block && m_text_block) mark(u"SyntaxError-46");
    }
    if (failed) break;
  }
  if (!m_error.message.empty()) {
    error = m_error;
    return false;
  }
  if (!m_module.empty()) {
    error = {message(MessageId::LoadModuleNotClosed, m_module), -1};
    return false;
  }
  if (m_text_block) {
    error = {message(MessageId::LoadTextblockNotClosed), -1};
    return false;
  }
  classify();
  return true;
}

}  // namespace

bool build_statement_table(const std::vector<std::u16string>& run_text, Program& program, VariableStore& store, LoadError& error) {
  program.clear();
  store.reset();
  try {
    Prepass pass(program, store);
    if (!pass.run(run_text, error)) return false;
  } catch (const std::exception& e) {
    error = {u"SyntaxError(FReLoad):" + u16(e.what()), -1};
    return false;
  }
  return true;
}

}  // namespace vesk
