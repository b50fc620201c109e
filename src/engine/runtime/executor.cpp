// Executing statements: one statement at a time, blocks and loops by their
// compiled offsets.
#include <cmath>
#include <new>

#include "engine/runtime/flat_body.h"
#include "engine/runtime/frame_host.h"
#include "engine/runtime/interpreter.h"
#include "engine/runtime/stack_guard.h"
#include "engine/runtime/thread_run.h"
#include "engine/values/fast_expression.h"
#include "engine/values/conversion.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/unicode_case.h"
#include "support/utf.h"

namespace vesk {

const CompiledStatement& Interpreter::compile_now(int32_t statement) {
  std::atomic<CompiledStatement*>& slot = m_compiled[statement];
  std::unique_ptr<CompiledStatement> made =
      compile_statement(m_program.code[statement], m_program.kinds[statement]);
  CompiledStatement* expected = nullptr;
  if (slot.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) return *made.release();
  return *expected;  // another thread compiled it first
}

EvalResult Interpreter::evaluate_in(const CompiledExpression& expression, CallFrame& frame, bool condition) {
  // OPTIMIZATION: arithmetic over local doubles runs as a number plan,
  // without the host; anything else gives up before it did anything.
  if (expression.fast && !frame.exit) {
    double number = 0;
    bool truth = false;
    EvalResult general;
    switch (run_plan(*expression.fast, frame, number, truth, general)) {
      case FastOutcome::Number: return {Value::r8(finish_number(number)), false};
      case FastOutcome::Truth: return {truth ? m_store.true_value() : m_store.false_value(), false};
      case FastOutcome::Value: return general;
      case FastOutcome::GaveUp: break;
    }
  } else if (expression.plain_name && !frame.exit) {
    // A local read alone; a string not yet known free of escapes is left
    // to the general way, which looks at it.
    const NameRef& name = *expression.root->name;
    if (const Value* v = VariableStore::hinted_local_scalar(frame, name)) {
      if (v->is(VarType::R8)) return {Value::r8(finish_number(v->as_r8())), false};
      if (!v->is_string() || v->string_escape_free()) return {*v, false};
    }
  }
  FrameHost host(*this, frame);
  // The byte-string mark belongs to one evaluation: a nested one (a user
  // function's argument or body) starts clear and leaves the outer mark alone.
  ThreadRun& run = thread_run(frame);
  bool outer_mark = run.byte_string_mark;
  run.byte_string_mark = false;
  EvalResult r = evaluate(expression, host, condition);
  run.byte_string_mark = outer_mark;
  return r;
}

double Interpreter::round_number(double number) const {
  if (m_program.options.round_value) return number;
  if (m_library && m_library->control_word_changed()) return round_through_text(number);
  return round_result(number);
}

// The answer of condition [e] (IFB, WHILE, UNTIL); [failed] when its
// evaluation failed. OPTIMIZATION: a number plan's answer is taken as it
// is, with no value made for it; is_true() would give the same.
bool Interpreter::general_condition(const CompiledExpression& e, CallFrame& frame, bool& failed) {
  failed = false;
  if (e.fast && !frame.exit) {
    double number = 0;
    bool truth = false;
    EvalResult general;
    switch (run_plan(*e.fast, frame, number, truth, general)) {
      case FastOutcome::Truth: return truth;
      case FastOutcome::Number: return finish_number(number) != 0;
      case FastOutcome::Value:
        failed = general.failed;
        return !failed && is_true(general.value);
      case FastOutcome::GaveUp: break;
    }
  }
  EvalResult c = evaluate_in(e, frame, true);
  failed = c.failed;
  return !c.failed && is_true(c.value);
}

bool Interpreter::is_true(const Value& v) const {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return false;
    case VarType::Bool:
      return v.bool_word() != 0;
    case VarType::String: {
      Converted<double> d = to_double(v);
      return !d.ok() || *d != 0;
    }
    default: {
      Converted<double> d = to_double(v);
      return d.ok() && *d != 0;
    }
  }
}

bool Interpreter::is_module_reference(std::u16string_view name, const CallFrame& frame) const {
  std::u16string_view head = name.substr(0, name.find_first_of(u"(["));
  size_t dot = head.find(u'.');
  if (dot == std::u16string_view::npos) return false;
  if (head.find(u'.', dot + 1) != std::u16string_view::npos) return false;
  if (dot == 0) return frame.with_subject.is_string() && m_program.is_module(frame.with_subject.as_string());
  if (!frame.module_name.empty() && (starts_with(head, u"THIS.") || starts_with(head, u"GLOBAL."))) return true;
  return m_program.is_module(head.substr(0, dot));
}

// What comes before every statement: the window messages and the calls
// handed over (main script), the pause or a thread's suspension, and the
// stop. False when the statement is not to run.
[[gnu::always_inline]] inline bool Interpreter::before_statement(CallFrame& frame) {
  if (frame.slot == 0) {
    service_between_statements();
    if (m_output.may_pause() && m_output.paused() && m_stop_pending == 0) wait_while_paused();
  } else {
    wait_while_suspended(frame);
  }
  if (frame.exit) return false;
  if (m_stop_pending > 0) {
    if (m_program.options.opt_finally) run_pending_finally(frame);
    frame.exit = true;
    return false;
  }
  // frame.pending() without EXIT, looked at above.
  return !(frame.break_count > 0 || frame.continue_count > 0 || m_stopped);
}


