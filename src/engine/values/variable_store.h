// The variable store: frames' variables, the global frame, the CONST and
// TEXTBLOCK tables, hash tables and the read-only special names, behind the
// two central operations Read and Write.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/expression.h"
#include "engine/values/frame.h"
#include "engine/values/value.h"

namespace vesk {

// The global tables that name resolution can search.
enum class GlobalTable { Variables = 0, Constants = 1, DllFunctions = 2, TextBlocks = 3, HashTables = 4 };

// Evaluates an expression text in a frame (bounds, initial values, CONST
// values); nothing when the evaluation failed (it reported its error).
using ExpressionEvaluator = std::function<std::optional<Value>(std::u16string_view text, THensuFmt& frame)>;

// Receives every error of the store with the frame it happened in. The
// error channel sets the frame's error flag; the store does too.
struct GlobalSnapshot {
  NameIndex variable_names;
  std::vector<Variable> variables;
  std::vector<bool> is_dim;
  NameIndex hash_names;
  std::vector<std::unique_ptr<TSZHash>> hash_objects;
  std::vector<bool> hash_is_dim;
};

using ErrorReporter = std::function<void(THensuFmt& frame, const std::u16string& message)>;

class VariableStore {
 public:
  VariableStore();

  void set_error_reporter(ErrorReporter reporter) { m_report = std::move(reporter); }
  void set_evaluator(ExpressionEvaluator evaluator) { m_evaluate = std::move(evaluator); }
  // OPTION OLDBOOL: TRUE and FALSE become the 16-bit integers 1 and 0.
  void set_old_bool(bool old_bool);
  const Value& true_value() const { return m_true; }
  const Value& false_value() const { return m_false; }
  void set_com_error_flag(bool on) { m_com_error = on; }

  THensuFmt& global_frame() { return m_global; }
  std::recursive_mutex& global_lock() { return m_global_lock; }

  // Empties every table and the global frame (the start of a run).
  void reset();

  // True when the global [qualified] ("MODULE.NAME") was declared with DIM
  // at module level: the module's own, not for readers outside it.
  bool is_module_private(std::u16string_view qualified);

  // The global variables and hash tables as they are now, and putting them
  // back: a repeated run starts from the globals the pre-pass left.
  std::unique_ptr<GlobalSnapshot> snapshot_globals();
  void restore_globals(const GlobalSnapshot& snapshot);

  // Reads [name] with its evaluated [indices]. Errors are reported and
  // yield the Byte 0.
  // [slot_hint], when given, remembers where the frame held the name.
  Value read(THensuFmt& frame, std::u16string_view name, std::span<const Value> indices,
             std::atomic<int32_t>* slot_hint = nullptr);
  // Writes [value]; answers false (nothing stored) on an error. With
  // [initialising] the one index is a plain position of a global array;
  // with [no_create] an unknown name is not created.
  bool write(THensuFmt& frame, std::u16string_view name, std::span<const Value> indices, const Value& value,
             bool initialising = false, bool no_create = false, std::atomic<int32_t>* slot_hint = nullptr);

  // OPTIMIZATION: the scalar local variable of [frame] that [hint] already
  // points at for [name]; null when the general read or write must decide
  // (an array, another slot, an error pending in the frame).
  [[gnu::always_inline]] static Value* hinted_local_scalar(THensuFmt& frame, const NameRef& name) {
    Variable* var = hinted_local(frame, name);
    return !var || var->is_array() ? nullptr : &var->values[0];
  }
  // The local variable of [frame] that [name]'s hint points at, scalar or
  // array; null as above.
  [[gnu::always_inline]] static Variable* hinted_local(THensuFmt& frame, const NameRef& name) {
    if (frame.error) return nullptr;
    // OPTIMIZATION: RESULT or a parameter in a frame laid out by a plain
    // call sits where the layout puts it. Other frames (the main script's
    // among them) look at nothing more than the layout's absence.
    if (frame.layout != 0) {
      uint32_t fixed = name.fixed_slot.load(std::memory_order_relaxed);
      if (fixed >> NameRef::k_layout_slot_bits != frame.layout) [[unlikely]] return learn_fixed_slot(frame, name);
      uint32_t slot = fixed & NameRef::k_not_in_layout;
      if (slot != NameRef::k_not_in_layout) [[likely]] return frame.variables.data() + slot;
      // A local of the body, behind the layout's slots.
    }
    return named_local(frame, name, name.slot_hint.load(std::memory_order_relaxed));
  }
  // hinted_local in a laid-out frame where [name] has no fixed slot yet:
  // the slot it finds is remembered as fixed when the layout holds it, and
  // as k_not_in_layout when it lies behind them or the frame has no such
  // name.
  static Variable* learn_fixed_slot(THensuFmt& frame, const NameRef& name);
  // The local variable at slot [h] of [frame] when that slot holds [name].
  [[gnu::always_inline]] static Variable* named_local(THensuFmt& frame, const NameRef& name, int32_t h) {
    if (!frame.variable_names.holds(h, name.key, name.name)) return nullptr;
    // The bound is checked in bytes: size() would divide by the size of a
    // Variable.
    uintptr_t begin = reinterpret_cast<uintptr_t>(frame.variables.data());
    uintptr_t end = reinterpret_cast<uintptr_t>(std::to_address(frame.variables.end()));
    if (static_cast<size_t>(h) * sizeof(Variable) >= end - begin) return nullptr;
    return frame.variables.data() + h;
  }

