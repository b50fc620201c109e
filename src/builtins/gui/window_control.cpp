// ACW, CTRLWIN, STATUS and MONITOR: placing, commanding and reading whole
// windows, and the displays.
#include "builtins/gui/window_control.h"

#include <psapi.h>

#include <vector>

#include "builtins/core/builtin_context.h"
#include "builtins/core/dispatch.h"
#include "builtins/gui/window_search.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace gui {
namespace {

BOOL CALLBACK first_visible_top_level(HWND w, LPARAM data) {
  if (GetParent(w) || !IsWindowVisible(w)) return TRUE;
  *reinterpret_cast<HWND*>(data) = w;
  return FALSE;
}

// The program's own main window: the first visible top-level window of
// this thread (the launcher, once the host has one).
HWND main_window_of_program() {
  HWND window = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), first_visible_top_level, reinterpret_cast<LPARAM>(&window));
  return window;
}

void pump_once() { platform::pump_messages(); }

// Attaches to the foreground window's thread, sets [window] as foreground
// and raises it.
void bring_to_front(HWND window) {
  HWND foreground = GetForegroundWindow();
  if (window == foreground) return;
  DWORD target_thread = GetWindowThreadProcessId(window, nullptr);
  DWORD foreground_thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  bool attached = foreground_thread && foreground_thread != target_thread &&
                  AttachThreadInput(target_thread, foreground_thread, TRUE);
  SetForegroundWindow(window);
  if (attached) AttachThreadInput(target_thread, foreground_thread, FALSE);
  BringWindowToTop(window);
}

bool popup_window(HWND window) {
  if (GetParent(window) && GetParent(window) != GetForegroundWindow()) return false;
  wchar_t title[2];
  if (GetWindowTextW(window, title, 2) > 0) return false;
  wchar_t buffer[256];
  int length = GetClassNameW(window, buffer, 256);
  std::u16string klass = system_upper(std::u16string(reinterpret_cast<char16_t*>(buffer), length > 0 ? length : 0));
  return klass == u"#32768" || klass == u"BASEBAR" || klass.find(u"POPUP") != std::u16string::npos ||
         klass.find(u"UI TOOL WINDOW") != std::u16string::npos;
}

}  // namespace

void activate_window(HWND window, bool force) {
  if (!IsWindow(window)) return;
  if (!force && AnyPopup() && popup_window(window)) return;
  bring_to_front(window);
  if (GetForegroundWindow() != window) {
    DWORD saved = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    pump_once();
    bring_to_front(window);
    if (GetForegroundWindow() != window) {
      pump_once();
      if (HWND own = main_window_of_program()) bring_to_front(own);
      pump_once();
      bring_to_front(window);
    }
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(saved)), 0);
  }
  if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_MDICHILD) {
    HWND frame = GetParent(window);
    for (int up = 0; up < 2 && frame && GetParent(frame); ++up) frame = GetParent(frame);
    if (frame) bring_to_front(frame);
  }
}

}  // namespace gui

namespace {

using gui::WindowState;

void sleep_serviced(Interpreter& interpreter, int steps) {
  for (int i = 0; i < steps; ++i) {
    Sleep(10);
    short_pump(interpreter, 1);
  }
}

// The delay of a recorded step: in the main script the time the script
// itself spent since the last built-in call is taken off.
void recorded_delay(BuiltinContext& ctx, int64_t delay_ms) {
  if (ctx.frame.slot != 0) {
    if (delay_ms > 0) Sleep(static_cast<DWORD>(delay_ms));
    return;
  }
  int64_t rest = delay_ms - builtin_call_gap_ms();
  if (rest > 0)
    Sleep(static_cast<DWORD>(rest));
  else if (rest >= -9)
    Sleep(1);
}

std::u16string trimmed(const wchar_t* buffer, int length) {
  if (length <= 0) return {};
  return std::u16string(trim_blanks(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length)));
}

BOOL CALLBACK add_display(HMONITOR m, HDC, LPRECT, LPARAM data) {
  reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(m);
  return TRUE;
}

std::vector<HMONITOR> displays() {
  std::vector<HMONITOR> list;
  EnumDisplayMonitors(nullptr, nullptr, add_display, reinterpret_cast<LPARAM>(&list));
  return list;
}

