// CLKITEM: clicking a control item by its caption. This file holds the
// order of the families, the ways a click is delivered, and the button,
// list and tab families; views, tool bars and menus have files of their own.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <mutex>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/accessibility.h"
#include "builtins/gui/control_actions.h"
#include "builtins/gui/control_captions.h"
#include "builtins/gui/control_classes.h"
#include "builtins/gui/control_readers.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_search.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"

namespace vesk {
namespace gui {
namespace {

// Raises the process to real-time priority while any script thread posts
// a click, so that posted messages go out together; the first one in saves
// the priority class and the last one out puts it back.
class UrgentPriority {
 public:
  UrgentPriority() {
    std::lock_guard lock(s_lock);
    if (s_holders++ == 0) {
      s_saved = GetPriorityClass(GetCurrentProcess());
      SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    }
  }
  ~UrgentPriority() {
    std::lock_guard lock(s_lock);
    if (--s_holders == 0) SetPriorityClass(GetCurrentProcess(), s_saved);
  }
  UrgentPriority(const UrgentPriority&) = delete;
  UrgentPriority& operator=(const UrgentPriority&) = delete;

 private:
  static inline std::mutex s_lock;
  static inline int s_holders = 0;
  static inline DWORD s_saved = NORMAL_PRIORITY_CLASS;
};

LPARAM point_lparam(POINT at) { return MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)); }

POINT centre_of(HWND control) {
  RECT r{};
  GetClientRect(control, &r);
  return POINT{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
}

bool send_null(HWND window) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer) != 0;
}

std::u16string normalized_upper(std::u16string_view caption) { return normalize_caption(system_upper(caption)); }

// The control handles the buttons' click when it is a .NET program: its
// thread owns the framework's broadcast window.
BOOL CALLBACK find_broadcast_window(HWND window, LPARAM data) {
  wchar_t buffer[256];
  int length = GetClassNameW(window, buffer, 256);
  std::u16string klass =
      system_upper(std::u16string_view(reinterpret_cast<char16_t*>(buffer), length > 0 ? length : 0));
  if (klass.find(u".NET-BROADCASTEVENTWINDOW") == std::u16string::npos) return TRUE;
  *reinterpret_cast<bool*>(data) = true;
  return FALSE;
}

bool dotnet_program(HWND control) {
  bool found = false;
  EnumThreadWindows(GetWindowThreadProcessId(control, nullptr), find_broadcast_window,
                    reinterpret_cast<LPARAM>(&found));
  return found;
}

