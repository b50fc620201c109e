// The interpreter: one loaded script, its variable store and run state, the
// executor that walks its statement table, the call path and the error
// channel. The host makes one and reuses it for every run.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/loader/program.h"
#include "engine/runtime/call_frame.h"
#include "engine/runtime/compiled_statement.h"
#include "engine/values/evaluator.h"
#include "engine/values/variable_store.h"

namespace vesk {

// Where the interpreter's output goes: PRINT lines and the error dialog.
class RunOutput {
 public:
  virtual ~RunOutput() = default;
  virtual void print_line(const std::u16string& text) = 0;
  // The error dialog's text: the message and its location.
  virtual void show_error(const std::u16string& message, const std::u16string& location) = 0;
};

// A built-in function call: answers nothing when [call] names no built-in.
using BuiltinCall = std::function<std::optional<Value>(const CallSite& call, CallFrame& frame, bool& failed)>;

class ScriptThreads;

class Interpreter {
 public:
  static constexpr int k_max_threads = 64;

  explicit Interpreter(RunOutput& output);
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  void set_builtins(BuiltinCall builtins) { m_builtins = std::move(builtins); }

  // The pre-pass over [run_text]; false with [error] when the run cannot
  // start.
  bool load(const std::vector<std::u16string>& run_text, LoadError& error);
  // Runs the module constructors and "__MAIN__" with [params] as PARAM_STR.
  void run_main(const std::vector<std::u16string>& params);
  // Stops script threads and empties the run's tables.
  void cleanup();

  // The exit code that EXITEXIT set, and whether an error ended the run.
  int exit_code() const { return m_exit_code; }
  bool error_shown() const { return m_error_shown; }
  bool exit_all() const { return m_exit_all; }
  void request_stop() { m_stop_pending = 1; }

  const Program& program() const { return m_program; }
  VariableStore& store() { return m_store; }

  // --- used by the executor, the call path and built-ins ---
  void execute_one(CallFrame& frame);
  EvalResult evaluate_in(const CompiledExpression& expression, CallFrame& frame, bool condition = false);
  Value call(const CallSite& call, CallFrame& frame, bool& failed);
  // Reports a script error (the error channel).
  void report_error(CallFrame& frame, std::u16string message, bool force = false, bool catchable = true);
  bool stopped() const { return m_stopped; }
  bool stop_pending() const { return m_stop_pending > 0; }
  bool is_module_reference(std::u16string_view name, const CallFrame& frame) const;

 private:
  friend class ScriptThreads;
  friend class FrameHost;

  const CompiledStatement& compiled(int32_t statement);
  void run_statement(CallFrame& frame, const CompiledStatement& s);
  void run_plain(CallFrame& frame, const CompiledStatement& s);
  void run_if(CallFrame& frame, const CompiledStatement& s);
  void run_for(CallFrame& frame, const CompiledStatement& s);
  void run_while(CallFrame& frame, const CompiledStatement& s);
  void run_repeat(CallFrame& frame, const CompiledStatement& s);
  void run_select(CallFrame& frame, const CompiledStatement& s);
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
  void assign(CallFrame& frame, const CompiledStatement& s, const Value& value);

  // TRY at run time.
  void run_try(CallFrame& frame, const CompiledStatement& s);
  void run_finally_statement(CallFrame& frame);
  void run_except_statement(CallFrame& frame);
  bool catch_error(CallFrame& frame);
  void run_pending_finally(CallFrame& frame);
  void run_handler(CallFrame& frame, const TryRecord& record);

  // User functions.
  int32_t find_function(std::u16string_view name, const CallFrame& frame, std::u16string& module) const;
  Value call_user(int32_t function, const std::u16string& module, CallFrame& caller, const CallSite* call,
                  std::vector<Value> list_arguments, bool list_mode, bool& failed, bool as_thread = false);
  void run_frame(CallFrame& frame);
  Value start_thread(const CompiledExpression& call, CallFrame& frame);
  void run_include_call(CallFrame& frame, const CompiledStatement& s);

  RunOutput& m_output;
  BuiltinCall m_builtins;
  Program m_program;
  VariableStore m_store;
  std::vector<std::atomic<CompiledStatement*>> m_compiled;
  std::unique_ptr<ScriptThreads> m_threads;
  std::mutex m_output_lock;

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
