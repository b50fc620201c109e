// Registering one statement of the pre-pass: text blocks, modules,
// functions, RESULT, constants, public and module variables, hash tables,
// OPTION and DEF_DLL. A statement that only declares is blanked.
#include "engine/loader/prepass.h"
#include "engine/loader/prepass_state.h"
#include "engine/loader/prepass_text.h"
#include "support/text.h"

namespace vesk::prepass {
namespace {

// Characters that make a TEXTBLOCK or MODULE name more than one word.
constexpr std::u16string_view k_word_breaks = u" ,+*/=<>()![]?";
// Characters a function name cannot hold.
constexpr std::u16string_view k_function_name_breaks = u",+*=<>()!?";
// What separates RESULT from the text around it.
constexpr std::u16string_view k_token_breaks = u" ,+-*/=<>()!?";

}  // namespace

bool PrePass::append(std::u16string statement) {
  m_program.code.push_back(std::move(statement));
  m_program.lines.push_back(m_line_entry);
  return register_last();
}

void PrePass::append_marker(std::u16string_view message) {
  m_program.code.emplace_back();
  m_program.lines.push_back(m_line_entry);
  plant(message);
}

// The check pass walks functions only; a marker between them is reached
// through a pseudo function that starts just before it.
void PrePass::plant(std::u16string_view message) {
  m_program.code.back() = std::u16string(k_error_marker) + std::u16string(message);
  if (m_in_function) return;
  m_program.check_entry_names.push_back(u"CLASS " + m_module);
  m_program.check_entries.push_back({FunctionKind::Procedure, last_index() - 1});
}

bool PrePass::register_last() {
  std::u16string& s = m_program.code.back();
  if (!m_in_text_block && trim_blanks(s).empty()) return true;
  const std::u16string w = first_word(s);
  const std::u16string r = rest_after_word(s);
  if (w == u"TEXTBLOCK" || w == u"ENDTEXTBLOCK" || m_in_text_block) return register_text_block(s, w, r);
  if (w == u"MODULE" || w == u"CLASS") {
    register_module(r);
    return true;
  }
  if (w == u"ENDMODULE" || w == u"ENDCLASS") {
    if (m_module.empty()) {
      plant(u"SyntaxError-35");
    } else {
      m_module.clear();
      s.clear();
    }
    return true;
  }
  if (w == u"FUNCTION" || w == u"PROCEDURE") return register_function(w, r);
  if (w == u"FEND") {
    register_fend();
    return true;
  }
  if (m_in_function && holds_token(s, u"RESULT", k_token_breaks)) {
    if (m_function_kind == FunctionKind::Procedure) {
      plant(message(MessageId::LoadResultInProcedure, m_function));
      return true;
    }
    m_result_seen = true;
  }
  if (w == u"CONST") {
    std::u16string error = m_store.declare_const(module_prefix() + r);
    m_program.code.back().clear();
    if (!error.empty()) plant(error);
  } else if (w == u"PUBLIC" || (w == u"DIM" && at_module_level())) {
    register_public(w, r);
  } else if (w == u"HASHTBL" && at_module_level()) {
    register_hashtbl(r);
  } else if (w == u"OPTION") {
    // OPTION and DEF_DLL are declarations too, so a module may hold them.
    m_program.code.back().clear();
    if (!apply_options(r)) plant(message(MessageId::LoadOptionWrong));
  } else if (w == u"DEF_DLL") {
    std::u16string error = register_def_dll(r);
    if (!error.empty()) plant(error);
  } else if (at_module_level()) {
    plant(u"SyntaxError-40");  // modules hold only declarations and definitions
  }
  return true;
}

// Inside a text block every line but its end is text; a named block
// collects its lines, an unnamed one (a block comment) drops them.
bool PrePass::register_text_block(std::u16string& s, const std::u16string& w, const std::u16string& r) {
  if (m_in_text_block && w != u"ENDTEXTBLOCK") {
    if (!m_text_block_name.empty()) m_text_block_text += s + u"\r\n";
    s.clear();
    return true;
  }
  if (w == u"ENDTEXTBLOCK") {
    bool was_open = m_in_text_block;
    m_in_text_block = false;
    if (!r.empty()) return plant(u"SyntaxError-30"), true;
    if (!was_open) return plant(message(MessageId::LoadTextblockUnpaired)), true;
    if (!m_text_block_name.empty()) {
      if (ends_with(m_text_block_text, u"\r\n")) m_text_block_text.resize(m_text_block_text.size() - 2);
      m_store.set_textblock_text(m_text_block_name, m_text_block_text);
    }
    s.clear();
    return true;
  }
  // The assembly reads the lines up to ENDTEXTBLOCK as a block whatever
  // the name is, so a bad name still opens one (unnamed).
  m_in_text_block = true;
  m_text_block_text.clear();
  m_text_block_name.clear();
  if (holds_any(r, k_word_breaks)) return plant(u"SyntaxError-31"), true;
  s.clear();
  if (r.empty()) return true;
  m_text_block_name = module_prefix() + r;
  std::u16string error = m_store.declare_textblock(m_text_block_name);
  if (!error.empty()) plant(error);
  return true;
}

// [r] is the module's name and the number that assembly appended.
void PrePass::register_module(const std::u16string& r) {
  std::u16string name = r;
  int32_t number = m_program.module_names.size();
  size_t blank = r.rfind(u' ');
  long long value = 0;
  if (blank != std::u16string::npos && read_integer(std::u16string_view(r).substr(blank + 1), value)) {
    name = std::u16string(trim_blanks(std::u16string_view(r).substr(0, blank)));
    number = static_cast<int32_t>(value);
  }
  if (!m_module.empty()) return plant(message(MessageId::LoadModuleMultiplexing));
  if (name.empty() || holds_any(name, k_word_breaks) || name.find(u'.') != std::u16string::npos)
    return plant(u"SyntaxError-32");
  if (name == u"THIS" || name == u"GLOBAL") return plant(u"prohibition word: " + name);
  if (m_program.is_module(name)) return plant(message(MessageId::LoadModuleDefinedTwice));
  m_module = name;
  m_program.module_names.add(name);
  m_program.module_numbers.push_back(number);
  m_program.code.back().clear();
}

bool PrePass::register_function(const std::u16string& w, const std::u16string& r) {
  int32_t header = last_index();
  if (m_in_function) return fail(message(MessageId::LoadFunctionNotClosed, m_function), header);
  std::u16string name(trim_blanks(std::u16string_view(r).substr(0, r.find(u'('))));
  // An included file's procedure is named after its path, which may hold
  // any character a file name can.
  if (!is_file_header(m_program.code.back()) && (name.empty() || holds_any(name, k_function_name_breaks)))
    return fail(u"SyntaxError-36:" + name, header);
  name = module_prefix() + name;
  if (m_program.find_function(name) >= 0) return fail(message(MessageId::MultiplexDefinition, name), header);
  m_in_function = true;
  m_result_seen = false;
  m_function_kind = w == u"FUNCTION" ? FunctionKind::Function : FunctionKind::Procedure;
  m_function = name;
  m_program.function_names.add(name);
  m_program.functions.push_back({m_function_kind, header});
  return true;
}

void PrePass::register_fend() {
  if (m_in_function && m_function_kind == FunctionKind::Function && !m_result_seen)
    plant(message(MessageId::LoadFunctionWithoutResult, m_function));
  m_in_function = false;
}

// PUBLIC anywhere, or DIM at module level: global variables.
void PrePass::register_public(const std::u16string& w, const std::u16string& r) {
  m_program.code.back().clear();
  std::u16string list = r;
  if (w == u"PUBLIC" && first_word(list) == u"HASHTBL") return register_hashtbl(rest_after_word(list));
  if (first_word(list) == u"DIM") list = rest_after_word(list);
  std::u16string error = m_store.declare_global(list, w == u"DIM", module_prefix());
  if (!error.empty()) plant(error);
}

// Global hash tables: "PUBLIC HASHTBL ..." or HASHTBL at module level.
void PrePass::register_hashtbl(const std::u16string& list) {
  m_program.code.back().clear();
  std::u16string named;
  for (const std::u16string& item : split_outside(list, u',', true, false)) {
    size_t eq = find_outside_quotes(item, u"=");
    std::u16string_view name = trim_blanks(std::u16string_view(item).substr(0, eq));
    if (name.empty() || name.find(u' ') != std::u16string_view::npos) return plant(u"SyntaxError-37");
    if (!named.empty()) named += u",";
    named += module_prefix() + item;
  }
  std::u16string error = m_store.declare_hashtbl(named, m_store.global_frame(), true);
  if (!error.empty()) plant(error);
}

}  // namespace vesk::prepass