DWORD process_of(HWND window) {
  DWORD process = 0;
  if (window) GetWindowThreadProcessId(window, &process);
  return process;
}

// The program runs as a 32-bit program on a 64-bit system.
bool under_32_bit_emulation() {
  BOOL wow = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

bool process_is_64_bit(HWND window) {
  if (!window || !under_32_bit_emulation()) return false;
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_of(window));
  if (!h) return false;
  BOOL wow = TRUE;
  bool is64 = IsWow64Process(h, &wow) && !wow;
  CloseHandle(h);
  return is64;
}

std::u16string process_path(HWND window) {
  if (!window) return {};
  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_of(window));
  if (!h) return {};
  std::u16string path;
  HMODULE first = nullptr;
  DWORD needed = 0;
  wchar_t buffer[1024];
  if (EnumProcessModules(h, &first, sizeof first, &needed) && first) {
    DWORD length = GetModuleFileNameExW(h, first, buffer, 1024);
    if (length > 0) path.assign(reinterpret_cast<char16_t*>(buffer), length);
  }
  // A 64-bit process seen from a 32-bit program lists no modules here; its
  // image name is asked for directly.
  if (path.empty()) {
    DWORD size = 1024;
    if (QueryFullProcessImageNameW(h, 0, buffer, &size)) path.assign(reinterpret_cast<char16_t*>(buffer), size);
  }
  CloseHandle(h);
  return path;
}

int32_t display_number(HWND window) {
  if (!window) return -1;
  HMONITOR nearest = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  std::vector<HMONITOR> list = displays();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == nearest) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace

// ACW(id, x, y, width, height, delay)
Value builtin_acw(BuiltinContext& ctx) {
  Interpreter& interpreter = ctx.interpreter;
  WindowState& state = gui::window_state(interpreter);
  gui::ThreadGuiRecord& record = state.record(ctx.frame.slot);
  bool x_given = ctx.given(1) && !ctx.text(1).empty();
  bool y_given = ctx.given(2) && !ctx.text(2).empty();
  int32_t x = static_cast<int32_t>(ctx.integer(1)), y = static_cast<int32_t>(ctx.integer(2));
  record.origin_x = x;
  record.origin_y = y;
  recorded_delay(ctx, ctx.integer(5));

  int64_t id = ctx.integer(0);
  if (id < 0) return Value();
  HWND window = nullptr;
  if (id == 0 && !record.last_getid_title.empty()) {
    window = state.window_of(gui::get_id(ctx, record.last_getid_title, u"", 0, u""));
  } else {
    window = state.window_of(static_cast<int32_t>(id));
  }
  if (!window) return Value();

  RECT r{};
  GetWindowRect(window, &r);
  int32_t width = static_cast<int32_t>(ctx.integer(3)), height = static_cast<int32_t>(ctx.integer(4));
  bool no_move = !x_given || !y_given || (x == r.left && y == r.top);
  bool no_size = (width == r.right - r.left && height == r.bottom - r.top) || (width == 0 && height == 0);
  if (!(no_move && no_size)) ShowWindow(window, SW_SHOWNORMAL);
  gui::activate_window(window);
  UINT flags = (no_move ? SWP_NOMOVE : 0) | (no_size ? SWP_NOSIZE : 0);
  SetWindowPos(window, HWND_TOP, x, y, width, height, flags);

  wchar_t buffer[256];
  std::u16string klass = trimmed(buffer, GetClassNameW(window, buffer, 256));
  if (klass == u"RUNDLL" || klass == u"#32770")
    for (int round = 0; round < 41 && !IsWindowVisible(window); ++round) {
      Sleep(100);
      short_pump(interpreter, 1);
    }
  return Value();
}

