// SETSLIDER and GETSLIDER: track bars, scroll-bar controls and the scroll
// bars of windows, by their number among the window's sliders.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/control_actions.h"
#include "builtins/gui/control_classes.h"
#include "builtins/gui/remote_memory.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"

namespace vesk {
namespace {

using gui::Control;

constexpr int64_t k_get_slider = -10000000;

enum SliderKind : int64_t {
  k_sld_pos = 0,
  k_sld_min = 1,
  k_sld_max = 2,
  k_sld_page = 3,
  k_sld_bar = 4,
  k_sld_x = 5,
  k_sld_y = 6,
  k_sld_x2 = 7,
  k_sld_y2 = 8,
};

struct SliderInfo {
  int32_t pos = 0, min = 0, max = 0, page = 0;
  bool vertical = false;
  RECT rect{};  // screen rectangle of the control or the window's scroll bar
};

bool is_track_bar(const Control& c) { return c.klass.find(u"TRACKBAR") != std::u16string::npos; }

SliderInfo read_slider(const Control& c) {
  SliderInfo s;
  HWND w = c.window;
  if (c.is_scroll_bar_entry()) {
    SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    if (GetScrollInfo(w, c.scroll_bar, &info)) s = {info.nPos, info.nMin, info.nMax, static_cast<int32_t>(info.nPage)};
    s.vertical = c.scroll_bar == SB_VERT;
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof bar;
    if (GetScrollBarInfo(w, c.scroll_bar == SB_VERT ? OBJID_VSCROLL : OBJID_HSCROLL, &bar)) s.rect = bar.rcScrollBar;
    return s;
  }
  GetWindowRect(w, &s.rect);
  LONG style = GetWindowLongW(w, GWL_STYLE);
  if (is_track_bar(c)) {
    s.pos = static_cast<int32_t>(gui::send_item_message(w, TBM_GETPOS, 0, 0));
    s.min = static_cast<int32_t>(gui::send_item_message(w, TBM_GETRANGEMIN, 0, 0));
    s.max = static_cast<int32_t>(gui::send_item_message(w, TBM_GETRANGEMAX, 0, 0));
    s.page = static_cast<int32_t>(gui::send_item_message(w, TBM_GETPAGESIZE, 0, 0));
    s.vertical = style & TBS_VERT;
    return s;
  }
  s.vertical = style & SBS_VERT;
  s.pos = static_cast<int32_t>(gui::send_item_message(w, SBM_GETPOS, 0, 0));
  // The system carries the scroll-bar records across processes itself.
  SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
  if (gui::send_item_message(w, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&info))) {
    s.min = info.nMin;
    s.max = info.nMax;
    s.page = static_cast<int32_t>(info.nPage);
  }
  return s;
}

int32_t slider_value(const SliderInfo& s, int64_t kind) {
  switch (kind) {
    case k_sld_pos: return s.pos;
    case k_sld_min: return s.min;
    case k_sld_max: return s.max;
    case k_sld_page: return s.page;
    case k_sld_bar: return s.vertical ? 1 : 0;
    case k_sld_x: return s.rect.left;
    case k_sld_y: return s.rect.top;
    case k_sld_x2: return s.rect.right;
    case k_sld_y2: return s.rect.bottom;
    default: return 0;
  }
}

// Tells the owner of a scroll bar that its thumb was moved to [pos] and let
// go, as a drag of the thumb does.
void announce_scroll(HWND owner, HWND bar, bool vertical, int32_t pos) {
  UINT message = vertical ? WM_VSCROLL : WM_HSCROLL;
  gui::send_item_message(owner, message, MAKEWPARAM(SB_THUMBTRACK, static_cast<WORD>(pos)),
                         reinterpret_cast<LPARAM>(bar));
  gui::send_item_message(owner, message, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(pos)),
                         reinterpret_cast<LPARAM>(bar));
  gui::send_item_message(owner, message, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(bar));
}

bool set_slider(BuiltinContext& ctx, HWND window, const Control& c, int32_t value, bool activate) {
  SliderInfo s = read_slider(c);
  if (c.is_scroll_bar_entry()) {
    announce_scroll(c.window, nullptr, s.vertical, value);
    return true;
  }
  if (is_track_bar(c)) {
    gui::send_item_message(c.window, TBM_SETPOS, TRUE, value);
    // The owner hears of the move through the control's own key handling:
    // one step away and back.
    gui::ItemRequest request{ctx, window, {}, {}, activate ? 0u : gui::k_clk_back, 1, 1, false};
    int32_t at = static_cast<int32_t>(gui::send_item_message(c.window, TBM_GETPOS, 0, 0));
    gui::nudge_selection(request, c.window, at <= s.min ? 0 : 1);
    // Near an end a line step larger than one comes back elsewhere.
    if (gui::send_item_message(c.window, TBM_GETPOS, 0, 0) != value)
      gui::send_item_message(c.window, TBM_SETPOS, TRUE, value);
    return gui::send_item_message(c.window, TBM_GETPOS, 0, 0) == value;
  }
  gui::send_item_message(c.window, SBM_SETPOS, static_cast<WPARAM>(value), TRUE);
  announce_scroll(GetParent(c.window), c.window, s.vertical, value);
  return true;
}

const Control* slider_at(const std::vector<Control>& sliders, int32_t position) {
  return gui::control_at(sliders, position < 1 ? 1 : position);
}

}  // namespace

// SETSLIDER(id, value, position, activate): moves the slider; with the value
// GET_SLIDER it answers the current value instead.
Value builtin_setslider(BuiltinContext& ctx) {
  HWND window = gui::window_state(ctx.interpreter).window_of(gui::window_argument(ctx, 0));
  if (!window) return ctx.false_value();
  int32_t position = gui::position_argument(ctx, 2, 1);
  bool include_disabled = position < 0;
  std::vector<Control> sliders = gui::collect_controls(window, gui::k_family_sliders, include_disabled);
  const Control* c = slider_at(sliders, include_disabled ? -position : position);
  if (!c) return ctx.false_value();
  int64_t value = ctx.integer(1);
  if (value == k_get_slider) return Value::i4(read_slider(*c).pos);
  bool activate = ctx.integer(3, 0) != 0;
  if (activate) gui::activate_window(window);
  int32_t wanted = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  bool set = set_slider(ctx, window, *c, wanted, activate);
  short_pump(ctx.interpreter, 20);
  return ctx.boolean(set);
}

// GETSLIDER(id, position, kind, activate): the value of the SLD_ kind.
Value builtin_getslider(BuiltinContext& ctx) {
  HWND window = gui::window_state(ctx.interpreter).window_of(gui::window_argument(ctx, 0));
  if (!window) return Value::i4(0);
  int32_t position = gui::position_argument(ctx, 1, 1);
  bool include_disabled = position < 0;
  std::vector<Control> sliders = gui::collect_controls(window, gui::k_family_sliders, include_disabled);
  const Control* c = slider_at(sliders, include_disabled ? -position : position);
  if (!c) return Value::i4(0);
  if (ctx.integer(3, 0) != 0) gui::activate_window(window);
  return Value::i4(slider_value(read_slider(*c), ctx.integer(2, k_sld_pos)));
}

}  // namespace vesk
