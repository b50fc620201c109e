// Evaluation of compiled expressions: operand normalisation, the operators,
// short-circuit conditions and the final rounding.
#include "engine/values/evaluator.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>

#include "engine/values/conversion.h"
#include "engine/values/escapes.h"
#include "engine/values/fast_expression.h"
#include "engine/values/join_plan.h"
#include "engine/values/numeric_text.h"
#include "support/text_search.h"
#include "support/unicode_case.h"

namespace vesk {
namespace {

// The longest text "+" makes: a script that doubles a text without end
// gets the expression error long before memory runs out.
constexpr size_t k_max_text_length = size_t{1} << 27;

bool too_long(size_t a, size_t b) { return a > k_max_text_length || b > k_max_text_length - a; }

// Whether the text of [v] is known to hold no escape: a string marked so,
// or a number, whose text never does.
bool escape_free_part(const Value& v) {
  return v.is_string() ? v.string_escape_free() : !v.is_ansi_string() && v.type() != VarType::Date;
}

const std::u16string k_empty_marker = u"\x01__EMPTY__";
const std::u16string k_null_marker = u"\x01__NULL__";
const std::u16string k_nothing_marker = u"\x01__NOTHING__";

bool is_empty_word(const ExprNode* node) {
  return node && node->op == ExprOp::Name && node->name->indices.empty() && node->name->name == u"EMPTY";
}

bool is_integer_kind(const Value& v) {
  switch (v.type()) {
    case VarType::I1: case VarType::I2: case VarType::I4: case VarType::I8:
    case VarType::UI1: case VarType::UI2: case VarType::UI4: case VarType::Bool:
      return true;
    default:
      return false;
  }
}

int64_t integer_of(const Value& v) {
  switch (v.type()) {
    case VarType::I1: return static_cast<int8_t>(v.as_i8());
    case VarType::I2: case VarType::Bool: return v.as_i2();
    case VarType::I4: return v.as_i4();
    case VarType::UI1: return static_cast<uint8_t>(v.as_i8());
    case VarType::UI2: return static_cast<uint16_t>(v.as_i8());
    case VarType::UI4: return static_cast<uint32_t>(v.as_i8());
    default: return v.as_i8();
  }
}

// Truncates toward zero into 64 bits; false when out of range or no number.
bool truncate_to_i64(const Value& v, int64_t& out) {
  if (is_integer_kind(v)) {
    out = integer_of(v);
    return true;
  }
  Converted<double> d = to_double(v);
  if (!d.ok() || !std::isfinite(*d) || std::fabs(*d) >= 9223372036854775808.0) return false;
  out = static_cast<int64_t>(std::trunc(*d));
  return true;
}

// Rounds to the nearest 64-bit integer, ties to even.
bool round_to_i64(const Value& v, int64_t& out) {
  Converted<double> d = to_double(v);
  return d.ok() && round_to_integer(*d, out);
}

class Evaluator {
 public:
  Evaluator(const CompiledExpression& expr, EvalHost& host, bool condition)
      : m_expr(expr), m_host(host), m_short(condition && host.options().short_circuit) {}

  Value run(const ExprNode& root) {
    Value v = eval(root);
    return m_short_done ? m_short_value : v;
  }
  bool failed() const { return m_failed; }
  Value sum(Value a, Value b) { return add(std::move(a), std::move(b), *m_expr.root); }
  // Operator [node] (no AND, OR or XOR) on its operands' values.
  Value binary(const ExprNode& node, Value left, Value right);
  // The text that "+" appends to the string [left] for [right]; false when
  // the sum is no plain concatenation or [right] has no text.
  bool appended_text(const Value& left, const Value& right, Value& text);

 private:
  Value fail() {
    m_failed = true;
    return Value::byte(0);
  }

