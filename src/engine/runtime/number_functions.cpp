// Number functions (number_function.h): which functions are ones, worked
// out once for a function and everything it calls, and their runs.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <unordered_map>

#include "engine/runtime/function_shape.h"
#include "engine/runtime/interpreter.h"
#include "engine/runtime/number_function.h"
#include "engine/runtime/stack_guard.h"
#include "engine/runtime/thread_run.h"

namespace vesk {
namespace {

// A plan's operand stack: no number plan needs a deeper one.
constexpr int k_stack_depth = 17;

// Turns the plans of one function's body into number plans over its
// registers, which are RESULT and [params]. [callee] answers the plain
// function with a RESULT that a call site reaches and its number of
// parameters (and notes it among the callees), or -1.
class NumberPlanMaker {
 public:
  using Callee = std::function<int32_t(const CallSite&, size_t& params)>;
  NumberPlanMaker(const std::vector<FunctionParameter>& params, NumberFunction& numbers, Callee callee)
      : m_params(params), m_numbers(numbers), m_callee(std::move(callee)) {}

  // The register of local [name], or -1. RESULT is never read: it holds
  // Empty until the body sets it.
  int32_t register_of(const NameRef& name) const {
    if (name.dotted || !name.indices.empty()) return -1;
    for (size_t k = 0; k < m_params.size(); ++k)
      if (m_params[k].name == name.name) return static_cast<int32_t>(k) + 1;
    return -1;
  }

  // The plan of [expression] as a number (no comparison at its top) or,
  // with [condition], also as a truth; -1 when it is no number plan.
  int32_t plan_of(const CompiledExpression& expression, bool condition) {
    NumberPlan plan;
    if (expression.fast) {
      for (const FastStep& step : expression.fast->steps)
        if (!add(step, condition, plan)) return -1;
    } else if (expression.plain_name && expression.root && expression.root->name) {
      NumberOp op;
      op.step.op = FastOp::Local;
      op.reg = register_of(*expression.root->name);
      if (op.reg < 0) return -1;
      plan.ops.push_back(op);
    } else {
      return -1;
    }
    plan.chain = plan.ops[0].step.op == FastOp::Local || plan.ops[0].step.op == FastOp::Number;
    for (size_t i = 1; i < plan.ops.size(); ++i) plan.chain = plan.chain && plan.ops[i].step.constant;
    m_numbers.plans.push_back(std::move(plan));
    return static_cast<int32_t>(m_numbers.plans.size()) - 1;
  }

 private:
  bool add(const FastStep& step, bool condition, NumberPlan& plan) {
    NumberOp op;
    op.step = step;
    switch (step.op) {
      case FastOp::Element: return false;
      case FastOp::Compare:
        if (!condition) return false;
        break;
      case FastOp::Local:
        op.reg = register_of(*step.name);
        if (op.reg < 0) return false;
        break;
      case FastOp::Call:
        if (!add_call(*step.site, op)) return false;
        break;
      default: break;
    }
    plan.ops.push_back(op);
    return true;
  }

  // A call whose arguments are plain number plans, one for each parameter
  // at least (a missing one would leave Empty).
  bool add_call(const CallSite& site, NumberOp& op) {
    size_t params = 0;
    int32_t callee = m_callee(site, params);
    if (callee < 0 || site.arguments.size() < params) return false;
    // The argument plans, which make no plans of their own (they have no
    // calls), lie one after another.
    op.first_argument = static_cast<int32_t>(m_numbers.plans.size());
    for (size_t k = 0; k < site.arguments.size(); ++k) {
      const CompiledExpression& argument = site.argument(k);
      if (site.arguments[k].empty() || (argument.fast && argument.fast->calls)) return false;
      if (plan_of(argument, false) < 0) return false;
    }
    op.function = callee;
    op.arguments = static_cast<int32_t>(site.arguments.size());
    op.params = static_cast<int32_t>(params);
    return true;
  }

