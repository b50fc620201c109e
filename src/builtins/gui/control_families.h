// The class families of the control functions: which controls a family
// mask takes, decided on the real class name (the standard class behind a
// superclassed control). It needs no window system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::gui {

// Family bits of a mask; they are the CLK_, ITM_ and STR_ values.
inline constexpr uint32_t k_family_buttons = 0x1;
inline constexpr uint32_t k_family_lists = 0x2;
inline constexpr uint32_t k_family_menu = 0x4;
inline constexpr uint32_t k_family_tabs = 0x8;
inline constexpr uint32_t k_family_trees = 0x10;
inline constexpr uint32_t k_family_list_views = 0x20;
inline constexpr uint32_t k_family_tool_bars = 0x40;
inline constexpr uint32_t k_family_accessible = 0x8000;
inline constexpr uint32_t k_family_edits = 0x20000;
inline constexpr uint32_t k_family_statics = 0x40000;
inline constexpr uint32_t k_family_status_bars = 0x80000;
inline constexpr uint32_t k_family_sliders = 0x100000;
inline constexpr uint32_t k_family_all = 0x200000;
inline constexpr uint32_t k_family_browsers = 0x800000;
// With these bits a mask also takes disabled controls.
inline constexpr uint32_t k_with_disabled = 0x2000000;
inline constexpr uint32_t k_check_only = 0x4000000;

// What the family test knows of one control: its real class and its
// parent's (trimmed, upper-cased), whether it has child windows, and
// whether it is the only control of the window.
struct ControlFacts {
  std::u16string_view klass;
  std::u16string_view parent_class;
  bool has_children = false;
  bool only_control = false;
};

inline bool holds(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

inline bool accessible_host(const ControlFacts& c, uint32_t mask) {
  std::u16string_view k = c.klass;
  if (mask != 0xC000 && holds(k, u"ACTIVEX")) return false;
  return !c.has_children || c.only_control || k == u"SHELLDLL_DEFVIEW" || k == u"WMPAPPHOST" ||
         k == u"INTERNET EXPLORER_SERVER" || k == u"MOZILLAWINDOWCLASS" || holds(k, u"TABCONTROL");
}

inline bool edit_class(std::u16string_view k) {
  return holds(k, u"EDIT") || holds(k, u"DATETIMEPICK") || holds(k, u"HM32CLIENT") || k == u"EDTBX" ||
         (k.size() == 4 && k.substr(0, 3) == u"_WW");
}

// Whether the control belongs to any family of [mask]. A combo box inside
// a combo-box-ex is no list of its own: its owner is.
inline bool in_families(const ControlFacts& c, uint32_t mask) {
  std::u16string_view k = c.klass;
  if (mask & k_family_all) return true;
  if ((mask & k_family_buttons) &&
      (holds(k, u"BUTTON") || holds(k, u"BTN") || holds(k, u"CHECKBOX") || holds(k, u"3STATE")))
    return true;
  if ((mask & k_family_lists) && ((holds(k, u"COMBOBOX") && !holds(c.parent_class, u"COMBOBOXEX")) ||
                                  holds(k, u"COLORBOX") || holds(k, u"LISTBOX")))
    return true;
  if ((mask & k_family_tabs) && (holds(k, u"TABCONTROL") || holds(k, u"PAGECONTROL"))) return true;
  if ((mask & k_family_trees) && holds(k, u"TREEVIEW")) return true;
  if ((mask & k_family_list_views) && holds(k, u"LISTVIEW")) return true;
  if ((mask & k_family_tool_bars) && holds(k, u"TOOLBAR")) return true;
  if ((mask & k_family_accessible) && accessible_host(c, mask)) return true;
  if ((mask & k_family_edits) && edit_class(k)) return true;
  if ((mask & k_family_statics) && (holds(k, u"STATIC") || holds(k, u"STATUS") || holds(k, u"MSOUNISTAT"))) return true;
  if ((mask & k_family_status_bars) && holds(k, u"STATUSBAR")) return true;
  if ((mask & k_family_sliders) && (holds(k, u"TRACKBAR") || holds(k, u"SCROLL"))) return true;
  if ((mask & k_family_browsers) && k == u"INTERNET EXPLORER_SERVER") return true;
  return false;
}

// Whether a disabled control may be taken under [mask].
inline bool mask_takes_disabled(uint32_t mask) {
  return (mask & (k_check_only | k_with_disabled | k_family_all | k_family_accessible)) != 0;
}

// The reading-order key of a control at the screen point ([left], [top])
// of its window rectangle: top to bottom, then left to right. Scroll-bar
// entries sort after every control, the window's own last.
inline constexpr int64_t k_scroll_bar_key_offset = 100000000;
inline constexpr int64_t k_window_scroll_bar_key_offset = 200000000;
inline int64_t reading_key(int32_t left, int32_t top) { return static_cast<int64_t>(top) * 10000 + left; }

}  // namespace vesk::gui
