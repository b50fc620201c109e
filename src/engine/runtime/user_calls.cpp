// The call path and user functions: lookup, parameter binding, running a
// function's frame, VAR copy-out and the include call.
#include <optional>

#include "engine/runtime/frame_host.h"
#include "engine/runtime/function_shape.h"
#include "engine/runtime/interpreter.h"
#include "engine/runtime/script_threads.h"
#include "engine/runtime/stack_guard.h"
#include "engine/runtime/thread_run.h"
#include "engine/values/named_constants.h"
#include "support/messages.h"
#include "support/small_vector.h"
#include "support/text.h"

namespace vesk {
namespace {


std::vector<FunctionParameter> parse_parameters(std::u16string_view header) {
  std::vector<FunctionParameter> params;
  size_t open = header.find(u'(');
  size_t close = header.rfind(u')');
  if (open == std::u16string_view::npos || close == std::u16string_view::npos || close < open) return params;
  for (const std::u16string& raw : split_arguments(header.substr(open + 1, close - open - 1))) {
    FunctionParameter p;
    std::u16string_view text = raw;
    if (starts_with(text, u"VAR ")) {
      p.by_var = true;
      text = trim_blanks(text.substr(4));
    }
    size_t eq = text.find(u'=');
    if (eq != std::u16string_view::npos && eq > 0) {
      p.default_value = compile_expression(trim_blanks(text.substr(eq + 1)));
      text = trim_blanks(text.substr(0, eq));
    }
    p.declared = std::u16string(text);
    p.array = text.find(u'[') != std::u16string_view::npos;
    p.name = std::u16string(trim_blanks(text.substr(0, text.find(u'['))));
    p.key = NameKey::of(p.name);
    params.push_back(std::move(p));
  }
  return params;
}

// How an argument was bound, for the copy-out.
enum class Binding { Value, ArrayCopy, HashCopy, Built };

struct BoundArgument {
  Binding binding = Binding::Value;
  std::u16string_view source;  // the caller's argument text, held by the call site
};

}  // namespace


namespace {

const std::u16string k_result = u"RESULT";
const NameKey k_result_key = NameKey::of(k_result);

bool plain_parameters(const std::vector<FunctionParameter>& params) {
  for (size_t k = 0; k < params.size(); ++k) {
    const FunctionParameter& p = params[k];
    if (p.by_var || p.array || p.default_value || p.name.empty() || p.name == k_result) return false;
    for (size_t j = 0; j < k; ++j)
      if (params[j].name == p.name) return false;
  }
  return true;
}

}  // namespace

const Interpreter::FunctionShape& Interpreter::make_function_shape(int32_t function) {
  std::atomic<FunctionShape*>& slot = m_function_shapes[function];
  const FunctionEntry& entry = m_program.functions[function];
  auto made = std::make_unique<FunctionShape>();
  made->params = parse_parameters(m_program.code[entry.header]);
  for (const FunctionParameter& p : made->params) made->binds = made->binds || p.by_var || p.array;
  while (entry.header + made->count < static_cast<int32_t>(m_program.code.size()) &&
         m_program.kinds[entry.header + made->count] != int32_t(StatementKind::Fend))
    ++made->count;
  made->plain = plain_parameters(made->params);
  made->header = entry.header;
  made->has_result = entry.kind == FunctionKind::Function;
  made->slots = static_cast<int32_t>(made->params.size()) + (made->has_result ? 1 : 0);
  made->flat = flat_body(m_program, entry.header, made->count,
                         [this](int32_t statement) -> const CompiledStatement& { return compiled(statement); });
  FunctionShape* expected = nullptr;
  if (slot.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) return *made.release();
  return *expected;  // another thread read it first
}

inline std::unique_ptr<CallFrame> Interpreter::take_frame(int32_t function, ThreadRun& run) {
  if (CallFrame* kept = run.frame_pool.take(function, m_generation)) return std::unique_ptr<CallFrame>(kept);
  return std::make_unique<CallFrame>();
}

[[gnu::always_inline]] inline void Interpreter::give_back_frame(int32_t function, std::unique_ptr<CallFrame> frame,
                                                                int32_t keep, ThreadRun& run) {
  FramePool& pool = run.frame_pool;
  if (pool.full(function, m_generation, m_program.functions.size())) return;
  frame->recycle(keep);
  pool.keep(function, frame.release());
}

void Interpreter::clear_function_shapes() {
  for (auto& slot : m_function_shapes) delete slot.exchange(nullptr);
}

int32_t Interpreter::find_function(std::u16string_view written, const CallFrame& frame, std::u16string& module) const {
  module.clear();
  // A member name behind a "." keeps the case it was written in; function
  // names are registered in upper case.
  std::u16string upper = ascii_upper(written);
  std::u16string_view name = upper;
  if (!frame.module_name.empty() || name.find(u'.') != std::u16string_view::npos) {
    std::u16string completed;
    if (!name.empty() && name[0] == u'.') {
      if (frame.with_subject.is_string() && m_program.is_module(frame.with_subject.as_string()))
        completed = std::u16string(frame.with_subject.as_string()).append(name);
    } else if (starts_with(name, u"THIS.")) {
      completed = frame.module_name + std::u16string(name.substr(4));
    } else if (starts_with(name, u"GLOBAL.")) {
      completed = std::u16string(name.substr(7));
    } else if (name.find(u'.') == std::u16string_view::npos) {
      completed = frame.module_name + u"." + std::u16string(name);
    } else {
      completed = std::u16string(name);
    }
    if (!completed.empty()) {
      if (int32_t f = m_program.find_function(completed); f >= 0) {
        size_t dot = completed.find(u'.');
        if (dot != std::u16string::npos) module = completed.substr(0, dot);
        return f;
      }
    }
  }
  int32_t f = m_program.find_function(name);
  if (f >= 0) {
    size_t dot = name.find(u'.');
    if (dot != std::u16string_view::npos && !ends_with(name, u".VSK")) module = std::u16string(name.substr(0, dot));
  }
  return f;
}

// After a call ran [f]: an error that a calling frame's EXCEPT takes is
// reported again there; one that nobody took fails the call.
[[gnu::always_inline]] inline void Interpreter::take_call_errors(CallFrame& caller, const CallFrame& f, bool& failed) {
  if (f.handler_error && caller.except_count > 0 && !m_stopped) {
    report_error(caller, f.try_errmsg);
    failed = true;
  }
  if (f.error && !f.handler_error) failed = true;
}

Value Interpreter::call(const CallSite& site, CallFrame& frame, bool& failed) {
  if (frame.exit || m_stopped) return Value::r8(0);
  std::u16string module;
  // OPTIMIZATION: outside modules a name without a "." always finds the
  // same function, so its call site remembers it.
  // A remembered answer exists only for a name without ".".
  int32_t known = site.function_outside_modules.load(std::memory_order_relaxed);
  if (frame.module_name.empty() && (known != -2 || site.name.find(u'.') == std::u16string::npos)) {
    int32_t f = known;
    if (f == -2) {
      f = find_function(site.name, frame, module);
      site.function_outside_modules.store(f, std::memory_order_relaxed);
    }
    if (f >= 0) {
      const FunctionShape& shape = function_shape(f);
      if (shape.plain) return call_plain(f, shape, site, frame, failed);
      return call_user(f, module, frame, &site, {}, false, failed);
    }
  } else if (int32_t f = find_function(site.name, frame, module); f >= 0) {
    return call_user(f, module, frame, &site, {}, false, failed);
  }
  std::u16string_view name = site.name;
  if (starts_with(name, u"GLOBAL.")) name.remove_prefix(7);
  if (m_library) {
    if (std::optional<Value> v = m_library->call(*this, site, frame, failed)) return *v;
  }
  if (name.find(u'.') != std::u16string_view::npos && !is_module_reference(name, frame)) {
    report_error(frame, message(MessageId::NotAvailableHere, u"COM: " + site.text));
  } else if (m_store.dll_names().find(name) >= 0 || m_program.dll_names.find(name) >= 0) {
    report_error(frame, message(MessageId::NotAvailableHere, u"DEF_DLL: " + std::u16string(name)));
  } else {
    report_error(frame, u"SyntaxError-25");
  }
  failed = true;
  return Value::r8(0);
}

Value Interpreter::call_user(int32_t function, const std::u16string& module, CallFrame& caller, const CallSite* site,
                             std::vector<Value> list_arguments, bool list_mode, bool& failed, bool as_thread) {
  StackGuard guard(caller);
  const FunctionEntry& entry = m_program.functions[function];
  if (!guard.ok()) {
    report_error(caller, message(MessageId::RecursionTooDeep, m_program.function_names.name_at(function)));
    failed = true;
    return Value::r8(0);
  }
  const std::u16string& header = m_program.code[entry.header];
  const FunctionShape& shape = function_shape(function);
  static const std::vector<FunctionParameter> k_no_parameters;
  const std::vector<FunctionParameter>& params = list_mode ? k_no_parameters : shape.params;

  // Arguments are evaluated in the caller's frame, left to right.
  SmallVector<Value, 4> values;
  SmallVector<BoundArgument, 4> bound;
  if (!list_mode && site) {
    for (size_t k = 0; k < site->arguments.size(); ++k) {
      BoundArgument b;
      b.source = site->arguments[k];
      if (k < params.size() && params[k].array) {
        values.emplace_back();
      } else {
        if (k < params.size() && params[k].by_var &&
            (find_constant(site->arguments[k]).has_value() ||
             m_store.resolve_global(site->arguments[k], GlobalTable::Constants, caller) >= 0)) {
          report_error(caller, message(MessageId::ConstantArgument));
          failed = true;
          return Value::r8(0);
        }
        EvalResult r = evaluate_in(site->argument(k), caller);
        if (r.failed) {
          failed = true;
          return Value::r8(0);
        }
        values.push_back(std::move(r.value));
      }
      if (shape.binds) bound.push_back(std::move(b));
      if (m_stop_pending > 0) break;
    }
  }

  // Thread frames move to their thread; the others come from the pool.
  bool pooled = !as_thread && !list_mode;
  std::unique_ptr<CallFrame> frame = pooled ? take_frame(function, thread_run(caller)) : std::make_unique<CallFrame>();
  CallFrame& f = *frame;
  if (!pooled) give_own_layout(f);
  int32_t keep = -1;  // the names a recycled frame keeps; -1 all declared here
  f.base = entry.header;
  f.count = shape.count;
  if (!module.empty()) f.module_name = module;  // a frame comes without one
  f.except_count = caller.except_count;
  f.slot = caller.slot;
  f.time_stamp = caller.time_stamp;
  // A thread's frame finds its own thread's state when it runs there.
  if (!as_thread) f.run = &thread_run(caller);
  bool has_result = entry.kind == FunctionKind::Function && !as_thread;
  int32_t result_slot = has_result ? declare_scalar(f, k_result, k_result_key, 0) : -1;

  if (list_mode) {
    m_store.declare_variable(f, u"PARAM_STR", {static_cast<int32_t>(list_arguments.size()) - 1});
    Variable& v = f.variables[f.variable_names.find(u"PARAM_STR")];
    for (size_t i = 0; i < list_arguments.size(); ++i) v.values[i] = list_arguments[i];
  } else {
    for (size_t k = 0; k < params.size(); ++k) {
      const FunctionParameter& p = params[k];
      // A recycled frame keeps only the names declared before the first
      // array or defaulted parameter: a default is evaluated in the new
      // frame and must not see later parameters, and an array parameter
      // may be bound as a hash table instead of a variable.
      if (keep < 0 && (p.array || p.default_value)) keep = f.variable_names.size();
      // The argument texts of a call site are trimmed already.
      bool passed = k < values.size() && !(site && site->arguments[k].empty());
      if (!p.array) {
        Value v;
        if (passed) {
          v = std::move(values[k]);  // read once: nothing after the binding uses it
        } else if (p.default_value) {
          EvalResult r = evaluate_in(*p.default_value, f);
          if (r.failed) {
            report_error(caller, u"SyntaxError:" + header);
            failed = true;
            return Value::r8(0);
          }
          v = r.value;
        }
        f.variables[declare_scalar(f, p.name, p.key, static_cast<int32_t>(k) + (has_result ? 1 : 0))].values[0] = std::move(v);
        continue;
      }
      std::u16string_view source = k < bound.size() ? bound[k].source : u"";
      if (starts_with(source, u"SPLIT(") || starts_with(source, u"SLICE(")) {
        EvalResult r = evaluate_in(site->argument(k), caller);
        if (r.failed) return failed = true, Value::r8(0);
        m_store.declare_variable(f, p.name, {});
        f.variables[f.variable_names.find(p.name)].values[0] = r.value;
        bound[k].binding = Binding::Built;
      } else if (TSZHash* table = m_store.find_hash(caller, source)) {
        f.hash_names.add(p.name);
        f.hash_objects.push_back(std::make_unique<TSZHash>());
        f.hash_objects.back()->assign(*table);
        bound[k].binding = Binding::HashCopy;
      } else if (Variable* var = m_store.find_variable(caller, source)) {
        int32_t slot = f.variable_names.add(p.name);
        f.variables.resize(std::max<size_t>(f.variables.size(), slot + 1));
        f.variables[slot] = *var;
        bound[k].binding = Binding::ArrayCopy;
      } else {
        report_error(caller, message(MessageId::NotDefined, source));
        return failed = true, Value::r8(0);
      }
    }
  }
  if (as_thread) {
    int slot = m_threads->start(std::move(frame));
    if (slot < 0) {
      report_error(caller, message(MessageId::ThreadLimit, u"64"));
      failed = true;
      return Value::r8(0);
    }
    return Value::r8(slot);
  }

  if (keep < 0) keep = f.variable_names.size();
  run_body_of(f, shape);

  Value result = Value::r8(0);
  // Slots never move: RESULT is where it was declared.
  if (result_slot >= 0) result = f.variables[result_slot].values[0];
  // VAR parameters hand their final values back.
  for (size_t k = 0; k < params.size() && k < bound.size(); ++k) {
    if (!params[k].by_var || trim_blanks(bound[k].source).empty()) continue;
    if (bound[k].binding == Binding::HashCopy) {
      if (TSZHash* table = m_store.find_hash(caller, bound[k].source))
        table->assign(*f.hash_objects[f.hash_names.find(params[k].name)]);
      continue;
    }
    int32_t slot = f.variable_names.find(params[k].name);
    if (slot < 0) continue;
    if (bound[k].binding == Binding::ArrayCopy) {
      if (Variable* var = m_store.find_variable(caller, bound[k].source)) {
        const Variable& local = f.variables[slot];
        if (var->bounds.size() > 1 && var->bounds != local.bounds) {
          report_error(caller, message(MessageId::ArraySizeChanged));
          continue;
        }
        *var = local;
      }
      continue;
    }
    if (bound[k].binding != Binding::Value) continue;
    const CompiledExpression& target = site->argument(k);
    if (!target.ok || !target.root || target.root->op != ExprOp::Name) continue;
    const NameRef& name = *target.root->name;
    std::vector<Value> indices;
    FrameHost host(*this, caller);
    for (const ExprPtr& index : name.indices) indices.push_back(evaluate_part(*index, host).value);
    m_store.write(caller, name.name, indices, f.variables[slot].values[0]);
  }
  take_call_errors(caller, f, failed);
  if (pooled) give_back_frame(function, std::move(frame), keep, thread_run(caller));
  return result;
}

// Refuses a call of [function] from [caller] that would take too much
// stack; [by_site_name] as for call_plain.
[[gnu::noinline]] Value Interpreter::refuse_plain_call(int32_t function, const CallSite& site, CallFrame& caller,
                                                       bool& failed, bool by_site_name) {
  report_error(caller, message(MessageId::RecursionTooDeep,
                               by_site_name ? site.name : m_program.function_names.name_at(function)));
  failed = true;
  return Value::r8(0);
}

// Declares RESULT (of a function) and the parameters of [shape] in a new
// frame [f] of [function], at the slots a plain call binds, and marks the
// frame as laid out so when each landed there.
[[gnu::noinline]] void Interpreter::declare_plain_slots(CallFrame& f, int32_t function, const FunctionShape& shape) {
  int32_t first = shape.has_result ? 1 : 0;
  bool laid_out = !shape.has_result || declare_scalar(f, k_result, k_result_key, 0) == 0;
  for (size_t k = 0; k < shape.params.size(); ++k) {
    int32_t expected = static_cast<int32_t>(k) + first;
    laid_out = declare_scalar(f, shape.params[k].name, shape.params[k].key, expected) == expected && laid_out;
  }
  constexpr int32_t k_slot_bits = NameRef::k_layout_slot_bits;
  if (laid_out && f.layout == 0 && function < (1 << (32 - k_slot_bits)) - 2 && shape.slots < (1 << k_slot_bits)) {
    f.layout = static_cast<uint32_t>(function) + 1;
    f.layout_slots = shape.slots;
  }
}

// OPTIMIZATION: a frame that lives once (the main script's, a CALLed
// file's, a thread's) and is never recycled keeps every variable at its
// slot for all its life, so its names may take fixed slots as a laid-out
// frame's do. It gets a layout of its own, which no other frame has had:
// such layouts are counted down from the largest, for the whole process,
// above the numbers of the program's functions (whose plain calls lay
// frames out by them); when they run out, frames get none.
void Interpreter::give_own_layout(CallFrame& f) {
  static std::atomic<uint32_t> s_next_own{(1u << (32 - NameRef::k_layout_slot_bits)) - 2};
  uint32_t functions = static_cast<uint32_t>(m_program.functions.size());
  uint32_t own = s_next_own.load(std::memory_order_relaxed);
  do {
    if (own <= functions + 1) return;
  } while (!s_next_own.compare_exchange_weak(own, own - 1, std::memory_order_relaxed));
  f.layout = own;
  f.layout_slots = static_cast<int32_t>(NameRef::k_not_in_layout);
}

// An argument that is no plain number plan, evaluated the general way in
// [caller] into [slot] (dropped when null); false when it failed.
[[gnu::noinline]] bool Interpreter::bind_general_argument(const CompiledExpression& argument, CallFrame& caller,
                                                          Value* slot) {
  EvalResult r = evaluate_in(argument, caller);
  if (r.failed) return false;
  if (slot) *slot = std::move(r.value);
  return true;
}

// OPTIMIZATION: what call_user does for a call of this kind, without the
// bindings and copy-outs that no parameter of it needs. [by_site_name]
// reports a refused call by the name the site wrote, as a caller that
// left the stack guard to this function would have.
Value Interpreter::call_plain(int32_t function, const FunctionShape& shape, const CallSite& site, CallFrame& caller,
                              bool& failed, bool by_site_name) {
  // The guard, the pool and the new frame all want the thread's state.
  ThreadRun& run = thread_run(caller);
  if (!StackGuard(run).ok()) [[unlikely]]
    return refuse_plain_call(function, site, caller, failed, by_site_name);
  // A run on doubles that was abandoned is made again here, in frames, with
  // the calls inside it in frames too.
  std::optional<HeldNumberRuns> held;
  if (run.number_runs_held == 0 && m_number_functions && m_flat_bodies && number_function(function, shape)) {
    double answer = 0;
    NumberCall outcome = try_number_call(shape, site, caller, run, answer);
    if (outcome == NumberCall::Done) return Value::r8(answer);
    if (outcome == NumberCall::Abandoned) held.emplace(run);
  }
  // The frame is nobody else's while the arguments are evaluated: each goes
  // straight into its slot, which no evaluation moves. A frame given back
  // has the names at their slots, holding Empty.
  std::unique_ptr<CallFrame> frame = take_frame(function, run);
  CallFrame& f = *frame;
  if (f.variable_names.size() != shape.slots) [[unlikely]] declare_plain_slots(f, function, shape);
  // Arguments are evaluated in the caller's frame, left to right; one past
  // the parameters is evaluated and dropped, an empty one leaves Empty.
  Variable* parameters = f.variables.data() + (shape.has_result ? 1 : 0);
  const std::u16string* texts = site.arguments.data();
  size_t passed = site.arguments.size(), params = shape.params.size();
  for (size_t k = 0; k < passed; ++k) {
    const CompiledExpression& argument = site.argument(k);
    Value* slot = k < params && !texts[k].empty() ? parameters[k].values.data() : nullptr;
    // OPTIMIZATION: a plain number plan's answer is stored as a number.
    double number = 0;
    bool truth = false;
    if (argument.fast && !argument.fast->calls && !caller.exit &&
        run_fast_plan(*argument.fast, caller, number, truth) == FastOutcome::Number) {
      if (slot) slot->set_r8(finish_number(number));
    } else if (!bind_general_argument(argument, caller, slot)) [[unlikely]] {
      failed = true;
      give_back_frame(function, std::move(frame), shape.slots, run);
      return Value::r8(0);
    }
    if (m_stop_pending > 0) break;
  }
  f.base = shape.header;
  f.count = shape.count;
  f.except_count = caller.except_count;
  f.slot = caller.slot;
  f.time_stamp = caller.time_stamp;
  f.run = &run;
  run_body_of(f, shape);

  Value result = shape.has_result ? std::move(f.variables[0].values[0]) : Value::r8(0);
  take_call_errors(caller, f, failed);
  give_back_frame(function, std::move(frame), shape.slots, run);
  return result;
}

// Looks [site] up from outside modules and remembers the answer in it.
int32_t Interpreter::look_up_outside_modules(const CallSite& site, const CallFrame& frame) {
  std::u16string module;
  int32_t f = find_function(site.name, frame, module);
  site.function_outside_modules.store(f, std::memory_order_relaxed);
  return f;
}

void Interpreter::run_body_of(CallFrame& f, const FunctionShape& shape) {
  if (shape.flat.empty() || !m_flat_bodies) run_frame(f);
  else run_flat(f, shape.flat);
}

// Declares scalar [name] in [f] and answers its slot. A recycled frame
// already has it at [expected], where the name is checked first.
int32_t Interpreter::declare_scalar(CallFrame& f, const std::u16string& name, const NameKey& key, int32_t expected) {
  if (f.variable_names.holds(expected, key, name)) return expected;
  m_store.declare_variable(f, name, {});
  return f.variable_names.find(name);
}

void Interpreter::run_frame(CallFrame& f) {
  f.pc = 1;
  while (f.pc < f.count && !f.exit && !m_stopped) {
    if (m_stop_pending > 0 && !(m_program.options.opt_finally && !f.try_stack.empty())) break;
    execute_one(f);
  }
}

void Interpreter::run_include_call(CallFrame& frame, const CompiledStatement& s) {
  std::u16string_view text = trim_blanks(s.text);
  size_t open = text.find(u'(');
  std::u16string name(trim_blanks(text.substr(0, open)));
  int32_t f = m_program.find_function(name);
  if (f < 0) return report_error(frame, u"System Error: Don't CALL");
  std::vector<Value> arguments;
  if (open != std::u16string_view::npos) {
    size_t close = text.rfind(u')');
    std::u16string_view inner = text.substr(open + 1, close == std::u16string_view::npos ? std::u16string_view::npos : close - open - 1);
    for (const std::u16string& arg : split_arguments(inner)) {
      if (arg.find(u"<#") != std::u16string::npos) {
        arguments.push_back(Value::string(arg));
        continue;
      }
      EvalResult r = evaluate_in(*compile_expression(arg), frame);
      if (r.failed) return;
      arguments.push_back(r.value);
    }
  }
  bool failed = false;
  call_user(f, u"", frame, nullptr, std::move(arguments), true, failed);
}

}  // namespace vesk
