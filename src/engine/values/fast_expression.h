// The number plan of an expression: expressions made only of number
// literals, plain names and the arithmetic operators, with at most one
// comparison at the top, are also flattened into a list of steps that runs
// on doubles. It reads local variables directly through their slot hints;
// the moment an operand is anything but a local double it gives up before
// anything happened, and the general evaluation runs instead. The answers
// are those of the general evaluation for the same operands.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/values/expression.h"
#include "engine/values/variable_store.h"
#include "support/whole_number.h"

namespace vesk {

struct THensuFmt;

enum class FastOp : uint8_t { Number, Local, Element, Call, Add, Subtract, Multiply, Divide, Mod, Negate, Compare };

struct FastStep {
  FastOp op = FastOp::Number;
  TokenKind comparison = TokenKind::End;  // of a Compare step
  // An operator step whose right operand is the literal [number] (the
  // Number step before it folded in): "I * 2" runs as two steps, not three.
  bool constant = false;
  double number = 0;                       // of a Number step
  const NameRef* name = nullptr;           // of a Local or Element step
  const CallSite* site = nullptr;          // of a Call step
  const ExprNode* node = nullptr;          // of an operator step: its node
};

struct FastPlan {
  std::vector<FastStep> steps;  // postfix order: operands before their operator
  // A name and then only operators with a literal ("N + 1", "N MOD 3 = 0"):
  // it runs on one number, without the stack.
  bool chain = false;
  // Some step calls a function ("F(N - 1) + F(N - 2)"). Only the engine
  // runs such a plan (it gives up at the call otherwise); no step after
  // the first call reads a variable.
  bool calls = false;
  // A chain of one comparison ("N < 2"), the commonest condition.
  bool compare_chain = false;

