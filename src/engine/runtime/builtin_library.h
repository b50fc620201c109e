// What the engine asks of the built-in function library. The engine does not
// link the library; the host installs one into the interpreter.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/runtime/call_frame.h"
#include "engine/values/expression.h"
#include "engine/values/value.h"

namespace vesk {

// How many arguments a built-in takes.
struct ArgumentBounds {
  int32_t minimum = 0;
  int32_t maximum = 34;
  // The argument positions (from 0) taken as written, unevaluated: each
  // names a variable, array or hash table. Positions from 3 on share one
  // answer.
  uint8_t raw_mask = 0;
  bool raw(size_t position) const { return (raw_mask >> std::min<size_t>(position, 3)) & 1; }
};

class Interpreter;

// What a built-in family keeps for one interpreter (the file table, ...).
// Made on first use; the end-of-run cleanup gives each its turn.
class BuiltinState {
 public:
  virtual ~BuiltinState() = default;
  virtual void end_of_run() {}
};

enum class BuiltinStateSlot { Files, Windows, Input, Count };

class BuiltinLibrary {
 public:
  virtual ~BuiltinLibrary() = default;

  // Calls the built-in that [call] names; answers nothing when it names none.
  virtual std::optional<Value> call(Interpreter& interpreter, const CallSite& call, CallFrame& frame,
                                    bool& failed) = 0;
  // The argument bounds of the built-in [name] (upper case, without
  // "GLOBAL."), or nothing when no built-in has that name. The block checks
  // use it.
  virtual std::optional<ArgumentBounds> bounds(std::u16string_view name) const = 0;

  // True when SET8087CW left the floating-point control word changed.
  virtual bool control_word_changed() const { return false; }
};

}  // namespace vesk
