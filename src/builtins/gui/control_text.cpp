// GETSTR and SENDSTR: reading and writing the text of edits, statics,
// status bars, accessible text objects and the clipboard.
#include <windows.h>

#include <commctrl.h>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/accessibility.h"
#include "builtins/gui/control_actions.h"
#include "builtins/gui/control_classes.h"
#include "builtins/gui/control_readers.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_search.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"
#include "support/text.h"

namespace vesk {
namespace {

using gui::Control;

enum TextKind : int64_t {
  k_str_edit = 0,
  k_str_static = 1,
  k_str_status = 2,
  k_str_acc_edit = 3,
  k_str_acc_static = 4
};
enum SendMode : int64_t { k_send_append = 0, k_send_replace = 1, k_send_characters = 2 };
constexpr int k_clipboard_tries = 256;
constexpr LRESULT k_text_limit = 1 << 20;

// Opens the clipboard, waiting for another program that holds it.
bool open_clipboard(Interpreter& interpreter) {
  for (int attempt = 0; attempt < k_clipboard_tries; ++attempt) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(3);
    short_pump(interpreter, 3);
  }
  return false;
}

std::u16string read_clipboard(Interpreter& interpreter) {
  if (!open_clipboard(interpreter)) return {};
  std::u16string text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const char16_t*>(GlobalLock(data))) {
      size_t limit = GlobalSize(data) / sizeof(char16_t);
      size_t n = 0;
      while (n < limit && p[n]) ++n;
      text.assign(p, n);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

bool write_clipboard(Interpreter& interpreter, std::u16string_view text) {
  if (!open_clipboard(interpreter)) return false;
  EmptyClipboard();
  bool done = false;
  if (HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t))) {
    if (auto* p = static_cast<char16_t*>(GlobalLock(data))) {
      std::copy(text.begin(), text.end(), p);
      p[text.size()] = 0;
      GlobalUnlock(data);
      done = SetClipboardData(CF_UNICODETEXT, data) != nullptr;
    }
    if (!done) GlobalFree(data);
  }
  CloseClipboard();
  return done;
}

std::u16string control_text(HWND control) { return gui::sent_text(control, k_text_limit); }

bool set_text(HWND control, const std::u16string& text) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 1000,
                             &answer) != 0;
}

// The control that has the keyboard focus in [window]'s thread; the window
// is brought to the front while we share its input.
HWND focused_control(HWND window) {
  DWORD target = GetWindowThreadProcessId(window, nullptr);
  DWORD own = GetCurrentThreadId();
  bool attached = target != own && AttachThreadInput(own, target, TRUE);
  if (GetForegroundWindow() != window) gui::activate_window(window);
  HWND focus = GetFocus();
  if (attached) AttachThreadInput(own, target, FALSE);
  return focus;
}

HWND control_of(HWND window, uint32_t family, int32_t position) {
  bool include_disabled = position < 0;
  std::vector<Control> controls = gui::collect_controls(window, family, include_disabled);
  const Control* c = gui::control_at(controls, include_disabled ? -position : position);
  return c && !c->is_scroll_bar_entry() ? c->window : nullptr;
}

Value status_text(HWND window, int32_t position) {
  if (position < 1) position = 1;
  int32_t count = 0;
  for (const Control& c : gui::collect_controls(window, gui::k_family_status_bars, false))
    for (std::u16string& part : gui::status_parts(c.window))
      if (++count == position) return Value::string(std::move(part));
  return Value::string(u"");
}

Value accessible_text(BuiltinContext& ctx, HWND window, int32_t position, bool static_text) {
  if (position == 0) {
    gui::activate_window(window);
    if (static_text) position = 1;
  }
  gui::AccRequest acc;
  acc.window = window;
  acc.flags = static_cast<uint32_t>(static_text ? gui::k_family_statics : gui::k_family_edits);
  acc.position = position < 0 ? -position : position;
  acc.action = gui::AccAction::Text;
  acc.static_text = static_text;
  if (!gui::acc_search(ctx, acc)) return Value::empty();
  return Value::string(std::move(acc.text));
}

// Types [text] into [control] as characters, CR LF as one CR.
void post_characters(Interpreter& interpreter, HWND control, std::u16string_view text) {
  gui::pause_serviced(interpreter, 20, 20);
  int sent = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    PostMessageW(control, WM_CHAR, static_cast<WPARAM>(text[i] == u'\n' ? u'\r' : text[i]), 1);
    if (++sent % 10 == 0) gui::pause_serviced(interpreter, 10, 10);
  }
}