// OPTIMIZATION: N = N op literal, the commonest of all, inline: the
// target's slot is found once, for the read and the write. False when it
// is no local double or the chain gave up (nothing happened then).
[[gnu::always_inline]] inline bool Interpreter::run_self_chain(CallFrame& frame, const CompiledStatement& s) {
  Value* slot = VariableStore::hinted_local_scalar(frame, *s.target_expr->root->name);
  if (frame.exit || !slot || !slot->is(VarType::R8)) return false;
  double number = slot->as_r8();
  bool truth = false;
  FastOutcome outcome = run_chain(*s.expr->fast, number, truth);  // before [number] is read
  return store_plan_answer(slot, outcome, number, truth);
}

// The same for a plan that reads its target at another step ("T = T + I
// * 2"): the slot that step read is the one written. When it gives up, the
// number assignment's own plan would give up alike.
[[gnu::always_inline]] inline bool Interpreter::run_target_step(CallFrame& frame, const CompiledStatement& s) {
  if (frame.exit) return false;
  Value* slot = nullptr;
  double number = 0;
  bool truth = false;
  FastOutcome outcome =
      run_fast_steps_keeping(*s.expr->fast, frame, number, truth, static_cast<size_t>(s.target_step), slot);
  return store_plan_answer(slot, outcome, number, truth);
}


// OPTIMIZATION: NAME[index] = number, where NAME is a local array of one
// dimension and the index falls inside it: the expression and then the
// index, as the ordinary path takes them, each by its number plan. False
// when either plan gave up or the element is not there; neither has calls,
// so nothing happened then.
bool Interpreter::run_element_assign(CallFrame& frame, const CompiledStatement& s) {
  if (frame.exit) return false;
  double number = 0;
  bool truth = false;
  FastOutcome outcome = plain_number(*s.expr, frame, number, truth);
  if (outcome == FastOutcome::GaveUp) return false;
  double index = 0;
  bool index_truth = false;
  if (run_fast_plan(*s.target_index, frame, index, index_truth) != FastOutcome::Number) return false;
  Value* element = fast_local_element(frame, *s.target_expr->root->name, index);
  return element && store_plan_answer(element, outcome, number, truth);
}

// OPTIMIZATION: the commonest statements, a number assignment and IFB, are
// run here, without the dispatch.
[[gnu::always_inline]] inline void Interpreter::run_unguarded(CallFrame& frame, const CompiledStatement& s) {
  if (s.number_assign) {
    if (s.self_chain && run_self_chain(frame, s)) return;
    if (s.target_step >= 0) {
      if (!run_target_step(frame, s)) run_plain(frame, s);
    } else if (s.expr->fast && s.expr->fast->calls) {
      // As run_number_assign takes it, one native call less deep.
      if (frame.exit || !run_call_assign(frame, s)) run_plain(frame, s);
    } else if (!run_number_assign(frame, s)) {
      run_plain(frame, s);
    }
  } else if (s.form == StatementForm::Ifb) {
    run_if(frame, s);
  } else if (!s.element_number_assign || !run_element_assign(frame, s)) {
    run_statement(frame, s);
  }
}

// A C++ exception out of a statement is the statement's error.
void Interpreter::report_exception(CallFrame& frame, const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e)) report_error(frame, message(MessageId::OutOfMemory));
  else report_error(frame, message(MessageId::RunException, u16(e.what())));
}

[[gnu::always_inline]] inline void Interpreter::run_compiled(CallFrame& frame, const CompiledStatement& s) {
  try {
    run_unguarded(frame, s);
  } catch (const std::exception& e) {
    report_exception(frame, e);
  }
}

void Interpreter::execute_one(CallFrame& frame) {
  if (!before_statement(frame)) return;
  run_compiled(frame, compiled(frame.statement()));
  ++frame.pc;
}

