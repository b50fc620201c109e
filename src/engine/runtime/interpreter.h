// The interpreter: one loaded script, its variable store and run state, the
// executor that walks its statement table, the call path and the error
// channel. The host makes one and reuses it for every run.
#pragma once

#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/loader/program.h"
#include "engine/runtime/builtin_library.h"
#include "engine/runtime/call_frame.h"
#include "engine/runtime/compiled_statement.h"
#include "engine/runtime/main_thread_calls.h"
#include "engine/values/evaluator.h"
#include "engine/values/fast_expression.h"
#include "engine/values/variable_store.h"

namespace vesk {

struct NumberFunction;
struct NumberOp;
struct NumberPlan;

// The host's side of a run: where PRINT lines and errors go, and the host
// states the engine reads. Everything here is called on the main thread
// (script threads hand their calls over).
class RunOutput {
 public:
  // [may_pause]: paused() may answer true. The engine asks it before each
  // statement of the main script only then.
  explicit RunOutput(bool may_pause = false) : m_may_pause(may_pause) {}
  virtual ~RunOutput() = default;
  virtual void print_line(const std::u16string& text) = 0;
  // The error dialog's text: the message and its location.
  virtual void show_error(const std::u16string& message, const std::u16string& location) = 0;
  // The recoverable-failure question: [text] with Yes/No (true: abort), or
  // with OK only when [ok_only] (the script stops either way then).
  virtual bool ask_abort(const std::u16string& text, bool ok_only) {
    (void)text, (void)ok_only;
    return true;
  }
  // An error's full text for the log file ("\r" already turned into two
  // blanks); the log window does not show it.
  virtual void log_error(const std::u16string& line) { (void)line; }
  // Plays the ERRORSOUND of the settings, when one is set.
  virtual void play_error_sound() {}
  // The stop form is in its paused state.
  virtual bool paused() const { return false; }
  bool may_pause() const { return m_may_pause; }
  // The log buffer holds lines not yet written to the log file, and the
  // write itself; the waits write it once a minute.
  virtual bool log_dirty() const { return false; }
  virtual void write_log() {}

 private:
  bool m_may_pause;
};

// The steps of the end-of-run cleanup, in their order. Each subsystem that
// holds something for a run installs its step; a step nobody installed does
// nothing.
enum class CleanupStep {
  Balloons,         // the balloon windows of the main script and every slot
  HeldInput,        // buttons and keys pressed and not released
  WindowResources,  // window, input and control built-ins; the window list
  LogFile,          // write the log file buffer
  ImageCache,       // the picture-search cache
  InputLock,        // release the input lock
  OptionEffects,    // LOGPATH, LOGLINES and DEFAULTFONT undone
  ComObjects,       // COM objects held by the interpreter
  Speech,           // the speech thread
  HtmlForm,         // the CREATEFORM window
  TemporaryFile,    // the interpreter's temporary file
  PopupMenu,        // the pop-up menu
  HotKeys,          // hot keys the script registered
  DllLibraries,     // libraries loaded for DEF_DLL
  Count
};
// After the steps, every built-in family's state has its end-of-run turn
// (the file table closes the slots left open).

class ScriptThreads;
struct FlatBody;
struct ThreadRun;

class Interpreter {
 public:
  static constexpr int k_max_threads = 64;

  explicit Interpreter(RunOutput& output);
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // The built-in library the call path reaches after user functions; it
  // outlives the interpreter.
  void set_library(BuiltinLibrary* library) { m_library = library; }
  BuiltinLibrary* library() const { return m_library; }

  // The pre-pass over [run_text]; false with [error] when the run cannot
  // start.
  bool load(const std::vector<std::u16string>& run_text, LoadError& error);
  // Runs the module constructors and "__MAIN__" with [params] as PARAM_STR.
  void run_main(const std::vector<std::u16string>& params);
  // The end-of-run cleanup: stops script threads, runs the installed steps
  // in order and empties the run's tables.
  void cleanup();
  void set_cleanup_step(CleanupStep step, std::function<void()> action) {
    m_cleanup_steps[static_cast<size_t>(step)] = std::move(action);
  }
  // For a host that repeats a run: with [first] (after the pre-pass) the
  // globals are remembered; without it they are put back as remembered and
  // the stop level (raised by the last cleanup or an EXITEXIT) is cleared.
  void reset_between_runs(bool first);