  Value eval(const ExprNode& node);
  Value eval_name(const NameRef& name);
  Value eval_call(const CallSite& call);
  Value eval_binary(const ExprNode& node);
  Value eval_logical(const ExprNode& node);
  Value add(Value a, Value b, const ExprNode& node);
  // The text of [l] and then of [r]: "+" with a string among them.
  Value joined(const Value& l, const Value& r);
  Value compare(Value a, Value b, const ExprNode& node);
  Value normalise(Value v, const Value& other, bool comparison, bool other_is_empty_word);

  const CompiledExpression& m_expr;
  EvalHost& m_host;
  bool m_short;
  bool m_and_seen = false;
  bool m_short_done = false;
  Value m_short_value;
  bool m_failed = false;
};

Value Evaluator::eval(const ExprNode& node) {
  if (m_short_done) return {};
  switch (node.op) {
    case ExprOp::Literal:
      return node.literal;
    case ExprOp::Name:
      return eval_name(*node.name);
    case ExprOp::Call:
      return eval_call(*node.call);
    case ExprOp::Paren:
      return eval(*node.left);
    case ExprOp::Negate: {
      Value v = eval(*node.left);
      if (m_short_done) return {};
      Converted<double> d = to_double(v);
      return d.ok() ? Value::r8(-*d) : fail();
    }
    case ExprOp::Not: {
      Value v = eval(*node.left);
      if (m_short_done) return {};
      if (v.is_empty()) return m_host.true_value();
      Converted<double> d = to_double(v);
      if (!d.ok()) {
        m_failed = true;
        return m_host.false_value();
      }
      return *d == 0 ? m_host.true_value() : m_host.false_value();
    }
    case ExprOp::Binary:
      if (node.join)
        if (THensuFmt* frame = m_host.local_frame()) {
          Value joined_value;
          if (run_join_plan(*node.join, *frame, joined_value)) return joined_value;
        }
      return eval_binary(node);
  }
  return fail();
}

Value Evaluator::eval_name(const NameRef& name) {
  if (m_host.pre_check()) {
    if (!m_host.check_name(name)) m_failed = true;
    return Value::r8(1);
  }
  IndexValues indices(name.indices.size());
  if (!evaluate_indices(name, m_host, indices)) return fail();
  Value v = name.dotted && !m_host.is_module_name(name) ? m_host.read_member(name)
                                                        : m_host.read_name(name, indices.span());
  if (m_host.frame_failed()) m_failed = true;
  return v;
}

Value Evaluator::eval_call(const CallSite& call) {
  if (m_host.pre_check()) {
    if (!m_host.check_call(call)) m_failed = true;
    return Value::r8(1);
  }
  bool failed = false;
  Value v = m_host.call(call, failed);
  if (failed || m_host.frame_failed()) m_failed = true;
  return v;
}

Value Evaluator::eval_logical(const ExprNode& node) {
  TokenKind op = node.binary;
  Value left = eval(*node.left);
  if (m_short_done) return {};
  if (m_short && node.depth == 0) {
    if (op == TokenKind::And && !m_and_seen) {
      m_and_seen = true;
      if (m_expr.has_or) m_short = false;
    }
    int64_t l = 0;
    if (m_short && op != TokenKind::Xor && truncate_to_i64(left, l)) {
      if (op == TokenKind::Or && l != 0) {
        m_short_done = true;
        m_short_value = m_host.true_value();
        return {};
      }
      if (op == TokenKind::And && l == 0) {
        m_short_done = true;
        m_short_value = m_host.false_value();
        return {};
      }
    }
  }
  Value right = eval(*node.right);
  if (m_short_done) return {};
  int64_t a = 0, b = 0;
  if (!truncate_to_i64(left, a) || !truncate_to_i64(right, b)) {
    m_failed = true;
    return m_host.false_value();
  }
  int64_t r = op == TokenKind::And ? (a & b) : op == TokenKind::Or ? (a | b) : (a ^ b);
  return Value::r8(static_cast<double>(r));
}

Value Evaluator::eval_binary(const ExprNode& node) {
  TokenKind op = node.binary;
  if (op == TokenKind::And || op == TokenKind::Or || op == TokenKind::Xor) return eval_logical(node);
  Value left = eval(*node.left);
  if (m_short_done) return {};
  Value right = eval(*node.right);
  if (m_short_done) return {};
  return binary(node, std::move(left), std::move(right));
}

Value Evaluator::binary(const ExprNode& node, Value left, Value right) {
  TokenKind op = node.binary;
  // OPTIMIZATION: two doubles need no normalisation; each operator below
  // gives what its general path would.
  if (left.is(VarType::R8) && right.is(VarType::R8)) {
    double a = left.as_r8(), b = right.as_r8();
    switch (op) {
      case TokenKind::Plus: return Value::r8(a + b);
      case TokenKind::Minus: return Value::r8(a - b);
      case TokenKind::Star: return Value::r8(a * b);
      case TokenKind::Slash: return Value::r8(b == 0 ? 0.0 : a / b);
      case TokenKind::Greater: case TokenKind::Less: case TokenKind::Equal:
      case TokenKind::GreaterEqual: case TokenKind::LessEqual: case TokenKind::NotEqual:
        return comparison_holds(op, three_way(a, b)) ? m_host.true_value() : m_host.false_value();
      default: break;
    }
  }
  if (op >= TokenKind::Greater && op <= TokenKind::NotEqual) return compare(std::move(left), std::move(right), node);
  if (op == TokenKind::Plus) return add(std::move(left), std::move(right), node);

  if (op == TokenKind::Mod) {
    int64_t a = 0, b = 0;
    // The pre-check divides by 1: the divisor may be a placeholder 0.
    if (m_host.pre_check()) return round_to_i64(left, a) ? Value::r8(static_cast<double>(a % 1)) : fail();
    if (!round_to_i64(left, a) || !round_to_i64(right, b) || b == 0) return fail();
    if (b == -1) return Value::r8(0);  // INT64_MIN % -1 would trap
    return Value::r8(static_cast<double>(a % b));
  }
  Converted<double> a = to_double(left);
  Converted<double> b = to_double(right);
  if (!a.ok() || !b.ok()) return fail();
  switch (op) {
    case TokenKind::Minus: return Value::r8(*a - *b);
    case TokenKind::Star: return Value::r8(*a * *b);
    default: return Value::r8(*b == 0 ? 0.0 : *a / *b);
  }
}

// Prepares an operand of "+" or a comparison with a view of the other.
Value Evaluator::normalise(Value v, const Value& other, bool comparison, bool empty_word_involved) {
  switch (v.type()) {
    case VarType::Empty:
      if (comparison && (other.is_empty() || empty_word_involved)) return Value::string(k_empty_marker);
      return is_numeric_value(other, {true, false}) ? Value::r8(0) : Value::string(std::u16string());
    case VarType::Null:
      return Value::string(comparison ? k_null_marker : std::u16string());
    case VarType::Error:
      return Value::string(u"ERROR");
    case VarType::Object:
      if (v.is_nothing()) return Value::string(k_nothing_marker);
      return Value::i4(static_cast<int32_t>(v.as_object()->identity()));
    case VarType::AnsiString:
      if (!other.is_string() && is_numeric_value(v, {true, false})) {
        Converted<double> d = to_double(v);
        if (d.ok()) return Value::r8(*d);
      }
      return v;
    default:
      if (v.is_array() && comparison && !other.is_array())
        return Value::i8(static_cast<int64_t>(reinterpret_cast<uintptr_t>(&v.as_array())));
      return v;
  }
}

Value Evaluator::add(Value a, Value b, const ExprNode&) {
  // OPTIMIZATION: strings and doubles come out of normalisation as they go
  // in, so a sum of them with a string among them is joined at once.
  bool a_plain = a.is_string() || a.is(VarType::R8), b_plain = b.is_string() || b.is(VarType::R8);
  if (a_plain && b_plain && (a.is_string() || b.is_string())) return joined(a, b);
  // Two native strings are taken before normalisation, which would turn
  // numeric ones into numbers and so hide them from the byte-string mark.
  if (a.is_ansi_string() && b.is_ansi_string()) {
    bool numbers = !m_host.byte_string_mark() && is_numeric_value(a, {true, false}) &&
                   is_numeric_value(b, {true, false});
    if (!numbers) {
      if (too_long(a.as_ansi_string().size(), b.as_ansi_string().size())) return fail();
      return Value::ansi_string(a.as_ansi_string() + b.as_ansi_string());
    }
  }
  Value l = normalise(a, b, false, false);
  Value r = normalise(b, a, false, false);
  if (l.is(VarType::R8) && r.is(VarType::R8)) return Value::r8(l.as_r8() + r.as_r8());
  if (!l.is_any_string() && !r.is_any_string()) {
    Converted<double> x = to_double(l);
    Converted<double> y = to_double(r);
    if (x.ok() && y.ok()) return Value::r8(*x + *y);
  }
  return joined(l, r);
}

Value Evaluator::joined(const Value& l, const Value& r) {
  // OPTIMIZATION: a string operand is read in place, not copied first.
  std::u16string x_holder, y_holder;
  std::u16string_view x, y;
  if (!text_in_place(l, x_holder, x) || !text_in_place(r, y_holder, y) || too_long(x.size(), y.size())) return fail();
  char16_t* units = nullptr;
  Value out = Value::string_to_fill(x.size() + y.size(), units);
  std::copy(y.begin(), y.end(), std::copy(x.begin(), x.end(), units));
  // Two parts without an escape make a sum without one, unless the mark
  // forms where they meet.
  if (escape_free_part(l) && escape_free_part(r) && !(x.ends_with(u'<') && y.starts_with(u'#')))
    out.mark_string_escape_free();
  return out;
}

// [text] is a string value: the operand's own buffer when it is a string,
// so nothing is copied before the append.
bool Evaluator::appended_text(const Value& left, const Value& right, Value& text) {
  if (!left.is_string()) return false;
  text = normalise(right, left, false, false);
  if (!text.is_string()) {
    Converted<std::u16string> y = to_text(text);
    if (!y.ok()) return false;
    text = Value::string(std::move(*y));
  }
  // Too long a sum is left to sum(), which fails it.
  return !too_long(left.as_string().size(), text.as_string().size());
}

Value Evaluator::compare(Value a, Value b, const ExprNode& node) {
  bool empty_word = is_empty_word(node.left.get()) || is_empty_word(node.right.get());
  Value l = normalise(a, b, true, empty_word);
  Value r = normalise(b, a, true, empty_word);
  int order = 0;
  if (l.is_any_string() || r.is_any_string()) {
    Converted<std::u16string> x = to_text(l);
    Converted<std::u16string> y = to_text(r);
    if (!x.ok() || !y.ok()) {
      m_failed = true;
      return m_host.false_value();
    }
    bool special = m_host.options().special_char;
    std::u16string tx = expand_escapes(*x, special), ty = expand_escapes(*y, special);
    if (!m_host.options().same_str) {
      tx = m_host.upper_text(tx);
      ty = m_host.upper_text(ty);
    }
    order = m_host.compare_text(tx, ty);
  } else if (is_integer_kind(l) && is_integer_kind(r)) {
    order = three_way(integer_of(l), integer_of(r));
  } else {
    Converted<double> x = to_double(l);
    Converted<double> y = to_double(r);
    if (!x.ok() || !y.ok()) {
      m_failed = true;
      return m_host.false_value();
    }
    order = three_way(*x, *y);
  }
  return comparison_holds(node.binary, order) ? m_host.true_value() : m_host.false_value();
}

// Applies up to three trailing indices to an array result.
bool index_result(Value& v, const std::vector<Value>& indices) {
  size_t used = 0;
  while (used < indices.size()) {
    if (!v.is_array()) return false;
    const ArrayData& array = v.as_array();
    size_t dims = array.dimensions.size();
    size_t take = indices.size() - used >= dims ? dims : 1;
    if (take != dims) return false;
    size_t flat = 0;
    for (size_t d = 0; d < dims; ++d) {
      int64_t i = 0;
      if (!truncate_to_i64(indices[used + d], i)) i = 0;
      const ArrayData::Dimension& dim = array.dimensions[d];
      if (i < dim.lower || i >= static_cast<int64_t>(dim.lower) + dim.count) return false;
      flat = flat * static_cast<size_t>(dim.count) + static_cast<size_t>(i - dim.lower);
    }
    Value element = array.elements[flat];
    v = std::move(element);
    used += dims;
  }
  return true;
}

}  // namespace

int EvalHost::compare_text(std::u16string_view a, std::u16string_view b) const {
  return a < b ? -1 : (b < a ? 1 : 0);
}

std::u16string EvalHost::upper_text(std::u16string_view text) const { return unicode_upper(text); }

double round_result(double value) {
  // Past 2^52 every double is whole; NaN and the infinities stay as they
  // are. Below it, a whole number needs no rounding.
  if (!(std::fabs(value) < 4503599627370496.0)) return value;
  if (is_whole_below_2_63(value)) return value;
  // The decimal digits are exact far past the eleventh place, so rounding
  // the digit string decides halves exactly (0.000244140625 has a true half
  // at its twelfth decimal and goes away from zero).
  char buf[400];
  auto printed = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::fixed, 40);
  if (printed.ec != std::errc()) return value;
  size_t cut = static_cast<size_t>(std::find(buf, printed.ptr, '.') - buf) + 12;
  size_t first = buf[0] == '-' ? 1 : 0;
  if (buf[cut] >= '5') {
    size_t i = cut;
    while (i > first && (buf[i - 1] == '9' || buf[i - 1] == '.')) {
      if (buf[i - 1] == '9') buf[i - 1] = '0';
      --i;
    }
    if (i == first) {
      // All nines: the number grows a digit ("9.99..." becomes "10.00...").
      std::memmove(buf + first + 1, buf + first, cut - first);
      buf[first] = '1';
      ++cut;
    } else {
      ++buf[i - 1];
    }
  }
  const char* end = buf + cut;
  double back = value;
  std::from_chars(buf, end, back);
  return back;
}

