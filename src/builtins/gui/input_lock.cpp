// The lock of the user's input: LOCKHARD blocks all input of the system,
// LOCKHARDEX swallows keys and clicks through low-level hooks, for every
// window or for one.
#include <atomic>

#include "builtins/gui/input_state.h"
#include "builtins/gui/window_search.h"
#include "engine/runtime/waiting.h"

namespace vesk::gui {
namespace {

// What the hooks decide on. A low-level hook procedure gets no context of
// its own, and the process has one interpreter, so these are the process's.
std::atomic<HWND> g_hook_window{nullptr};

LRESULT CALLBACK keyboard_hook(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    HWND window = g_hook_window.load();
    if (!window || window == GetForegroundWindow()) return 1;
  }
  return CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK mouse_hook(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION && message != WM_MOUSEMOVE && message != WM_NCMOUSEMOVE) {
    HWND window = g_hook_window.load();
    if (!window) return 1;
    const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    if (top_level_at(event->pt) == window) return 1;
  }
  return CallNextHookEx(nullptr, code, message, data);
}

bool is_mouse_code(int key) {
  return key == VK_LBUTTON || key == VK_RBUTTON || key == VK_MBUTTON || key == VK_XBUTTON1 || key == VK_XBUTTON2;
}

void tap_key(int key) {
  INPUT events[2]{};
  for (INPUT& e : events) {
    e.type = INPUT_KEYBOARD;
    e.ki.wVk = static_cast<WORD>(key);
    e.ki.wScan = static_cast<WORD>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC));
  }
  events[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, events, sizeof(INPUT));
}

// No key may stay logically down under the lock: whatever the user holds
// now would never see its key-up. The first read of every key only clears
// the pressed-since-last-read bit; mouse buttons are left alone, since a
// key event cannot release them.
void release_keys_held_now() {
  for (int key = 0; key < 256; ++key) GetAsyncKeyState(key);
  for (int pass = 0; pass < 2; ++pass)
    for (int key = 1; key <= 145; ++key) {
      if (is_mouse_code(key) || GetAsyncKeyState(key) == 0) continue;
      tap_key(key);
      GetAsyncKeyState(key);
    }
}

void lock_on(Interpreter& interpreter, InputState& state, const HardLock& hard) {
  short_pump(interpreter, 4);
  HANDLE process = GetCurrentProcess();
  DWORD priority = GetPriorityClass(process);
  SetPriorityClass(process, REALTIME_PRIORITY_CLASS);
  release_keys_held_now();
  if (hard.mode == 1) {
    // Under Wine this blocks nothing; on Windows it needs the thread that
    // runs the message loop.
    state.blocked = BlockInput(TRUE) != 0;
  } else if (hard.mode == 2) {
    g_hook_window = hard.window;
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (hard.kind == 0 || hard.kind == k_lock_keyboard)
      state.keyboard_hook = UniqueHook(SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook, module, 0));
    if (hard.kind == 0 || hard.kind == k_lock_mouse)
      state.mouse_hook = UniqueHook(SetWindowsHookExW(WH_MOUSE_LL, mouse_hook, module, 0));
  }
  SetPriorityClass(process, priority ? priority : NORMAL_PRIORITY_CLASS);
}

void lock_off(InputState& state) {
  if (state.blocked) BlockInput(FALSE);
  state.blocked = false;
  state.keyboard_hook.reset();
  state.mouse_hook.reset();
  g_hook_window = nullptr;
}

HardLock stored_lock(InputState& state) {
  std::lock_guard guard(state.lock);
  return state.hard;
}

}  // namespace

void apply_lock(Interpreter& interpreter, InputState& state, bool on) {
  HardLock hard = stored_lock(state);
  if (hard.mode == 0) return;
  interpreter.on_main_thread([&] {
    if (on)
      lock_on(interpreter, state, hard);
    else
      lock_off(state);
  });
}

HardLock hard_lock(Interpreter& interpreter) { return stored_lock(input_state(interpreter)); }

void set_input_lock(Interpreter& interpreter, bool on) { apply_lock(interpreter, input_state(interpreter), on); }

void change_hard_lock(Interpreter& interpreter, const HardLock& lock) {
  InputState& state = input_state(interpreter);
  apply_lock(interpreter, state, false);
  {
    std::lock_guard guard(state.lock);
    state.hard = lock;
  }
  if (lock.mode != 0) apply_lock(interpreter, state, true);
}

InputState::~InputState() {
  if (blocked) BlockInput(FALSE);
  g_hook_window = nullptr;
}

void InputState::end_of_run() {
  Interpreter* owner = interpreter.load();
  if (!owner) return;
  // The lock goes first: its hooks would swallow the releases below.
  apply_lock(*owner, *this, false);
  {
    std::lock_guard guard(lock);
    hard = HardLock();
  }
  release_held_input(*owner);
  std::lock_guard guard(lock);
  direct = DirectState();
  last_direct_point = POINT{};
}

}  // namespace vesk::gui
