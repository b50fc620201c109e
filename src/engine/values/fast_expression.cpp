// Building and running number plans.
#include "engine/values/fast_expression.h"

#include <cmath>

#include "engine/values/variable_store.h"

namespace vesk {
namespace {

// The deepest operand stack a plan may need.
constexpr int k_max_depth = 16;

bool is_comparison(TokenKind op) { return op >= TokenKind::Greater && op <= TokenKind::NotEqual; }

// Appends [node]'s steps; false when some part has no number form.
// [depth] is the stack the steps need, [top] allows a comparison here.
bool add_steps(const ExprNode& node, std::vector<FastStep>& steps, int& depth, bool top) {
  switch (node.op) {
    case ExprOp::Literal:
      if (node.string_literal || !node.literal.is(VarType::R8)) return false;
      steps.push_back({FastOp::Number, TokenKind::End, false, node.literal.as_r8(), nullptr});
      depth = 1;
      return true;
    case ExprOp::Name:
      if (node.name->dotted || node.name->indices.size() > 1) return false;
      if (node.name->indices.size() == 1) {
        if (!add_steps(*node.name->indices[0], steps, depth, false)) return false;
        steps.push_back({FastOp::Element, TokenKind::End, false, 0, node.name.get()});
        return true;
      }
      steps.push_back({FastOp::Local, TokenKind::End, false, 0, node.name.get()});
      depth = 1;
      return true;
    case ExprOp::Paren:
      return add_steps(*node.left, steps, depth, false);
    case ExprOp::Negate:
      if (!add_steps(*node.left, steps, depth, false)) return false;
      steps.push_back({FastOp::Negate, TokenKind::End, false, 0, nullptr});
      return true;
    case ExprOp::Binary: {
      FastOp op;
      switch (node.binary) {
        case TokenKind::Plus: op = FastOp::Add; break;
        case TokenKind::Minus: op = FastOp::Subtract; break;
        case TokenKind::Star: op = FastOp::Multiply; break;
        case TokenKind::Slash: op = FastOp::Divide; break;
        case TokenKind::Mod: op = FastOp::Mod; break;
        default:
          // A comparison's answer is no number: only the whole expression
          // may be one.
          if (!top || !is_comparison(node.binary)) return false;
          op = FastOp::Compare;
      }
      int left = 0, right = 0;
      if (!add_steps(*node.left, steps, left, false) || !add_steps(*node.right, steps, right, false)) return false;
      depth = std::max(left, right + 1);
      if (depth > k_max_depth) return false;
      // A literal right operand is the last step: it folds into this one.
      if (node.right->op == ExprOp::Literal && steps.back().op == FastOp::Number) {
        FastStep folded{op, node.binary, true, steps.back().number, nullptr};
        steps.back() = folded;
        return true;
      }
      steps.push_back({op, node.binary, false, 0, nullptr});
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

void FastPlanDeleter::operator()(const FastPlan* plan) const { delete plan; }

std::unique_ptr<FastPlan> make_fast_plan(const CompiledExpression& expression) {
  if (!expression.ok || expression.empty || !expression.root || !expression.trailing_indices.empty()) return nullptr;
  auto plan = std::make_unique<FastPlan>();
  int depth = 0;
  if (!add_steps(*expression.root, plan->steps, depth, true)) return nullptr;
  // A lone name is read the general way: its value may be of any kind.
  if (plan->steps.size() == 1 && plan->steps[0].op == FastOp::Local) return nullptr;
  plan->note_shape();
  return plan;
}

std::unique_ptr<FastPlan> make_index_plan(const ExprNode& index) {
  auto plan = std::make_unique<FastPlan>();
  int depth = 0;
  if (!add_steps(index, plan->steps, depth, false)) return nullptr;
  plan->note_shape();
  return plan;
}

bool round_to_integer(double d, int64_t& out) {
  if (!std::isfinite(d) || std::fabs(d) >= 9223372036854775808.0) return false;
  out = static_cast<int64_t>(d);
  if (static_cast<double>(out) != d) out = static_cast<int64_t>(std::nearbyint(d));  // a fraction to round
  return true;
}

Value* fast_local_element(THensuFmt& frame, const NameRef& name, double index) {
  Variable* var = VariableStore::hinted_local(frame, name);
  if (!var || var->bounds.size() != 1 || !(index > -1.0 && index < static_cast<double>(var->bounds[0]) + 1.0))
    return nullptr;
  size_t at = static_cast<size_t>(index);
  return at < var->values.size() ? &var->values[at] : nullptr;
}

namespace {

// Operator [step] on [a] and [b], the result into [a]; a comparison
// answers into [truth]. Number means go on.
[[gnu::always_inline]] inline FastOutcome apply(const FastStep& step, double& a, double b, bool& truth) {
  switch (step.op) {
    case FastOp::Add: a = a + b; return FastOutcome::Number;
    case FastOp::Subtract: a = a - b; return FastOutcome::Number;
    case FastOp::Multiply: a = a * b; return FastOutcome::Number;
    case FastOp::Divide: a = b == 0 ? 0.0 : a / b; return FastOutcome::Number;
    case FastOp::Mod: {
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

}  // namespace

FastOutcome run_fast_plan(const FastPlan& plan, THensuFmt& frame, double& number, bool& truth) {
  // OPTIMIZATION: NAME op literal, the commonest plan, runs without the
  // loop and its stack.
  if (plan.local_then_constant) {
    const NameRef& name = *plan.steps[0].name;
    const Value* v = VariableStore::hinted_local_scalar(frame, name);
    if (!v || !v->is(VarType::R8)) return FastOutcome::GaveUp;
    double a = v->as_r8();
    FastOutcome outcome = apply(plan.steps[1], a, plan.steps[1].number, truth);
    if (outcome == FastOutcome::Number) number = a;
    return outcome;
  }
  double stack[k_max_depth];
  int top = 0;
  for (const FastStep& step : plan.steps) {
    switch (step.op) {
      case FastOp::Number:
        stack[top++] = step.number;
        continue;
      case FastOp::Local: {
        const Value* v = VariableStore::hinted_local_scalar(frame, *step.name);
        if (!v || !v->is(VarType::R8)) return FastOutcome::GaveUp;
        stack[top++] = v->as_r8();
        continue;
      }
      case FastOp::Element: {
        const Value* v = fast_local_element(frame, *step.name, stack[top - 1]);
        if (!v || !v->is(VarType::R8)) return FastOutcome::GaveUp;
        stack[top - 1] = v->as_r8();
        continue;
      }
      case FastOp::Negate:
        stack[top - 1] = -stack[top - 1];
        continue;
      default:
        break;
    }
    double b = step.constant ? step.number : stack[--top];
    FastOutcome outcome = apply(step, stack[top - 1], b, truth);
    if (outcome != FastOutcome::Number) return outcome;
  }
  number = stack[0];
  return FastOutcome::Number;
}

}  // namespace vesk