  // OPTIMIZATION: the hash table that [name] names in [frame] when nothing
  // comes before it: no local variable and no global one of that name, and
  // no module to qualify it; the frame's own table, else a global one, and
  // then [lock] (on the global lock, not yet held) holds the lock while the
  // table is used. A global variable missed is remembered in the name until
  // the global names change. Null, with [lock] not held, when the general
  // read or write must decide.
  TSZHash* hinted_hash(THensuFmt& frame, const NameRef& name, std::unique_lock<std::recursive_mutex>& lock);
  // The element [index] of [table], and storing into it (false when that
  // failed, reported), as read and write do once they found the table.
  Value read_hash(THensuFmt& frame, const TSZHash& table, const Value& index);
  bool write_hash(THensuFmt& frame, TSZHash& table, const Value& index, const Value& value);

  // Declares a local variable: a scalar when [bounds] is empty, else an
  // array (re-declaring resizes it, keeping elements by flat position).
  void declare_variable(THensuFmt& frame, const std::u16string& name, const std::vector<int32_t>& bounds);

  // PUBLIC or DIM outside procedures: a comma-separated list of items;
  // module members come with [module_prefix] ("MODULE."). Answers the first
  // error text, or empty.
  std::u16string declare_global(std::u16string_view list, bool is_dim, std::u16string_view module_prefix);
  // CONST NAME = expression.
  std::u16string declare_const(std::u16string_view text);
  // TEXTBLOCK name: recorded with an empty text; its body follows.
  std::u16string declare_textblock(const std::u16string& name);
  void set_textblock_text(const std::u16string& name, std::u16string text);
  // HASHTBL name [= options], ... in [frame] (the global frame when
  // [global]). Answers the first error text, or empty.
  std::u16string declare_hashtbl(std::u16string_view list, THensuFmt& frame, bool global);

  // The reset-append pair of built-ins that fill a named array.
  void reset_array(THensuFmt& frame, const std::u16string& name);
  void append_array(THensuFmt& frame, const std::u16string& name, const Value& value);

  // The error text when [name] is a reserved word, else empty.
  static std::u16string reserved_error(std::u16string_view name);
  // The error text when [name] is no valid variable name, else empty.
  static std::u16string name_error(std::u16string_view name);

  // The index of [name] in a global table, -1 when absent; module names,
  // THIS. and WITH subjects of [frame] qualify the name first.
  int32_t resolve_global(std::u16string_view name, GlobalTable table, const THensuFmt& frame);
  // The DLL function names of DEF_DLL, searched by resolve_global.
  NameIndex& dll_names() { return m_dll_names; }

  // The variable of [frame] (then the global one) that [name] names, for
  // callers that copy whole arrays (VAR parameters, array arguments).
  Variable* find_variable(THensuFmt& frame, std::u16string_view name);
  TSZHash* find_hash(THensuFmt& frame, std::u16string_view name);

 private:
  enum class Access { Found, NotHere, Failed };
  Access read_variable(THensuFmt& error_frame, Variable& var, std::u16string_view name,
                       std::span<const Value> indices, Value& out);
  Access write_variable(THensuFmt& error_frame, Variable& var, std::u16string_view name,
                        std::span<const Value> indices, const Value& value, bool initialising);
  bool special_value(const THensuFmt& frame, std::u16string_view name, Value& out) const;
  int32_t lookup(const NameIndex& names, std::u16string_view name, const THensuFmt& frame) const;
  std::optional<std::u16string> qualified_name(std::u16string_view name, const THensuFmt& frame) const;
  std::u16string declare_global_item(std::u16string_view item, bool is_dim, std::u16string_view prefix);
  void report(THensuFmt& frame, const std::u16string& message);

  ErrorReporter m_report;
  ExpressionEvaluator m_evaluate;
  Value m_true, m_false;
  bool m_com_error = false;

  std::recursive_mutex m_global_lock;
  THensuFmt m_global;
  std::vector<bool> m_global_is_dim;
  std::vector<bool> m_global_hash_is_dim;

  NameIndex m_const_names;
  std::vector<Value> m_const_values;
  NameIndex m_textblock_names;
  std::vector<std::u16string> m_textblock_texts;
  NameIndex m_dll_names;
};

}  // namespace vesk
