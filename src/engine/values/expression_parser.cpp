// Tokenizer, number reader and parser of compiled expressions.
//
// Grammar, lowest precedence first; every binary level is left-associative:
//   or_expr   -> and_expr { (OR | XOR) and_expr }
//   and_expr  -> compare { AND compare }
//   compare   -> additive { (= | <> | < | > | <= | >=) additive }
//   additive  -> term { (+ | -) term }
//   term      -> unary { (* | / | MOD) unary }
//   unary     -> ! unary | primary
//   primary   -> call | ( or_expr ) | signed
//   signed    -> - primary | + primary | number | string | name
//
// Parsing and evaluating recurse along the tree, so its height is bounded:
// at most k_max_nesting parentheses, "!" (NOT), signs and index brackets
// inside one another (the arguments of nested calls count too), and at most
// k_max_operators binary operators in one expression. Beyond either the expression does not compile, like any
// other malformed one.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/values/expression.h"
#include "engine/values/fast_expression.h"
#include "engine/values/join_plan.h"
#include "support/text.h"
#include "support/text_search.h"
#include "support/utf.h"

namespace vesk {
namespace {

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool is_hex_letter(char16_t c) { return (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }
bool is_number_char(char16_t c) { return is_digit(c) || is_hex_letter(c) || c == u'$'; }

constexpr std::u16string_view k_word_delimiters = u"() ,+-*/=<>!";

constexpr int k_max_nesting = 128;
constexpr int k_max_operators = 1000;

// How deep the expressions being compiled on this thread nest: index
// expressions compile as expressions of their own, inside the outer one.
thread_local int t_nesting = 0;

// One level of nesting for as long as it lives; too_deep() once the bound
// is passed.
class Nesting {
 public:
  Nesting() { ++t_nesting; }
  ~Nesting() { --t_nesting; }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;
  bool too_deep() const { return t_nesting > k_max_nesting; }
};

// The end of a balanced bracket group starting at [open] ("[" or "("),
// quotes respected; npos when it is not closed.
size_t matching_close(std::u16string_view text, size_t open) {
  int depth = 0;
  bool quoted = false;
  for (size_t i = open; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'(' || c == u'[') ++depth;
    if (c == u')' || c == u']') {
      if (--depth == 0) return i;
    }
  }
  return std::u16string_view::npos;
}

// A word runs to the first delimiter; a bracketed index inside it is part
// of the word (NAME[I + 1]).
size_t word_end(std::u16string_view text, size_t at) {
  size_t i = at;
  while (i < text.size()) {
    if (text[i] == u'[') {
      size_t close = matching_close(text, i);
      if (close == std::u16string_view::npos) return text.size();
      i = close + 1;
      continue;
    }
    if (k_word_delimiters.find(text[i]) != std::u16string_view::npos) break;
    ++i;
  }
  return i;
}

size_t number_end(std::u16string_view text, size_t at) {
  size_t i = at;
  while (i < text.size()) {
    char16_t c = text[i];
    char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
    if (is_number_char(c)) {
      ++i;
    } else if (c == u'.' && is_digit(next)) {
      ++i;
    } else if (c == u'.' && i > at && is_digit(text[i - 1])) {
      ++i;
    } else if ((c == u'+' || c == u'-') && i >= at + 2 && (text[i - 1] == u'E' || text[i - 1] == u'e') &&
               (is_digit(text[i - 2]) || text[i - 2] == u'.')) {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

TokenKind operator_word(std::u16string_view word) {
  if (word == u"AND") return TokenKind::And;
  if (word == u"OR") return TokenKind::Or;
  if (word == u"XOR") return TokenKind::Xor;
  if (word == u"MOD") return TokenKind::Mod;
  return TokenKind::End;
}

// Reads the delimiter at [i] as an operator token.
Token delimiter_token(std::u16string_view text, size_t& i) {
  char16_t c = text[i++];
  char16_t next = i < text.size() ? text[i] : 0;
  switch (c) {
    case u'+': return {TokenKind::Plus, u"+"};
    case u'-': return {TokenKind::Minus, u"-"};
    case u'*': return {TokenKind::Star, u"*"};
    case u'/': return {TokenKind::Slash, u"/"};
    case u'!': return {TokenKind::Not, u"!"};
    case u'=': return {TokenKind::Equal, u"="};
    case u',': return {TokenKind::Comma, u","};
    case u'>':
      if (next == u'=') return ++i, Token{TokenKind::GreaterEqual, u">="};
      return {TokenKind::Greater, u">"};
    default:  // '<'
      if (next == u'=') return ++i, Token{TokenKind::LessEqual, u"<="};
      if (next == u'>') return ++i, Token{TokenKind::NotEqual, u"<>"};
      return {TokenKind::Less, u"<"};
  }
}

}  // namespace

// A word is dotted by a "." of its own, not by one in an index: A[X - 0.5]
// and H["a.b"] are names, OBJ.ITEM[1] and A[1].B member accesses.
static bool dot_outside_brackets(std::u16string_view word) {
  int depth = 0;
  bool quoted = false;
  for (char16_t c : word) {
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'[') ++depth;
    else if (c == u']' && depth > 0) --depth;
    else if (c == u'.' && depth == 0) return true;
  }
  return false;
}

bool tokenize(std::u16string_view text, std::vector<Token>& tokens) {
  size_t i = 0;
  while (true) {
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i >= text.size()) return true;
    char16_t c = text[i];
    if (c == u'"') {
      // A doubled quote inside the literal stands for one quote.
      std::u16string literal;
      size_t j = i + 1;
      while (true) {
        size_t close = text.find(u'"', j);
        if (close == std::u16string_view::npos) return false;
        literal.append(text.substr(j, close - j));
        if (close + 1 < text.size() && text[close + 1] == u'"') {
          literal.push_back(u'"');
          j = close + 2;
          continue;
        }
        i = close + 1;
        break;
      }
      tokens.push_back({TokenKind::String, std::move(literal)});
    } else if (c == u'(' || c == u')') {
      tokens.push_back({TokenKind::Paren, std::u16string(1, c)});
      ++i;
    } else if (c == u'[') {
      size_t close = matching_close(text, i);
      size_t end = close == std::u16string_view::npos ? text.size() : close + 1;
      tokens.push_back({TokenKind::Bracket, std::u16string(text.substr(i, end - i))});
      i = end;
    } else if (is_digit(c) || c == u'$') {
      size_t end = number_end(text, i);
      tokens.push_back({TokenKind::Number, std::u16string(text.substr(i, end - i))});
      i = end;
    } else {
      size_t end = word_end(text, i);
      if (end == i) {
        tokens.push_back(delimiter_token(text, i));
        continue;
      }
      std::u16string word(text.substr(i, end - i));
      i = end;
      if (TokenKind op = operator_word(word); op != TokenKind::End) {
        tokens.push_back({op, std::move(word)});
        continue;
      }
      size_t look = i;
      while (look < text.size() && text[look] == u' ') ++look;
      if (look < text.size() && text[look] == u'(') {
        size_t close = matching_close(text, look);
        size_t stop = close == std::u16string_view::npos ? text.size() : close + 1;
        tokens.push_back({TokenKind::Call, word + std::u16string(text.substr(look, stop - look))});
        i = stop;
        continue;
      }
      tokens.push_back({dot_outside_brackets(word) ? TokenKind::Member : TokenKind::Name, std::move(word)});
    }
  }
}

double read_number(std::u16string_view text) {
  if (text.size() > 64) return k_unreadable_number;
  if (text.size() > 32 && text.substr(0, 32).find(u'.') == std::u16string_view::npos) return k_unreadable_number;
  if (text.empty()) return k_unreadable_number;
  if (text[0] == u'$') {
    if (text.size() == 1 || text.size() > 17) return k_unreadable_number;
    uint64_t v = 0;
    for (char16_t c : text.substr(1)) {
      int digit = is_digit(c) ? c - u'0' : (c >= u'A' && c <= u'F') ? c - u'A' + 10 : (c >= u'a' && c <= u'f') ? c - u'a' + 10 : -1;
      if (digit < 0) return k_unreadable_number;
      v = (v << 4) | static_cast<uint64_t>(digit);
    }
    return static_cast<double>(static_cast<int64_t>(v));
  }
  std::string ascii;
  for (char16_t c : text) {
    if (!(is_digit(c) || c == u'.' || c == u'E' || c == u'e' || c == u'+' || c == u'-')) return k_unreadable_number;
    ascii.push_back(static_cast<char>(c));
  }
  char* end = nullptr;
  double v = std::strtod(ascii.c_str(), &end);
  if (end != ascii.c_str() + ascii.size() || !std::isfinite(v)) return k_unreadable_number;
  return v;
}

std::vector<std::u16string> split_arguments(std::u16string_view text) {
  std::vector<std::u16string> parts;
  if (trim_blanks(text).empty()) return parts;
  int depth = 0;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    char16_t c = i < text.size() ? text[i] : u',';
    if (c == u'"') quoted = !quoted;
    if (quoted && i < text.size()) continue;
    if (c == u'(' || c == u'[') ++depth;
    if (c == u')' || c == u']') --depth;
    if (c == u',' && (depth <= 0 || i == text.size())) {
      parts.emplace_back(trim_blanks(text.substr(start, i - start)));
      start = i + 1;
    }
  }
  return parts;
}

namespace {

// Builds the tree from a token list; records the first failure and stops.
class Parser {
 public:
  Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

