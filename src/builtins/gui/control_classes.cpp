#include "builtins/gui/control_classes.h"

#include <algorithm>

#include "builtins/gui/window_search.h"
#include "support/text.h"

namespace vesk::gui {
namespace {

std::u16string trimmed_upper(const wchar_t* buffer, int length) {
  if (length <= 0) return {};
  return system_upper(trim_blanks(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length)));
}

struct Enumeration {
  HWND window;
  uint32_t mask;
  bool take_disabled;
  bool window_visible;
  std::vector<HWND> taken;
};

bool passes_filter(HWND child, const Enumeration& e) {
  bool visible = IsWindowVisible(child) || (!e.window_visible && (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE));
  if (!visible) return false;
  return e.take_disabled || IsWindowEnabled(child);
}

BOOL CALLBACK take_descendant(HWND child, LPARAM data) {
  Enumeration& e = *reinterpret_cast<Enumeration*>(data);
  if (passes_filter(child, e)) e.taken.push_back(child);
  return e.taken.size() < 10000;
}

int64_t key_of(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return reading_key(r.left, r.top);
}

void add_scroll_bars(std::vector<Control>& out, HWND window, int64_t offset) {
  LONG style = GetWindowLongW(window, GWL_STYLE);
  int64_t key = offset + key_of(window);
  if (style & WS_HSCROLL) out.push_back({window, u"WS_HSCROLL", u"WS_HSCROLL", SB_HORZ, key});
  if (style & WS_VSCROLL) out.push_back({window, u"WS_VSCROLL", u"WS_VSCROLL", SB_VERT, key + 1});
}

}  // namespace

std::u16string Control::entry_name() const { return scroll_bar == SB_HORZ ? u"WS_HSCROLL" : u"WS_VSCROLL"; }

std::u16string real_class_of(HWND window) {
  wchar_t buffer[256];
  UINT length = RealGetWindowClassW(window, buffer, 256);
  if (length == 0) return class_of(window);
  return trimmed_upper(buffer, static_cast<int>(length));
}

std::u16string class_of(HWND window) {
  wchar_t buffer[256];
  return trimmed_upper(buffer, GetClassNameW(window, buffer, 256));
}

std::u16string text_of(HWND window, int limit) {
  std::wstring buffer(static_cast<size_t>(limit) + 1, L'\0');
  int length = GetWindowTextW(window, buffer.data(), limit + 1);
  if (length <= 0) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), static_cast<size_t>(length));
}

std::vector<Control> collect_controls(HWND window, uint32_t mask, bool include_disabled) {
  std::vector<Control> out;
  if (!IsWindow(window)) return out;
  Enumeration e{window, mask, include_disabled || mask_takes_disabled(mask), IsWindowVisible(window) != FALSE, {}};
  EnumChildWindows(window, take_descendant, reinterpret_cast<LPARAM>(&e));
  for (HWND child : e.taken) {
    std::u16string klass = real_class_of(child);
    HWND parent = GetParent(child);
    std::u16string parent_class = parent && parent != window ? real_class_of(parent) : std::u16string();
    ControlFacts facts{klass, parent_class, GetWindow(child, GW_CHILD) != nullptr, e.taken.size() == 1};
    if (!in_families(facts, mask)) continue;
    out.push_back({child, std::move(klass), class_of(child), -1, key_of(child)});
  }
  std::stable_sort(out.begin(), out.end(), [](const Control& a, const Control& b) { return a.key < b.key; });
  if (mask & k_family_sliders) {
    std::vector<Control> bars;
    for (HWND child : e.taken) add_scroll_bars(bars, child, k_scroll_bar_key_offset);
    add_scroll_bars(bars, window, k_window_scroll_bar_key_offset);
    std::stable_sort(bars.begin(), bars.end(), [](const Control& a, const Control& b) { return a.key < b.key; });
    out.insert(out.end(), bars.begin(), bars.end());
  }
  return out;
}

const Control* control_at(const std::vector<Control>& controls, int32_t position) {
  if (position < 1 || position > static_cast<int32_t>(controls.size())) return nullptr;
  return &controls[static_cast<size_t>(position) - 1];
}

int32_t control_number(HWND window, HWND control, uint32_t mask) {
  std::vector<Control> controls = collect_controls(window, mask, false);
  for (size_t i = 0; i < controls.size(); ++i)
    if (controls[i].window == control && !controls[i].is_scroll_bar_entry()) return static_cast<int32_t>(i + 1);
  return 0;
}

}  // namespace vesk::gui