double round_through_text(double value) {
  char buf[64];
  auto printed = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (printed.ec != std::errc()) return value;
  double back = value;
  std::from_chars(buf, printed.ptr, back);
  return back;
}

EvalResult evaluate_part(const ExprNode& node, EvalHost& host) {
  static const CompiledExpression k_plain;
  Evaluator evaluator(k_plain, host, false);
  Value v = evaluator.run(node);
  if (evaluator.failed()) return {Value::byte(0), true};
  if (v.is_string() && !v.string_escape_free() && holds_escape_mark(v.as_string()))
    v = Value::string(expand_escapes(v.as_string(), host.options().special_char));
  return {std::move(v), false};
}

bool evaluate_indices(const NameRef& name, EvalHost& host, IndexValues& indices) {
  for (size_t k = 0; k < name.indices.size(); ++k) {
    EvalResult r = evaluate_part(*name.indices[k], host);
    if (r.failed) return false;
    indices[k] = std::move(r.value);
  }
  return true;
}

namespace {

// The final step of an evaluation for a string result: its escapes are
// expanded, or the text is marked as holding none.
void finish_string(Value& v, const EvalOptions& options) {
  if (v.string_escape_free()) return;  // looked at when it was made
  if (holds_escape_mark(v.as_string())) v = Value::string(expand_escapes(v.as_string(), options.special_char));
  else v.mark_string_escape_free();
}

// The last steps of every top-level evaluation: a line change during it or
// a failure makes it fail (the failure reported); a string gets its escapes
// and a double its rounding.
EvalResult finish_result(Value v, bool failed, size_t line, EvalHost& host) {
  if (host.current_line() != line) return {Value::byte(0), true};
  if (failed) {
    host.report_expression_error();
    return {Value::byte(0), true};
  }
  if (v.is_string()) {
    finish_string(v, host.options());
  } else if (v.is(VarType::R8) && !host.options().round_value) {
    v = Value::r8(host.control_word_changed() ? round_through_text(v.as_r8()) : round_result(v.as_r8()));
  }
  return {std::move(v), false};
}

}  // namespace