  ExprPtr parse_expression() { return or_expr(); }
  bool at_end() const { return m_pos >= m_tokens.size(); }
  bool failed() const { return m_failed; }
  const Token& peek() const { return m_pos < m_tokens.size() ? m_tokens[m_pos] : m_end; }
  Token take() { return m_pos < m_tokens.size() ? m_tokens[m_pos++] : m_end; }

 private:
  bool next_is(TokenKind a, TokenKind b = TokenKind::End, TokenKind c = TokenKind::End) const {
    TokenKind k = peek().kind;
    return !at_end() && (k == a || k == b || k == c);
  }
  bool next_is_comparison() const {
    TokenKind k = peek().kind;
    return !at_end() && k >= TokenKind::Greater && k <= TokenKind::NotEqual;
  }
  bool next_is_paren(char16_t c) const { return next_is(TokenKind::Paren) && peek().text[0] == c; }

  ExprPtr binary(TokenKind op, ExprPtr left, ExprPtr right) {
    auto node = std::make_unique<ExprNode>();
    node->op = ExprOp::Binary;
    node->binary = op;
    node->depth = m_depth;
    node->left = std::move(left);
    node->right = std::move(right);
    return node;
  }

  template <class Next, class Test>
  ExprPtr level(Next next, Test test) {
    ExprPtr left = (this->*next)();
    while (!m_failed && test()) {
      if (++m_operators > k_max_operators) {
        fail();
        break;
      }
      TokenKind op = take().kind;
      ExprPtr right = (this->*next)();
      left = binary(op, std::move(left), std::move(right));
    }
    return left;
  }

