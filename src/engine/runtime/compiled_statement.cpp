// Compiling statement texts into their executable form.
#include "engine/runtime/compiled_statement.h"

#include <cstdlib>

#include "engine/loader/program.h"
#include "engine/values/evaluator.h"
#include "engine/values/fast_expression.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

std::vector<std::u16string_view> fields(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> out;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

int32_t to_int(std::u16string_view text) {
  std::string ascii = utf16_to_utf8(trim_blanks(text));
  if (ascii.empty()) return -1;
  char* end = nullptr;
  long v = std::strtol(ascii.c_str(), &end, 10);
  return *end == '\0' ? static_cast<int32_t>(v) : -1;
}

std::unique_ptr<CompiledExpression> expression(std::u16string_view text) {
  return compile_expression(trim_blanks(text));
}

// Each case value with its CASE's offset, when every one is a number
// literal; else none.
std::vector<std::pair<double, int32_t>> number_cases(const std::vector<SelectCase>& cases) {
  std::vector<std::pair<double, int32_t>> table;
  for (const SelectCase& c : cases)
    for (size_t i = 0; i < c.values.size(); ++i) {
      if (c.empty_word[i] || !c.constants[i].is(VarType::R8)) return {};
      table.emplace_back(c.constants[i].as_r8(), c.offset);
    }
  return table;
}

// The case list "offset,a, b" of a SELECT field.
SelectCase select_case(std::u16string_view field) {
  SelectCase c;
  size_t comma = field.find(u',');
  c.offset = to_int(field.substr(0, comma));
  if (comma == std::u16string_view::npos) return c;
  for (const std::u16string& value : split_arguments(field.substr(comma + 1))) {
    c.empty_word.push_back(value == u"EMPTY");
    c.values.push_back(compile_expression(value));
    const CompiledExpression& e = *c.values.back();
    bool whole = e.ok && e.root && e.trailing_indices.empty() && e.root->op == ExprOp::Literal &&
                 !e.root->string_literal && e.root->literal.is(VarType::R8) &&
                 survives_rounding(e.root->literal.as_r8());
    c.constants.push_back(whole ? e.root->literal : Value());
  }
  return c;
}

void name_shape(CompiledStatement& s, std::u16string_view name) {
  std::u16string_view head = name.substr(0, name.find_first_of(u"(["));
  s.dots = 0;
  for (char16_t c : head) s.dots += c == u'.';
  s.name_head = std::u16string(head.substr(0, head.find(u'.')));
}

bool is_plain_name(const CompiledExpression& e) {
  return e.ok && e.root && e.trailing_indices.empty() && e.root->op == ExprOp::Name && !e.root->name->dotted &&
         e.root->name->indices.empty();
}

// NAME + operand, where the left operand is the plain name [target].
bool is_append(const CompiledExpression& e, std::u16string_view target) {
  if (!e.ok || !e.root || !e.trailing_indices.empty() || e.root->op != ExprOp::Binary ||
      e.root->binary != TokenKind::Plus)
    return false;
  const ExprNode& left = *e.root->left;
  return left.op == ExprOp::Name && !left.name->dotted && left.name->indices.empty() && left.name->name == target;
}

void compile_plain(CompiledStatement& s, std::u16string_view text) {
  size_t eq = assignment_position(text);
  if (eq == std::u16string_view::npos) {
    s.form = has_dot_outside(text) ? StatementForm::MemberCall : StatementForm::CallStatement;
    name_shape(s, text);
    s.expr = expression(text);
    return;
  }
  std::u16string_view left = trim_blanks(text.substr(0, eq));
  std::u16string_view right = trim_blanks(text.substr(eq + 1));
  s.target = std::u16string(left);
  s.target_expr = expression(left);
  name_shape(s, left);
  if (starts_with(right, u"THREAD ")) {
    s.form = StatementForm::ThreadAssign;
    s.expr = expression(right.substr(7));
    return;
  }
  s.form = has_dot_outside(left) ? StatementForm::MemberPut : StatementForm::Assign;
  s.expr = expression(right);
  if (s.form == StatementForm::Assign && s.target_expr->ok && s.target_expr->root &&
      s.target_expr->root->op == ExprOp::Name && !s.target_expr->root->name->dotted &&
      s.target_expr->root->name->indices.size() == 1)
    s.target_index.reset(make_index_plan(*s.target_expr->root->name->indices[0]).release());
  s.element_number_assign =
      s.target_index && ((s.expr->fast && !s.expr->fast->calls) || (!s.expr->fast && s.expr->plain_name));
  s.plain_target = s.form == StatementForm::Assign && is_plain_name(*s.target_expr);
  s.append_to_target = s.plain_target && is_append(*s.expr, s.target_expr->root->name->name);
  s.number_assign = s.plain_target && (s.expr->fast || s.expr->plain_name);
  s.self_chain = s.number_assign && s.expr->fast && s.expr->fast->chain &&
                 s.expr->fast->steps[0].name->name == s.target_expr->root->name->name;
  if (s.number_assign && s.expr->fast && !s.expr->fast->chain && !s.expr->fast->calls) {
    const std::vector<FastStep>& steps = s.expr->fast->steps;
    for (size_t i = 0; i < steps.size() && s.target_step < 0; ++i)
      if (steps[i].op == FastOp::Local && steps[i].name->name == s.target_expr->root->name->name)
        s.target_step = static_cast<int32_t>(i);
  }
}

}  // namespace

