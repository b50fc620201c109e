// The check pass: functions in order of definition, then the check entries
// that lead to markers between functions; within a function its markers
// first, then its parameters, then its body statement by statement.
#include "engine/runtime/block_checks.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "engine/loader/prepass.h"
#include "engine/runtime/check_host.h"
#include "engine/values/conversion.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

class BlockChecker {
 public:
  BlockChecker(Interpreter& interpreter, LoadError& error)
      : m_host(interpreter), m_p(interpreter.program()), m_error(error) {}

  bool run();

 private:
  bool function(const std::u16string& name, const FunctionEntry& entry, bool check_entry);
  bool statement(int32_t k);
  bool report(int32_t statement, std::u16string message);
  // Reports the host's error, or [fallback] when the failed check had none.
  bool fail_at(int32_t k, std::u16string fallback) { return report(k, m_host.error_or(std::move(fallback))); }
  bool number(int32_t k, const CompiledExpression& e, std::u16string_view code);
  bool well_formed(int32_t k, const CompiledExpression& e, std::u16string_view code);
  bool plain(int32_t k, const CompiledStatement& s);
  bool for_loop(int32_t k, const CompiledStatement& s);
  bool case_list(int32_t k);
  bool dim(int32_t k);
  bool dim_item(int32_t k, std::u16string_view item);
  bool hashtbl(int32_t k);
  bool jump(int32_t k, bool is_break);
  bool with(int32_t k, const CompiledStatement& s);
  bool end_with(int32_t k);
  static std::u16string expression_message() { return message(MessageId::ExpressionWrongPreCheck); }

  CheckHost m_host;
  const Program& m_p;
  LoadError& m_error;
};

bool BlockChecker::run() {
  try {
    for (int32_t i = 0; i < static_cast<int32_t>(m_p.functions.size()); ++i)
      if (!function(m_p.function_names.name_at(i), m_p.functions[i], false)) return false;
    for (size_t i = 0; i < m_p.check_entries.size(); ++i)
      if (!function(m_p.check_entry_names[i], m_p.check_entries[i], true)) return false;
  } catch (const std::exception& e) {
    return report(-1, u"ChkKB_Main:" + utf8_to_utf16(e.what()));
  }
  return true;
}

bool BlockChecker::report(int32_t statement, std::u16string message) {
  m_error.message = std::move(message);
  m_error.statement = statement;
  return false;
}

bool BlockChecker::function(const std::u16string& name, const FunctionEntry& entry, bool check_entry) {
  const int32_t size = static_cast<int32_t>(m_p.code.size());
  const int32_t header = entry.header;
  // A check entry starts on the statement before its marker, which may be
  // the FEND of the function before it.
  int32_t end = -1;
  for (int32_t k = std::max(header, 0); k < size; ++k) {
    const std::u16string& text = m_p.code[k];
    if (starts_with(text, k_error_marker))
      return report(k, text.substr(std::u16string_view(k_error_marker).size()));
    if (k > header && m_p.kinds[k] == int32_t(StatementKind::Fend)) {
      end = k;
      break;
    }
  }
  if (check_entry) return true;
  if (end < 0) return report(header, message(MessageId::CheckFendMissing, name));

  const std::u16string& head = m_p.code[header];
  std::u16string module;
  if (size_t dot = name.find(u'.'); dot != std::u16string::npos && !is_file_header(head)) module = name.substr(0, dot);
  m_host.begin_function(std::move(module));
  ParameterList params = read_parameters(head);
  if (!params.error.empty()) return report(header, params.error);
  for (const CheckedParameter& p : params.parameters) m_host.declare_local(p.name, p.dimensions);

  for (int32_t k = header + 1; k < end; ++k) {
    bool ok = false;
    try {
      ok = statement(k);
    } catch (const std::exception& e) {
      return report(k, u"ChkKB_Koubun:" + utf8_to_utf16(e.what()));
    }
    if (!ok) return false;
  }
  return true;
}