  ExprPtr or_expr() {
    return level(&Parser::and_expr, [this] { return next_is(TokenKind::Or, TokenKind::Xor); });
  }
  ExprPtr and_expr() {
    return level(&Parser::compare, [this] { return next_is(TokenKind::And); });
  }
  ExprPtr compare() {
    return level(&Parser::additive, [this] { return next_is_comparison(); });
  }
  ExprPtr additive() {
    return level(&Parser::term, [this] { return next_is(TokenKind::Plus, TokenKind::Minus); });
  }
  ExprPtr term() {
    return level(&Parser::unary, [this] { return next_is(TokenKind::Star, TokenKind::Slash, TokenKind::Mod); });
  }

  ExprPtr unary() {
    if (next_is(TokenKind::Not)) {
      take();
      Nesting nesting;
      if (nesting.too_deep()) {
        fail();
        return nullptr;
      }
      auto node = std::make_unique<ExprNode>();
      node->op = ExprOp::Not;
      node->left = unary();
      return node;
    }
    return primary();
  }

  ExprPtr primary() {
    if (next_is(TokenKind::Call)) return call_node(take());
    if (next_is_paren(u'(')) {
      take();
      Nesting nesting;
      if (nesting.too_deep()) {
        fail();
        return nullptr;
      }
      ++m_depth;
      auto node = std::make_unique<ExprNode>();
      node->op = ExprOp::Paren;
      node->left = or_expr();
      --m_depth;
      if (!m_failed && !next_is_paren(u')')) fail();
      if (!m_failed) take();
      return node;
    }
    return signed_operand();
  }

  ExprPtr signed_operand() {
    if (next_is(TokenKind::Minus)) {
      take();
      Nesting nesting;
      if (nesting.too_deep()) {
        fail();
        return nullptr;
      }
      auto node = std::make_unique<ExprNode>();
      node->op = ExprOp::Negate;
      node->left = primary();
      return node;
    }
    if (next_is(TokenKind::Plus)) {
      take();
      Nesting nesting;
      if (nesting.too_deep()) {
        fail();
        return nullptr;
      }
      return primary();
    }
    if (next_is(TokenKind::Number)) return literal(Value::r8(read_number(take().text)), false);
    if (next_is(TokenKind::String)) {
      Value text = Value::string(take().text);
      // Looked at once here, so that no evaluation scans it for escapes.
      if (!holds_escape_mark(text.as_string())) text.mark_string_escape_free();
      return literal(std::move(text), true);
    }
    if (next_is(TokenKind::Name, TokenKind::Member)) return name_node(take());
    fail();
    return nullptr;
  }

  ExprPtr literal(Value v, bool is_string) {
    auto node = std::make_unique<ExprNode>();
    node->op = ExprOp::Literal;
    node->literal = std::move(v);
    node->string_literal = is_string;
    return node;
  }

  ExprPtr call_node(const Token& token);
  ExprPtr name_node(const Token& token);

  void fail() { m_failed = true; }

