// The popup menu of POPUPMENU: built from the items text, kept while the
// text stays the same, shown at a point. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace vesk::dialogs {

class PopupMenu {
 public:
  PopupMenu() = default;
  ~PopupMenu() { release(); }
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  // The 0-based index chosen, -1 without a choice, -999999 on a failure.
  // [owner] receives the menu's messages; x and y both -1: at the cursor.
  int32_t show(HWND owner, const std::u16string& items, int32_t x, int32_t y);
  void release();

 private:
  HMENU m_menu = nullptr;
  std::u16string m_items;
};

}  // namespace vesk::dialogs
