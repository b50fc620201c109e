// Reading menus for the control functions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::gui {

// The text of item [index] of [menu], as the menu holds it.
std::u16string menu_item_text(HMENU menu, int32_t index);

// The menu of the popup menu window that is showing, or null.
HMENU open_popup_menu();

// Every item of [window]'s menu bar (or of the open popup menu) that opens
// no submenu, as its normalised path joined with "\".
std::vector<std::u16string> menu_leaf_paths(HWND window);

}  // namespace vesk::gui