EvalResult finish_evaluation(Value v, bool failed, size_t line, EvalHost& host) {
  return finish_result(std::move(v), failed, line, host);
}

Value apply_binary(const ExprNode& node, Value left, Value right, EvalHost& host, bool& failed) {
  static const CompiledExpression k_plain;
  Evaluator evaluator(k_plain, host, false);
  Value v = evaluator.binary(node, std::move(left), std::move(right));
  failed = failed || evaluator.failed();
  return v;
}

Value apply_negate(const Value& v, bool& failed) {
  Converted<double> d = to_double(v);
  if (d.ok()) return Value::r8(-*d);
  failed = true;
  return Value::byte(0);
}

EvalResult evaluate_append(const CompiledExpression& expr, EvalHost& host, Value left, AppendTarget& target,
                           bool& stored) {
  stored = false;
  size_t line = host.current_line();
  Evaluator evaluator(expr, host, false);
  Value right = evaluator.run(*expr.root->right);
  bool failed = evaluator.failed();
  Value v;
  Value text;
  Value* held = nullptr;
  if (!failed && host.current_line() == line) {
    held = target.value();
    if (!held || !held->is_string() || !left.is_string() || !held->same_string_buffer(left) ||
        !evaluator.appended_text(left, right, text))
      held = nullptr;
  }
  if (held) {
    bool clean = held->string_escape_free();
    left = Value();  // the variable alone may hold the text now
    right = Value();
    size_t from = held->as_string().size();
    // "s = s + s": the variable's own text is appended to it. The text's
    // second reference goes, so that the buffer may grow where it lies.
    std::u16string_view tail = text.as_string();
    if (held->same_string_buffer(text)) text = Value();
    held->append_string(tail);
    // A text known to be free of escapes can only gain one in the new part
    // or where it meets the old one.
    size_t scan = clean && from > 0 ? from - 1 : 0;
    if (holds_escape_mark(held->as_string(), scan))
      *held = Value::string(expand_escapes(held->as_string(), host.options().special_char));
    else held->mark_string_escape_free();
    stored = true;
    return {Value(), false};
  }
  v = evaluator.sum(std::move(left), std::move(right));
  failed = failed || evaluator.failed();
  return finish_result(std::move(v), failed, line, host);
}

EvalResult evaluate(const CompiledExpression& expr, EvalHost& host, bool condition) {
  if (expr.empty) return {Value(), false};
  size_t line = host.current_line();
  bool failed = !expr.ok;
  Value v;
  if (!failed) {
    Evaluator evaluator(expr, host, condition);
    v = evaluator.run(*expr.root);
    failed = evaluator.failed();
    if (!failed && !expr.trailing_indices.empty()) {
      std::vector<Value> indices;
      for (const ExprPtr& index : expr.trailing_indices) {
        Evaluator nested(expr, host, false);
        indices.push_back(nested.run(*index));
        failed = failed || nested.failed();
      }
      // In the pre-check every call yields 1: its indices are checked, not applied.
      if (!host.pre_check()) failed = failed || !index_result(v, indices);
    }
  }
  return finish_result(std::move(v), failed, line, host);
}

}  // namespace vesk