// A flat body (flat_body.h): the statements in the order the nested runner
// takes them, each after the same checks. A loop's closer starts the next
// pass as the nested loop does, without the checks of a statement.
void Interpreter::run_flat(CallFrame& frame, const FlatBody& body) {
  const FlatStep* steps = body.steps.data();
  const int32_t count = frame.count;
  // The state of each FOR loop while it runs.
  ForPass few[4];
  std::unique_ptr<ForPass[]> many;
  ForPass* passes = few;
  if (body.for_loops > 4) passes = (many = std::make_unique<ForPass[]>(static_cast<size_t>(body.for_loops))).get();
  for (int32_t k = 0; k < body.for_loops; ++k) passes[k].active = false;
  // Where a loop at [head] goes on: its body, or behind its closer.
  auto pass_or_leave = [&](const FlatStep& head, bool runs) __attribute__((always_inline)) {
    if (!runs) {
      if (head.loop >= 0) passes[head.loop].active = false;
      return past_closers(steps, head.else_next, count);
    }
    // Every pass keeps the main thread serving, also with an empty body.
    if (frame.slot == 0) service_between_statements();
    return head.then_next;
  };
  frame.pc = 1;
  // before_statement() ends the body on EXIT, an error or a stop, and a
  // closer looks at them itself.
  while (frame.pc < count) {
    const FlatStep& step = steps[frame.pc];
    try {
      if (step.kind >= FlatKind::Next && (step.kind != FlatKind::Next || passes[step.loop].active)) {
        // The end of a pass, as leave_loop takes it.
        const FlatStep& head = steps[step.head];
        if (frame.exit || m_stopped || m_stop_pending > 0 || frame.error || frame.break_count > 0) {
          frame.pc = pass_or_leave(head, false);
          continue;
        }
        bool failed = false;
        switch (step.kind) {
          case FlatKind::Next: {
            ForPass& pass = passes[step.loop];
            for_advance(frame, *head.statement, pass);
            frame.pc = pass_or_leave(head, !frame.error && !m_stopped && for_test(frame, pass));
            break;
          }
          case FlatKind::Wend: {
            frame.pc = step.head;
            bool holds = condition(*head.statement->expr, frame, failed);
            frame.pc = pass_or_leave(head, !failed && holds);
            break;
          }
          default: {  // UNTIL
            bool holds = condition(*head.statement->expr, frame, failed);
            frame.pc = pass_or_leave(head, !failed && !holds && !frame.error && !m_stopped);
            break;
          }
        }
        continue;
      }
      if (!before_statement(frame)) break;
      switch (step.kind) {
        case FlatKind::Branch: {
          bool failed = false;
          bool holds = condition(*step.statement->expr, frame, failed);
          // A failed condition has stopped the run or left the frame: the
          // loop ends, as the nested runner does after moving on by one.
          if (failed) ++frame.pc;
          else if (holds) frame.pc = past_closers(steps, step.then_next, count);
          else if (step.else_is_branch) frame.pc = step.else_next;
          else frame.pc = past_closers(steps, step.else_next, count);
          break;
        }
        case FlatKind::Select: {
          int32_t start = choose_case(frame, *step.statement);
          // The part behind the chosen CASE or DEFAULT, or behind the SELEND.
          frame.pc = start < 0 ? frame.pc + 1 : past_closers(steps, start + 1, count);
          break;
        }
        case FlatKind::For: {
          ForPass& pass = passes[step.loop];
          pass.active = for_start(frame, *step.statement, pass);
          // A failed start goes on by one, as the nested runner does.
          if (!pass.active) ++frame.pc;
          else frame.pc = pass_or_leave(step, !frame.error && !m_stopped && for_test(frame, pass));
          break;
        }
        case FlatKind::While: {
          bool failed = false;
          bool holds = !frame.error && !m_stopped && condition(*step.statement->expr, frame, failed);
          frame.pc = pass_or_leave(step, !failed && holds);
          break;
        }
        case FlatKind::Repeat:
          frame.pc = pass_or_leave(step, !frame.error && !m_stopped);
          break;
        default: {
          // A plain statement, or a closer run as one (a NEXT whose FOR
          // failed to start).
          run_unguarded(frame, step.statement ? *step.statement : compiled(frame.statement()));
          frame.pc = past_closers(steps, frame.pc + 1, count);
          break;
        }
      }
    } catch (const std::exception& e) {
      report_exception(frame, e);
      frame.pc = step.kind == FlatKind::Plain ? past_closers(steps, frame.pc + 1, count) : frame.pc + 1;
    }
  }
}

// OPTIMIZATION: the window messages are handled between statements at most
// every 10 ms (the clock is read every 64th statement or loop pass), not
// before each: taking them costs a trip to the window system even when
// none wait (tens of microseconds under Wine), and 10 ms keeps the windows
// answering as a person sees it. Waits and built-ins that wait pump on
// their own; calls handed over by script threads are taken every time.
void Interpreter::pump_if_due() {
  m_statements_since_pump = 0;
  uint64_t now = platform::milliseconds_now();
  if (now - m_last_pump >= 10) {
    m_last_pump = now;
    platform::pump_messages();
  }
}

// Before a statement of the main script the stop form's pause is looked
// at, and before one of a script thread its slot's suspension.
void Interpreter::wait_while_paused() {
  do {
    platform::sleep_ms(50);
    service_main_thread();
  } while (m_output.paused() && m_stop_pending == 0);
}

void Interpreter::wait_while_suspended(CallFrame& frame) {
  while (thread_state(frame.slot) == 1 && !frame.exit && m_stop_pending == 0) platform::sleep_ms(50);
  if (m_stop_pending > 0 || thread_state(frame.slot) == 2) {
    if (m_program.options.opt_finally) run_pending_finally(frame);
    frame.exit = true;
  }
}

