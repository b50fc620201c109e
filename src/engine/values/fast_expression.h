// The number plan of an expression: expressions made only of number
// literals, plain names and the arithmetic operators, with at most one
// comparison at the top, are also flattened into a list of steps that runs
// on doubles. It reads local variables directly through their slot hints;
// the moment an operand is anything but a local double it gives up before
// anything happened, and the general evaluation runs instead. The answers
// are those of the general evaluation for the same operands.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/values/expression.h"

namespace vesk {

struct THensuFmt;

enum class FastOp : uint8_t { Number, Local, Element, Add, Subtract, Multiply, Divide, Mod, Negate, Compare };

struct FastStep {
  FastOp op = FastOp::Number;
  TokenKind comparison = TokenKind::End;  // of a Compare step
  // An operator step whose right operand is the literal [number] (the
  // Number step before it folded in): "I * 2" runs as two steps, not three.
  bool constant = false;
  double number = 0;                       // of a Number step
  const NameRef* name = nullptr;           // of a Local or Element step
};

struct FastPlan {
  std::vector<FastStep> steps;  // postfix order: operands before their operator
  bool local_then_constant = false;  // a name and an operator with a literal

  void note_shape() {
    local_then_constant = steps.size() == 2 && steps[0].op == FastOp::Local && steps[1].constant;
  }
};

// The plan of [expression], or null when it has none.
std::unique_ptr<FastPlan> make_fast_plan(const CompiledExpression& expression);
// The plan of one index of a name (a number, never a comparison), or null.
std::unique_ptr<FastPlan> make_index_plan(const ExprNode& index);

enum class FastOutcome : uint8_t {
  GaveUp,  // an operand is no local double (or MOD by 0): run the general way
  Number,  // [number] holds the result, before the final rounding
  Truth,   // [truth] holds the comparison's answer
};

FastOutcome run_fast_plan(const FastPlan& plan, THensuFmt& frame, double& number, bool& truth);

// The element [index] of [name] when it is a local one-dimensional array
// of [frame] and the index falls inside it (truncated toward zero, as every
// index is); null when the general access must decide.
Value* fast_local_element(THensuFmt& frame, const NameRef& name, double index);

// MOD's operands: [d] rounded to the nearest 64-bit integer, ties to even;
// false when it is no finite number in range.
bool round_to_integer(double d, int64_t& out);

// The three-way order of two numbers, and whether comparison [op] holds
// for it: shared with the general evaluation, so NaN answers alike.
template <class T>
int three_way(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

inline bool comparison_holds(TokenKind op, int order) {
  switch (op) {
    case TokenKind::Greater: return order > 0;
    case TokenKind::Less: return order < 0;
    case TokenKind::Equal: return order == 0;
    case TokenKind::GreaterEqual: return order >= 0;
    case TokenKind::LessEqual: return order <= 0;
    default: return order != 0;
  }
}

}  // namespace vesk
