// Building and running number plans.
#include "engine/values/fast_expression.h"

#include <cmath>

#include "engine/values/variable_store.h"

namespace vesk {
namespace {

// The deepest operand stack a plan may need.
constexpr int k_max_depth = 16;

bool is_comparison(TokenKind op) { return op >= TokenKind::Greater && op <= TokenKind::NotEqual; }

bool reads_after_call(const std::vector<FastStep>& steps) {
  bool called = false;
  for (const FastStep& step : steps) {
    if (step.op == FastOp::Call) called = true;
    if (called && (step.op == FastOp::Local || step.op == FastOp::Element)) return true;
  }
  return false;
}

// Appends [node]'s steps; false when some part has no number form.
// [depth] is the stack the steps need, [top] allows a comparison here.
bool add_steps(const ExprNode& node, std::vector<FastStep>& steps, int& depth, bool top) {
  switch (node.op) {
    case ExprOp::Call:
      // A call of a name without "." (a user function, when the engine
      // finds one) answers a number, or the rest runs the general way.
      if (node.call->name.find(u'.') != std::u16string::npos) return false;
      steps.push_back({FastOp::Call, TokenKind::End, false, 0, nullptr, node.call.get()});
      depth = 1;
      return true;
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
      steps.push_back({FastOp::Negate, TokenKind::End, false, 0, nullptr, nullptr, &node});
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
        FastStep folded{op, node.binary, true, steps.back().number, nullptr, nullptr, &node};
        steps.back() = folded;
        return true;
      }
      steps.push_back({op, node.binary, false, 0, nullptr, nullptr, &node});
      return true;
    }
    default:
      return false;
  }
}

// Marks a plan with calls; false when a step after a call reads a
// variable: once a call ran, the engine can no longer give up.
bool note_calls(FastPlan& plan) {
  for (const FastStep& step : plan.steps) plan.calls = plan.calls || step.op == FastOp::Call;
  if (!plan.calls) return true;
  return !reads_after_call(plan.steps);
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
  if (!note_calls(*plan)) return nullptr;
  plan->note_shape();
  return plan;
}

std::unique_ptr<FastPlan> make_index_plan(const ExprNode& index) {
  auto plan = std::make_unique<FastPlan>();
  int depth = 0;
  if (!add_steps(index, plan->steps, depth, false)) return nullptr;
  if (!note_calls(*plan)) return nullptr;
  plan->note_shape();
  return plan;
}

Value* fast_local_element(THensuFmt& frame, const NameRef& name, double index) {
  Variable* var = VariableStore::hinted_local(frame, name);
  if (!var || var->bounds.size() != 1 || !(index > -1.0 && index < static_cast<double>(var->bounds[0]) + 1.0))
    return nullptr;
  int32_t at = 0;
  if (!truncate_to_int32(index, at)) return nullptr;
  return static_cast<size_t>(at) < var->values.size() ? &var->values[static_cast<size_t>(at)] : nullptr;
}

namespace {

// The steps of [plan]; with [Keep], the slot that step [kept] read is left
// in [slot].
template <bool Keep>
FastOutcome steps_of(const FastPlan& plan, THensuFmt& frame, double& number, bool& truth, const FastStep* kept,
                     Value** slot) {
  double stack[k_max_depth];
  int top = 0;
  const FastStep* step = plan.steps.data();
  const FastStep* const end = step + plan.steps.size();
  // OPTIMIZATION: a step goes on to the next one's code by one indirect
  // jump through the table of labels (GCC's labels as values), where a
  // loop around a switch takes the switch's bound check and its jump too.
  static_assert(static_cast<int>(FastOp::Compare) == 10, "one label for each step, in the order of FastOp");
  // (Number, Element and Negate are the shared operand step; MOD and the
  // comparison share the division's.)
  static void* const k_code[] = {&&operand,  &&local,  &&operand, &&call,    &&add,   &&subtract,
                                 &&multiply, &&divide, &&divide,  &&operand, &&divide};
  if (step == end) goto done;
  goto* k_code[static_cast<uint8_t>(step->op)];
local: {
  Value* v = VariableStore::hinted_local_scalar(frame, *step->name);
  if (!v || !v->is(VarType::R8)) return FastOutcome::GaveUp;
  if constexpr (Keep) {
    if (step == kept) *slot = v;
  }
  stack[top++] = v->as_r8();
  goto next;
}
add:
  if (step->constant) stack[top - 1] += step->number;
  else --top, stack[top - 1] += stack[top];
  goto next;
subtract:
  if (step->constant) stack[top - 1] -= step->number;
  else --top, stack[top - 1] -= stack[top];
  goto next;
multiply:
  if (step->constant) stack[top - 1] *= step->number;
  else --top, stack[top - 1] *= stack[top];
  goto next;
call:
  return FastOutcome::GaveUp;  // only the engine calls; nothing happened yet
divide: {  // and MOD and the comparisons
  double b = step->constant ? step->number : stack[--top];
  FastOutcome outcome = fast_apply(*step, stack[top - 1], b, truth);
  if (outcome != FastOutcome::Number) return outcome;
  goto next;
}
operand:
  if (fast_operand(*step, frame, stack, top) != OperandOutcome::Done) return FastOutcome::GaveUp;
  goto next;
next:
  if (++step != end) goto* k_code[static_cast<uint8_t>(step->op)];
done:
  number = stack[0];
  return FastOutcome::Number;
}

}  // namespace

FastOutcome run_fast_steps(const FastPlan& plan, THensuFmt& frame, double& number, bool& truth) {
  return steps_of<false>(plan, frame, number, truth, nullptr, nullptr);
}

FastOutcome run_fast_steps_keeping(const FastPlan& plan, THensuFmt& frame, double& number, bool& truth,
                                   size_t step, Value*& slot) {
  return steps_of<true>(plan, frame, number, truth, plan.steps.data() + step, &slot);
}

}  // namespace vesk