void Interpreter::run_statement(CallFrame& frame, const CompiledStatement& s) {
  switch (s.form) {
    case StatementForm::Nothing:
    case StatementForm::Else:
    case StatementForm::DefDll:  // FIXME: DEF_DLL re-registration comes with the DLL calls.
      return;
    case StatementForm::Marker:
      report_error(frame, s.text);
      return;
    case StatementForm::Assign:
      if (s.number_assign && run_number_assign(frame, s)) return;
      run_plain(frame, s);
      return;
    case StatementForm::MemberPut:
    case StatementForm::MemberCall:
    case StatementForm::CallStatement:
    case StatementForm::ThreadAssign:
      run_plain(frame, s);
      return;
    case StatementForm::Ifb: run_if(frame, s); return;
    case StatementForm::For:
    case StatementForm::While:
    case StatementForm::Repeat:
      frame.loop_starts.push_back(frame.pc);
      if (s.form == StatementForm::For) run_for(frame, s);
      else if (s.form == StatementForm::While) run_while(frame, s);
      else run_repeat(frame, s);
      frame.loop_starts.pop_back();
      return;
    case StatementForm::Select: run_select(frame, s); return;
    case StatementForm::Try: run_try(frame, s); return;
    case StatementForm::Finally: run_finally_statement(frame); return;
    case StatementForm::Except: run_except_statement(frame); return;
    case StatementForm::Print: run_print(frame, s); return;
    case StatementForm::Thread: start_thread(*s.expr, frame); return;
    case StatementForm::Dim: run_dim(frame, s); return;
    case StatementForm::HashTbl: {
      std::u16string error = m_store.declare_hashtbl(s.text, frame, false);
      if (!error.empty()) report_error(frame, error);
      return;
    }
    case StatementForm::Break:
    case StatementForm::Continue: run_break(frame, s); return;
    case StatementForm::Exit:
      run_pending_finally(frame);
      frame.exit = true;
      return;
    case StatementForm::Call: run_include_call(frame, s); return;
    case StatementForm::ExitExit: run_exitexit(frame, s); return;
    case StatementForm::With:
    case StatementForm::EndWith: run_with(frame, s); return;
    case StatementForm::ComErrIgn:
      m_store.set_com_error_flag(false);
      return;
    case StatementForm::ComErrRet:
      return;
  }
}

void Interpreter::assign(CallFrame& frame, const CompiledStatement& s, const Value& value) {
  const CompiledExpression& target = *s.target_expr;
  if (!target.ok || !target.root || target.root->op != ExprOp::Name) {
    report_error(frame, u"SyntaxError-103");
    return;
  }
  const NameRef& name = *target.root->name;
  if (!name.dotted && name.indices.empty()) {
    if (Value* slot = VariableStore::hinted_local_scalar(frame, name)) {
      *slot = value;
      return;
    }
  }
  if (s.target_index) {
    double index = 0;
    bool truth = false;
    if (run_fast_plan(*s.target_index, frame, index, truth) == FastOutcome::Number)
      if (Value* element = fast_local_element(frame, name, index)) {
        *element = value;
        return;
      }
  }
  IndexValues indices(name.indices.size());
  FrameHost host(*this, frame);
  if (!evaluate_indices(name, host, indices)) return;
  if (!name.dotted && indices.size() == 1) {
    std::unique_lock<std::recursive_mutex> lock(m_store.global_lock(), std::defer_lock);
    if (TSZHash* table = m_store.hinted_hash(frame, name, lock)) {
      m_store.write_hash(frame, *table, indices[0], value);
      return;
    }
  }
  std::u16string upper;
  std::u16string_view n = name.name;
  if (name.dotted) n = upper = ascii_upper(n);
  bool outer = starts_with(n, u"GLOBAL.");
  if (outer) n.remove_prefix(7);
  OutsideModule scope(frame, outer);
  m_store.write(frame, n, indices.span(), value, false, false, name.dotted ? nullptr : &name.slot_hint);
}

// OPTIMIZATION: NAME = expression with a number plan, or NAME = a local
// double: the result goes straight into the target local's slot. False
// when the plan gave up (nothing happened then); the ordinary path runs
// the same plan first, so the answer is the same either way.
bool Interpreter::run_number_assign(CallFrame& frame, const CompiledStatement& s) {
  if (frame.exit) return false;
  if (s.expr->fast && s.expr->fast->calls) return run_call_assign(frame, s);
  double number = 0;
  bool truth = false;
  FastOutcome outcome = plain_number(*s.expr, frame, number, truth);
  if (outcome == FastOutcome::GaveUp) return false;
  const NameRef& name = *s.target_expr->root->name;
  Value* slot = VariableStore::hinted_local_scalar(frame, name);
  if (outcome == FastOutcome::Number) {
    number = finish_number(number);
    if (slot) slot->set_r8(number);
    else assign(frame, s, Value::r8(number));
  } else {
    Value v = truth ? m_store.true_value() : m_store.false_value();
    if (slot) *slot = std::move(v);
    else assign(frame, s, v);
  }
  return true;
}

