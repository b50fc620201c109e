// The arithmetic calculator: tokens, the operator levels and the functions.
#include "builtins/calculator/calculator.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <system_error>

namespace vesk {
namespace {

constexpr int k_max_arguments = 16;

// Parentheses and argument lists nest the parser's recursion; a formula
// deeper than this is refused so that no text can exhaust the stack.
constexpr int k_max_depth = 128;

// The calculator's internal error texts.
constexpr std::string_view k_formula_wrong = "計算式に矛盾あり";
constexpr std::string_view k_parentheses_wrong = "()の括りに矛盾あり";
constexpr std::string_view k_argument_list_wrong = "kukonidat関数内に矛盾あり";
constexpr std::string_view k_argument_count_wrong = "引数エラー";  // after the function name
constexpr std::string_view k_nesting_too_deep = "計算式の入れ子が深すぎる";
constexpr std::string_view k_division_by_zero = "Division by zero";
constexpr std::string_view k_invalid_operation = "Invalid floating point operation";
constexpr std::string_view k_overflow = "Floating point overflow";

// A replacement for characters outside ASCII: a single-character token that
// no rule accepts, so the formula it stands in cannot be computed.
constexpr char k_foreign_character = '?';

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_word_character(char c) { return is_digit(c) || c == '$' || (c >= 'A' && c <= 'Z'); }
constexpr bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
constexpr bool is_sign(char c) { return c == '+' || c == '-'; }
constexpr char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// True when a token that has reached [current] takes in [next] as well;
// [previous] is the character before [current] in the text.
constexpr bool grows(char previous, char current, char next) {
  if (is_digit(previous) && current == 'E' && is_sign(next)) return true;
  if (previous == 'E' && is_sign(current) && is_digit(next)) return true;
  if (is_word_character(current) && is_word_character(next)) return true;
  if ((is_digit(current) && next == '.') || (current == '.' && is_digit(next))) return true;
  return ((current == '>' || current == '<') && next == '=') || (current == '<' && next == '>');
}

constexpr bool starts_number(std::string_view token) {
  return !token.empty() && (token[0] == '$' || token[0] == '.' || is_digit(token[0]));
}

std::optional<double> read_hexadecimal(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    int digit = is_digit(c) ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (digit < 0 || (value >> 60) != 0) return std::nullopt;
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  return static_cast<double>(static_cast<int64_t>(value));
}

std::optional<double> read_decimal(std::string_view text) {
  for (char c : text)
    if (!(is_digit(c) || c == '.' || c == 'E' || is_sign(c))) return std::nullopt;
  if (is_sign(text[0])) return std::nullopt;
  double value = 0;
  auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (status == std::errc::result_out_of_range) {
    // A negative exponent can only underflow, and that reads as 0.
    if (text.find("E-") != std::string_view::npos) return 0.0;
    return std::nullopt;
  }
  if (status != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Reads a number token: "$" and hexadecimal digits as a 64-bit integer,
// anything else as a decimal floating-point number. Nothing for text over
// the length limits or text that is no number.
std::optional<double> read_number(std::string_view text) {
  if (text.empty() || text.size() > 64) return std::nullopt;
  if (text.size() > 32 && text.substr(0, 32).find('.') == std::string_view::npos) return std::nullopt;
  if (text[0] == '$') return read_hexadecimal(text.substr(1));
  return read_decimal(text);
}

// The nearest whole number, halves to the even neighbour, whatever the
// processor's rounding mode.
double round_half_even(double x) {
  double below = std::floor(x);
  double fraction = x - below;
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1;
  return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

// [x] as a 64-bit integer when it lies in that range.
std::optional<int64_t> whole_number(double x) {
  if (!(x >= -0x1p63 && x < 0x1p63)) return std::nullopt;
  return static_cast<int64_t>(x);
}

std::optional<int64_t> truncated(double x) { return whole_number(std::trunc(x)); }
std::optional<int64_t> rounded(double x) { return whole_number(round_half_even(x)); }

// Argument slots of a function call; the slot after the last argument holds
// k_calculation_failed.
using Arguments = std::array<double, k_max_arguments + 1>;

struct Function {
  std::string_view name;
  int arity;
  double (*apply)(const Arguments& a);
};

constexpr Function k_functions[] = {
    {"IIF", 3, [](const Arguments& a) { return a[0] != 0 ? a[1] : a[2]; }},
    {"ABS", 1, [](const Arguments& a) { return std::fabs(a[0]); }},
    {"ZCUT", 1, [](const Arguments& a) { return a[0] < 0 ? 0.0 : a[0]; }},
    {"INT", 1, [](const Arguments& a) { return std::trunc(a[0]); }},
    {"ROUND", 1, [](const Arguments& a) { return round_half_even(a[0]); }},
    {"SQRT", 1, [](const Arguments& a) { return std::sqrt(a[0]); }},
    {"POWER", 2, [](const Arguments& a) { return std::pow(a[0], a[1]); }},
    {"SIN", 1, [](const Arguments& a) { return std::sin(a[0]); }},
    {"COS", 1, [](const Arguments& a) { return std::cos(a[0]); }},
    {"TAN", 1, [](const Arguments& a) { return std::tan(a[0]); }},
    {"EXP", 1, [](const Arguments& a) { return std::exp(a[0]); }},
    {"LN", 1, [](const Arguments& a) { return std::log(a[0]); }},
    // log2 over log2 keeps powers of two exact: LOGN(2, 8) is 3.
    {"LOGN", 2, [](const Arguments& a) { return std::log2(a[1]) / std::log2(a[0]); }},
};

const Function* find_function(std::string_view name) {
  for (const Function& f : k_functions)
    if (f.name == name) return &f;
  return nullptr;
}

enum class Op { Or, And, Greater, Less, Equal, GreaterEqual, LessEqual, NotEqual, Add, Subtract, Multiply, Divide, Mod };

// The binary operators by level, lowest precedence first; every level is
// left-associative. Level 6 is the prefix "!", level 7 the operands.
struct Operator {
  std::string_view token;
  int level;
  Op op;
};

constexpr int k_lowest_level = 1;
constexpr int k_prefix_level = 6;

constexpr Operator k_operators[] = {
    {"|", 1, Op::Or},         {"OR", 1, Op::Or},
    {"&", 2, Op::And},        {"AND", 2, Op::And},
    {">", 3, Op::Greater},    {"<", 3, Op::Less},        {"=", 3, Op::Equal},
    {">=", 3, Op::GreaterEqual}, {"<=", 3, Op::LessEqual}, {"<>", 3, Op::NotEqual},
    {"+", 4, Op::Add},        {"-", 4, Op::Subtract},
    {"*", 5, Op::Multiply},   {"/", 5, Op::Divide},      {"MOD", 5, Op::Mod},
};

const Operator* find_operator(std::string_view token, int level) {
  for (const Operator& o : k_operators)
    if (o.level == level && o.token == token) return &o;
  return nullptr;
}

// One computation: the upper-cased text, the scan position, the current
// token (empty at the end of the text) and the first error.
class Calculator {
 public:
  explicit Calculator(std::string_view formula);

  Calculation run();

 private:
  void advance();
  double fail(std::string_view error);
  double checked(double value);

  double formula();
  double level(int n);
  double negation();
  double operand();
  double parenthesised();
  double signed_number();
  double function_call();
  bool argument_list(Arguments& arguments);

  double apply(Op op, double a, double b);
  double remainder(double a, double b);

  std::string m_text;
  size_t m_pos = 0;
  std::string_view m_token;
  int m_depth = 0;
  bool m_failed = false;
  std::string m_error;
};

Calculator::Calculator(std::string_view formula) {
  size_t first = 0;
  size_t last = formula.size();
  while (first < last && is_space(formula[first])) ++first;
  while (last > first && is_space(formula[last - 1])) --last;
  m_text.reserve(last - first);
  for (char c : formula.substr(first, last - first)) m_text.push_back(ascii_upper(c));
}

Calculation Calculator::run() {
  if (m_text.empty()) return {0, {}};
  advance();
  double value = formula();
  if (!m_failed && !m_token.empty()) fail(k_formula_wrong);
  if (m_failed) return {k_calculation_failed, m_error};
  return {value, {}};
}

// Skips blanks, then takes characters while the token grows.
void Calculator::advance() {
  while (m_pos < m_text.size() && is_space(m_text[m_pos])) ++m_pos;
  size_t start = m_pos;
  if (m_pos < m_text.size()) {
    while (m_pos + 1 < m_text.size() &&
           grows(m_pos > 0 ? m_text[m_pos - 1] : '\0', m_text[m_pos], m_text[m_pos + 1]))
      ++m_pos;
    ++m_pos;
  }
  m_token = std::string_view(m_text).substr(start, m_pos - start);
}

// Records the first error; the flag then stops every level of the parse.
double Calculator::fail(std::string_view error) {
  if (!m_failed) {
    m_failed = true;
    m_error = error;
  }
  return 0;
}

double Calculator::checked(double value) {
  if (std::isnan(value)) return fail(k_invalid_operation);
  if (std::isinf(value)) return fail(k_overflow);
  return value;
}

// formula -> level 1
double Calculator::formula() {
  if (m_depth >= k_max_depth) return fail(k_nesting_too_deep);
  ++m_depth;
  double value = level(k_lowest_level);
  --m_depth;
  return value;
}

// level(n) -> level(n + 1) { operator-of-level-n level(n + 1) }
double Calculator::level(int n) {
  if (n == k_prefix_level) return negation();
  double left = level(n + 1);
  while (!m_failed) {
    const Operator* o = find_operator(m_token, n);
    if (!o) break;
    advance();
    double right = level(n + 1);
    if (m_failed) break;
    left = apply(o->op, left, right);
  }
  return left;
}

// negation -> { "!" } operand
double Calculator::negation() {
  size_t count = 0;
  for (; m_token == "!"; advance()) ++count;
  double value = operand();
  if (count == 0) return value;
  // The first "!" gives 0 or 1; each further one swaps them.
  bool holds = (value == 0) == (count % 2 == 1);
  return holds ? 1.0 : 0.0;
}

// operand -> "(" formula ")" | [ sign ] number | name arguments
double Calculator::operand() {
  if (m_failed) return 0;
  std::string_view token = m_token;
  if (token == "(") return parenthesised();
  if (!token.empty() && is_sign(token[0])) return signed_number();
  if (starts_number(token)) {
    advance();
    return read_number(token).value_or(k_calculation_failed);
  }
  return function_call();
}

double Calculator::parenthesised() {
  advance();
  double value = formula();
  if (m_failed) return 0;
  if (m_token != ")") return fail(k_parentheses_wrong);
  advance();
  return value;
}

// The sign is a token of its own, except after an "E" that ends a token,
// where it takes the digits that follow it.
double Calculator::signed_number() {
  bool negative = m_token[0] == '-';
  std::string_view digits = m_token.substr(1);
  advance();
  if (digits.empty()) {
    if (!starts_number(m_token)) return fail(k_formula_wrong);
    digits = m_token;
    advance();
  }
  std::optional<double> value = read_number(digits);
  if (!value) return fail(k_formula_wrong);
  return negative ? -*value : *value;
}

// A function counts its arguments up to the first slot that holds
// k_calculation_failed, so an argument with that value ends the list.
double Calculator::function_call() {
  std::string_view name = m_token;
  advance();
  Arguments arguments{};
  if (!argument_list(arguments)) return fail(k_argument_list_wrong);
  const Function* f = find_function(name);
  if (!f) return fail(k_formula_wrong);
  int given = 0;
  while (arguments[given] != k_calculation_failed) ++given;
  if (given != f->arity) return fail(std::string(name) + std::string(k_argument_count_wrong));
  return checked(f->apply(arguments));
}

// arguments -> "(" formula { "," formula } ")"
bool Calculator::argument_list(Arguments& arguments) {
  if (m_token != "(") return false;
  advance();
  int count = 0;
  for (;;) {
    if (count == k_max_arguments) return false;
    arguments[count++] = formula();
    if (m_failed) return false;
    if (m_token == ")") break;
    if (m_token != ",") return false;
    advance();
  }
  advance();
  arguments[count] = k_calculation_failed;
  return true;
}

double Calculator::apply(Op op, double a, double b) {
  switch (op) {
    case Op::Or:
    case Op::And: {
      std::optional<int64_t> x = truncated(a), y = truncated(b);
      if (!x || !y) return fail(k_invalid_operation);
      return static_cast<double>(op == Op::Or ? (*x | *y) : (*x & *y));
    }
    case Op::Greater: return a > b ? 1.0 : 0.0;
    case Op::Less: return a < b ? 1.0 : 0.0;
    case Op::Equal: return a == b ? 1.0 : 0.0;
    case Op::GreaterEqual: return a >= b ? 1.0 : 0.0;
    case Op::LessEqual: return a <= b ? 1.0 : 0.0;
    case Op::NotEqual: return a != b ? 1.0 : 0.0;
    case Op::Add: return checked(a + b);
    case Op::Subtract: return checked(a - b);
    case Op::Multiply: return checked(a * b);
    case Op::Divide: return b == 0 ? 0.0 : checked(a / b);
    case Op::Mod: return remainder(a, b);
  }
  return fail(k_formula_wrong);
}

// MOD rounds both sides to whole numbers; the remainder takes the sign of
// the dividend.
double Calculator::remainder(double a, double b) {
  std::optional<int64_t> x = rounded(a), y = rounded(b);
  if (!x || !y) return fail(k_invalid_operation);
  if (*y == 0) return fail(k_division_by_zero);
  if (*y == -1) return 0;  // the one quotient that does not fit in 64 bits
  return static_cast<double>(*x % *y);
}

}  // namespace

Calculation calculate_with_error(std::string_view formula) { return Calculator(formula).run(); }

double calculate(std::string_view formula) { return calculate_with_error(formula).value; }

double calculate(std::u16string_view formula) {
  std::string narrow;
  narrow.reserve(formula.size());
  for (char16_t c : formula) narrow.push_back(c < 0x80 ? static_cast<char>(c) : k_foreign_character);
  return calculate(narrow);
}

}  // namespace vesk