bool BlockChecker::statement(int32_t k) {
  const std::u16string& text = m_p.code[k];
  CheckFrame& frame = m_host.frame();
  switch (static_cast<StatementKind>(m_p.kinds[k])) {
    case StatementKind::For:
      if (!for_loop(k, m_host.compiled(k))) return false;
      ++frame.loop_depth;
      return true;
    case StatementKind::While:
      if (!number(k, *m_host.compiled(k).expr, u"SyntaxError-90")) return false;
      ++frame.loop_depth;
      return true;
    case StatementKind::Repeat:
      ++frame.loop_depth;
      return true;
    case StatementKind::Until:
      // The condition is judged where it stands, after the loop's body.
      if (!number(k, *compile_expression(trim_blanks(text)), u"SyntaxError-90")) return false;
      [[fallthrough]];
    case StatementKind::Next:
    case StatementKind::Wend:
      frame.loop_depth = std::max(frame.loop_depth - 1, 0);
      return true;
    case StatementKind::Ifb: return number(k, *m_host.compiled(k).expr, u"SyntaxError-90");
    case StatementKind::Select: return well_formed(k, *m_host.compiled(k).expr, u"SyntaxError-90");
    case StatementKind::Case: return case_list(k);
    case StatementKind::Print:
    case StatementKind::ExitExit: return well_formed(k, *m_host.compiled(k).expr, expression_message());
    case StatementKind::Thread: return m_host.thread_call(*m_host.compiled(k).expr) || fail_at(k, expression_message());
    case StatementKind::Dim: return dim(k);
    case StatementKind::HashTbl: return hashtbl(k);
    case StatementKind::Break: return jump(k, true);
    case StatementKind::Continue: return jump(k, false);
    case StatementKind::Exit: return trim_blanks(text).empty() || report(k, u"SyntaxError-100");
    case StatementKind::Call: return m_host.include_call(text) || fail_at(k, expression_message());
    case StatementKind::With: return with(k, m_host.compiled(k));
    case StatementKind::EndWith: return end_with(k);
    case StatementKind::Other: return trim_blanks(text).empty() || plain(k, m_host.compiled(k));
    default: return true;  // closers, middles and declarations the pre-pass took
  }
}

// A condition: a well-formed expression that gives a number.
bool BlockChecker::number(int32_t k, const CompiledExpression& e, std::u16string_view code) {
  Value v;
  if (!m_host.value(e, &v)) return fail_at(k, std::u16string(code));
  if (!to_double(v).ok()) return report(k, std::u16string(code));
  return true;
}

bool BlockChecker::well_formed(int32_t k, const CompiledExpression& e, std::u16string_view code) {
  return m_host.value(e) || fail_at(k, std::u16string(code));
}

bool BlockChecker::case_list(int32_t k) {
  for (const std::u16string& item : split_arguments(m_p.code[k]))
    if (!well_formed(k, *compile_expression(item), u"SyntaxError-90")) return false;
  return true;
}

// Assignments, call statements and member calls.
bool BlockChecker::plain(int32_t k, const CompiledStatement& s) {
  if (s.form == StatementForm::CallStatement) return m_host.call_statement(s) || fail_at(k, expression_message());
  if (s.form == StatementForm::MemberCall) return m_host.member_call_statement(s) || fail_at(k, expression_message());
  std::u16string_view text = trim_blanks(m_p.code[k]);
  size_t eq = assignment_position(text);
  if (eq == std::u16string_view::npos) return true;
  if (eq == 0 || text[eq - 1] == u':') return report(k, u"SyntaxError-103");
  if (trim_blanks(text.substr(eq + 1)).empty()) return report(k, u"SyntaxError-104");
  bool right = s.form == StatementForm::ThreadAssign ? m_host.thread_call(*s.expr) : m_host.value(*s.expr);
  if (!right) return fail_at(k, expression_message());
  return m_host.assignment_target(s.target, *s.target_expr) || fail_at(k, expression_message());
}

// In the order the loop itself takes them: start, variable, end, step.
bool BlockChecker::for_loop(int32_t k, const CompiledStatement& s) {
  if (!s.expr || !s.end_expr || !s.step_expr) return report(k, u"SyntaxError-95");
  if (!number(k, *s.expr, u"SyntaxError-95")) return false;
  if (!m_host.assignment_target(s.target, *s.target_expr)) return fail_at(k, expression_message());
  return number(k, *s.end_expr, u"SyntaxError-96") && number(k, *s.step_expr, u"SyntaxError-97");
}

// dim -> item { "," item } ; item -> name { "[" [bounds] "]" } [ "=" values ]
// An array with an initial list is one item, commas and all.
bool BlockChecker::dim(int32_t k) {
  std::u16string_view body = trim_blanks(m_p.code[k]);
  if (body.empty()) return report(k, u"SyntaxError-70");
  size_t eq = assignment_position(body), bracket = body.find(u'[');
  if (eq != std::u16string_view::npos && bracket != std::u16string_view::npos && eq > 0 && bracket > 0)
    return dim_item(k, body);
  for (const std::u16string& item : split_arguments(body))
    if (!dim_item(k, item)) return false;
  return true;
}