void Interpreter::run_plain(CallFrame& frame, const CompiledStatement& s) {
  bool com = (s.form == StatementForm::MemberCall || s.form == StatementForm::MemberPut) &&
             !is_module_reference(s.form == StatementForm::MemberPut ? s.target : s.text, frame);
  switch (s.form) {
    case StatementForm::MemberCall:
    case StatementForm::CallStatement: {
      if (com) {
        report_error(frame, message(MessageId::NotAvailableHere, u"COM: " + s.text));
        return;
      }
      if (!s.expr->ok || !s.expr->root || s.expr->root->op != ExprOp::Call) {
        report_error(frame, u"SyntaxError-113");
        return;
      }
      evaluate_in(*s.expr, frame);
      return;
    }
    case StatementForm::ThreadAssign: {
      Value slot = start_thread(*s.expr, frame);
      if (!frame.error && !m_stopped) assign(frame, s, slot);
      return;
    }
    default: {
      if (s.append_to_target && run_append(frame, s)) return;
      int32_t line = frame.statement();
      EvalResult r = evaluate_in(*s.expr, frame);
      if (r.failed || frame.statement() != line) return;
      if (com) {
        report_error(frame, message(MessageId::NotAvailableHere, u"COM: " + s.target));
        return;
      }
      assign(frame, s, r.value);
    }
  }
}

namespace {

// A local scalar of a frame, found again by its slot (slots never move).
class LocalTarget : public AppendTarget {
 public:
  LocalTarget(CallFrame& frame, const std::u16string& name, int32_t slot)
      : m_frame(frame), m_name(name), m_slot(slot) {}
  Value* value() override {
    if (m_frame.error || m_slot >= m_frame.variable_count() || m_frame.variable_names.name_at(m_slot) != m_name)
      return nullptr;
    Variable& var = m_frame.variables[m_slot];
    return var.is_array() ? nullptr : &var.values[0];
  }

 private:
  CallFrame& m_frame;
  const std::u16string& m_name;
  int32_t m_slot;
};

}  // namespace

// NAME = NAME + operand on a local string variable: the operand's text is
// appended in place where the variable alone holds its text, so building a
// text piece by piece is not quadratic. False when the statement takes the
// ordinary path.
bool Interpreter::run_append(CallFrame& frame, const CompiledStatement& s) {
  if (frame.error || frame.exit) return false;
  const NameRef& ref = *s.target_expr->root->name;
  const std::u16string& name = ref.name;
  // A local found by its hints is taken at its slot; one that holds no
  // string takes the ordinary path at once.
  Variable* known = VariableStore::hinted_local(frame, ref);
  int32_t slot = known ? static_cast<int32_t>(known - frame.variables.data()) : frame.variable_names.find(name);
  if (slot < 0 || frame.variables[slot].is_array() || !frame.variables[slot].values[0].is_string()) return false;
  int32_t line = frame.statement();
  LocalTarget target(frame, name, slot);
  FrameHost host(*this, frame);
  ThreadRun& run = thread_run(frame);
  bool outer_mark = run.byte_string_mark;
  run.byte_string_mark = false;
  bool stored = false;
  EvalResult r = evaluate_append(*s.expr, host, frame.variables[slot].values[0], target, stored);
  run.byte_string_mark = outer_mark;
  if (!stored && !r.failed && frame.statement() == line) assign(frame, s, r.value);
  return true;
}

// Runs statements from the frame's counter while it is below [end] and
// nothing is pending. Nested blocks recurse through here, so the stack
// guard of calls watches it too.
void Interpreter::run_body(CallFrame& frame, int32_t end) {
  if (!StackGuard(frame).ok()) {
    report_error(frame, message(MessageId::BlocksTooDeep));
    return;
  }
  // Every pass of a loop keeps the main thread serving, also when its body
  // is empty.
  if (frame.slot == 0) service_between_statements();
  while (frame.pc < end && !frame.pending() && !m_stopped && m_stop_pending == 0) execute_one(frame);
  if (m_stop_pending > 0 && !frame.exit) execute_one(frame);  // sets the exit flag
}

void Interpreter::run_if(CallFrame& frame, const CompiledStatement& s) {
  int32_t p = frame.pc;
  int32_t endif = p + s.offsets[2];
  int32_t otherwise = s.offsets[1] > 0 ? p + s.offsets[1] : -1;
  int32_t elseif = s.offsets[0] > 0 ? p + s.offsets[0] : -1;
  bool failed = false;
  bool holds = condition(*s.expr, frame, failed);
  if (failed) return;
  if (holds) {
    int32_t end = endif;
    if (otherwise > 0) end = std::min(end, otherwise);
    if (elseif > 0) end = std::min(end, elseif);
    frame.pc = p + 1;
    run_body(frame, end);
  } else if (elseif > 0) {
    frame.pc = elseif;
    run_body(frame, endif);
  } else {
    frame.pc = otherwise > 0 ? otherwise + 1 : endif;
    run_body(frame, endif);
  }
  if (frame.break_count > 0 || frame.continue_count > 0) unwind_to(frame, p, endif);
  frame.pc = std::max(frame.pc - 1, endif);
}

// Handles a pending CONTINUE or BREAK at the end of one pass through a loop
// body; answers whether the loop goes on.
[[gnu::always_inline]] inline bool Interpreter::leave_loop(CallFrame& frame, int32_t start, int32_t closer, bool& go_on) {
  go_on = true;
  if (frame.continue_count > 0) {
    unwind_to(frame, start, closer);
    --frame.continue_count;
    if (frame.continue_count > 0) go_on = false;
  }
  if (frame.break_count > 0 || frame.exit || m_stopped || m_stop_pending > 0 || frame.error) go_on = false;
  return go_on;
}

