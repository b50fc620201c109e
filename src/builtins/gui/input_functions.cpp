// MMV, BTN, KBD, SCKEY, MOUSEORG, GETKEYSTATE and MUSCUR, and the key and
// mouse-button primitives under them: input injected into the system, or
// in direct mode posted as messages to one window.
#include <chrono>
#include <vector>

#include "builtins/core/dispatch.h"
#include "builtins/gui/input_state.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_search.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"

namespace vesk {
namespace gui {
namespace {

constexpr int32_t k_origin_direct = 2;

void sleep_and_pump(Interpreter& interpreter, unsigned ms, int rounds) {
  Sleep(ms);
  short_pump(interpreter, rounds);
}

// Sleeps [ms] while the program's windows stay alive; a stop ends it.
void pumping_sleep(Interpreter& interpreter, int64_t ms) {
  using clock = std::chrono::steady_clock;
  if (ms <= 0) {
    if (ms == 0) Sleep(0);
    return;
  }
  if (ms <= 20) {
    Sleep(static_cast<DWORD>(ms));
    return;
  }
  const clock::time_point end = clock::now() + std::chrono::milliseconds(ms);
  while (!interpreter.stop_requested()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
    if (left <= 0) break;
    Sleep(static_cast<DWORD>(std::min<int64_t>(left, 10)));
    short_pump(interpreter, 1);
  }
}

bool key_down_now(int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }

// --- injected input ---

void send_inputs(std::vector<INPUT>& events) {
  if (!events.empty()) SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

INPUT key_event(WORD key, WORD scan, DWORD flags) {
  INPUT e{};
  e.type = INPUT_KEYBOARD;
  e.ki.wVk = key;
  e.ki.wScan = scan;
  e.ki.dwFlags = flags;
  return e;
}

// A key code sent as itself: the platform's scan code, the extended flag
// where the keyboard sets it.
void inject_key(int64_t key, bool up) {
  WORD sent = static_cast<WORD>(sent_key_code(key));
  UINT mapped = static_cast<UINT>(key == k_key_pad_enter ? 13 : key);
  WORD scan = static_cast<WORD>(MapVirtualKeyW(mapped, MAPVK_VK_TO_VSC));
  DWORD flags = (is_extended_key(key) ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
  std::vector<INPUT> events{key_event(sent, scan, flags)};
  send_inputs(events);
}

// A character code typed as Unicode input; beyond the basic plane as its
// surrogate pair.
void inject_character(int64_t code, bool up) {
  DWORD flags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
  std::vector<INPUT> events;
  if (code <= 0xFFFF) {
    events.push_back(key_event(0, static_cast<WORD>(code), flags));
  } else {
    uint32_t c = static_cast<uint32_t>(code) - 0x10000;
    events.push_back(key_event(0, static_cast<WORD>(0xD800 + (c >> 10)), flags));
    events.push_back(key_event(0, static_cast<WORD>(0xDC00 + (c & 0x3FF)), flags));
  }
  send_inputs(events);
}

// A button event carries the point it happens at, as an absolute move in
// the same input: a cursor just placed by SetCursorPos may not have reached
// the input queue yet (Wine applies it late), and the button would land at
// the old place.
void inject_mouse(DWORD flags, POINT at, int32_t data = 0) {
  std::vector<INPUT> events(1);
  events[0].type = INPUT_MOUSE;
  int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int width = std::max(1, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  int height = std::max(1, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  events[0].mi.dx = static_cast<LONG>((static_cast<int64_t>(at.x - left) * 65536 + width - 1) / width);
  events[0].mi.dy = static_cast<LONG>((static_cast<int64_t>(at.y - top) * 65536 + height - 1) / height);
  events[0].mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  events[0].mi.mouseData = static_cast<DWORD>(data);
  send_inputs(events);
}

HotKeySuspender suspender_of(InputState& state) {
  std::lock_guard guard(state.lock);
  return state.suspender;
}

void press_injected(Interpreter& interpreter, int64_t key, int32_t action) {
  bool character = is_character_code(key);
  if (action == k_action_click || action == k_action_down) {
    // The script's own hot keys on this key would fire on its key-down.
    HotKeySuspender suspend = character ? HotKeySuspender() : suspender_of(input_state(interpreter));
    uint32_t bit = hot_key_modifier_bit(key);
    if (suspend) suspend(key, bit, false);
    character ? inject_character(key, false) : inject_key(key, false);
    if (suspend) suspend(key, bit, true);
  }
  if (action == k_action_click || action == k_action_up)
    character ? inject_character(key, true) : inject_key(key, true);
}

// --- direct mode ---

DirectState direct_copy(InputState& state) {
  std::lock_guard guard(state.lock);
  return state.direct;
}

WPARAM direct_key_state(const DirectState& d) {
  WPARAM flags = 0;
  if (d.left) flags |= MK_LBUTTON;
  if (d.right) flags |= MK_RBUTTON;
  if (d.shift) flags |= MK_SHIFT;
  if (d.control) flags |= MK_CONTROL;
  if (d.middle) flags |= MK_MBUTTON;
  return flags;
}

// The real modifier keys changed for the time of one posted key, to be
// put back afterwards.
class RealModifiers {
 public:
  // Brings the real shift, control and alt keys into line with [d].
  void match(const DirectState& d) {
    align(VK_SHIFT, d.shift);
    align(VK_CONTROL, d.control);
    align(VK_MENU, d.alt);
    if (!m_changed.empty()) Sleep(4);
  }
  // Presses the real [key] when it is up.
  void press_if_up(int key) {
    if (key_down_now(key)) return;
    inject_key(key, false);
    m_changed.push_back({key, true});
  }
  void restore() {
    if (m_changed.empty()) return;
    for (auto it = m_changed.rbegin(); it != m_changed.rend(); ++it) inject_key(it->key, it->pressed);
    m_changed.clear();
    Sleep(4);
  }

 private:
  struct Change {
    int64_t key;
    bool pressed;  // true: we pressed it, so it goes up again
  };
  void align(int key, int64_t held) {
    bool down = key_down_now(key);
    if (down && !held) {
      inject_key(key, true);
      m_changed.push_back({key, false});
    } else if (held && !down) {
      inject_key(held, false);
      m_changed.push_back({held, true});
    }
  }
  std::vector<Change> m_changed;
};

void press_direct(Interpreter& interpreter, int64_t key, int32_t action, HWND window) {
  if (!IsWindow(window)) return;
  InputState& state = input_state(interpreter);
  DirectModifier modifier = direct_modifier(key);
  if (modifier != DirectModifier::None) {
    std::lock_guard guard(state.lock);
    int64_t code = action == k_action_down ? key : 0;
    if (modifier == DirectModifier::Shift) state.direct.shift = code;
    if (modifier == DirectModifier::Control) state.direct.control = code;
    if (modifier == DirectModifier::Alt) state.direct.alt = code;
    return;
  }
  bool character = is_character_code(key);
  UINT scan = character ? 0 : MapVirtualKeyW(static_cast<UINT>(sent_key_code(key)), MAPVK_VK_TO_VSC);
  WPARAM code = static_cast<WPARAM>(character ? key : sent_key_code(key));
  if (action == k_action_click || action == k_action_down) {
    RealModifiers real;
    real.match(direct_copy(state));
    // A character has no key of its own: it arrives as the character
    // message the key would have produced.
    PostMessageW(window, character ? WM_CHAR : WM_KEYDOWN, code,
                 key_message_parameter(scan, is_extended_key(key), false));
    short_pump(interpreter, 40);
    real.restore();
  }
  if ((action == k_action_click || action == k_action_up) && !character)
    PostMessageW(window, WM_KEYUP, code, key_message_parameter(scan, is_extended_key(key), true));
}

struct ControlAtPoint {
  POINT point;
  HWND found = nullptr;
  HWND parent;
};

BOOL CALLBACK find_control_at(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<ControlAtPoint*>(data);
  if (!IsWindowVisible(child)) return TRUE;
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, search->parent, reinterpret_cast<POINT*>(&r), 2);
  if (PtInRect(&r, search->point)) search->found = child;
  return TRUE;
}

void mouse_direct(Interpreter& interpreter, ButtonEvent event, POINT point, int32_t notches, HWND window) {
  if (!IsWindow(window)) return;
  InputState& state = input_state(interpreter);
  // The last control under the point takes the message, at its corner;
  // an invisible control cannot be under anything.
  ControlAtPoint search{point, nullptr, window};
  EnumChildWindows(window, find_control_at, reinterpret_cast<LPARAM>(&search));
  HWND target = window;
  if (search.found) {
    target = search.found;
    point = POINT{1, 1};
  }
  DirectState d;
  {
    std::lock_guard guard(state.lock);
    if (event == ButtonEvent::LeftDown || event == ButtonEvent::LeftUp)
      state.direct.left = event == ButtonEvent::LeftDown;
    if (event == ButtonEvent::RightDown || event == ButtonEvent::RightUp)
      state.direct.right = event == ButtonEvent::RightDown;
    if (event == ButtonEvent::MiddleDown || event == ButtonEvent::MiddleUp)
      state.direct.middle = event == ButtonEvent::MiddleDown;
    d = state.direct;
  }
  WPARAM keys = direct_key_state(d);
  auto at = [](LONG x, LONG y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); };
  PostMessageW(target, WM_MOUSEMOVE, keys, at(point.x + 1, point.y + 1));
  PostMessageW(target, WM_MOUSEMOVE, keys, at(std::max<LONG>(point.x - 1, 0), std::max<LONG>(point.y - 1, 0)));
  PostMessageW(target, WM_MOUSEMOVE, keys, at(point.x, point.y));
  RealModifiers real;
  if (d.shift) real.press_if_up(VK_SHIFT);
  if (d.control) real.press_if_up(VK_CONTROL);
  UINT message = 0;
  switch (event) {
    case ButtonEvent::LeftDown: message = WM_LBUTTONDOWN; break;
    case ButtonEvent::LeftUp: message = WM_LBUTTONUP; break;
    case ButtonEvent::RightDown: message = WM_RBUTTONDOWN; break;
    case ButtonEvent::RightUp: message = WM_RBUTTONUP; break;
    case ButtonEvent::MiddleDown: message = WM_MBUTTONDOWN; break;
    case ButtonEvent::MiddleUp: message = WM_MBUTTONUP; break;
    case ButtonEvent::Wheel: message = WM_MOUSEWHEEL; break;
  }
  if (event == ButtonEvent::Wheel) {
    // The wheel's point is in screen coordinates.
    POINT screen = point;
    ClientToScreen(target, &screen);
    WPARAM turn = MAKEWPARAM(static_cast<WORD>(keys), static_cast<WORD>(static_cast<int16_t>(notches * 120)));
    PostMessageW(target, message, turn, at(screen.x, screen.y));
  } else {
    PostMessageW(target, message, keys, at(point.x, point.y));
  }
  short_pump(interpreter, 40);
  real.restore();
}

InputState& state_with_owner(Interpreter& interpreter) {
  InputState& state = interpreter.builtin_state<InputState>(BuiltinStateSlot::Input);
  state.interpreter = &interpreter;
  return state;
}

}  // namespace

InputState& input_state(Interpreter& interpreter) { return state_with_owner(interpreter); }

std::mutex& input_lock(Interpreter& interpreter) { return input_state(interpreter).input_lock; }

std::unique_lock<std::mutex> lock_pumping(Interpreter& interpreter, std::mutex& mutex) {
  std::unique_lock<std::mutex> guard(mutex, std::defer_lock);
  if (!interpreter.on_gui_thread()) {
    guard.lock();
    return guard;
  }
  while (!guard.try_lock()) {
    interpreter.service_main_thread();
    Sleep(1);
  }
  return guard;
}

void press_key(Interpreter& interpreter, int64_t key, int32_t action, HWND direct) {
  if (!is_sendable_key(key)) return;
  if (action != k_action_click && action != k_action_down && action != k_action_up) return;
  if (direct)
    press_direct(interpreter, key, action, direct);
  else
    press_injected(interpreter, key, action);
}

void mouse_button(Interpreter& interpreter, ButtonEvent event, int32_t x, int32_t y, int32_t notches, HWND direct) {
  if (direct) {
    mouse_direct(interpreter, event, POINT{x, y}, notches, direct);
    return;
  }
  POINT at{x, y};
  switch (event) {
    case ButtonEvent::LeftDown: inject_mouse(MOUSEEVENTF_LEFTDOWN, at); break;
    case ButtonEvent::LeftUp: inject_mouse(MOUSEEVENTF_LEFTUP, at); break;
    case ButtonEvent::RightDown: inject_mouse(MOUSEEVENTF_RIGHTDOWN, at); break;
    case ButtonEvent::RightUp: inject_mouse(MOUSEEVENTF_RIGHTUP, at); break;
    case ButtonEvent::MiddleDown: inject_mouse(MOUSEEVENTF_MIDDLEDOWN, at); break;
    case ButtonEvent::MiddleUp: inject_mouse(MOUSEEVENTF_MIDDLEUP, at); break;
    case ButtonEvent::Wheel: inject_mouse(MOUSEEVENTF_WHEEL, at, notches * WHEEL_DELTA); break;
  }
}

void hold(Interpreter& interpreter, const HeldEntry& entry) {
  InputState& state = input_state(interpreter);
  std::lock_guard guard(state.lock);
  state.held.add(entry);
}

void unhold(Interpreter& interpreter, const HeldEntry& entry) {
  InputState& state = input_state(interpreter);
  std::lock_guard guard(state.lock);
  state.held.remove(entry);
}

void release_held_input(Interpreter& interpreter) {
  InputState& state = input_state(interpreter);
  std::vector<HeldEntry> entries;
  POINT point;
  {
    std::lock_guard guard(state.lock);
    entries = state.held.take();
    point = state.last_direct_point;
  }
  POINT cursor{0, 0};
  GetCursorPos(&cursor);
  for (const HeldEntry& entry : entries) {
    HWND window = entry.window ? reinterpret_cast<HWND>(static_cast<uintptr_t>(*entry.window)) : nullptr;
    if (!window) point = cursor;
    switch (entry.kind) {
      case HeldEntry::Kind::LeftButton:
        mouse_button(interpreter, ButtonEvent::LeftUp, point.x, point.y, 0, window);
        break;
      case HeldEntry::Kind::RightButton:
        mouse_button(interpreter, ButtonEvent::RightUp, point.x, point.y, 0, window);
        break;
      case HeldEntry::Kind::MiddleButton:
        mouse_button(interpreter, ButtonEvent::MiddleUp, point.x, point.y, 0, window);
        break;
      case HeldEntry::Kind::Key: press_key(interpreter, entry.key, k_action_up, window); break;
    }
  }
}

DirectState direct_state(Interpreter& interpreter) { return direct_copy(input_state(interpreter)); }

void clear_direct_state(Interpreter& interpreter) {
  InputState& state = input_state(interpreter);
  std::lock_guard guard(state.lock);
  state.direct = DirectState();
}

void set_hot_key_suspender(Interpreter& interpreter, HotKeySuspender suspender) {
  InputState& state = input_state(interpreter);
  std::lock_guard guard(state.lock);
  state.suspender = std::move(suspender);
}

namespace {

// --- the mouse origin ---

// MOUSEORG stores a window ID, or in direct mode a window handle, in the
// record's origin window; 0 is no origin.
int64_t origin_value(const ThreadGuiRecord& record) {
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(record.origin_window));
}

// The window that direct-mode input goes to; [direct] false when the
// thread's origin is not in direct mode.
HWND direct_window(BuiltinContext& ctx, bool& direct) {
  const ThreadGuiRecord& record = window_state(ctx.interpreter).record(ctx.frame.slot);
  direct = record.origin_mode == k_origin_direct && record.origin_window != nullptr;
  return direct && IsWindow(record.origin_window) ? record.origin_window : nullptr;
}

// The screen point that script coordinates count from: the origin
// window's corner or client origin; when it cannot be resolved or is
// minimized, the last origin; with no origin window (0, 0).
POINT origin_point(BuiltinContext& ctx) {
  WindowState& windows = window_state(ctx.interpreter);
  ThreadGuiRecord& record = windows.record(ctx.frame.slot);
  int64_t value = origin_value(record);
  if (value == 0) return POINT{0, 0};
  HWND window = windows.window_of_id_or_handle(value);
  if (window && !IsIconic(window)) {
    POINT corner{0, 0};
    if (record.origin_mode == 0) {
      RECT r{};
      GetWindowRect(window, &r);
      corner = POINT{r.left, r.top};
    } else {
      ClientToScreen(window, &corner);
    }
    record.origin_x = corner.x;
    record.origin_y = corner.y;
  }
  return POINT{record.origin_x, record.origin_y};
}

struct Desktop {
  int64_t left, top, width, height;
};
Desktop virtual_desktop() {
  return Desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                 GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void mouse_delay(BuiltinContext& ctx, int64_t delay, bool button) {
  bool in_thread = ctx.frame.slot > 0;
  pumping_sleep(ctx.interpreter, mouse_delay_ms(delay, in_thread ? 0 : builtin_call_gap_ms(), in_thread, button));
}

// --- BTN ---

ButtonEvent button_event(int32_t button, bool down) {
  if (button == k_button_right) return down ? ButtonEvent::RightDown : ButtonEvent::RightUp;
  if (button == k_button_middle) return down ? ButtonEvent::MiddleDown : ButtonEvent::MiddleUp;
  return down ? ButtonEvent::LeftDown : ButtonEvent::LeftUp;
}

HeldEntry::Kind held_kind(int32_t button) {
  if (button == k_button_right) return HeldEntry::Kind::RightButton;
  if (button == k_button_middle) return HeldEntry::Kind::MiddleButton;
  return HeldEntry::Kind::LeftButton;
}

int button_key(int32_t button) {
  return button == k_button_right ? VK_RBUTTON : button == k_button_middle ? VK_MBUTTON : VK_LBUTTON;
}

std::optional<uint64_t> entry_window(HWND direct) {
  if (!direct) return std::nullopt;
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(direct));
}

// Down, up or a click of [button] (after the swap), under the input lock.
void perform_button(BuiltinContext& ctx, int32_t script_button, int32_t button, int32_t action, POINT at, HWND direct) {
  Interpreter& interpreter = ctx.interpreter;
  HeldEntry entry{held_kind(button), 0, entry_window(direct)};
  if (action == k_action_click || action == k_action_down) {
    bool was_down = key_down_now(button_key(button));
    mouse_button(interpreter, button_event(button, true), at.x, at.y, 0, direct);
    hold(interpreter, entry);
    // The pressed-since-last-read bit of our own press must not reach
    // GETKEYSTATE.
    if (!was_down) GetAsyncKeyState(button_key(button));
  }
  if (action == k_action_click) Sleep(20);
  if (action == k_action_click || action == k_action_up) {
    mouse_button(interpreter, button_event(button, false), at.x, at.y, 0, direct);
    unhold(interpreter, entry);
    if (ctx.frame.slot == 0 && script_button == k_button_left) window_state(interpreter).input_action_pending = true;
    if (ctx.frame.slot == 0 && script_button == k_button_right) window_state(interpreter).input_action_pending = false;
  }
}

// --- SCKEY's helpers ---

bool is_alt_key(int64_t key) { return key == 18 || key == 164 || key == 165; }

// Where SCKEY hides a window that has to be shown for its keys.
constexpr int k_off_screen = 999999;

// --- MUSCUR ---

struct SystemCursor {
  int32_t number;
  LPCWSTR name;
};
const SystemCursor k_system_cursors[] = {
    {1, IDC_APPSTARTING}, {2, IDC_ARROW},   {3, IDC_CROSS},    {4, IDC_HAND},     {5, IDC_HELP},      {6, IDC_IBEAM},
    {7, IDC_ICON},        {8, IDC_NO},      {9, IDC_SIZE},     {10, IDC_SIZEALL}, {11, IDC_SIZENESW}, {12, IDC_SIZENS},
    {13, IDC_SIZENWSE},   {14, IDC_SIZEWE}, {15, IDC_UPARROW}, {16, IDC_WAIT},
};

struct LoadedCursors {
  HCURSOR handles[std::size(k_system_cursors)];
  LoadedCursors() {
    for (size_t i = 0; i < std::size(k_system_cursors); ++i)
      handles[i] = LoadCursorW(nullptr, k_system_cursors[i].name);
  }
};

// --- GETKEYSTATE ---

constexpr int64_t k_toggle_numlock = 10000, k_toggle_capslock = 10001, k_toggle_scrolllock = 10002,
                  k_toggle_kanalock = 10003, k_toggle_ime = 10004;

// The open state of the foreground window's input method. The input
// method library is loaded when asked: most scripts never need it.
bool ime_open() {
  using DefaultImeWindow = HWND(WINAPI*)(HWND);
  static DefaultImeWindow default_ime_window = [] {
    HMODULE imm = LoadLibraryW(L"imm32.dll");
    return imm ? reinterpret_cast<DefaultImeWindow>(reinterpret_cast<void*>(GetProcAddress(imm, "ImmGetDefaultIMEWnd")))
               : nullptr;
  }();
  HWND front = GetForegroundWindow();
  if (!default_ime_window || !front) return false;
  HWND ime = default_ime_window(front);
  if (!ime) return false;
  constexpr WPARAM k_get_open_status = 0x0005;  // IMC_GETOPENSTATUS
  DWORD_PTR open = 0;
  if (!SendMessageTimeoutW(ime, WM_IME_CONTROL, k_get_open_status, 0, SMTO_ABORTIFHUNG, 1000, &open)) return false;
  return open != 0;
}

bool toggled(int key) { return (GetKeyState(key) & 1) != 0; }

}  // namespace
}  // namespace gui

using namespace gui;

// MMV(x, y, delay)
Value builtin_mmv(BuiltinContext& ctx) {
  mouse_delay(ctx, ctx.integer(2), false);
  bool direct = false;
  HWND window = direct_window(ctx, direct);
  if (direct) {
    if (!window) return Value();
    DirectState d = direct_state(ctx.interpreter);
    PostMessageW(window, WM_MOUSEMOVE, direct_key_state(d),
                 MAKELPARAM(static_cast<WORD>(ctx.integer(0)), static_cast<WORD>(ctx.integer(1))));
    return Value();
  }
  POINT origin = origin_point(ctx);
  Desktop desk = virtual_desktop();
  int64_t x = clamp_to_desktop(origin.x + ctx.integer(0), desk.left, desk.width);
  int64_t y = clamp_to_desktop(origin.y + ctx.integer(1), desk.top, desk.height);
  SetCursorPos(static_cast<int>(x), static_cast<int>(y));
  return Value();
}

// BTN(button, action, x, y, delay): for WHEEL the action is the turn in
// notches.
Value builtin_btn(BuiltinContext& ctx) {
  Interpreter& interpreter = ctx.interpreter;
  mouse_delay(ctx, ctx.integer(4), true);
  int32_t script_button = static_cast<int32_t>(ctx.integer(0));
  int64_t action = ctx.integer(1);
  bool direct = false;
  HWND window = direct_window(ctx, direct);
  if (direct && !window) return Value();
  POINT at{0, 0};
  if (direct) {
    InputState& state = input_state(interpreter);
    std::lock_guard guard(state.lock);
    if (ctx.given(2))
      state.last_direct_point = POINT{static_cast<LONG>(ctx.integer(2)), static_cast<LONG>(ctx.integer(3))};
    at = state.last_direct_point;
  } else if (ctx.given(2)) {
    POINT origin = origin_point(ctx);
    Desktop desk = virtual_desktop();
    std::optional<int64_t> x = button_coordinate(origin.x + ctx.integer(2), desk.left, desk.width);
    std::optional<int64_t> y = button_coordinate(origin.y + ctx.integer(3), desk.top, desk.height);
    if (!x || !y) return Value();
    SetCursorPos(static_cast<int>(*x), static_cast<int>(*y));
    at = POINT{static_cast<LONG>(*x), static_cast<LONG>(*y)};
  } else {
    GetCursorPos(&at);
  }
  std::unique_lock guard = lock_pumping(interpreter, input_lock(interpreter));
  if (script_button == k_button_wheel) {
    int32_t notches = static_cast<int32_t>(std::clamp<int64_t>(action, -273, 273));
    mouse_button(interpreter, ButtonEvent::Wheel, at.x, at.y, notches, window);
    return Value();
  }
  if (script_button != k_button_left && script_button != k_button_right && script_button != k_button_middle)
    return Value();
  if (action != k_action_click && action != k_action_down && action != k_action_up) return Value();
  int32_t button = script_button;
  if (!direct && GetSystemMetrics(SM_SWAPBUTTON) && button != k_button_middle)
    button = button == k_button_left ? k_button_right : k_button_left;
  perform_button(ctx, script_button, button, static_cast<int32_t>(action), at, window);
  return Value();
}

// KBD(key, action, delay)
Value builtin_kbd(BuiltinContext& ctx) {
  Interpreter& interpreter = ctx.interpreter;
  pumping_sleep(interpreter, std::max<int64_t>(ctx.integer(2), 2));
  int64_t key = ctx.integer(0);
  int32_t action = static_cast<int32_t>(ctx.integer(1));
  bool direct = false;
  HWND window = direct_window(ctx, direct);
  if (direct && !window) return Value();
  if (!is_sendable_key(key) || (action != k_action_click && action != k_action_down && action != k_action_up))
    return Value();
  std::unique_lock guard = lock_pumping(interpreter, input_lock(interpreter));
  press_key(interpreter, key, action, window);
  HeldEntry entry{HeldEntry::Kind::Key, key, entry_window(window)};
  if (action == k_action_click || action == k_action_down) hold(interpreter, entry);
  if (action == k_action_click || action == k_action_up) {
    unhold(interpreter, entry);
    if (ctx.frame.slot == 0 && (key == 13 || key == k_key_pad_enter))
      window_state(interpreter).input_action_pending = true;
  }
  return Value();
}

// SCKEY(id, key, key, ...): the keys as one combination to the window,
// modifiers held while the other keys go out.
Value builtin_sckey(BuiltinContext& ctx) {
  Interpreter& interpreter = ctx.interpreter;
  if (ctx.args.count() < 2) return Value();
  HWND window = window_state(interpreter).window_of(static_cast<int32_t>(ctx.integer(0)));
  if (!window) return Value();
  std::unique_lock guard = lock_pumping(interpreter, input_state(interpreter).sckey_lock);
  wait_window_idle(interpreter, window);
  int state = IsIconic(window) ? 1 : !IsWindowVisible(window) ? 2 : 0;

  int keys = 1;
  bool alt = false;
  while (keys < ctx.args.count() && !ctx.text(keys).empty()) alt = alt || is_alt_key(ctx.integer(keys++));
  bool unlock = alt || hard_lock(interpreter).mode == 2;
  if (unlock) set_input_lock(interpreter, false);

  HWND front = nullptr;
  RECT place{};
  if (state != 0) {
    front = GetForegroundWindow();
    ShowWindow(window, state == 1 ? SW_RESTORE : SW_SHOW);
    GetWindowRect(window, &place);
    SetWindowPos(window, nullptr, k_off_screen, k_off_screen, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  activate_window(window);

  std::vector<int64_t> kept;
  for (int k = 1; k < keys; ++k) {
    wait_window_idle(interpreter, window);
    sleep_and_pump(interpreter, 4, 20);
    int64_t key = ctx.integer(k);
    if (is_held_modifier(key)) {
      press_key(interpreter, key, k_action_down);
      kept.push_back(key);
    } else {
      press_key(interpreter, key, k_action_click);
    }
  }
  sleep_and_pump(interpreter, 4, 20);
  if (window == host_window(interpreter, u"__GET_FORM_WIN__", ctx.frame.slot)) {
    sleep_and_pump(interpreter, 40, 80);
    sleep_and_pump(interpreter, 40, 80);
  }
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) press_key(interpreter, *it, k_action_up);
  sleep_and_pump(interpreter, 4, 20);

  if (state != 0) {
    SetWindowPos(window, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, state == 1 ? SW_MINIMIZE : SW_HIDE);
    if (front) activate_window(front);
  }
  if (unlock) set_input_lock(interpreter, true);
  if (ctx.frame.slot == 0) window_state(interpreter).input_action_pending = true;
  sleep_and_pump(interpreter, 4, 20);
  return Value();
}

// MOUSEORG(id, mode, option): the origin of the thread's mouse
// coordinates, or in direct mode the window that takes the input.
Value builtin_mouseorg(BuiltinContext& ctx) {
  int64_t id = ctx.integer(0);
  if (id == -1) return Value();
  int32_t mode = static_cast<int32_t>(ctx.integer(1));
  ThreadGuiRecord& record = window_state(ctx.interpreter).record(ctx.frame.slot);
  record.origin_mode = mode;
  record.origin_option = static_cast<int32_t>(ctx.integer(2));
  if (mode == k_origin_direct) {
    clear_direct_state(ctx.interpreter);
    record.origin_window = window_state(ctx.interpreter).window_of_id_or_handle(id);
  } else {
    record.origin_window = reinterpret_cast<HWND>(static_cast<intptr_t>(id));
  }
  return Value();
}

// GETKEYSTATE(code): a key or button down (or pressed since the last
// look), or a toggle on.
Value builtin_getkeystate(BuiltinContext& ctx) {
  int64_t code = ctx.integer(0);
  switch (code) {
    case k_toggle_numlock: return ctx.boolean(toggled(VK_NUMLOCK));
    case k_toggle_capslock: return ctx.boolean(toggled(VK_CAPITAL));
    case k_toggle_scrolllock: return ctx.boolean(toggled(VK_SCROLL));
    case k_toggle_kanalock: return ctx.boolean(toggled(VK_KANA));
    case k_toggle_ime: return ctx.boolean(ime_open());
    default: break;
  }
  if (code == k_key_pad_enter) code = 13;
  if (code < 0 || code > 255) return ctx.false_value();
  int key = static_cast<int>(code);
  if (GetSystemMetrics(SM_SWAPBUTTON) && (key == VK_LBUTTON || key == VK_RBUTTON))
    key = key == VK_LBUTTON ? VK_RBUTTON : VK_LBUTTON;
  bool down = GetAsyncKeyState(key) != 0;
  if (down && key > 7 && !(GetKeyState(key) & 0x8000)) {
    // The thread still thinks the key is down from a press it never saw
    // the end of; the asynchronous state keeps answering for it.
    BYTE keys[256];
    if (GetKeyboardState(keys)) {
      keys[key] = 0;
      SetKeyboardState(keys);
    }
  }
  if (code == VK_LBUTTON || code == VK_RBUTTON || code == VK_MBUTTON) {
    int button = code == VK_LBUTTON ? 0 : code == VK_RBUTTON ? 1 : 2;
    if (ctx.interpreter.take_mouse_seen(button)) down = true;
  }
  return ctx.boolean(down);
}

// MUSCUR(): the number of the system cursor under the mouse, or another
// cursor's handle negated.
Value builtin_muscur(BuiltinContext&) {
  static const LoadedCursors cursors;
  POINT p{};
  GetCursorPos(&p);
  HWND under = WindowFromPoint(p);
  DWORD self = GetCurrentThreadId();
  DWORD owner = under ? GetWindowThreadProcessId(under, nullptr) : 0;
  // Only the thread that owns the window knows its cursor: share its input
  // state for the read.
  bool attached = owner && owner != self && AttachThreadInput(self, owner, TRUE);
  HCURSOR cursor = GetCursor();
  if (attached) AttachThreadInput(self, owner, FALSE);
  for (size_t i = 0; i < std::size(k_system_cursors); ++i)
    if (cursor && cursor == cursors.handles[i]) return Value::i4(k_system_cursors[i].number);
  int32_t handle = static_cast<int32_t>(reinterpret_cast<intptr_t>(cursor));
  return Value::i4(handle <= 0 ? handle : -handle);
}

// LOCKHARD(flag): TRUE blocks the user's input of the whole system, FALSE
// lets it go.
Value builtin_lockhard(BuiltinContext& ctx) {
  HardLock lock;
  if (ctx.integer(0) != 0) lock.mode = 1;
  change_hard_lock(ctx.interpreter, lock);
  return Value();
}

// LOCKHARDEX(id, kind): keys and clicks of the user swallowed, for one
// window (0: every window); without arguments the lock goes.
Value builtin_lockhardex(BuiltinContext& ctx) {
  HardLock lock;
  if (ctx.args.count() > 0) {
    int32_t id = static_cast<int32_t>(ctx.integer(0));
    HWND window = id == 0 ? nullptr : window_state(ctx.interpreter).window_of(id, true);
    if (id != 0 && !window) return Value();
    lock = HardLock{2, window, static_cast<int32_t>(ctx.integer(1))};
  }
  change_hard_lock(ctx.interpreter, lock);
  return Value();
}

}  // namespace vesk