  // The exit code that EXITEXIT set, and whether an error ended the run.
  int exit_code() const { return m_exit_code; }
  bool error_shown() const { return m_error_shown; }
  bool exit_all() const { return m_exit_all; }
  void request_stop() { m_stop_pending = 1; }
  // Whether bodies that can run flat do (the default); off, every body
  // runs nested, which the tests compare with.
  void set_flat_bodies(bool on) { m_flat_bodies = on; }
  // Off, every call of a number function runs in a frame.
  void set_number_functions(bool on) { m_number_functions = on; }
  // Whether the loaded program's function [name] (upper case) is a number
  // function (number_function.h). Asked while number functions are off,
  // it settles them as none for the rest of the load.
  bool is_number_function(std::u16string_view name);

  const Program& program() const { return m_program; }
  VariableStore& store() { return m_store; }

  // --- used by the executor, the call path and built-ins ---
  void execute_one(CallFrame& frame);
  EvalResult evaluate_in(const CompiledExpression& expression, CallFrame& frame, bool condition = false);
  // The final rounding of a number result, as evaluate() makes it.
  // OPTIMIZATION: a whole number below 10^15 is asked for neither rounding.
  [[gnu::always_inline]] double finish_number(double number) const {
    return survives_rounding(number) ? number : round_number(number);
  }
  double round_number(double number) const;
  Value call(const CallSite& call, CallFrame& frame, bool& failed);
  // Reports a script error (the error channel).
  void report_error(CallFrame& frame, std::u16string message, bool force = false, bool catchable = true);
  // Shows an error of the pre-pass or the block checks: the run does not
  // start.
  void report_load_error(const LoadError& error);
  // Reports a recoverable failure: the user may let the script go on.
  void report_with_abort_question(CallFrame& frame, std::u16string message);
  // The COM error code the COM bridge holds (0: none); a "COM_ERR" message
  // is explained with it.
  void set_com_error_code(int32_t code) { m_com_error_code = code; }
  // Runs [call] on the main thread: directly there, handed over from a
  // script thread. False when it was dropped (cleanup in progress).
  bool on_main_thread(const std::function<void()>& call);
  // On the main thread: window messages and calls handed over.
  void service_main_thread();
  // A script thread's suspension state: 0 running, 1 suspended, 2 to end.
  void set_thread_state(int32_t slot, int32_t state);
  int32_t thread_state(int32_t slot) const;
  bool stopped() const { return m_stopped; }
  bool stop_pending() const { return m_stop_pending > 0; }
  bool is_module_reference(std::u16string_view name, const CallFrame& frame) const;

  // The state a built-in family keeps for this interpreter.
  template <class T>
  T& builtin_state(BuiltinStateSlot slot) {
    std::lock_guard guard(m_states_lock);
    std::unique_ptr<BuiltinState>& state = m_builtin_states[static_cast<size_t>(slot)];
    if (!state) state = std::make_unique<T>();
    return static_cast<T&>(*state);
  }

  // --- what the waits read and set ---
  RunOutput& output() { return m_output; }
  bool on_gui_thread() const { return std::this_thread::get_id() == m_main_thread; }
  // The run has been asked to stop, or an error stopped it.
  bool stop_requested() const { return m_stopped || m_stop_pending > 0; }
  bool cleanup_in_progress() const { return m_in_cleanup; }
  // Mouse buttons seen held down by a wait: 0 left, 1 right, 2 middle.
  // Taking a flag clears it.
  void set_mouse_seen(int button) { m_mouse_seen[button] = true; }
  bool take_mouse_seen(int button) { return m_mouse_seen[button].exchange(false); }
  // The minute (minutes since the epoch) of the last periodic log write.
  int64_t& last_log_minute() { return m_last_log_minute; }
  // The number of COM event sinks that OLEEVENT registered.
  int32_t event_sink_count() const { return m_event_sinks; }
  void set_event_sink_count(int32_t count) { m_event_sinks = count; }

 private:
  friend class ScriptThreads;
  friend class FrameHost;
  friend class CheckHost;  // the block checks share the compiled statements and the function lookup

