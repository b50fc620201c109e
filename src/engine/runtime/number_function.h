// A number function: a function whose body only does arithmetic on its
// parameters and RESULT (number assignments and IFB blocks over their
// number plans, calls of other such functions among them) runs on doubles
// kept on the native stack, without a frame. Each parameter and RESULT is
// a register; the body's flat steps say where each statement goes next.
//
// Such a run changes nothing but its registers, so it may be abandoned at
// any point and the call made again the ordinary way, with the outcome
// that way gives: that is what happens when an operand would give up,
// RESULT was not set, the stack runs low, or a statement's checks (a
// pause, a stop, a thread's suspension) want attention. A stop or a pause
// met on doubles is then met at the call's first statement, as if it had
// come just before the call.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/values/fast_expression.h"

namespace vesk {

// One step of a number plan: a FastStep, with a Local's register and a
// call's function and argument plans.
struct NumberOp {
  FastStep step;
  int32_t reg = 0;               // Local: the register read
  int32_t function = -1;         // Call: the function called
  int32_t first_argument = 0;    // Call: the plans of its arguments, from here on
  int32_t arguments = 0;
  int32_t params = 0;  // Call: the callee's parameters; arguments past them are evaluated and dropped
};

struct NumberPlan {
  std::vector<NumberOp> ops;  // postfix order, as the FastPlan's steps
  // A register or a number, then only operators with a literal ("N - 1",
  // "N < 2"): it runs on one number, without the stack.
  bool chain = false;
};

enum class NumberStepKind : uint8_t {
  Nothing,  // a closer or a no-operation statement
  Assign,   // [target] = plan [plan]
  Branch,   // IFB or ELSEIF on plan [plan]
};

// Where a step goes next is the flat body's, with the closers that it
// passes already skipped.
struct NumberStep {
  NumberStepKind kind = NumberStepKind::Nothing;
  int32_t plan = -1;
  int32_t target = 0;
  int32_t next = 0;       // after the step; for a Branch, when its condition holds
  int32_t else_next = 0;  // a Branch's when it does not
};

struct NumberFunction {
  // Register 0 is RESULT, the parameters follow in their order.
  static constexpr int32_t k_max_registers = 16;
  std::vector<NumberPlan> plans;
  std::vector<NumberStep> steps;  // one for each step of the flat body
  int32_t count = 0;              // the body's steps end here
  std::vector<int32_t> callees;   // the functions its plans call, as numbered in the program
};

}  // namespace vesk