// Leaves a loop: a pending BREAK takes one level; the counter stays on the
// closer, or where a caught error moved it past the loop.
void Interpreter::finish_loop(CallFrame& frame, int32_t start, int32_t closer) {
  if (frame.break_count > 0) {
    --frame.break_count;
    unwind_to(frame, start, closer);
  }
  frame.pc = std::max(frame.pc - 1, closer);
}

// FOR [s] at the frame's counter: the variable gets its first value and
// the end and step are taken; false when that failed (reported).
bool Interpreter::for_start(CallFrame& frame, const CompiledStatement& s, ForPass& pass) {
  EvalResult start = evaluate_in(*s.expr, frame);
  if (start.failed) return false;
  Converted<double> v0 = to_double(start.value);
  if (!v0.ok()) return report_error(frame, message(MessageId::NonNumericValue)), false;
  Value first = Value::r8(*v0);
  assign(frame, s, first);
  EvalResult end = evaluate_in(*s.end_expr, frame);
  if (end.failed) return false;
  EvalResult step = evaluate_in(*s.step_expr, frame);
  if (step.failed) return false;
  Converted<double> e = to_double(end.value), d = to_double(step.value);
  if (!e.ok() || !d.ok()) return report_error(frame, message(MessageId::NonNumericValue)), false;
  if (*d == 0) return report_error(frame, message(MessageId::StepIsZero)), false;
  pass.end = *e;
  pass.step = *d;
  // A plain local loop variable is reached by its slot.
  pass.name = s.target_expr->root && s.target_expr->root->op == ExprOp::Name ? s.target_expr->root->name.get()
                                                                             : nullptr;
  pass.slot = pass.name && pass.name->indices.empty() ? frame.variable_names.find(pass.name->name) : -1;
  return true;
}

// The test before each pass: whether the body runs, with the variable's
// value for this pass kept; a variable that is no number is reported.
bool Interpreter::general_for_test(CallFrame& frame, ForPass& pass) {
  Converted<double> v = 0.0;
  Variable* var = pass.slot >= 0 ? &frame.variables[pass.slot] : nullptr;
  if (var && !var->is_array() && var->values[0].is(VarType::R8)) v = var->values[0].as_r8();
  else if (var && !var->is_array()) v = to_double(var->values[0]);
  else v = to_double(pass.name ? m_store.read(frame, pass.name->name, {}) : Value());
  if (!v.ok()) {
    report_error(frame, message(MessageId::NonNumericValue));
    return false;
  }
  pass.value = *v;
  return pass.step > 0 ? !(*v > pass.end) : !(*v < pass.end);
}

// The step after each pass: from the value the pass began with.
void Interpreter::general_for_advance(CallFrame& frame, const CompiledStatement& s, const ForPass& pass) {
  assign(frame, s, Value::r8(pass.value + pass.step));
}

void Interpreter::run_for(CallFrame& frame, const CompiledStatement& s) {
  int32_t p = frame.pc;
  int32_t next = p + s.offsets[0];
  ForPass pass{};
  if (!for_start(frame, s, pass)) return;
  while (!frame.error && !m_stopped) {
    if (!for_test(frame, pass)) break;
    frame.pc = p + 1;
    run_body(frame, next);
    bool go_on = true;
    if (frame.pc > next || !leave_loop(frame, p, next, go_on)) break;
    for_advance(frame, s, pass);
  }
  finish_loop(frame, p, next);
}

void Interpreter::run_while(CallFrame& frame, const CompiledStatement& s) {
  int32_t p = frame.pc;
  int32_t wend = p + s.offsets[0];
  while (!frame.error && !m_stopped) {
    frame.pc = p;
    bool failed = false;
    bool holds = condition(*s.expr, frame, failed);
    if (failed || frame.pc != p || !holds) break;
    frame.pc = p + 1;
    run_body(frame, wend);
    bool go_on = true;
    if (frame.pc > wend || !leave_loop(frame, p, wend, go_on)) break;
  }
  finish_loop(frame, p, wend);
}

void Interpreter::run_repeat(CallFrame& frame, const CompiledStatement& s) {
  int32_t p = frame.pc;
  int32_t until = p + s.offsets[0];
  while (!frame.error && !m_stopped) {
    frame.pc = p + 1;
    run_body(frame, until);
    bool go_on = true;
    if (frame.pc > until || !leave_loop(frame, p, until, go_on)) break;
    frame.pc = until;
    bool failed = false;
    bool holds = condition(*s.expr, frame, failed);
    if (failed || frame.pc != until || holds) break;
  }
  finish_loop(frame, p, until);
}

namespace {

const std::u16string k_null_object_marker = u"\x01__VESK_NOTHING__";

// A SELECT operand as compared: strings upper-cased unless SAMESTR, NOTHING
// as a marker that equals only NOTHING.
Value select_operand(Value v, bool same_str) {
  if (v.is_nothing()) return Value::string(k_null_object_marker);
  if (v.is_string() && !same_str) return Value::string(unicode_upper(v.as_string()));
  return v;
}

bool select_equal(const Value& a, const Value& b) {
  if (a.is(VarType::R8) && b.is(VarType::R8)) return a.as_r8() == b.as_r8();
  if (a.is_any_string() || b.is_any_string()) {
    Converted<std::u16string> x = to_text(a), y = to_text(b);
    return x.ok() && y.ok() && *x == *y;
  }
  Converted<double> x = to_double(a), y = to_double(b);
  return x.ok() && y.ok() && *x == *y;
}

}  // namespace

