// Compiled expressions.
//
// An expression text is tokenised and parsed once into a small tree of
// `ExprNode`s; the tree is immutable afterwards and shared by every later
// evaluation of the same statement, on any script thread. Evaluation walks
// the tree left to right, so operands are fetched (variables read, functions
// called) in exactly the order a parse-while-evaluating reader would meet
// them. Names whose meaning depends on the run (WITH subjects, THIS.,
// GLOBAL., COM members) stay as text in their node and are resolved by the
// evaluation host each time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/name_key.h"
#include "engine/values/value.h"

namespace vesk {

// Token kinds and their codes.
enum class TokenKind : uint8_t {
  String = 1,
  Paren = 2,
  Number = 3,
  Call = 4,
  Name = 5,
  Member = 6,
  Plus = 10,
  Minus = 11,
  Star = 12,
  Slash = 13,
  Not = 14,
  Greater = 20,
  Less = 21,
  Equal = 22,
  GreaterEqual = 23,
  LessEqual = 24,
  NotEqual = 25,
  And = 30,
  Or = 31,
  Xor = 32,
  Mod = 33,
  Comma = 40,   // a delimiter that no rule takes: always an error
  Bracket = 41, // "[...]" left over behind an operand
  End = 99,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::u16string text;
};

// Splits [text] into tokens. Answers false when a string literal has no
// closing quote (the tokens read so far are kept).
bool tokenize(std::u16string_view text, std::vector<Token>& tokens);

// The sentinel of the number reader for text it cannot read.
inline constexpr double k_unreadable_number = -2100000000;

// Reads a number literal: "$" and hexadecimal digits as a 64-bit integer,
// anything else as a decimal floating-point number; k_unreadable_number for
// text over the length limits or text that is no number.
double read_number(std::u16string_view text);

struct ExprNode;
using ExprPtr = std::unique_ptr<const ExprNode>;

// A function call: the name and each argument's source text (split at ","
// outside quotes, brackets and parentheses, trimmed). The call path decides
// how each argument is taken; compiled forms of the arguments are made on
// first use and kept.
struct CallSite {
  std::u16string name;
  std::u16string text;  // the whole call as written, "COPY(S, 2)"
  std::vector<std::u16string> arguments;

  // The compiled argument [i]; made on first use, thread-safe. After the
  // first use the flag alone is read: call_once costs more than the rest
  // of a short argument's evaluation.
  const struct CompiledExpression& argument(size_t i) const {
    if (m_compiled_ready.load(std::memory_order_acquire)) return *m_compiled[i];
    return compile_arguments(i);
  }

  // The user function that [name] calls from outside any module, once the
  // call path has looked it up: -2 not yet, -1 none (a built-in or worse).
  mutable std::atomic<int32_t> function_outside_modules{-2};
  // The built-in that [name] names, once the built-in library has looked
  // it up (a fact of the name alone): -2 not yet, -1 none.
  mutable std::atomic<int32_t> builtin{-2};

 private:
  const struct CompiledExpression& compile_arguments(size_t i) const;
  mutable std::once_flag m_compiled_once;
  mutable std::atomic<bool> m_compiled_ready{false};  // m_compiled is complete
  mutable std::vector<std::unique_ptr<struct CompiledExpression>> m_compiled;
};

// A variable, constant or special name, possibly with indices:
// NAME, NAME[i], NAME[i][j], NAME[i, j], MODULE.NAME[i].
struct NameRef {
  std::u16string text;  // as written, with its brackets
  std::u16string name;  // without the brackets
  NameKey key;          // of [name]
  std::vector<ExprPtr> indices;
  bool dotted = false;  // holds a "." (a module name or a member access)
  // The frame slot where [name] was last found: a guess, checked against
  // the slot's name before use, so any frame and thread may share it.
  mutable std::atomic<int32_t> slot_hint{-1};
  // The same for frames laid out by a plain call (THensuFmt::layout): the
  // layout above the low k_layout_slot_bits bits, the slot in them. Such a
  // slot needs no check of its name; k_not_in_layout there says the name is
  // a local of the body, behind the layout's slots, found by its hint. All
  // ones (no layout) at first. One 32-bit word, so that the two parts are
  // read together, also on 32-bit x86.
  static constexpr int k_layout_slot_bits = 12;
  static constexpr uint32_t k_not_in_layout = (1u << k_layout_slot_bits) - 1;
  mutable std::atomic<uint32_t> fixed_slot{~uint32_t{0}};
  // The slot of the frame's hash tables where [name] was last found, a
  // guess like [slot_hint]; and the version of the global variables'
  // names (NameIndex::version) at which none of them was [name], 0 before.
  mutable std::atomic<int32_t> hash_hint{-1};
  mutable std::atomic<uint32_t> global_miss{0};
};

enum class ExprOp : uint8_t {
  Literal,   // string literal or number: [literal]
  Name,      // [name]; a dotted one may turn out a COM member access
  Call,      // [call]
  Negate,    // [left]
  Not,       // [left]
  Binary,    // [left] [op] [right]
  Paren,     // [left]; marks a parenthesised sub-expression
};

struct JoinPlan;
struct JoinPlanDeleter {
  void operator()(const JoinPlan* plan) const;
};

struct ExprNode {
  ExprOp op = ExprOp::Literal;
  TokenKind binary = TokenKind::End;  // operator of a Binary node
  uint16_t depth = 0;                 // parenthesis depth where it stands
  Value literal;
  bool string_literal = false;
  std::unique_ptr<NameRef> name;
  std::unique_ptr<CallSite> call;
  ExprPtr left, right;
  // The join plan (join_plan.h) of a sum that has one.
  std::unique_ptr<const JoinPlan, JoinPlanDeleter> join;
};

struct FastPlan;
struct FastPlanDeleter {
  void operator()(const FastPlan* plan) const;
};

// An expression compiled once. [ok] is false when the text could not be
// parsed (an unterminated literal, a missing ")", text left over): such an
// expression runs nothing and yields the expression error.
struct CompiledExpression {
  std::u16string text;
  bool ok = true;
  bool empty = false;         // an empty text: yields Empty
  bool single_token = false;  // one token and nothing else
  bool has_or = false;        // the text holds an OR (turns AND short-circuit off)
  bool plain_name = false;    // one name alone: no ".", no index, nothing behind
  ExprPtr root;
  std::vector<ExprPtr> trailing_indices;  // SPLIT(S)[2]
  // The number plan (fast_expression.h), when the expression has one.
  std::unique_ptr<const FastPlan, FastPlanDeleter> fast;
};

// Compiles [text] (already normalised run text).
std::unique_ptr<CompiledExpression> compile_expression(std::u16string_view text);

// Splits a call's argument text at "," outside quotes, brackets and
// parentheses; each part trimmed. An empty text gives no arguments.
std::vector<std::u16string> split_arguments(std::u16string_view text);

}  // namespace vesk