std::u16string picker_date(std::u16string text) {
  for (char16_t& c : text)
    if (c == u'年' || c == u'月') c = u'/';
  std::u16string out;
  for (char16_t c : text)
    if (c != u'日') out.push_back(c);
  return out;
}

}  // namespace

// GETSTR(id, position, type, mouse): a control's text; ID 0 reads the
// clipboard.
Value builtin_getstr(BuiltinContext& ctx) {
  int32_t id = gui::window_argument(ctx, 0);
  if (id == 0) return Value::string(read_clipboard(ctx.interpreter));
  HWND window = gui::window_state(ctx.interpreter).window_of(id);
  if (!window) return Value::string(u"");
  int32_t position = gui::position_argument(ctx, 1, 0);
  int64_t kind = ctx.integer(2, k_str_edit);
  if (kind == k_str_status) return status_text(window, position);
  if (kind == k_str_acc_edit || kind == k_str_acc_static)
    return accessible_text(ctx, window, position, kind == k_str_acc_static);
  if (position == 0 && kind == k_str_static) return Value::string(gui::text_of(window, 65536));
  HWND control = position == 0
                     ? focused_control(window)
                     : control_of(window, kind == k_str_static ? gui::k_family_statics : gui::k_family_edits, position);
  if (!control) return Value::string(u"");
  if (ctx.integer(3, 0) != 0) {
    RECT r{};
    GetClientRect(control, &r);
    gui::move_cursor(control, POINT{r.right / 2, r.bottom / 2});
  }
  return Value::string(control_text(control));
}

// SENDSTR(id, text, position, mode, accessibility): writes [text] into a
// control (appending, replacing or typing it); ID 0 fills the clipboard.
Value builtin_sendstr(BuiltinContext& ctx) {
  Interpreter& interpreter = ctx.interpreter;
  int32_t id = gui::window_argument(ctx, 0);
  std::u16string text(ctx.text(1));
  if (id == 0) {
    write_clipboard(interpreter, text);
    return Value::empty();
  }
  HWND window = gui::window_state(interpreter).window_of(id);
  if (!window) return Value::empty();
  int32_t position = gui::position_argument(ctx, 2, 0);
  int64_t mode = ctx.integer(3, k_send_append);
  if (ctx.integer(4, 0) != 0) {
    if (position == 0) gui::activate_window(window);
    gui::AccRequest acc;
    acc.window = window;
    acc.flags = gui::k_family_edits;
    acc.position = position < 0 ? -position : position;
    acc.mode = mode == k_send_append ? 0 : static_cast<int32_t>(mode);
    acc.action = gui::AccAction::SetText;
    acc.new_text = std::move(text);
    gui::acc_search(ctx, acc);
    return Value::empty();
  }
  gui::pause_serviced(interpreter, 4, 4);
  gui::wait_window_idle(interpreter, window);
  HWND restore = (IsIconic(window) || !IsWindowVisible(window)) ? GetForegroundWindow() : nullptr;
  HWND control = position == 0 ? focused_control(window) : control_of(window, gui::k_family_edits, position);
  if (restore && restore != window) gui::activate_window(restore);
  if (!control) return Value::empty();
  if (gui::real_class_of(control).find(u"DATETIMEPICK") != std::u16string::npos) {
    text = picker_date(std::move(text));
    gui::post_click(control, POINT{6, 6}, gui::k_clk_left);
    mode = k_send_characters;
  }
  if (mode == k_send_characters || (position == 0 && mode == k_send_append)) {
    post_characters(interpreter, control, text);
  } else {
    if (mode != k_send_replace && gui::send_item_message(control, WM_GETTEXTLENGTH, 0, 0) >= k_text_limit) {
      // Beyond what is read back whole: the text goes in behind the end,
      // and nothing of what the control holds is lost.
      gui::send_item_message(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
      DWORD_PTR answer = 0;
      SendMessageTimeoutW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                          1000, &answer);
    } else {
      if (mode != k_send_replace) text = control_text(control) + text;
      set_text(control, text);
    }
  }
  gui::send_item_message(control, EM_SETMODIFY, TRUE, 0);
  if (GetForegroundWindow() == window)
    gui::focus_control(window, control);
  else
    gui::post_click(control, POINT{29999, 29999}, gui::k_clk_left);
  short_pump(interpreter, mode == k_send_append ? 6 : 4);
  return Value::empty();
}

}  // namespace vesk