  void note_shape() {
    chain = steps.size() >= 2 && steps[0].op == FastOp::Local;
    for (size_t i = 1; i < steps.size(); ++i) chain = chain && steps[i].constant;
    compare_chain = chain && steps.size() == 2 && steps[1].op == FastOp::Compare;
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
  Value,   // a plan with calls finished the general way: its result is elsewhere
};

// The plan's steps on the operand stack (any plan).
FastOutcome run_fast_steps(const FastPlan& plan, THensuFmt& frame, double& number, bool& truth);
// The same for a plan without calls that reads, at step [step], the local
// its result is stored in: that local's slot is left in [slot].
FastOutcome run_fast_steps_keeping(const FastPlan& plan, THensuFmt& frame, double& number, bool& truth,
                                   size_t step, Value*& slot);

// The element [index] of [name] when it is a local one-dimensional array
// of [frame] and the index falls inside it (truncated toward zero, as every
// index is); null when the general access must decide.
Value* fast_local_element(THensuFmt& frame, const NameRef& name, double index);

enum class OperandOutcome : uint8_t { Done, GaveUp, NotOperand };

// Operand step [step] (a number, a local double, an element of a local
// array, unary minus) on the operand stack; NotOperand for an operator or
// a call, which the runner applies itself.
[[gnu::always_inline]] inline OperandOutcome fast_operand(const FastStep& step, THensuFmt& frame, double* stack,
                                                         int& top) {
  switch (step.op) {
    case FastOp::Number:
      stack[top++] = step.number;
      return OperandOutcome::Done;
    case FastOp::Local: {
      const Value* v = VariableStore::hinted_local_scalar(frame, *step.name);
      if (!v || !v->is(VarType::R8)) return OperandOutcome::GaveUp;
      stack[top++] = v->as_r8();
      return OperandOutcome::Done;
    }
    case FastOp::Element: {
      const Value* v = fast_local_element(frame, *step.name, stack[top - 1]);
      if (!v || !v->is(VarType::R8)) return OperandOutcome::GaveUp;
      stack[top - 1] = v->as_r8();
      return OperandOutcome::Done;
    }
    case FastOp::Negate:
      stack[top - 1] = -stack[top - 1];
      return OperandOutcome::Done;
    default:
      return OperandOutcome::NotOperand;
  }
}

// MOD's operands: [d] rounded to the nearest 64-bit integer, ties to even;
// false when it is no finite number in range.
[[gnu::always_inline]] inline bool round_to_integer(double d, int64_t& out) {
  if (!std::isfinite(d) || std::fabs(d) >= 9223372036854775808.0) return false;
  out = static_cast<int64_t>(d);
  if (static_cast<double>(out) != d) out = static_cast<int64_t>(std::nearbyint(d));  // a fraction to round
  return true;
}

// The three-way order of two numbers, and whether comparison [op] holds
// for it: shared with the general evaluation, so NaN answers alike.
template <class T>
int three_way(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

[[gnu::always_inline]] inline bool comparison_holds(TokenKind op, int order) {
  switch (op) {
    case TokenKind::Greater: return order > 0;
    case TokenKind::Less: return order < 0;
    case TokenKind::Equal: return order == 0;
    case TokenKind::GreaterEqual: return order >= 0;
    case TokenKind::LessEqual: return order <= 0;
    default: return order != 0;
  }
}

// Operator [step] on [a] and [b], the result into [a]; a comparison
// answers into [truth]. Number means go on.
[[gnu::always_inline]] inline FastOutcome fast_apply(const FastStep& step, double& a, double b, bool& truth) {
  switch (step.op) {
    case FastOp::Add: a = a + b; return FastOutcome::Number;
    case FastOp::Subtract: a = a - b; return FastOutcome::Number;
    case FastOp::Multiply: a = a * b; return FastOutcome::Number;
    case FastOp::Divide: a = b == 0 ? 0.0 : a / b; return FastOutcome::Number;
    case FastOp::Mod: {
      // OPTIMIZATION: whole operands below 2^31, the usual ones, take
      // 32-bit arithmetic (a 64-bit remainder is a library call on 32-bit
      // x86); a divisor of 0 or less is left to the path below.
      int32_t small_a = 0, small_b = 0;
      if (truncate_to_int32(a, small_a) && truncate_to_int32(b, small_b) && small_a == a && small_b == b &&
          small_b > 0) {
        a = static_cast<double>(small_a % small_b);
        return FastOutcome::Number;
      }
      int64_t x = 0, y = 0;
      if (!round_to_integer(a, x) || !round_to_integer(b, y) || y == 0) return FastOutcome::GaveUp;
      a = y == -1 ? 0.0 : static_cast<double>(x % y);  // INT64_MIN % -1 would trap
      return FastOutcome::Number;
    }
    case FastOp::Compare:
      truth = comparison_holds(step.comparison, three_way(a, b));
      return FastOutcome::Truth;
    default:
      return FastOutcome::GaveUp;
  }
}

// Runs [plan] in [frame]: its number into [number] or its comparison's
// answer into [truth]. OPTIMIZATION: a chain, the commonest plan, runs
// here on one number; the others on the stack.
// The operators of chain [plan] on [a], its first name's value: the
// number in [a], or the comparison's answer in [truth].
[[gnu::always_inline]] inline FastOutcome run_chain(const FastPlan& plan, double& a, bool& truth) {
  const FastStep* step = plan.steps.data() + 1;
  const FastStep* end = plan.steps.data() + plan.steps.size();
  for (; step != end; ++step) {
    FastOutcome outcome = fast_apply(*step, a, step->number, truth);
    if (outcome != FastOutcome::Number) return outcome;  // a comparison is the last step
  }
  return FastOutcome::Number;
}

[[gnu::always_inline]] inline FastOutcome run_fast_plan(const FastPlan& plan, THensuFmt& frame, double& number,
                                                        bool& truth) {
  if (!plan.chain) return run_fast_steps(plan, frame, number, truth);
  const Value* v = VariableStore::hinted_local_scalar(frame, *plan.steps[0].name);
  if (!v || !v->is(VarType::R8)) return FastOutcome::GaveUp;
  number = v->as_r8();
  if (plan.compare_chain) {
    const FastStep& compare = plan.steps[1];
    truth = comparison_holds(compare.comparison, three_way(number, compare.number));
    return FastOutcome::Truth;
  }
  return run_chain(plan, number, truth);
}

// The number of [expression], which has a plan without calls or is one
// name alone (a number assignment's, an argument's): its plan's answer, or
// the name's value when that is a local double (read as evaluate_in reads
// it). GaveUp when neither answers; nothing happened then.
[[gnu::always_inline]] inline FastOutcome plain_number(const CompiledExpression& expression, THensuFmt& frame,
                                                       double& number, bool& truth) {
  if (expression.fast) return run_fast_plan(*expression.fast, frame, number, truth);
  const Value* v = VariableStore::hinted_local_scalar(frame, *expression.root->name);
  if (!v || !v->is(VarType::R8)) return FastOutcome::GaveUp;
  number = v->as_r8();
  return FastOutcome::Number;
}

}  // namespace vesk
