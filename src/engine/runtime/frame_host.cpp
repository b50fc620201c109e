// The evaluation host over a call frame.
#include "engine/runtime/frame_host.h"

#include "engine/runtime/stack_guard.h"
#include "engine/runtime/thread_run.h"

#include "support/messages.h"
#include "support/text.h"

namespace vesk {

FrameHost::FrameHost(Interpreter& interpreter, CallFrame& frame) : m_interpreter(interpreter), m_frame(frame) {
  const ScriptOptions& o = interpreter.program().options;
  m_options.same_str = o.same_str;
  m_options.short_circuit = o.short_circuit;
  m_options.round_value = o.round_value;
  m_options.special_char = o.special_char;
}

Value FrameHost::true_value() const { return m_interpreter.store().true_value(); }
Value FrameHost::false_value() const { return m_interpreter.store().false_value(); }

Value FrameHost::read_name(const NameRef& name, std::span<const Value> indices) {
  if (!name.dotted) {
    VariableStore& store = m_interpreter.store();
    if (indices.empty()) {
      if (const Value* v = VariableStore::hinted_local_scalar(m_frame, name)) return *v;
    } else if (indices.size() == 1) {
      std::unique_lock<std::recursive_mutex> lock(store.global_lock(), std::defer_lock);
      if (const TSZHash* table = store.hinted_hash(m_frame, name, lock))
        return store.read_hash(m_frame, *table, indices[0]);
    }
    return store.read(m_frame, name.name, indices, &name.slot_hint);
  }
  std::u16string upper;
  std::u16string_view n = name.name;
  if (name.dotted) n = upper = ascii_upper(n);  // MODULE.member as written
  // GLOBAL.X inside a module reaches the outer X.
  bool outer = starts_with(n, u"GLOBAL.");
  if (outer) n.remove_prefix(7);
  OutsideModule scope(m_frame, outer);
  return m_interpreter.store().read(m_frame, n, indices);
}

bool FrameHost::is_module_name(const NameRef& name) {
  return m_interpreter.is_module_reference(name.name, m_frame);
}

Value FrameHost::read_member(const NameRef& name) {
  m_interpreter.store().set_com_error_flag(true);
  m_interpreter.report_error(m_frame, message(MessageId::NotAvailableHere, u"COM: " + name.text));
  return Value::i4(-999999);
}

// Calls nested in the arguments of calls recurse through here, built-ins
// too, so the stack guard of user calls watches this path as well.
Value FrameHost::call(const CallSite& call, bool& failed) {
  if (!StackGuard(m_frame).ok()) {
    m_interpreter.report_error(m_frame, message(MessageId::RecursionTooDeep, call.name));
    failed = true;
    return Value::r8(0);
  }
  return m_interpreter.call(call, m_frame, failed);
}

size_t FrameHost::current_line() const { return static_cast<size_t>(m_frame.statement()); }

bool FrameHost::frame_failed() const { return m_frame.error || m_frame.exit; }

void FrameHost::report_expression_error() {
  if (m_frame.error || m_interpreter.stopped()) return;
  m_interpreter.report_error(m_frame, message(MessageId::ExpressionWrong));
}

bool FrameHost::control_word_changed() const {
  return m_interpreter.library() && m_interpreter.library()->control_word_changed();
}

bool FrameHost::byte_string_mark() const {
  return thread_run(m_frame).byte_string_mark;
}

}  // namespace vesk