  // The compiled form of [statement], made on first use.
  const CompiledStatement& compiled(int32_t statement) {
    if (CompiledStatement* s = m_compiled[statement].load(std::memory_order_acquire)) return *s;
    return compile_now(statement);
  }
  const CompiledStatement& compile_now(int32_t statement);
  bool before_statement(CallFrame& frame);
  void run_unguarded(CallFrame& frame, const CompiledStatement& s);
  void run_compiled(CallFrame& frame, const CompiledStatement& s);
  void report_exception(CallFrame& frame, const std::exception& e);
  void run_flat(CallFrame& frame, const FlatBody& body);
  void run_statement(CallFrame& frame, const CompiledStatement& s);
  void run_plain(CallFrame& frame, const CompiledStatement& s);
  bool run_append(CallFrame& frame, const CompiledStatement& s);
  // A number plan's answer into [slot]; false (nothing stored) when the
  // plan gave up, and then [slot] may be null.
  [[gnu::always_inline]] bool store_plan_answer(Value* slot, FastOutcome outcome, double number, bool truth) {
    switch (outcome) {
      case FastOutcome::Number: slot->set_r8(finish_number(number)); return true;
      case FastOutcome::Truth: *slot = truth ? m_store.true_value() : m_store.false_value(); return true;
      default: return false;
    }
  }
  bool run_self_chain(CallFrame& frame, const CompiledStatement& s);
  bool run_target_step(CallFrame& frame, const CompiledStatement& s);
  bool run_element_assign(CallFrame& frame, const CompiledStatement& s);
  bool run_number_assign(CallFrame& frame, const CompiledStatement& s);
  bool run_call_assign(CallFrame& frame, const CompiledStatement& s);
  void run_if(CallFrame& frame, const CompiledStatement& s);
  void run_for(CallFrame& frame, const CompiledStatement& s);
  // A running FOR loop: its end and step, the variable's value at the
  // start of the pass and where the variable is.
  // Left unset until for_start: a flat body keeps one per FOR on the stack
  // of every call.
  struct ForPass {
    double value, end, step;
    const NameRef* name;
    int32_t slot;
    bool active;  // in a flat body: the loop is running
  };
  bool for_start(CallFrame& frame, const CompiledStatement& s, ForPass& pass);
  // OPTIMIZATION: a local double variable is tested and stepped here,
  // inline; anything else out of line.
  [[gnu::always_inline]] bool for_test(CallFrame& frame, ForPass& pass) {
    if (pass.slot >= 0) {
      Variable& var = frame.variables[pass.slot];
      if (!var.is_array() && var.values[0].is(VarType::R8)) {
        double v = pass.value = var.values[0].as_r8();
        return pass.step > 0 ? !(v > pass.end) : !(v < pass.end);
      }
    }
    return general_for_test(frame, pass);
  }
  bool general_for_test(CallFrame& frame, ForPass& pass);
  [[gnu::always_inline]] void for_advance(CallFrame& frame, const CompiledStatement& s, const ForPass& pass) {
    if (pass.slot >= 0 && !frame.variables[pass.slot].is_array())
      frame.variables[pass.slot].values[0].set_r8(pass.value + pass.step);
    else
      general_for_advance(frame, s, pass);
  }
  void general_for_advance(CallFrame& frame, const CompiledStatement& s, const ForPass& pass);
  void run_while(CallFrame& frame, const CompiledStatement& s);
  void run_repeat(CallFrame& frame, const CompiledStatement& s);
  void run_select(CallFrame& frame, const CompiledStatement& s);
  int32_t choose_case(CallFrame& frame, const CompiledStatement& s);
  void run_print(CallFrame& frame, const CompiledStatement& s);
  void run_dim(CallFrame& frame, const CompiledStatement& s);
  void run_with(CallFrame& frame, const CompiledStatement& s);
  void run_exitexit(CallFrame& frame, const CompiledStatement& s);
  void run_break(CallFrame& frame, const CompiledStatement& s);
  void run_body(CallFrame& frame, int32_t end);
  bool leave_loop(CallFrame& frame, int32_t start, int32_t closer, bool& continue_loop);
  void finish_loop(CallFrame& frame, int32_t start, int32_t closer);
  void unwind_to(CallFrame& frame, int32_t start, int32_t end);
  bool is_true(const Value& v) const;
  // OPTIMIZATION: a number plan without calls answers here, inline; the
  // rest (which runs such a plan again, to no effect) out of line.
  [[gnu::always_inline]] bool condition(const CompiledExpression& e, CallFrame& frame, bool& failed) {
    if (e.fast && !e.fast->calls && !frame.exit) {
      double number = 0;
      bool truth = false;
      switch (run_fast_plan(*e.fast, frame, number, truth)) {
        case FastOutcome::Truth: failed = false; return truth;
        case FastOutcome::Number: failed = false; return finish_number(number) != 0;
        default: break;
      }
    }
    return general_condition(e, frame, failed);
  }
  bool general_condition(const CompiledExpression& e, CallFrame& frame, bool& failed);
  // The stop form's pause holds the main script (called once paused()
  // answered yes); a script thread waits while its slot is suspended and
  // ends when its slot is to be ended.
  void wait_while_paused();
  void wait_while_suspended(CallFrame& frame);
  // OPTIMIZATION: the count inline; the clock only every 64th statement.
  [[gnu::always_inline]] void service_between_statements() {
    if (++m_statements_since_pump >= k_statements_per_pump) pump_if_due();
    m_main_calls.service();
  }
  void pump_if_due();
  void show_error_now(CallFrame& frame, std::u16string text, const std::u16string& location);
  void assign(CallFrame& frame, const CompiledStatement& s, const Value& value);