// CTRLWIN(id, command, p1, p2)
Value builtin_ctrlwin(BuiltinContext& ctx) {
  Interpreter& interpreter = ctx.interpreter;
  WindowState& state = gui::window_state(interpreter);
  HWND window = state.window_of(static_cast<int32_t>(ctx.integer(0)));
  if (!window) return Value();
  gui::wait_window_idle(interpreter, window);
  sleep_serviced(interpreter, 10);
  short_pump(interpreter, 20);
  int64_t command = ctx.integer(1);
  switch (command) {
    case 1: gui::activate_window(window, true); break;
    case 2:
    case 3: {
      short_pump(interpreter, 20);
      gui::wait_window_idle(interpreter, window);
      if (window == gui::host_window(interpreter, u"__GET_FORM_WIN__", ctx.frame.slot)) {
        // The script's own form: the form window closes itself.
        SendMessageW(window, WM_CLOSE, 0, 0);
      } else if (command == 2) {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      } else {
        PostMessageW(window, WM_QUIT, 0, 0);
      }
      sleep_serviced(interpreter, 10);
      if (ctx.frame.slot == 0) state.input_action_pending = true;
      break;
    }
    case 4: ShowWindow(window, SW_HIDE); break;
    case 5: ShowWindow(window, SW_SHOW); break;
    case 6: ShowWindow(window, SW_MINIMIZE); break;
    case 7: ShowWindow(window, SW_SHOWMAXIMIZED); break;
    case 8:
      ShowWindow(window, SW_SHOW);
      ShowWindow(window, SW_SHOWNORMAL);
      break;
    case 9: SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); break;
    case 10: SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); break;
    case 11: SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE); break;
    default:
      PostMessageW(window, static_cast<UINT>(command), static_cast<WPARAM>(static_cast<uint32_t>(ctx.integer(2))),
                   static_cast<LPARAM>(static_cast<int32_t>(ctx.integer(3))));
      break;
  }
  short_pump(interpreter, 20);
  return Value();
}

// STATUS(id, kind)
Value builtin_status(BuiltinContext& ctx) {
  WindowState& state = gui::window_state(ctx.interpreter);
  HWND window = state.window_of(static_cast<int32_t>(ctx.integer(0)));
  RECT r{}, client{};
  POINT origin{0, 0};
  if (window) {
    GetWindowRect(window, &r);
    GetClientRect(window, &client);
    ClientToScreen(window, &origin);
  }
  wchar_t buffer[256];
  switch (ctx.integer(1)) {
    case 1: return Value::i4(r.left);
    case 2: return Value::i4(r.top);
    case 3: return Value::i4(r.right - r.left);
    case 4: return Value::i4(r.bottom - r.top);
    case 5: return Value::i4(origin.x);
    case 6: return Value::i4(origin.y);
    case 7: return Value::i4(client.right - client.left);
    case 8: return Value::i4(client.bottom - client.top);
    case 9: return Value::string(window ? trimmed(buffer, GetWindowTextW(window, buffer, 256)) : std::u16string());
    case 10: return ctx.boolean(window && IsIconic(window));
    case 11: return ctx.boolean(window && IsZoomed(window));
    case 12: return ctx.boolean(window && IsWindowVisible(window));
    case 13: return ctx.boolean(window && GetForegroundWindow() == window);
    case 14: return Value::string(window ? trimmed(buffer, GetClassNameW(window, buffer, 256)) : std::u16string());
    case 15: {
      DWORD_PTR answer = 0;
      return ctx.boolean(window && SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 88, &answer) == 0);
    }
    case 16: {
      HWND parent = window ? GetParent(window) : nullptr;
      return Value::i4(parent ? state.id_of(parent) : -1);
    }
    case 17: return Value::string(process_path(window));
    case 18: return Value::i4(static_cast<int32_t>(process_of(window)));
    case 19: return ctx.boolean(process_is_64_bit(window));
    case 20: return Value::i4(display_number(window));
    case 21: return ctx.boolean(window != nullptr);
    default: return ctx.false_value();
  }
}

// MONITOR(index, kind)
Value builtin_monitor(BuiltinContext& ctx) {
  std::vector<HMONITOR> list = displays();
  if (!ctx.given(0)) return Value::i4(static_cast<int32_t>(list.size()));
  int64_t index = ctx.integer(0);
  if (index < 0 || index >= static_cast<int64_t>(list.size()))
    return ctx.fail(message(MessageId::ArrayIndexWrong, ctx.text(0)));
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(list[index], &info);
  const RECT& m = info.rcMonitor;
  switch (ctx.integer(1)) {
    case 0: return Value::i4(m.left);
    case 1: return Value::i4(m.top);
    case 2: return Value::i4(m.right - m.left);
    case 3: return Value::i4(m.bottom - m.top);
    case 4: return ctx.boolean((info.dwFlags & MONITORINFOF_PRIMARY) != 0);
    default: return ctx.false_value();
  }
}

}  // namespace vesk
