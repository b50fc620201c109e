// What a built-in implementation receives: the prepared argument set, the
// call and its frame, and the helpers that every family uses.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/runtime/interpreter.h"
#include "support/small_vector.h"

namespace vesk {

inline constexpr int k_max_builtin_arguments = 34;

// One argument position: its text form (or the raw source text at a
// raw-text position), the number it reads as, and for the first two
// positions the evaluated value itself.
struct PreparedArgument {
  // The text form as a string value: a string argument shares its buffer,
  // so a long text is not copied to be handed to a built-in.
  Value text_value;
  std::u16string_view text() const { return text_value.is_string() ? text_value.as_string() : std::u16string_view(); }
  double number = 0;
  int64_t integer = 0;  // the number truncated toward zero
  bool numeric = false;
  Value value;
};

// The prepared positions of one call. Only the positions that the call
// gives are made (a call of one argument does not make and drop the
// thirty-four that the largest built-in takes); a position beyond them reads
// as an empty argument.
class PreparedArguments {
 public:
  const PreparedArgument& operator[](int k) const { return k >= 0 && k < count() ? m_made[k] : empty(); }
  // Makes the next position, which the caller fills.
  PreparedArgument& add() { return m_made.emplace_back(); }
  // Made so far, filled or being filled.
  int count() const { return static_cast<int>(m_made.size()); }

 private:
  static const PreparedArgument& empty() {
    static const PreparedArgument* none = new PreparedArgument();  // never destroyed
    return *none;
  }
  SmallVector<PreparedArgument, k_max_builtin_arguments> m_made;
};

class BuiltinContext {
 public:
  BuiltinContext(Interpreter& interpreter, CallFrame& frame, const CallSite& site, const PreparedArguments& args,
                 int32_t id)
      : interpreter(interpreter), frame(frame), site(site), args(args), id(id) {}

  Interpreter& interpreter;
  CallFrame& frame;
  const CallSite& site;
  const PreparedArguments& args;
  int32_t id;
  bool failed = false;

  bool given(int k) const { return k < args.count(); }
  std::u16string_view text(int k) const { return args[k].text(); }
  // The text at [k] as a string value (shared, not copied).
  const Value& text_value(int k) const { return args[k].text_value; }
  double number(int k) const { return args[k].number; }
  // The integer at [k], or [fallback] when the call gives no argument there.
  int64_t integer(int k, int64_t fallback = 0) const { return given(k) ? args[k].integer : fallback; }
  const Value& value(int k) const { return args[k].value; }

  bool same_str() const { return interpreter.program().options.same_str; }
  Value true_value() const { return interpreter.store().true_value(); }
  Value false_value() const { return interpreter.store().false_value(); }
  Value boolean(bool on) const { return on ? true_value() : false_value(); }

  // Reports [message] through the error channel; the call fails with the
  // Byte 0.
  Value fail(std::u16string message);
};

// The neutral result of a built-in that fails.
inline Value failed_result() { return Value::byte(0); }

// Evaluates [text] in the call's frame; nothing when it failed (reported).
std::optional<Value> evaluate_text(BuiltinContext& ctx, std::u16string_view text);

// A raw-text argument resolved to a variable with evaluated indices.
struct RawReference {
  std::u16string name;
  std::vector<Value> indices;
};

// Resolves raw argument [k] as NAME or NAME[i]...; nothing (reported) when
// the text names no variable or an index fails.
std::optional<RawReference> raw_reference(BuiltinContext& ctx, int k);

// The variable name that raw argument [k] is written as, in the form a
// variable read looks up: a dotted name (MODULE.member keeps its case in
// the run text) upper-cased and a leading "GLOBAL." dropped.
std::u16string store_name(std::u16string_view written);
inline std::u16string raw_name(const BuiltinContext& ctx, int k) { return store_name(ctx.site.arguments[k]); }

// The elements of an array argument, read in place: an array value is
// shared, not copied; a script array's elements are copied (the store's
// lock is not held while the built-in runs).
class RawArray {
 public:
  explicit RawArray(Value shared) : m_shared(std::move(shared)), m_elements(m_shared.as_array().elements) {}
  explicit RawArray(std::vector<Value> copy) : m_copy(std::move(copy)), m_elements(m_copy) {}
  RawArray(const RawArray&) = delete;
  RawArray& operator=(const RawArray&) = delete;

  size_t size() const { return m_elements.size(); }
  const Value& operator[](size_t i) const { return m_elements[i]; }

 private:
  Value m_shared;
  std::vector<Value> m_copy;
  std::span<const Value> m_elements;
};

// The elements of the array that raw argument [k] names: a script array
// (all elements, row-major) or an expression whose value is an array.
// Nothing (reported) when it is no array.
std::unique_ptr<RawArray> raw_array_elements(BuiltinContext& ctx, int k);

// The text form of a value as the argument preparation makes it.
std::u16string argument_text(const Value& value);

// Sets the byte-string mark of the running thread (COPYB, CHRB).
void set_byte_string_mark(BuiltinContext& ctx);

// Saves the floating-point control word that SET8087CW 0 restores.
void save_startup_control_word();

// Each entry of the built-in table.
#define B(id, name, minimum, maximum, raw, text, entry) Value builtin_##entry(BuiltinContext& ctx);
#include "builtins/core/builtin_table.def"
#undef B

// The numeric group: [numbers] are the first three arguments (0 when not
// given).
Value run_numeric_group(BuiltinContext& ctx, const std::array<double, 3>& numbers, int given);

}  // namespace vesk
