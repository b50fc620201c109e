// What a user function's header and body say once read: its parameters,
// its length and the forms a call of it may take. Read on the first call
// and kept for the run (Interpreter::function_shape).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime/flat_body.h"
#include "engine/runtime/interpreter.h"
#include "engine/runtime/number_function.h"

namespace vesk {

// One parameter as its header declares it.
struct FunctionParameter {
  std::u16string name;  // without "VAR ", brackets and default
  NameKey key;          // of [name]
  bool by_var = false;
  bool array = false;
  std::u16string declared;  // as written, for array brackets
  std::unique_ptr<CompiledExpression> default_value;
};

struct Interpreter::FunctionShape {
  std::vector<FunctionParameter> params;
  int32_t header = 0;  // statement number of the header
  int32_t count = 1;   // statements from the header up to its FEND
  // Some parameter is VAR or an array: the call keeps how each argument
  // was bound, for the binding and the copy-out.
  bool binds = false;
  // No parameter is VAR, an array or defaulted, and their names differ
  // from each other and from RESULT: a call declares RESULT (of a
  // function) and the parameters at slots 0, 1, ... in that order, and a
  // frame given back keeps exactly those.
  bool plain = false;
  bool has_result = false;
  int32_t slots = 0;
  // The body as flat_body.h makes it; empty when it runs nested.
  FlatBody flat;
  // Its number function (number_function.h), worked out on the first plain
  // call: [numbers] is set before [number_state] says 1 (it has one); 2
  // says it has none, 0 not yet known.
  mutable std::atomic<int8_t> number_state{0};
  mutable std::unique_ptr<NumberFunction> numbers;
};

// The user function with plain parameters that [site] reaches from
// [frame], or -1; its shape goes to [shape].
inline int32_t Interpreter::plain_function(const CallSite& site, const CallFrame& frame,
                                           const FunctionShape*& shape) {
  if (!frame.module_name.empty()) return -1;
  int32_t f = site.function_outside_modules.load(std::memory_order_relaxed);
  if (f == -2) f = look_up_outside_modules(site, frame);
  if (f < 0) return -1;
  shape = &function_shape(f);
  return shape->plain ? f : -1;
}

inline const NumberFunction* Interpreter::number_function(int32_t function, const FunctionShape& shape) {
  int8_t state = shape.number_state.load(std::memory_order_acquire);
  if (state == 0) [[unlikely]] return find_number_functions(function);
  return state == 1 ? shape.numbers.get() : nullptr;
}

}  // namespace vesk
