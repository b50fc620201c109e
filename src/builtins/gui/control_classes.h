// The controls of a window by class family, in reading order: the one
// enumeration that every control function, and the recorder, uses.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "builtins/gui/control_families.h"

namespace vesk::gui {

// One taken control. A scroll-bar entry of the slider family stands for
// the window scroll bar of [window] ([scroll_bar] SB_HORZ or SB_VERT).
struct Control {
  HWND window = nullptr;
  std::u16string klass;      // the real class, trimmed and upper-cased
  std::u16string own_class;  // the class it was created with, the same way
  int32_t scroll_bar = -1;
  int64_t key = 0;

  bool is_scroll_bar_entry() const { return scroll_bar >= 0; }
  // "WS_HSCROLL" or "WS_VSCROLL" for a scroll-bar entry.
  std::u16string entry_name() const;
};

// The real class of [window], trimmed and upper-cased.
std::u16string real_class_of(HWND window);
// The class [window] was created with, trimmed and upper-cased.
std::u16string class_of(HWND window);
// The window text of [window] (at most [limit] characters), not trimmed.
std::u16string text_of(HWND window, int limit = 2048);

// The descendants of [window] that belong to a family of [mask] and pass
// the filter (visible, or WS_VISIBLE inside an invisible window; enabled
// unless the mask or [include_disabled] takes disabled ones), in reading
// order.
std::vector<Control> collect_controls(HWND window, uint32_t mask, bool include_disabled);

// The control at [position] (from 1) of [controls]; null when there is none.
const Control* control_at(const std::vector<Control>& controls, int32_t position);

// The number of [control] among the controls of [window] in [mask] (from
// 1), 0 when it is not among them: the number a script gives as position.
int32_t control_number(HWND window, HWND control, uint32_t mask);

}  // namespace vesk::gui