  const std::vector<FunctionParameter>& m_params;
  NumberFunction& m_numbers;
  Callee m_callee;
};

}  // namespace

// A run of a number function uses less native stack for each call than a
// call in frames does (about 1,050 to 1,150 bytes there, measured on the
// optimised 64-bit build; several times that without optimisation or
// under the address sanitizer). So that a recursion never succeeds on
// doubles where the frames would report the calls too deep, a run is
// abandoned once it is so deep that calls in frames of this size would
// have passed the thread's bound: the frames then decide.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr uintptr_t k_frame_call_bytes = 16384;
#else
constexpr uintptr_t k_frame_call_bytes = 2048;
#endif

struct Interpreter::NumberContext {
  ThreadRun& run;
  int32_t slot;         // the thread's, 0 for the main script
  int64_t calls_left;   // deeper calls allowed
};

// The number function of [shape], or null: a plain function with RESULT
// and a flat body whose statements are all number assignments to its
// parameters or RESULT, IFB or ELSEIF on number plans, closers and
// statements that do nothing.
std::unique_ptr<NumberFunction> Interpreter::make_number_function(const FunctionShape& shape) {
  if (!shape.plain || !shape.has_result || shape.flat.empty() || shape.slots > NumberFunction::k_max_registers)
    return nullptr;
  auto numbers = std::make_unique<NumberFunction>();
  CallFrame outside;  // a frame outside modules, as a plain call's
  NumberPlanMaker maker(shape.params, *numbers, [&](const CallSite& site, size_t& params) -> int32_t {
    if (site.name.find(u'.') != std::u16string::npos) return -1;
    int32_t f = site.function_outside_modules.load(std::memory_order_relaxed);
    if (f == -2) f = look_up_outside_modules(site, outside);
    if (f < 0) return -1;
    const FunctionShape& callee = function_shape(f);
    if (!callee.plain || !callee.has_result) return -1;
    numbers->callees.push_back(f);
    params = callee.params.size();
    return f;
  });
  const FlatStep* steps = shape.flat.steps.data();
  const int32_t count = shape.count;
  numbers->count = count;
  bool sets_result = false;
  numbers->steps.resize(shape.flat.steps.size());
  for (int32_t pc = 1; pc < count; ++pc) {
    const FlatStep& step = steps[pc];
    NumberStep& made = numbers->steps[static_cast<size_t>(pc)];
    made.next = past_closers(steps, pc + 1, count);
    if (step.kind == FlatKind::Branch) {
      made.kind = NumberStepKind::Branch;
      made.next = past_closers(steps, step.then_next, count);
      made.else_next = step.else_is_branch ? step.else_next : past_closers(steps, step.else_next, count);
      made.plan = step.statement->expr ? maker.plan_of(*step.statement->expr, true) : -1;
      if (made.plan < 0) return nullptr;
      continue;
    }
    if (step.kind != FlatKind::Plain) return nullptr;
    const CompiledStatement& s = step.statement ? *step.statement : compiled(shape.header + pc);
    if (s.form == StatementForm::Nothing || s.form == StatementForm::Else) continue;
    if (!s.number_assign) return nullptr;
    const NameRef& target = *s.target_expr->root->name;
    made.kind = NumberStepKind::Assign;
    made.target = target.name == u"RESULT" ? 0 : maker.register_of(target);
    made.plan = made.target < 0 ? -1 : maker.plan_of(*s.expr, false);
    if (made.plan < 0) return nullptr;
    sets_result = sets_result || made.target == 0;
  }
  // One that never sets RESULT would give every call back to the frames.
  return sets_result ? std::move(numbers) : nullptr;
}

// Works out which of [function] and the functions it reaches are number
// functions, once for each: one that calls a function which is none is
// none either.
const NumberFunction* Interpreter::find_number_functions(int32_t function) {
  std::lock_guard<std::mutex> lock(m_number_lock);
  const FunctionShape& shape = function_shape(function);
  int8_t known = shape.number_state.load(std::memory_order_acquire);
  if (known != 0) return known == 1 ? shape.numbers.get() : nullptr;
  std::unordered_map<int32_t, std::unique_ptr<NumberFunction>> made;
  std::set<int32_t> none;
  std::vector<int32_t> waiting{function};
  while (!waiting.empty()) {
    int32_t f = waiting.back();
    waiting.pop_back();
    if (made.count(f) || none.count(f)) continue;
    const FunctionShape& s = function_shape(f);
    int8_t state = s.number_state.load(std::memory_order_acquire);
    if (state == 2) none.insert(f);
    if (state != 0) continue;
    std::unique_ptr<NumberFunction> numbers = m_number_functions && m_flat_bodies ? make_number_function(s) : nullptr;
    if (!numbers) {
      none.insert(f);
      continue;
    }
    waiting.insert(waiting.end(), numbers->callees.begin(), numbers->callees.end());
    made.emplace(f, std::move(numbers));
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (auto& [f, numbers] : made) {
      if (!numbers) continue;
      bool calls_none = std::any_of(numbers->callees.begin(), numbers->callees.end(),
                                    [&](int32_t callee) { return none.count(callee) > 0; });
      if (calls_none) {
        numbers.reset();
        none.insert(f);
        changed = true;
      }
    }
  }
  // Every number function's body is in place before any says it has one.
  for (auto& [f, numbers] : made)
    if (numbers) function_shape(f).numbers = std::move(numbers);
  for (auto& [f, numbers] : made)
    if (function_shape(f).numbers) function_shape(f).number_state.store(1, std::memory_order_release);
  for (int32_t f : none) function_shape(f).number_state.store(2, std::memory_order_release);
  return shape.number_state.load(std::memory_order_acquire) == 1 ? shape.numbers.get() : nullptr;
}

bool Interpreter::is_number_function(std::u16string_view name) {
  int32_t function = m_program.find_function(name);
  return function >= 0 && number_function(function, function_shape(function));
}

// What comes before each statement, as before_statement() has it; false
// when it wants anything done, which the run in frames does.
[[gnu::always_inline]] inline bool Interpreter::number_checks(NumberContext& context) {
  if (context.slot == 0) {
    service_between_statements();
    if (m_output.may_pause() && m_output.paused()) return false;
  } else if (thread_state(context.slot) != 0) {
    return false;
  }
  return m_stop_pending == 0 && !m_stopped;
}

// [plan] on [registers]: its number, or with a comparison at its top the
// answer in [truth]. False when the run is to be abandoned. OPTIMIZATION:
// a chain, the commonest plan, runs here on one number; the others on the
// stack.
[[gnu::always_inline]] inline bool Interpreter::number_value(const NumberFunction& numbers, const NumberPlan& plan,
                                                             const double* registers, NumberContext& context,
                                                             double& number, bool& truth) {
  if (!plan.chain) return number_steps(numbers, plan, registers, context, number, truth);
  const NumberOp* op = plan.ops.data();
  const NumberOp* end = op + plan.ops.size();
  double a = op->step.op == FastOp::Local ? registers[op->reg] : op->step.number;
  for (++op; op != end; ++op) {
    FastOutcome outcome = fast_apply(op->step, a, op->step.number, truth);
    if (outcome == FastOutcome::GaveUp) return false;
    if (outcome == FastOutcome::Truth) return true;  // a comparison is the last step
  }
  number = a;
  return true;
}

bool Interpreter::number_steps(const NumberFunction& numbers, const NumberPlan& plan, const double* registers,
                               NumberContext& context, double& number, bool& truth) {
  double stack[k_stack_depth];
  int top = 0;
  for (const NumberOp& op : plan.ops) {
    const FastStep& step = op.step;
    switch (step.op) {
      case FastOp::Number: stack[top++] = step.number; continue;
      case FastOp::Local: stack[top++] = registers[op.reg]; continue;
      case FastOp::Negate: stack[top - 1] = -stack[top - 1]; continue;
      case FastOp::Call:
        if (!number_call(numbers, op, registers, context, stack[top])) return false;
        ++top;
        continue;
      default: break;
    }
    double a = step.constant ? stack[top - 1] : stack[top - 2];
    double b = step.constant ? step.number : stack[top - 1];
    FastOutcome outcome = fast_apply(step, a, b, truth);
    if (outcome == FastOutcome::GaveUp) return false;
    if (outcome == FastOutcome::Truth) return true;  // a comparison is the last step
    if (!step.constant) --top;
    stack[top - 1] = a;
  }
  number = stack[0];
  return true;
}

// A call of a number function from a plan: the arguments left to right,
// each into its parameter's register as call_plain binds it.
bool Interpreter::number_call(const NumberFunction& numbers, const NumberOp& op, const double* registers,
                              NumberContext& context, double& answer) {
  if (context.calls_left <= 0 || !StackGuard(context.run).ok() || m_stop_pending > 0) return false;
  double called[NumberFunction::k_max_registers];
  for (int32_t k = 0; k < op.arguments; ++k) {
    double number = 0;
    bool truth = false;
    if (!number_value(numbers, numbers.plans[static_cast<size_t>(op.first_argument + k)], registers, context, number,
                      truth))
      return false;
    if (k < op.params) called[k + 1] = finish_number(number);
  }
  --context.calls_left;
  bool done = run_number_body(function_shape(op.function), called, context);
  ++context.calls_left;
  if (!done) return false;
  answer = called[0];
  return true;
}

// The body of [shape] on [registers], in the order run_flat takes its
// statements; false when abandoned or when it left RESULT unset.
bool Interpreter::run_number_body(const FunctionShape& shape, double* registers, NumberContext& context) {
  const NumberFunction& numbers = *shape.numbers;
  const NumberStep* steps = numbers.steps.data();
  const NumberPlan* plans = numbers.plans.data();
  const int32_t count = numbers.count;
  bool result_set = false;
  int32_t pc = 1;
  while (pc < count) {
    if (!number_checks(context)) return false;
    const NumberStep& step = steps[pc];
    double number = 0;
    bool truth = false;
    switch (step.kind) {
      case NumberStepKind::Branch: {
        const NumberPlan& plan = plans[step.plan];
        if (!number_value(numbers, plan, registers, context, number, truth)) return false;
        bool holds = plan.ops.back().step.op == FastOp::Compare ? truth : finish_number(number) != 0;
        pc = holds ? step.next : step.else_next;
        break;
      }
      case NumberStepKind::Assign:
        if (!number_value(numbers, plans[step.plan], registers, context, number, truth)) return false;
        registers[step.target] = finish_number(number);
        result_set = result_set || step.target == 0;
        pc = step.next;
        break;
      default:
        pc = step.next;
        break;
    }
  }
  return result_set;
}

// OPTIMIZATION: a plain call of a number function runs on doubles. The
// arguments must all be number plans without calls that answer numbers,
// else it is NotTaken (and nothing happened). Done leaves RESULT in
// [answer]; Abandoned says the call is to be made again in frames.
Interpreter::NumberCall Interpreter::try_number_call(const FunctionShape& shape, const CallSite& site,
                                                     CallFrame& caller, ThreadRun& run, double& answer) {
  size_t passed = site.arguments.size(), params = shape.params.size();
  if (passed < params || caller.exit || m_stop_pending > 0) return NumberCall::NotTaken;
  double registers[NumberFunction::k_max_registers];
  for (size_t k = 0; k < passed; ++k) {
    const CompiledExpression& argument = site.argument(k);
    double number = 0;
    bool truth = false;
    bool plain = argument.fast ? !argument.fast->calls : argument.plain_name;
    if (site.arguments[k].empty() || !plain || plain_number(argument, caller, number, truth) != FastOutcome::Number)
      return NumberCall::NotTaken;
    if (k < params) registers[k + 1] = finish_number(number);
  }
  // With no bound on the thread, the stack guard bounds nothing either.
  uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  int64_t calls = run.stack_floor == 0 || here <= run.stack_floor
                      ? INT64_MAX
                      : static_cast<int64_t>((here - run.stack_floor) / k_frame_call_bytes);
  NumberContext context{run, caller.slot, calls};
  if (!run_number_body(shape, registers, context)) return NumberCall::Abandoned;
  answer = registers[0];
  return NumberCall::Done;
}

}  // namespace vesk