bool is_check_box(const Control& c) {
  if (c.klass.find(u"CHECKBOX") != std::u16string::npos || c.klass.find(u"3STATE") != std::u16string::npos) return true;
  LONG type = GetWindowLongW(c.window, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}

// One click on [button]: a .NET program's buttons take their accessible
// default action, others a posted left click.
void click_once(HWND button, bool dotnet) {
  if (dotnet && accessible_default_action(button)) return;
  post_click(button, POINT{0, 0}, k_clk_left);
}

// Clicks [c] until it holds the wanted state; a three-state box needs a
// second click to get from one state to the one after the next.
void click_to_state(ItemRequest& request, const Control& c, int32_t state, bool dotnet) {
  click_once(c.window, dotnet);
  if (!is_check_box(c)) return;
  pause_serviced(request.interpreter(), 20, 20);
  pause_serviced(request.interpreter(), 20, 20);
  int32_t now = dotnet ? accessible_check_state(c.window) : button_state(c.window);
  bool three = state == 2 || now == 2 || request.wanted == 2;
  if (three && now != request.wanted) click_once(c.window, dotnet);
}

bool list_entry_matches(const ItemRequest& request, const std::u16string& entry) {
  return caption_matches(request.name, system_upper(entry), request.partial());
}

// The point of entry [index] of a list box, scrolled into view.
POINT list_entry_point(HWND list, int32_t index) {
  LRESULT top = send_item_message(list, LB_GETTOPINDEX, 0, 0);
  RECT client{};
  GetClientRect(list, &client);
  LRESULT height = send_item_message(list, LB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0);
  if (height <= 0) height = 16;
  LRESULT visible = (client.bottom - client.top) / height;
  if (index < top || index >= top + visible) {
    send_item_message(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    top = send_item_message(list, LB_GETTOPINDEX, 0, 0);
  }
  return POINT{4, static_cast<LONG>((index - top) * height + height / 2)};
}

void mouse_on(ItemRequest& request, HWND control, POINT at) {
  if (request.mouse_move()) move_cursor(control, at);
  if (request.clicks()) post_click(control, at, request.type);
}

// A multi-selection list box: every tab-separated wanted entry is selected.
bool select_many(ItemRequest& request, HWND list) {
  std::vector<std::u16string> wanted;
  size_t start = 0;
  for (;;) {
    size_t tab = request.name.find(u'\t', start);
    std::u16string_view part = std::u16string_view(request.name)
                                   .substr(start, tab == std::u16string::npos ? std::u16string::npos : tab - start);
    wanted.emplace_back(request.partial() ? part : trim_blanks(part));
    if (tab == std::u16string::npos) break;
    start = tab + 1;
  }
  std::vector<std::u16string> entries = list_entries(list);
  std::vector<bool> found(wanted.size(), false);
  bool cleared = false;
  int32_t first = -1;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::u16string entry = system_upper(entries[i]);
    for (size_t w = 0; w < wanted.size(); ++w) {
      if (found[w] || !caption_matches(wanted[w], entry, request.partial())) continue;
      found[w] = true;
      if (request.check_only()) continue;
      if (!cleared) {
        send_item_message(list, LB_SETSEL, FALSE, -1);
        cleared = true;
      }
      if (wanted.size() == 1) send_item_message(list, LB_SETCARETINDEX, i, FALSE);
      send_item_message(list, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
      if (first < 0) first = static_cast<int32_t>(i);
    }
    if (std::find(found.begin(), found.end(), false) == found.end()) break;
  }
  if (std::find(found.begin(), found.end(), false) != found.end()) return false;
  if (request.check_only()) return true;
  activate_window(request.window);
  if (request.mouse()) mouse_on(request, list, list_entry_point(list, first));
  // The owner hears of the new selection as it would from a click.
  HWND owner = GetParent(list);
  PostMessageW(owner, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  return true;
}

bool select_single(ItemRequest& request, HWND list, int32_t index) {
  if (request.check_only()) return true;
  if (request.mouse()) {
    mouse_on(request, list, list_entry_point(list, index));
    if (request.clicks()) return true;
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    send_item_message(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    nudge_selection(request, list, index);
    if (send_item_message(list, LB_GETCURSEL, 0, 0) == index) return true;
    pause_serviced(request.interpreter(), 50, 20);
  }
  return false;
}

bool select_combo(ItemRequest& request, const Control& c, int32_t index) {
  if (request.check_only()) return true;
  HWND combo = c.window;
  // With the mouse the list opens as under a click, and the entry is then
  // chosen as from the keyboard.
  if (request.mouse()) {
    mouse_on(request, combo, centre_of(combo));
    pause_serviced(request.interpreter(), 20, 20);
  }
  // Keys go to the combo box itself; a combo-box-ex hands them to its inner
  // one.
  HWND keys = combo;
  if (is_combo_ex(c.klass))
    if (HWND inner = reinterpret_cast<HWND>(send_item_message(combo, CBEM_GETCOMBOCONTROL, 0, 0))) keys = inner;
  send_item_message(keys, CB_SHOWDROPDOWN, TRUE, 0);
  send_item_message(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  nudge_selection(request, keys, index);
  send_item_message(keys, CB_SHOWDROPDOWN, FALSE, 0);
  short_pump(request.interpreter(), 20);
  return send_item_message(combo, CB_GETCURSEL, 0, 0) == index;
}

}  // namespace

void pause_serviced(Interpreter& interpreter, DWORD ms, int rounds) {
  Sleep(ms);
  short_pump(interpreter, rounds);
}

void post_click(HWND control, POINT at, uint32_t type) {
  UrgentPriority urgent;
  LPARAM where = point_lparam(at);
  PostMessageW(control, WM_MOUSEMOVE, 0, where);
  if (type & k_clk_right) {
    PostMessageW(control, WM_RBUTTONDOWN, MK_RBUTTON, where);
    PostMessageW(control, WM_RBUTTONUP, 0, where);
    PostMessageW(control, WM_RBUTTONUP, 0, where);
    if (type & k_clk_double) {
      PostMessageW(control, WM_RBUTTONDBLCLK, MK_RBUTTON, where);
      PostMessageW(control, WM_RBUTTONUP, 0, where);
      PostMessageW(control, WM_RBUTTONUP, 0, where);
    }
    return;
  }
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(control, WM_LBUTTONUP, 0, where);
  if (type & k_clk_double) {
    PostMessageW(control, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
    PostMessageW(control, WM_LBUTTONUP, 0, where);
  }
}

void move_cursor(HWND control, POINT at) {
  ClientToScreen(control, &at);
  SetCursorPos(at.x, at.y);
}

void focus_control(HWND window, HWND control) {
  DWORD target = GetWindowThreadProcessId(control, nullptr);
  DWORD own = GetCurrentThreadId();
  bool attached = target != own && AttachThreadInput(own, target, TRUE);
  SetForegroundWindow(window);
  SetFocus(control);
  if (attached) AttachThreadInput(own, target, FALSE);
}

void send_key_pair(HWND control, WPARAM key) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(control, WM_KEYDOWN, key, 0x00000001, SMTO_ABORTIFHUNG, 1000, &answer);
  SendMessageTimeoutW(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u), SMTO_ABORTIFHUNG, 1000, &answer);
}

void nudge_selection(ItemRequest& request, HWND control, int32_t index) {
  if (!request.back()) activate_window(request.window);
  wait_window_idle(request.interpreter(), request.window);
  bool locked = LockWindowUpdate(request.window);
  {
    UrgentPriority urgent;
    focus_control(request.window, control);
    for (WPARAM key : index == 0 ? std::array<WPARAM, 2>{VK_DOWN, VK_UP} : std::array<WPARAM, 2>{VK_UP, VK_DOWN}) {
      send_key_pair(control, key);
      send_null(control);
      send_null(request.window);
    }
  }
  if (locked) LockWindowUpdate(nullptr);
  short_pump(request.interpreter(), 20);
}

int32_t button_state(HWND button) {
  LRESULT state = send_item_message(button, BM_GETCHECK, 0, 0);
  return state == BST_CHECKED ? 1 : state == BST_INDETERMINATE ? 2 : 0;
}

bool click_button(ItemRequest& request) {
  std::vector<Control> buttons =
      collect_controls(request.window, k_family_buttons | (request.type & k_check_only), request.include_disabled);
  int32_t count = 0;
  for (const Control& c : buttons) {
    if (!caption_matches(request.normalized, normalized_upper(text_of(c.window)), request.partial())) continue;
    if (!request.counts(++count)) continue;
    if (!request.back() && !request.check_only()) activate_window(request.window);
    bool dotnet = dotnet_program(c.window);
    int32_t state = dotnet ? accessible_check_state(c.window) : button_state(c.window);
    if (request.check_only()) {
      request.state = IsWindowEnabled(c.window) ? state : -1;
      return true;
    }
    if (request.mouse_move()) move_cursor(c.window, centre_of(c.window));
    if (request.clicks()) {
      post_click(c.window, POINT{0, 0}, request.type);
    } else if (state == request.wanted) {
      if (!request.back()) focus_control(request.window, c.window);
    } else {
      click_to_state(request, c, state, dotnet);
    }
    return true;
  }
  return false;
}

bool click_list(ItemRequest& request) {
  std::vector<Control> lists =
      collect_controls(request.window, k_family_lists | (request.type & k_check_only), request.include_disabled);
  bool of_this = request.type & k_clk_of_this;
  for (size_t k = 0; k < lists.size(); ++k) {
    if (!of_this && request.position >= 1 && static_cast<int32_t>(k) + 1 != request.position) continue;
    const Control& c = lists[k];
    if (!is_combo(c.klass) && is_multi_select_list(c.window)) {
      if (select_many(request, c.window)) {
        request.found_only = request.check_only();
        return true;
      }
      continue;
    }
    std::vector<std::u16string> entries = list_entries(c.window);
    int32_t count = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!list_entry_matches(request, entries[i])) continue;
      if (of_this && request.position >= 1 && ++count != request.position) continue;
      int32_t index = static_cast<int32_t>(i);
      if (request.check_only()) {
        request.found_only = true;
        return true;
      }
      return is_combo(c.klass) ? select_combo(request, c, index) : select_single(request, c.window, index);
    }
  }
  return false;
}

bool click_tab(ItemRequest& request) {
  std::vector<Control> tabs =
      collect_controls(request.window, k_family_tabs | (request.type & k_check_only), request.include_disabled);
  int32_t count = 0;
  for (const Control& c : tabs) {
    std::vector<std::u16string> texts = tab_texts(c.window);
    for (size_t i = 0; i < texts.size(); ++i) {
      if (!caption_matches(request.normalized, normalized_upper(texts[i]), request.partial())) continue;
      if (!request.counts(++count)) continue;
      if (request.check_only()) {
        request.found_only = true;
        return true;
      }
      int32_t index = static_cast<int32_t>(i);
      if (request.mouse()) {
        RemoteBlock block(c.window);
        RECT r{};
        if (!block.ok() || !block.write(r) ||
            !send_item_message(c.window, TCM_GETITEMRECT, static_cast<WPARAM>(index), block.lparam()) ||
            !block.read(r))
          return false;  // the tab's place cannot be known: no click anywhere else
        if (request.mouse_move()) move_cursor(c.window, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        if (request.clicks()) post_click(c.window, POINT{r.left, r.top}, request.type);
        return true;
      }
      activate_window(request.window);
      HWND owner = GetParent(c.window);
      notify_owner(c.window, owner, TCN_SELCHANGING);
      short_pump(request.interpreter(), 20);
      send_item_message(c.window, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
      send_item_message(c.window, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
      notify_owner(c.window, owner, TCN_SELCHANGE);
      short_pump(request.interpreter(), 20);
      return send_item_message(c.window, TCM_GETCURSEL, 0, 0) == index;
    }
  }
  return false;
}

void notify_owner(HWND control, HWND owner, int code) {
  NMHDR header{control, static_cast<UINT_PTR>(GetDlgCtrlID(control)), static_cast<UINT>(code)};
  // The record must be readable where the owner lives.
  RemoteBlock block(control);
  if (!block.write(header)) return;
  send_item_message(owner, WM_NOTIFY, header.idFrom, block.lparam());
}

Value run_clkitem(BuiltinContext& ctx, HWND window, std::u16string_view name, uint32_t type, int64_t check,
                  int32_t position) {
  Interpreter& interpreter = ctx.interpreter;
  if (type == 0) type = k_clk_default;
  if ((type & ~0x3F00u) == 0) type += k_clk_every_family;
  short_pump(interpreter, 20);
  wait_window_idle(interpreter, window);
  bool include_disabled = position < 0;
  ItemRequest request{ctx, window, {}, {}, type, 1, include_disabled ? -position : position, include_disabled};
  request.name = system_upper(request.partial() ? name : trim_blanks(name));
  request.normalized = normalize_caption(request.name);
  request.wanted = (check == 0 || check == 2) ? static_cast<int32_t>(check) : 1;
  HWND restore = (IsIconic(window) || !IsWindowVisible(window)) ? GetForegroundWindow() : nullptr;

  bool handled = false;
  struct Family {
    uint32_t bit;
    bool (*handler)(ItemRequest&);
  };
  static const Family k_order[] = {
      {k_family_buttons, click_button},     {k_family_lists, click_list},
      {k_family_tabs, click_tab},           {k_family_menu, click_menu},
      {k_family_trees, click_tree},         {k_family_list_views, click_list_view},
      {k_family_tool_bars, click_tool_bar}, {k_family_accessible, click_accessible},
  };
  // Our item records do not fit a process of the other pointer size: its
  // tabs, trees and list views are searched as accessible objects.
  bool foreign = !same_bitness(window);
  for (const Family& family : k_order) {
    if (!(type & family.bit)) continue;
    if (interpreter.stop_requested()) break;
    bool by_objects = foreign && (family.bit & (k_family_tabs | k_family_trees | k_family_list_views));
    if (by_objects) {
      ItemRequest accessible = request;
      accessible.type = (request.type & ~k_clk_every_family) | k_family_accessible | family.bit;
      handled = click_accessible(accessible);
      request.state = accessible.state;
    } else {
      handled = family.handler(request);
    }
    if (handled) break;
  }
  if (restore) activate_window(restore);
  if (!handled) return ctx.false_value();
  short_pump(interpreter, 20);
  wait_window_idle(interpreter, window);
  if (request.found_only) return ctx.true_value();
  if (request.check_only()) return Value::i4(request.state);
  return ctx.true_value();
}

}  // namespace gui

// CLKITEM(id, name, type, check, position)
Value builtin_clkitem(BuiltinContext& ctx) {
  short_pump(ctx.interpreter, 8);
  int32_t id = gui::window_argument(ctx, 0);
  if (id <= 0) return ctx.false_value();
  HWND window = gui::window_state(ctx.interpreter).window_of(id);
  if (!window) return ctx.false_value();
  uint32_t type = ctx.given(2) && !ctx.text(2).empty() ? static_cast<uint32_t>(ctx.integer(2)) : 0;
  int64_t check = ctx.given(3) ? ctx.integer(3) : 1;
  int32_t position = gui::position_argument(ctx, 4, 0);
  return gui::run_clkitem(ctx, window, ctx.text(1), type, check, position);
}

}  // namespace vesk