bool BlockChecker::dim_item(int32_t k, std::u16string_view item) {
  if (item.empty()) return report(k, u"SyntaxError-70");
  size_t at = assignment_position(item);
  std::u16string_view left = trim_blanks(item.substr(0, at));
  size_t open = left.find(u'[');
  std::u16string name(trim_blanks(left.substr(0, open)));
  if (name.empty()) return report(k, open != std::u16string_view::npos ? u"SyntaxError-75" : u"SyntaxError-70");
  std::u16string_view right;
  if (at != std::u16string_view::npos) {
    right = trim_blanks(item.substr(at + 1));
    if (right.empty()) return report(k, u"SyntaxError-71");
  }
  if (std::u16string e = VariableStore::reserved_error(name); !e.empty()) return report(k, e);
  if (std::u16string e = VariableStore::name_error(name); !e.empty()) return report(k, e);
  int32_t dimensions = 0;
  for (size_t i = open; i != std::u16string_view::npos && i < left.size();) {
    size_t close = left.find(u']', i);
    if (left[i] != u'[' || close == std::u16string_view::npos) return report(k, u"SyntaxError-70");
    std::vector<std::u16string> parts = split_arguments(left.substr(i + 1, close - i - 1));
    if (parts.empty()) parts.emplace_back();
    for (const std::u16string& part : parts) {
      ++dimensions;
      if (part.empty()) continue;  // NAME[] = a, b: sized by its values
      Value bound;
      if (!m_host.value(*compile_expression(part), &bound)) return fail_at(k, u"SyntaxError-70");
      if (!to_double(bound).ok()) return report(k, u"SyntaxError-70");
    }
    i = close + 1;
    while (i < left.size() && left[i] == u' ') ++i;
  }
  if (!right.empty()) {
    std::vector<std::u16string> values;
    if (open == std::u16string_view::npos) values.emplace_back(right);
    else values = split_arguments(right);
    for (const std::u16string& v : values)
      if (!m_host.value(*compile_expression(v))) return fail_at(k, expression_message());
  }
  if (m_host.is_local(name)) return report(k, message(MessageId::VariableAlreadyDefined, name));
  m_host.declare_local(name, dimensions);
  return true;
}

bool BlockChecker::hashtbl(int32_t k) {
  for (const std::u16string& item : split_arguments(m_p.code[k])) {
    size_t at = assignment_position(item);
    std::u16string name(trim_blanks(std::u16string_view(item).substr(0, at)));
    if (name.empty() || name.find_first_of(u"[]") != std::u16string::npos) return report(k, u"SyntaxError-73");
    if (at != std::u16string::npos &&
        !m_host.value(*compile_expression(trim_blanks(std::u16string_view(item).substr(at + 1)))))
      return fail_at(k, expression_message());
    if (std::u16string e = VariableStore::reserved_error(name); !e.empty()) return report(k, e);
    m_host.declare_hash(name);
  }
  return true;
}

// BREAK and CONTINUE: inside a loop; a count from 1 to the loop depth.
bool BlockChecker::jump(int32_t k, bool is_break) {
  int32_t depth = m_host.frame().loop_depth;
  if (depth == 0)
    return report(k, message(is_break ? MessageId::CheckBreakOutsideLoop : MessageId::CheckContinueOutsideLoop));
  std::u16string_view operand = trim_blanks(m_p.code[k]);
  if (operand.empty()) return true;
  int64_t count = 0;
  bool digits = operand.size() <= 9;
  for (size_t i = 0; digits && i < operand.size(); ++i) {
    digits = operand[i] >= u'0' && operand[i] <= u'9';
    count = count * 10 + (operand[i] - u'0');
  }
  if (!digits || count < 1 || count > depth)
    return report(k, message(is_break ? MessageId::CheckBreakCountWrong : MessageId::CheckContinueCountWrong));
  return true;
}

bool BlockChecker::with(int32_t k, const CompiledStatement& s) {
  CheckFrame& frame = m_host.frame();
  std::u16string_view operand = trim_blanks(m_p.code[k]);
  if (operand.empty()) return report(k, u"SyntaxError-102");
  if (operand == u"GLOBAL") return report(k, u"SyntaxError-101");
  Value target;
  if (operand == u"THIS") {
    target = Value::string(frame.module_name);
  } else if (m_p.is_module(operand)) {
    target = Value::string(std::u16string(operand));
  } else if (!m_host.value(*s.expr, &target)) {
    return fail_at(k, expression_message());
  }
  frame.with_stack.push_back({k, target});
  frame.with_subject = target;
  return true;
}

bool BlockChecker::end_with(int32_t k) {
  CheckFrame& frame = m_host.frame();
  if (frame.with_stack.empty()) return report(k, message(MessageId::CheckWithUnpaired));
  frame.with_stack.pop_back();
  frame.with_subject = frame.with_stack.empty() ? Value() : frame.with_stack.back().target;
  return true;
}

}  // namespace

bool check_blocks(Interpreter& interpreter, LoadError& error) {
  error = LoadError();
  return BlockChecker(interpreter, error).run();
}

}  // namespace vesk