  // TRY at run time.
  void run_try(CallFrame& frame, const CompiledStatement& s);
  void run_finally_statement(CallFrame& frame);
  void run_except_statement(CallFrame& frame);
  bool catch_error(CallFrame& frame);
  bool taken_by_try(CallFrame& frame);
  std::u16string record_error(CallFrame& frame, std::u16string& text);
  void run_pending_finally(CallFrame& frame);
  void run_handler(CallFrame& frame, const TryRecord& record);

  // User functions.
  struct FunctionShape;
  // The parameter list and length of [function], read once and kept.
  const FunctionShape& function_shape(int32_t function) {
    if (FunctionShape* shape = m_function_shapes[function].load(std::memory_order_acquire)) return *shape;
    return make_function_shape(function);
  }
  const FunctionShape& make_function_shape(int32_t function);
  void clear_function_shapes();
  int32_t find_function(std::u16string_view name, const CallFrame& frame, std::u16string& module) const;
  Value call_user(int32_t function, const std::u16string& module, CallFrame& caller, const CallSite* call,
                  std::vector<Value> list_arguments, bool list_mode, bool& failed, bool as_thread = false);
  // A call from outside modules of a function whose parameters are all
  // plain: the arguments go to fixed slots (FunctionShape::plain).
  Value call_plain(int32_t function, const FunctionShape& shape, const CallSite& site, CallFrame& caller,
                   bool& failed, bool by_site_name = false);
  // The parts of call_plain that most calls do not take.
  Value refuse_plain_call(int32_t function, const CallSite& site, CallFrame& caller, bool& failed, bool by_site_name);
  void declare_plain_slots(CallFrame& f, int32_t function, const FunctionShape& shape);
  void give_own_layout(CallFrame& f);
  bool bind_general_argument(const CompiledExpression& argument, CallFrame& caller, Value* slot);
  // Runs the body of a called function, flat when it can.
  void run_body_of(CallFrame& f, const FunctionShape& shape);
  // Number plans with calls (call_plans.cpp). A Value outcome leaves the
  // general evaluation's result in [general].
  FastOutcome run_call_plan(const FastPlan& plan, CallFrame& frame, double& number, bool& truth,
                            EvalResult& general);
  FastOutcome run_call_steps(const FastPlan& plan, CallFrame& frame, double& number, bool& truth,
                             EvalResult& general);
  FastOutcome run_marked_call_plan(const FastPlan& plan, CallFrame& frame, double& number, bool& truth,
                                   EvalResult& general);
  EvalResult finish_plan_in_values(const FastPlan& plan, size_t from, const double* stack, int top, Value* pending,
                                   bool failed, size_t line, CallFrame& frame);
  int32_t plain_function(const CallSite& site, const CallFrame& frame, const FunctionShape*& shape);  // function_shape.h
  int32_t look_up_outside_modules(const CallSite& site, const CallFrame& frame);
  Value plan_call(const CallSite& site, int32_t function, const FunctionShape* shape, CallFrame& frame, bool& failed);
  // Number functions (number_functions.cpp). number_function() is null
  // when [function] is none; it is worked out once.
  const NumberFunction* number_function(int32_t function, const FunctionShape& shape);  // function_shape.h
  const NumberFunction* find_number_functions(int32_t function);
  std::unique_ptr<NumberFunction> make_number_function(const FunctionShape& shape);
  enum class NumberCall : uint8_t { NotTaken, Done, Abandoned };
  NumberCall try_number_call(const FunctionShape& shape, const CallSite& site, CallFrame& caller, ThreadRun& run,
                             double& answer);
  struct NumberContext;
  bool number_checks(NumberContext& context);
  bool run_number_body(const FunctionShape& shape, double* registers, NumberContext& context);
  bool number_value(const NumberFunction& numbers, const NumberPlan& plan, const double* registers,
                    NumberContext& context, double& number, bool& truth);
  bool number_steps(const NumberFunction& numbers, const NumberPlan& plan, const double* registers,
                    NumberContext& context, double& number, bool& truth);
  bool number_call(const NumberFunction& numbers, const NumberOp& op, const double* registers,
                   NumberContext& context, double& answer);
  // Any number plan of [frame]'s: the engine's own for one with calls.
  [[gnu::always_inline]] FastOutcome run_plan(const FastPlan& plan, CallFrame& frame, double& number, bool& truth,
                                              EvalResult& general) {
    if (plan.calls) return run_call_plan(plan, frame, number, truth, general);
    return run_fast_plan(plan, frame, number, truth);
  }
  void take_call_errors(CallFrame& caller, const CallFrame& f, bool& failed);
  int32_t declare_scalar(CallFrame& f, const std::u16string& name, const NameKey& key, int32_t expected);
  void run_frame(CallFrame& frame);
  // A frame for a call of [function] on [run]'s thread: one that an earlier
  // call of it there gave back, else a new one.
  std::unique_ptr<CallFrame> take_frame(int32_t function, ThreadRun& run);
  void give_back_frame(int32_t function, std::unique_ptr<CallFrame> frame, int32_t keep, ThreadRun& run);
  Value start_thread(const CompiledExpression& call, CallFrame& frame);
  void run_include_call(CallFrame& frame, const CompiledStatement& s);