bool has_dot_outside(std::u16string_view text) {
  int depth = 0;
  bool quoted = false;
  for (char16_t c : text) {
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'[' || c == u'(') ++depth;
    if (c == u']' || c == u')') --depth;
    if (c == u'.' && depth == 0) return true;
  }
  return false;
}

size_t assignment_position(std::u16string_view text) {
  int depth = 0;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'(' || c == u'[') ++depth;
    if (c == u')' || c == u']') --depth;
    if (c == u'=' && depth == 0) return i;
  }
  return std::u16string_view::npos;
}

std::unique_ptr<CompiledStatement> compile_statement(std::u16string_view text, int32_t kind) {
  auto s = std::make_unique<CompiledStatement>();
  s->text = std::u16string(text);
  if (starts_with(text, k_error_marker)) {
    s->form = StatementForm::Marker;
    s->text = std::u16string(text.substr(std::u16string_view(k_error_marker).size()));
    return s;
  }
  std::vector<std::u16string_view> f = fields(text, k_field_separator);
  switch (static_cast<StatementKind>(kind)) {
    case StatementKind::Other:
      if (!trim_blanks(text).empty()) compile_plain(*s, trim_blanks(text));
      break;
    case StatementKind::Ifb:
      s->form = StatementForm::Ifb;
      s->expr = expression(f[0]);
      for (int i = 0; i < 3; ++i) s->offsets[i] = f.size() > size_t(i + 1) ? to_int(f[i + 1]) : -1;
      break;
    case StatementKind::For:
      s->form = StatementForm::For;
      s->target = std::u16string(trim_blanks(f[0]));
      s->target_expr = expression(f[0]);
      if (f.size() >= 5) {
        s->expr = expression(f[1]);
        s->end_expr = expression(f[2]);
        s->step_expr = expression(f[3]);
        s->offsets[0] = to_int(f[4]);
      }
      break;
    case StatementKind::While:
    case StatementKind::Repeat:
      s->form = kind == int32_t(StatementKind::While) ? StatementForm::While : StatementForm::Repeat;
      s->expr = expression(f[0]);
      s->offsets[0] = f.size() > 1 ? to_int(f[1]) : -1;
      break;
    case StatementKind::Select:
      s->form = StatementForm::Select;
      s->expr = expression(f[0]);
      for (size_t i = 1; i < f.size(); ++i) {
        std::u16string_view field = f[i];
        std::u16string_view word = trim_blanks(field.substr(field.find(u',') + 1));
        if (field.find(u',') != std::u16string_view::npos && word == u"DEFAULT" && i + 2 == f.size()) {
          s->default_offset = to_int(field.substr(0, field.find(u',')));
        } else if (i + 1 == f.size()) {
          s->end_offset = to_int(field.substr(0, field.find(u',')));
        } else {
          s->cases.push_back(select_case(field));
        }
      }
      s->number_cases = number_cases(s->cases);
      break;
    case StatementKind::Try: {
      std::vector<std::u16string_view> n = fields(trim_blanks(text), u' ');
      s->form = StatementForm::Try;
      s->number = n.size() > 0 ? to_int(n[0]) : 0;
      s->offsets[0] = n.size() > 1 ? to_int(n[1]) : -1;
      s->offsets[1] = n.size() > 2 ? to_int(n[2]) : -1;
      break;
    }
    case StatementKind::Finally: s->form = StatementForm::Finally; break;
    case StatementKind::Except: s->form = StatementForm::Except; break;
    case StatementKind::Else: s->form = StatementForm::Else; break;
    case StatementKind::Print:
      s->form = StatementForm::Print;
      s->expr = expression(text);
      break;
    case StatementKind::ExitExit:
      s->form = StatementForm::ExitExit;
      s->expr = expression(text);
      break;
    case StatementKind::Thread:
      s->form = StatementForm::Thread;
      s->expr = expression(text);
      break;
    case StatementKind::Call: s->form = StatementForm::Call; break;
    case StatementKind::DefDll: s->form = StatementForm::DefDll; break;
    case StatementKind::Dim: s->form = StatementForm::Dim; break;
    case StatementKind::HashTbl: s->form = StatementForm::HashTbl; break;
    case StatementKind::Break:
    case StatementKind::Continue:
      s->form = kind == int32_t(StatementKind::Break) ? StatementForm::Break : StatementForm::Continue;
      s->number = trim_blanks(text).empty() ? 1 : to_int(text);
      break;
    case StatementKind::Exit: s->form = StatementForm::Exit; break;
    case StatementKind::With: s->form = StatementForm::With; s->expr = expression(text); break;
    case StatementKind::EndWith: s->form = StatementForm::EndWith; break;
    case StatementKind::ComErrIgn: s->form = StatementForm::ComErrIgn; break;
    case StatementKind::ComErrRet: s->form = StatementForm::ComErrRet; break;
    default: break;  // closers and the no-operation statement
  }
  return s;
}

}  // namespace vesk
