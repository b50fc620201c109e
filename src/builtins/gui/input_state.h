// What simulated input keeps for one run: the two critical sections, the
// held-input list, the direct-mode state and the lock of the user's input.
// Shared by the input built-ins (input_functions.cpp) and the lock
// (input_lock.cpp); other families use input.h.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>

#include "builtins/gui/input.h"

namespace vesk::gui {

// A low-level hook that is removed when its owner goes.
class UniqueHook {
 public:
  UniqueHook() = default;
  explicit UniqueHook(HHOOK hook) : m_hook(hook) {}
  ~UniqueHook() { reset(); }
  UniqueHook(const UniqueHook&) = delete;
  UniqueHook& operator=(const UniqueHook&) = delete;
  UniqueHook& operator=(UniqueHook&& other) noexcept {
    if (this != &other) {
      reset();
      m_hook = other.m_hook;
      other.m_hook = nullptr;
    }
    return *this;
  }
  void reset() {
    if (m_hook) UnhookWindowsHookEx(m_hook);
    m_hook = nullptr;
  }
  explicit operator bool() const { return m_hook != nullptr; }

 private:
  HHOOK m_hook = nullptr;
};

class InputState : public BuiltinState {
 public:
  ~InputState() override;

  std::mutex input_lock;  // BTN, KBD and the control functions
  std::mutex sckey_lock;  // SCKEY

  // The held list, the direct-mode state, the hot-key suspender and the
  // stored lock settings.
  std::mutex lock;
  HeldInputList held;
  DirectState direct;
  POINT last_direct_point{};  // where a direct button without coordinates goes
  HotKeySuspender suspender;
  HardLock hard;

  // What the lock holds while it is on; touched on the main thread only.
  bool blocked = false;
  UniqueHook keyboard_hook, mouse_hook;

  // The interpreter this state belongs to, for the end of the run.
  std::atomic<Interpreter*> interpreter{nullptr};

  // Switches the lock off, releases what is still held and forgets the
  // run's settings.
  void end_of_run() override;
};

InputState& input_state(Interpreter& interpreter);

// Switches the hooks or the system-wide block of [state] on or off; on
// the main thread.
void apply_lock(Interpreter& interpreter, InputState& state, bool on);

}  // namespace vesk::gui