// The part of SELECT [s] (at the frame's counter) that its selector picks:
// the CASE or DEFAULT statement, or the SELEND when none; -1 when the
// selector or a case value failed, or the run stopped meanwhile.
int32_t Interpreter::choose_case(CallFrame& frame, const CompiledStatement& s) {
  int32_t p = frame.pc;
  int32_t selend = p + s.end_offset;
  bool same = m_program.options.same_str;
  // OPTIMIZATION: a number selector is compared as it is (select_operand
  // gives it back unchanged) and with a number literal by ==, which is
  // what select_equal does for two numbers. A number plan's answer is
  // taken without a value made for it.
  double number = 0;
  bool is_number = false;
  Value selector;
  if (s.expr->fast && !s.expr->fast->calls && !frame.exit) {
    bool truth = false;
    if (run_fast_plan(*s.expr->fast, frame, number, truth) == FastOutcome::Number) {
      number = finish_number(number);
      is_number = true;
      selector = Value::r8(number);
    }
  }
  if (!is_number) {
    EvalResult sel = evaluate_in(*s.expr, frame);
    if (sel.failed) return -1;
    is_number = sel.value.is(VarType::R8);
    if (is_number) number = sel.value.as_r8();
    selector = select_operand(std::move(sel.value), same);
  }
  if (is_number && !s.number_cases.empty()) {
    // OPTIMIZATION: every case value a number literal: one scan.
    if (frame.error || m_stopped) return -1;
    for (const auto& [value, offset] : s.number_cases)
      if (number == value) return p + offset;
    return s.default_offset > 0 ? p + s.default_offset : selend;
  }
  for (const SelectCase& c : s.cases) {
    bool found = false;
    for (size_t i = 0; i < c.values.size() && !found; ++i) {
      if (c.empty_word[i]) {
        found = selector.is_empty();
      } else if (c.constants[i].is(VarType::R8)) {
        // OPTIMIZATION: a whole-number literal is what its evaluation gives.
        if (frame.error || m_stopped) return -1;
        found = is_number ? number == c.constants[i].as_r8() : select_equal(selector, c.constants[i]);
      } else {
        EvalResult v = evaluate_in(*c.values[i], frame);
        if (frame.error || m_stopped) return -1;
        found = !v.failed && select_equal(selector, select_operand(v.value, same));
      }
    }
    if (found) return p + c.offset;
  }
  return s.default_offset > 0 ? p + s.default_offset : selend;
}

void Interpreter::run_select(CallFrame& frame, const CompiledStatement& s) {
  int32_t p = frame.pc;
  int32_t selend = p + s.end_offset;
  int32_t start = choose_case(frame, s);
  if (start < 0) return;
  frame.pc = start == selend ? selend : start + 1;
  while (frame.pc < selend && !frame.pending() && !m_stopped && m_stop_pending == 0) {
    int32_t kind = m_program.kinds[frame.statement()];
    if (kind == int32_t(StatementKind::Case) || kind == int32_t(StatementKind::Default)) break;
    execute_one(frame);
  }
  if (frame.break_count > 0 || frame.continue_count > 0) unwind_to(frame, p, selend);
  frame.pc = std::max(frame.pc - 1, selend);
}

void Interpreter::run_print(CallFrame& frame, const CompiledStatement& s) {
  EvalResult r = evaluate_in(*s.expr, frame);
  if (r.failed || m_stop_pending > 0 || m_stopped || m_in_cleanup) return;
  std::u16string line = display_text(r.value);
  on_main_thread([&] { m_output.print_line(line); });
}

void Interpreter::run_break(CallFrame& frame, const CompiledStatement& s) {
  // A BREAK out of a TRY inside the innermost loop runs its FINALLY part.
  if (!frame.try_stack.empty() && !frame.loop_starts.empty() &&
      frame.loop_starts.back() < frame.try_stack.back().pc && !frame.try_stack.back().except) {
    TryRecord record = frame.try_stack.back();
    frame.try_stack.pop_back();
    run_handler(frame, record);
  }
  int32_t n = s.number > 0 ? s.number : 1;
  if (s.form == StatementForm::Break) frame.break_count = n;
  else frame.continue_count = n;
}

void Interpreter::unwind_to(CallFrame& frame, int32_t start, int32_t end) {
  int32_t saved = frame.pc;
  int32_t saved_break = frame.break_count, saved_continue = frame.continue_count;
  while (!frame.try_stack.empty() && frame.try_stack.back().pc > start && frame.try_stack.back().pc < end) {
    TryRecord record = frame.try_stack.back();
    frame.try_stack.pop_back();
    if (record.except) {
      --frame.except_count;
    } else {
      frame.break_count = frame.continue_count = 0;
      run_handler(frame, record);
      frame.break_count = saved_break;
      frame.continue_count = saved_continue;
    }
  }
  while (!frame.with_stack.empty() && frame.with_stack.back().pc > start && frame.with_stack.back().pc < end)
    frame.with_stack.pop_back();
  frame.with_subject = frame.with_stack.empty() ? Value() : frame.with_stack.back().target;
  frame.pc = saved;
}

