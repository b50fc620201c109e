// The interpreter's life: loading a run text, the run entry with module
// constructors, THREAD starts and the end of a run.
#include "engine/runtime/interpreter.h"

#include <chrono>

#include "engine/loader/prepass.h"
#include "engine/runtime/frame_host.h"
#include "engine/runtime/script_threads.h"
#include "engine/runtime/stack_guard.h"
#include "platform/platform.h"
#include "support/messages.h"

namespace vesk {

Interpreter::Interpreter(RunOutput& output)
    : m_output(output), m_threads(std::make_unique<ScriptThreads>(*this)), m_main_thread(std::this_thread::get_id()) {
  m_store.set_error_reporter([this](THensuFmt& frame, const std::u16string& text) {
    if (frame.call_frame) report_error(static_cast<CallFrame&>(frame), text);
  });
  m_store.set_evaluator([this](std::u16string_view text, THensuFmt& frame) -> std::optional<Value> {
    // Declarations evaluate in the global frame: a scratch frame without
    // locals reaches the same names.
    CallFrame scratch;
    CallFrame& f = frame.call_frame ? static_cast<CallFrame&>(frame) : scratch;
    bool quiet = !frame.call_frame;
    EvalResult r;
    {
      std::unique_ptr<CompiledExpression> e = compile_expression(text);
      if (quiet) {
        // A failing declaration answers its own error text; nothing shows.
        struct QuietHost : FrameHost {
          using FrameHost::FrameHost;
          void report_expression_error() override {}
        } host(*this, f);
        r = evaluate(*e, host);
      } else {
        r = evaluate_in(*e, f);
      }
    }
    if (r.failed || f.error) return std::nullopt;
    return r.value;
  });
}

Interpreter::~Interpreter() {
  m_threads->join_all();
  for (auto& slot : m_compiled) delete slot.exchange(nullptr);
  clear_function_shapes();
}

bool Interpreter::load(const std::vector<std::u16string>& run_text, LoadError& error) {
  m_stopped = false;
  m_stop_pending = 0;
  m_exit_all = false;
  m_exit_code = 0;
  m_error_shown = false;
  for (std::atomic<bool>& seen : m_mouse_seen) seen = false;
  m_globals_at_start.reset();
  for (auto& slot : m_compiled) delete slot.exchange(nullptr);
  bool ok = preprocess(run_text, m_program, m_store, error);
  m_compiled = std::vector<std::atomic<CompiledStatement*>>(m_program.code.size());
  clear_function_shapes();
  m_function_shapes = std::vector<std::atomic<FunctionShape*>>(m_program.functions.size());
  static std::atomic<uint64_t> loads{0};
  m_generation = ++loads;
  m_store.set_old_bool(m_program.options.old_bool);
  return ok;
}

void Interpreter::run_main(const std::vector<std::u16string>& params) {
  m_main_thread = std::this_thread::get_id();
  // The main script may use most of the process's main stack.
  StackGuard::start_thread(6u << 20);
  CallFrame entry;
  entry.count = 0;
  // Module constructors run first, in the order the modules first appeared.
  std::vector<std::pair<int32_t, std::u16string>> modules;
  for (int32_t i = 0; i < m_program.module_names.size(); ++i)
    modules.emplace_back(m_program.module_numbers[i], m_program.module_names.name_at(i));
  std::sort(modules.begin(), modules.end());
  for (const auto& [number, name] : modules) {
    if (m_stopped || m_stop_pending > 0) return;
    int32_t f = m_program.find_function(name + u"." + name);
    if (f < 0) continue;
    bool failed = false;
    call_user(f, name, entry, nullptr, {}, false, failed);
  }
  if (m_stopped || m_stop_pending > 0) return;
  int32_t main = m_program.find_function(u"__MAIN__");
  if (main < 0) return;
  std::vector<Value> arguments;
  for (const std::u16string& p : params) arguments.push_back(Value::string(p));
  bool failed = false;
  call_user(main, u"", entry, nullptr, std::move(arguments), true, failed);
}

Value Interpreter::start_thread(const CompiledExpression& call, CallFrame& frame) {
  if (!call.ok || !call.root || call.root->op != ExprOp::Call) {
    report_error(frame, u"SyntaxError-25");
    return Value::r8(-1);
  }
  const CallSite& site = *call.root->call;
  std::u16string module;
  int32_t f = find_function(site.name, frame, module);
  if (f < 0) {
    report_error(frame, message(MessageId::NotDefined, site.name));
    return Value::r8(-1);
  }
  bool failed = false;
  return call_user(f, module, frame, &site, {}, false, failed, true);
}

bool Interpreter::on_main_thread(const std::function<void()>& call) {
  if (m_main_thread == std::thread::id() || std::this_thread::get_id() == m_main_thread) {
    call();
    return true;
  }
  return m_main_calls.run(call);
}

void Interpreter::service_main_thread() {
  platform::pump_messages();
  m_main_calls.service();
}

void Interpreter::set_thread_state(int32_t slot, int32_t state) { m_threads->set_state(slot, state); }

int32_t Interpreter::thread_state(int32_t slot) const { return m_threads->state(slot); }

void Interpreter::cleanup() {
  ++m_stop_pending;
  // Threads still running reach their next statement and end; whatever
  // they hand over meanwhile is still performed.
  while (m_threads->any_running()) {
    service_main_thread();
    platform::sleep_ms(40);
  }
  m_main_calls.service();  // errors the threads posted last
  m_in_cleanup = true;
  m_main_calls.close();
  m_threads->join_all();
  for (const std::function<void()>& step : m_cleanup_steps)
    if (step) step();
  for (size_t i = 0; i < m_builtin_states.size(); ++i) {
    BuiltinState* state;
    {
      std::lock_guard guard(m_states_lock);
      state = m_builtin_states[i].get();
    }
    if (state) state->end_of_run();
  }
  m_main_calls.open();
  m_in_cleanup = false;
}

void Interpreter::reset_between_runs(bool first) {
  if (first) {
    m_globals_at_start = m_store.snapshot_globals();
    return;
  }
  if (m_globals_at_start) m_store.restore_globals(*m_globals_at_start);
  // Every repetition starts with no stop pending: the last cleanup raised
  // it, and an EXITEXIT also set exit-all.
  m_exit_all = false;
  m_stop_pending = 0;
}

}  // namespace vesk
