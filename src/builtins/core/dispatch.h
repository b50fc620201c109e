// The built-in function library's entry: installing the call hook into an
// interpreter, and the few states of the dispatch that the engine reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/runtime/interpreter.h"

namespace vesk {

// Makes [interpreter] call the built-ins of this library.
void install_core_builtins(Interpreter& interpreter);

// The built-in ID of [name] (upper case, without "GLOBAL."), or -1.
int32_t builtin_id(std::u16string_view name);

// The hook itself: answers nothing when [call] names no built-in.
std::optional<Value> call_builtin(Interpreter& interpreter, const CallSite& call, CallFrame& frame, bool& failed);

// The milliseconds (0 … 999) between the end of the previous built-in call
// on the main thread and the start of the latest one. The mouse functions
// shorten their own waits by it.
int32_t builtin_call_gap_ms();

// True when SET8087CW left the floating-point control word different from
// the one saved when the library was installed.
bool control_word_changed();

}  // namespace vesk