  std::vector<Token> m_tokens;
  Token m_end;
  size_t m_pos = 0;
  uint16_t m_depth = 0;
  int m_operators = 0;
  bool m_failed = false;
};

// The deepest nesting of parentheses and brackets in [text], quotes
// respected.
int bracket_depth(std::u16string_view text) {
  int depth = 0, deepest = 0;
  bool quoted = false;
  for (char16_t c : text) {
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'(' || c == u'[') deepest = std::max(deepest, ++depth);
    if (c == u')' || c == u']') --depth;
  }
  return deepest;
}

// Index expressions of "[a][b, c]" texts; false when malformed.
bool compile_indices(std::u16string_view text, std::vector<ExprPtr>& out) {
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'[') return false;
    size_t close = matching_close(text, i);
    if (close == std::u16string_view::npos) return false;
    for (const std::u16string& part : split_arguments(text.substr(i + 1, close - i - 1))) {
      std::unique_ptr<CompiledExpression> index = compile_expression(part);
      if (!index->ok || index->empty || !index->trailing_indices.empty()) return false;
      out.push_back(ExprPtr(index->root.release()));
    }
    i = close + 1;
  }
  return true;
}

ExprPtr Parser::call_node(const Token& token) {
  auto site = std::make_unique<CallSite>();
  site->text = token.text;
  size_t open = token.text.find(u'(');
  site->name = std::u16string(trim_blanks(std::u16string_view(token.text).substr(0, open)));
  size_t close = matching_close(token.text, open);
  if (close == std::u16string::npos) {
    fail();
    return nullptr;
  }
  std::u16string_view inside = std::u16string_view(token.text).substr(open + 1, close - open - 1);
  // The arguments compile when the call runs, each inside this one: their
  // nesting is bounded here, before any of it is built.
  if (t_nesting + bracket_depth(inside) >= k_max_nesting) {
    fail();
    return nullptr;
  }
  site->arguments = split_arguments(inside);
  auto node = std::make_unique<ExprNode>();
  node->op = ExprOp::Call;
  node->call = std::move(site);
  return node;
}

ExprPtr Parser::name_node(const Token& token) {
  auto ref = std::make_unique<NameRef>();
  ref->text = token.text;
  size_t bracket = token.text.find(u'[');
  ref->name = token.text.substr(0, bracket);
  ref->key = NameKey::of(ref->name);
  ref->dotted = token.kind == TokenKind::Member;
  if (bracket != std::u16string::npos &&
      !compile_indices(std::u16string_view(token.text).substr(bracket), ref->indices)) {
    fail();
    return nullptr;
  }
  auto node = std::make_unique<ExprNode>();
  node->op = ExprOp::Name;
  node->name = std::move(ref);
  return node;
}

bool holds_or(std::u16string_view text) {
  for (std::u16string_view pattern : {u" OR ", u")OR(", u" OR(", u")OR "})
    if (text.find(pattern) != std::u16string_view::npos) return true;
  return false;
}

}  // namespace

std::unique_ptr<CompiledExpression> compile_expression(std::u16string_view text) {
  auto out = std::make_unique<CompiledExpression>();
  out->text = std::u16string(text);
  out->has_or = holds_or(text);
  Nesting nesting;
  if (nesting.too_deep()) {
    out->ok = false;
    return out;
  }
  std::vector<Token> tokens;
  bool closed = tokenize(text, tokens);
  if (tokens.empty()) {
    out->empty = closed;
    out->ok = closed;
    return out;
  }
  out->single_token = closed && tokens.size() == 1;
  Parser parser(std::move(tokens));
  out->root = parser.parse_expression();
  if (parser.failed()) {
    out->ok = false;
    return out;
  }
  // Up to three indices may stand behind the whole expression.
  std::u16string trailing;
  for (int n = 0; n < 3 && !parser.at_end() && parser.peek().kind == TokenKind::Bracket; ++n)
    trailing += parser.take().text;
  if (!trailing.empty() && !compile_indices(trailing, out->trailing_indices)) out->ok = false;
  if (!parser.at_end() || !closed) out->ok = false;
  out->fast.reset(make_fast_plan(*out).release());
  if (out->ok) {
    attach_join_plans(const_cast<ExprNode&>(*out->root));
    for (const ExprPtr& index : out->trailing_indices) attach_join_plans(const_cast<ExprNode&>(*index));
  }
  out->plain_name = out->ok && out->root->op == ExprOp::Name && !out->root->name->dotted &&
                    out->root->name->indices.empty() && out->trailing_indices.empty();
  return out;
}

const CompiledExpression& CallSite::compile_arguments(size_t i) const {
  std::call_once(m_compiled_once, [this] {
    for (const std::u16string& arg : arguments) m_compiled.push_back(compile_expression(arg));
    m_compiled_ready.store(true, std::memory_order_release);
  });
  return *m_compiled[i];
}

}  // namespace vesk
