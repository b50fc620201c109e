// The join plan of a sum: a chain of "+" whose operands are string and
// number literals and plain names, with a string literal among them
// ("Row " + R, "k" + I + "_" + J). It runs straight on the operands: two
// doubles add, anything else with a string joins, left to right, into one
// buffer, and one string value is made at the end. The moment an operand
// is no local string or double, or the text grows long, it gives up before
// anything happened, and the general evaluation runs instead. The answers,
// escape marks included, are those of the general evaluation.
#pragma once

#include <memory>
#include <vector>

#include "engine/values/expression.h"
#include "engine/values/value.h"

namespace vesk {

struct THensuFmt;

struct JoinPlan {
  struct Operand {
    const Value* literal = nullptr;  // a string or a double
    const NameRef* name = nullptr;   // a plain local name, read by its hint
  };
  std::vector<Operand> operands;  // left to right
};

// Gives each sum in the tree under [root] that has a join plan its plan,
// the longest chain first (its own parts then get none). The tree is still
// the compiler's: nothing has shared it yet.
void attach_join_plans(ExprNode& root);

// The plan's answer into [out]; false when it gave up.
bool run_join_plan(const JoinPlan& plan, THensuFmt& frame, Value& out);

}  // namespace vesk
