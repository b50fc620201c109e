// The popup menu: sub-menus by braces, every item numbered in order.
#ifdef _WIN32
#include "app/dialogs/popup_menu.h"

#include <vector>

#include "app/dialogs/dialog_rules.h"
#include "app/dialogs/dialog_windows.h"
#include "builtins/gui/window_control.h"
#include "engine/values/escapes.h"
#include "platform/platform.h"

namespace vesk::dialogs {
namespace {

// Command identifiers are the item numbers plus 1: 0 means no choice.
HMENU build_menu(const std::vector<PopupItem>& items) {
  std::vector<HMENU> open{CreatePopupMenu()};
  for (size_t i = 0; i < items.size(); ++i) {
    const PopupItem& item = items[i];
    while (static_cast<int32_t>(open.size()) > item.depth + 1) open.pop_back();
    HMENU into = open.back();
    if (item.parent) {
      HMENU sub = CreatePopupMenu();
      AppendMenuW(into, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), wide(item.text));
      open.push_back(sub);
    } else {
      AppendMenuW(into, MF_STRING, i + 1, wide(item.text));
    }
  }
  return open.front();
}

}  // namespace

void PopupMenu::release() {
  if (m_menu) DestroyMenu(m_menu);
  m_menu = nullptr;
  m_items.clear();
}

int32_t PopupMenu::show(HWND owner, const std::u16string& items, int32_t x, int32_t y) {
  try {
    if (!m_menu || items != m_items) {
      release();
      std::vector<PopupItem> parsed =
          parse_popup_items(items, [](std::u16string_view t) { return expand_escapes(t, false); });
      m_menu = build_menu(parsed);
      m_items = items;
    }
    if (!m_menu) return -999999;
    if (x == -1 && y == -1) {
      POINT cursor;
      GetCursorPos(&cursor);
      x = cursor.x;
      y = cursor.y;
    }
    if (owner) gui::activate_window(owner, true);
    platform::pump_messages();
    UINT chosen = static_cast<UINT>(TrackPopupMenuEx(m_menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN,
                                                     x, y, owner, nullptr));
    // The menu needs its owner to see one more message to close properly.
    if (owner) PostMessageW(owner, WM_NULL, 0, 0);
    return chosen ? static_cast<int32_t>(chosen) - 1 : -1;
  } catch (...) {
    return -999999;
  }
}

}  // namespace vesk::dialogs
#endif
