// Evaluating compiled expressions against a host: the interpreter that owns
// the variables, the functions and the options of the running script.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <string>

#include "engine/values/expression.h"
#include "engine/values/value.h"
#include "support/small_vector.h"
#include "support/whole_number.h"

namespace vesk {

// The options of the run that change what an expression yields.
struct EvalOptions {
  bool same_str = false;       // OPTION SAMESTR: comparisons keep case
  bool short_circuit = false;  // OPTION SHORTCIRCUIT
  bool round_value = false;    // OPTION ROUNDVALUE: no rounding of results
  bool special_char = false;   // OPTION SPECIALCHAR: only the "<#_" escapes
};

// What the evaluator needs from the interpreter. One host serves one frame
// of one thread for the length of an evaluation.
class EvalHost {
 public:
  virtual ~EvalHost() = default;

  virtual const EvalOptions& options() const = 0;
  virtual Value true_value() const = 0;
  virtual Value false_value() const = 0;

  // Reads a variable, constant or special name with its evaluated indices;
  // errors go to the error channel and yield the Byte 0.
  virtual Value read_name(const NameRef& name, std::span<const Value> indices) = 0;
  // True when a dotted name is a module-qualified name (not a COM member).
  virtual bool is_module_name(const NameRef& name) = 0;
  // Reads a COM member access; a failure yields the 32-bit integer -999999.
  virtual Value read_member(const NameRef& name) = 0;
  // Calls a function through the call path; [failed] set stops the
  // expression.
  virtual Value call(const CallSite& call, bool& failed) = 0;

  // The frame whose local variables a plan may read straight; null where
  // every name goes through read_name.
  virtual struct THensuFmt* local_frame() { return nullptr; }
  // The block checks: names and calls are only checked and yield 1.
  virtual bool pre_check() const { return false; }
  virtual bool check_name(const NameRef&) { return true; }
  virtual bool check_call(const CallSite&) { return true; }

  // The statement the frame is executing; a change during an evaluation
  // means a call jumped away.
  virtual size_t current_line() const = 0;
  // Set when an error was reported in the frame: reads and calls return.
  virtual bool frame_failed() const = 0;
  // Reports the expression message (its pre-check variant in pre-check).
  virtual void report_expression_error() = 0;
  // The floating-point control word differs from the one at start.
  virtual bool control_word_changed() const { return false; }
  // A COPYB or CHRB call ran earlier in this evaluation.
  virtual bool byte_string_mark() const { return false; }

  // Compares two texts as the platform's locale does (case-sensitive).
  virtual int compare_text(std::u16string_view a, std::u16string_view b) const;
  // Upper-cases for comparisons.
  virtual std::u16string upper_text(std::u16string_view text) const;
};

struct EvalResult {
  Value value;
  bool failed = false;
};

// Evaluates [expression]. [condition] asks for short-circuit evaluation,
// honoured only under OPTION SHORTCIRCUIT.
EvalResult evaluate(const CompiledExpression& expression, EvalHost& host, bool condition = false);

// Where the in-place "+" of evaluate_append() finds its variable's value
// once the right operand has run (which may have moved or removed it).
class AppendTarget {
 public:
  virtual ~AppendTarget() = default;
  // The variable's value now; nullptr when the name no longer reaches a
  // plain variable.
  virtual Value* value() = 0;
};

// Evaluates the assignment NAME = NAME + operand, whose [expression] root is
// that "+" and whose [left] is NAME's value as read first. When the
// variable still holds [left]'s text after the operand ran, the operand's
// text is appended to the variable in place (the buffer is copied first
// only when another value shares it) and [stored] is set: the assignment is
// done. Otherwise the sum is answered for the caller to store. Values,
// errors and their order are those of evaluate().
EvalResult evaluate_append(const CompiledExpression& expression, EvalHost& host, Value left, AppendTarget& target,
                           bool& stored);

// Evaluates one part of an expression (an index) as an evaluation of its
// own, without the final rounding and without reporting.
EvalResult evaluate_part(const ExprNode& node, EvalHost& host);

// The indices of [name], each by evaluate_part, left to right, into
// [indices] (made as many as they are); false at the first that failed.
using IndexValues = SmallArray<Value, 4>;
bool evaluate_indices(const NameRef& name, EvalHost& host, IndexValues& indices);

// The pieces of an evaluation, for a caller that walks the operands itself
// (a number plan with calls). Operator [node], a Binary node other than
// AND, OR and XOR, on its operands' values; unary minus; and the last
// steps of every evaluation (a line change or [failed] fails it, reported;
// a string gets its escapes, a double its rounding), where [line] is the
// host's current line when the evaluation began. [failed] is set, never
// cleared.
Value apply_binary(const ExprNode& node, Value left, Value right, EvalHost& host, bool& failed);
Value apply_negate(const Value& v, bool& failed);
EvalResult finish_evaluation(Value v, bool failed, size_t line, EvalHost& host);

// Rounds a double result to 11 decimal places, halves away from zero.
double round_result(double value);
// The rounding while the floating-point control word differs from the one
// at start: through the 15-digit text of the number.
double round_through_text(double value);
// A whole number below 10^15: both roundings give it back unchanged (its
// 15-digit text is exact), so it needs neither.
// (__builtin_fabs: mingw's fabs is x87 code, even for SSE2 arithmetic.)
[[gnu::always_inline]] inline bool survives_rounding(double value) {
  return __builtin_fabs(value) < 1e15 && is_whole_below_2_63(value);
}

}  // namespace vesk
