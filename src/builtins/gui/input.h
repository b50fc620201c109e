// Simulated input for the whole GUI library: the key and mouse-button
// primitives, the list of buttons and keys still held, the input lock that
// keeps script threads from interleaving their input, and the lock of the
// user's own input (LOCKHARD, LOCKHARDEX).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/input_rules.h"

namespace vesk::gui {

// One event of the mouse primitive.
enum class ButtonEvent { LeftDown, LeftUp, RightDown, RightUp, MiddleDown, MiddleUp, Wheel };

// The lock of the user's input: mode 0 none, 1 all input of the system
// (LOCKHARD), 2 by hooks (LOCKHARDEX) on [window] (null: every window) for
// the [kind] 0 both, 1 keyboard, 2 mouse.
struct HardLock {
  int32_t mode = 0;
  HWND window = nullptr;
  int32_t kind = 0;
};
inline constexpr int32_t k_lock_keyboard = 1;
inline constexpr int32_t k_lock_mouse = 2;

// Called around a key-down with [resume] false before and true after, so
// that the script's own hot keys on that key or its modifier bit do not
// fire. The hot-key built-ins install it.
using HotKeySuspender = std::function<void(int64_t key, uint32_t modifier_bit, bool resume)>;

// The critical section that BTN, KBD and the control functions hold
// around each button or key, so that script threads do not interleave.
std::mutex& input_lock(Interpreter& interpreter);
// Takes [mutex]. On the main thread the wait keeps handling messages and
// the calls script threads hand over: the thread that holds it may be
// waiting for the main thread.
std::unique_lock<std::mutex> lock_pumping(Interpreter& interpreter, std::mutex& mutex);

// The lock of the user's input as LOCKHARD or LOCKHARDEX left it.
HardLock hard_lock(Interpreter& interpreter);
// Switches the current lock on or off (nothing in mode 0). Hooks and the
// system-wide block belong to the main thread: a script thread hands the
// work over and waits for it.
void set_input_lock(Interpreter& interpreter, bool on);
// LOCKHARD and LOCKHARDEX: unlocks an active lock, stores [lock] and, for a
// mode above 0, locks again.
void change_hard_lock(Interpreter& interpreter, const HardLock& lock);

// Presses ([action] CLICK, DOWN or UP) the key [key]: injected, or posted to
// [direct] when it is given (nothing then when it is no window).
void press_key(Interpreter& interpreter, int64_t key, int32_t action, HWND direct = nullptr);

// One mouse-button event: injected at the cursor, or posted to [direct] at
// ([x], [y]) of its client area. [notches] is the wheel's turn.
void mouse_button(Interpreter& interpreter, ButtonEvent event, int32_t x, int32_t y, int32_t notches,
                  HWND direct = nullptr);

// The held-input list of the run: what went down and has not come up.
void hold(Interpreter& interpreter, const HeldEntry& entry);
void unhold(Interpreter& interpreter, const HeldEntry& entry);
// Sends the button-up or key-up of every held entry, in order, and
// empties the list.
void release_held_input(Interpreter& interpreter);

// The direct-mode state of the run: modifiers and buttons held by posted
// messages. MOUSEORG clears it when it selects direct mode.
struct DirectState {
  int64_t shift = 0, control = 0, alt = 0;  // the key code that went down, 0 when up
  bool left = false, right = false, middle = false;
};
DirectState direct_state(Interpreter& interpreter);
void clear_direct_state(Interpreter& interpreter);

void set_hot_key_suspender(Interpreter& interpreter, HotKeySuspender suspender);

}  // namespace vesk::gui
