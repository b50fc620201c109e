// Number plans with calls ("F(N - 1) + F(N - 2)"): the plan runs on doubles
// while every call answers one, and finishes on values, as the general
// evaluation would, once one does not. The calls are made as the general
// evaluation makes them, in the same order; only the first may be refused
// (a built-in or a function with bindings), before anything ran.
#include "engine/runtime/frame_host.h"
#include "engine/runtime/function_shape.h"
#include "engine/runtime/stack_guard.h"
#include "engine/runtime/interpreter.h"
#include "engine/runtime/thread_run.h"
#include "engine/values/fast_expression.h"
#include "support/messages.h"

namespace vesk {
namespace {

// No plan needs a deeper operand stack (the builder's bound), plus the
// call answer that starts the values.
constexpr int k_max_depth = 17;

}  // namespace

// A call from an expression, as the evaluation host and call() make it;
// [function] is plain_function() of [site], with its [shape]. OPTIMIZATION: call_plain
// keeps the stack guard itself (reporting the site's name, as here), so a
// plain call checks it once.
[[gnu::always_inline]] inline Value Interpreter::plan_call(const CallSite& site, int32_t function,
                                                          const FunctionShape* shape, CallFrame& frame, bool& failed) {
  if (function >= 0 && !frame.exit && !m_stopped) return call_plain(function, *shape, site, frame, failed, true);
  if (!StackGuard(frame).ok()) {
    report_error(frame, message(MessageId::RecursionTooDeep, site.name));
    failed = true;
    return Value::r8(0);
  }
  return call(site, frame, failed);
}

[[gnu::always_inline]] inline FastOutcome Interpreter::run_call_steps(const FastPlan& plan, CallFrame& frame,
                                                                      double& number, bool& truth,
                                                                      EvalResult& general) {
  double stack[k_max_depth];
  int top = 0;
  bool called = false;
  size_t line = static_cast<size_t>(frame.statement());
  const std::vector<FastStep>& steps = plan.steps;
  const size_t count = steps.size();  // a plan never changes
  FastOutcome outcome = FastOutcome::Number;
  for (size_t i = 0; i < count; ++i) {
    const FastStep& step = steps[i];
    // A variable is never read after a call (the builder's rule), so giving
    // up here leaves nothing done.
    switch (fast_operand(step, frame, stack, top)) {
      case OperandOutcome::Done: continue;
      case OperandOutcome::GaveUp: return FastOutcome::GaveUp;
      case OperandOutcome::NotOperand: break;
    }
    switch (step.op) {
      case FastOp::Call: {
        const FunctionShape* shape = nullptr;
        int32_t function = plain_function(*step.site, frame, shape);
        if (!called && function < 0) return FastOutcome::GaveUp;
        called = true;
        bool failed = false;
        Value v = plan_call(*step.site, function, shape, frame, failed);
        failed = failed || frame.error || frame.exit;
        if (failed || !v.is(VarType::R8)) {
          general = finish_plan_in_values(plan, i + 1, stack, top, &v, failed, line, frame);
          return FastOutcome::Value;
        }
        stack[top++] = v.as_r8();
        continue;
      }
      default:
        break;
    }
    double a = step.constant ? stack[top - 1] : stack[top - 2];
    double b = step.constant ? step.number : stack[top - 1];
    outcome = fast_apply(step, a, b, truth);
    if (outcome == FastOutcome::GaveUp) {
      if (!called) return outcome;
      general = finish_plan_in_values(plan, i, stack, top, nullptr, false, line, frame);
      return FastOutcome::Value;
    }
    if (!step.constant) --top;
    stack[top - 1] = a;
  }
  if (called && static_cast<size_t>(frame.statement()) != line) {
    general = {Value::byte(0), true};  // a call jumped away: the evaluation fails unreported
    return FastOutcome::Value;
  }
  number = stack[0];
  return outcome;
}

// The byte-string mark belongs to the plan's evaluation, as to any other:
// it starts clear and the outer mark is back when the plan is done. The
// steps run inline here: a call in a plan is one native call deep less.
[[gnu::always_inline]] inline FastOutcome Interpreter::run_marked_call_plan(const FastPlan& plan, CallFrame& frame,
                                                                            double& number, bool& truth,
                                                                            EvalResult& general) {
  ThreadRun& run = thread_run(frame);
  bool outer_mark = run.byte_string_mark;
  run.byte_string_mark = false;
  FastOutcome outcome = run_call_steps(plan, frame, number, truth, general);
  run.byte_string_mark = outer_mark;
  return outcome;
}

FastOutcome Interpreter::run_call_plan(const FastPlan& plan, CallFrame& frame, double& number, bool& truth,
                                       EvalResult& general) {
  return run_marked_call_plan(plan, frame, number, truth, general);
}

// run_number_assign for a plan with calls.
bool Interpreter::run_call_assign(CallFrame& frame, const CompiledStatement& s) {
  int32_t line = frame.statement();
  double number = 0;
  bool truth = false;
  EvalResult general;
  // OPTIMIZATION: the plan runs inline, one native call less deep.
  FastOutcome outcome = run_marked_call_plan(*s.expr->fast, frame, number, truth, general);
  if (outcome == FastOutcome::GaveUp) return false;
  if (outcome == FastOutcome::Value) {
    // As run_plain takes an evaluation's result.
    if (!general.failed && frame.statement() == line) assign(frame, s, general.value);
    return true;
  }
  const NameRef& name = *s.target_expr->root->name;
  Value* slot = VariableStore::hinted_local_scalar(frame, name);
  if (slot && outcome == FastOutcome::Number) {
    slot->set_r8(finish_number(number));
    return true;
  }
  Value v = outcome == FastOutcome::Number ? Value::r8(finish_number(number))
                                           : (truth ? m_store.true_value() : m_store.false_value());
  if (slot) *slot = std::move(v);
  else assign(frame, s, v);
  return true;
}

// The steps from [from] on, on values: the numbers so far on [stack], then
// [pending] when a call's answer waits to be pushed.
EvalResult Interpreter::finish_plan_in_values(const FastPlan& plan, size_t from, const double* stack, int top,
                                              Value* pending, bool failed, size_t line, CallFrame& frame) {
  FrameHost host(*this, frame);
  Value values[k_max_depth];
  int count = 0;
  for (int k = 0; k < top; ++k) values[count++] = Value::r8(stack[k]);
  if (pending) values[count++] = std::move(*pending);
  for (size_t i = from; i < plan.steps.size(); ++i) {
    const FastStep& step = plan.steps[i];
    switch (step.op) {
      case FastOp::Number:
        values[count++] = Value::r8(step.number);
        continue;
      case FastOp::Call: {
        bool call_failed = false;
        const FunctionShape* shape = nullptr;
        int32_t function = plain_function(*step.site, frame, shape);
        Value v = plan_call(*step.site, function, shape, frame, call_failed);
        if (call_failed || frame.error || frame.exit) failed = true;
        values[count++] = std::move(v);
        continue;
      }
      case FastOp::Negate:
        values[count - 1] = apply_negate(values[count - 1], failed);
        continue;
      default: {  // an operator: no variable is read after a call
        Value right = step.constant ? Value::r8(step.number) : std::move(values[--count]);
        Value left = std::move(values[count - 1]);
        values[count - 1] = apply_binary(*step.node, std::move(left), std::move(right), host, failed);
      }
    }
  }
  return finish_evaluation(std::move(values[0]), failed, line, host);
}

}  // namespace vesk