  RunOutput& m_output;
  BuiltinLibrary* m_library = nullptr;
  Program m_program;
  VariableStore m_store;
  std::vector<std::atomic<CompiledStatement*>> m_compiled;
  std::vector<std::atomic<FunctionShape*>> m_function_shapes;
  static constexpr int32_t k_statements_per_pump = 64;
  int32_t m_statements_since_pump = k_statements_per_pump - 1;  // the first statement pumps
  uint64_t m_last_pump = 0;  // platform::milliseconds_now() of the last pump
  bool m_flat_bodies = true;
  bool m_number_functions = true;
  std::mutex m_number_lock;  // while number functions are worked out
  uint64_t m_generation = 0;  // new for every load: tells the frame pools apart
  std::unique_ptr<ScriptThreads> m_threads;
  MainThreadCalls m_main_calls;
  std::array<std::function<void()>, static_cast<size_t>(CleanupStep::Count)> m_cleanup_steps;
  std::unique_ptr<GlobalSnapshot> m_globals_at_start;
  std::atomic<bool> m_in_cleanup{false};
  std::atomic<int32_t> m_com_error_code{0};
  std::mutex m_states_lock;
  std::array<std::unique_ptr<BuiltinState>, static_cast<size_t>(BuiltinStateSlot::Count)> m_builtin_states;
  std::array<std::atomic<bool>, 3> m_mouse_seen{};
  int64_t m_last_log_minute = -1;
  std::atomic<int32_t> m_event_sinks{0};

  std::atomic<bool> m_stopped{false};
  std::atomic<int> m_stop_pending{0};
  std::atomic<bool> m_exit_all{false};
  std::atomic<int> m_exit_code{0};
  std::atomic<bool> m_error_shown{false};
  std::thread::id m_main_thread;
};

// A value's PRINT text: Empty gives "", COM objects their reference number
// or "NOTHING", Null "NULL", Error "ERROR", anything else its text form.
std::u16string display_text(const Value& value);

}  // namespace vesk