void Interpreter::run_with(CallFrame& frame, const CompiledStatement& s) {
  if (s.form == StatementForm::EndWith) {
    if (!frame.with_stack.empty()) frame.with_stack.pop_back();
    frame.with_subject = frame.with_stack.empty() ? Value() : frame.with_stack.back().target;
    return;
  }
  std::u16string_view operand = trim_blanks(s.text);
  Value target;
  if (operand == u"THIS") {
    target = Value::string(frame.module_name);
  } else if (m_program.is_module(operand)) {
    target = Value::string(operand);
  } else {
    EvalResult r = evaluate_in(*s.expr, frame);
    if (r.failed) return;
    target = r.value;
  }
  frame.with_stack.push_back({frame.pc, target});
  frame.with_subject = target;
}

void Interpreter::run_exitexit(CallFrame& frame, const CompiledStatement& s) {
  if (!trim_blanks(s.text).empty()) {
    std::u16string_view word = trim_blanks(s.text);
    Value v;
    if (ascii_iequals(word, u"TRUE")) v = m_store.true_value();
    else if (ascii_iequals(word, u"FALSE")) v = m_store.false_value();
    else {
      EvalResult r = evaluate_in(*s.expr, frame);
      if (r.failed) return;
      v = r.value;
    }
    Converted<double> code = to_double(v);
    if (code.ok() && std::isfinite(*code) && std::fabs(*code) < 2147483648.0)
      m_exit_code = static_cast<int>(*code);
  }
  if (m_program.options.opt_finally) run_pending_finally(frame);
  m_exit_all = true;
  m_stop_pending = 1;
  frame.exit = true;
}

void Interpreter::run_dim(CallFrame& frame, const CompiledStatement& s) {
  // Items as for global declarations: NAME, NAME[b][c], NAME = v, NAME[] = a, b.
  std::u16string_view body = trim_blanks(s.text);
  std::vector<std::u16string> items;
  size_t eq = assignment_position(body), bracket = body.find(u'[');
  if (eq != std::u16string_view::npos && bracket != std::u16string_view::npos && eq > 0 && bracket > 0)
    items.emplace_back(body);
  else
    items = split_arguments(body);
  for (const std::u16string& item : items) {
    size_t at = assignment_position(item);
    std::u16string_view left = trim_blanks(std::u16string_view(item).substr(0, at));
    size_t open = left.find(u'[');
    std::u16string name(trim_blanks(left.substr(0, open)));
    if (std::u16string e = VariableStore::reserved_error(name); !e.empty()) return report_error(frame, e);
    std::vector<Value> initial;
    if (at != std::u16string::npos) {
      std::u16string_view right = trim_blanks(std::u16string_view(item).substr(at + 1));
      std::vector<std::u16string> texts;
      if (open == std::u16string_view::npos) texts.emplace_back(right);
      else texts = split_arguments(right);
      for (const std::u16string& t : texts) {
        EvalResult r = evaluate_in(*compile_expression(t), frame);
        if (r.failed) return;
        initial.push_back(r.value);
      }
    }
    std::vector<int32_t> bounds;
    for (size_t i = open; i != std::u16string_view::npos && i < left.size();) {
      size_t close = left.find(u']', i);
      if (close == std::u16string_view::npos) return report_error(frame, message(MessageId::ArrayIndexWrong, name));
      std::vector<std::u16string> parts = split_arguments(left.substr(i + 1, close - i - 1));
      if (parts.empty()) parts.emplace_back();
      for (const std::u16string& part : parts) {
        if (part.empty()) {
          bounds.push_back(static_cast<int32_t>(initial.size()) - 1);
          continue;
        }
        EvalResult r = evaluate_in(*compile_expression(part), frame);
        if (r.failed) return;
        Converted<double> d = to_double(r.value);
        if (!d.ok() || *d < -1 || *d > 0x7FFFFFFE) return report_error(frame, message(MessageId::ArrayIndexWrong, name));
        bounds.push_back(static_cast<int32_t>(std::trunc(*d)));
      }
      i = left.find(u'[', close);
    }
    m_store.declare_variable(frame, name, bounds);
    if (frame.error) return;
    int32_t slot = frame.variable_names.find(name);
    Variable& var = frame.variables[slot];
    if (initial.size() > var.values.size()) return report_error(frame, message(MessageId::InitialValuesExceeded));
    for (size_t i = 0; i < initial.size(); ++i) var.values[i] = initial[i];
  }
}

std::u16string display_text(const Value& value) {
  switch (value.type()) {
    case VarType::Empty: return {};
    case VarType::Null: return u"NULL";
    case VarType::Error: return u"ERROR";
    case VarType::Object:
      return value.is_nothing() ? u"NOTHING" : u16(std::to_string(value.as_object()->identity()));
    default: {
      Converted<std::u16string> text = to_text(value);
      return text.ok() ? *text : std::u16string();
    }
  }
}

}  // namespace vesk
