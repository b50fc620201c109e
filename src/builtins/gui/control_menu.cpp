// CLKITEM on a window's menu: items by their caption or by a "\" path,
// each submenu prepared as the user's opening of it would, the chosen item
// sent as its command. GETITEM lists the same items.
#include "builtins/gui/control_actions.h"
#include "builtins/gui/control_captions.h"
#include "builtins/gui/control_menu.h"
#include "builtins/gui/remote_memory.h"
#include "builtins/gui/window_search.h"
#include "engine/runtime/waiting.h"
#include "support/text.h"

namespace vesk::gui {
namespace {

constexpr int k_menu_depth = 32;

struct MenuHit {
  HMENU menu = nullptr;
  int32_t index = -1;
  UINT command = 0;
};

struct MenuSearch {
  ItemRequest& request;
  HWND window;
  std::vector<std::u16string> levels;
  int32_t count = 0;
  MenuHit hit;
};

void prepare_popup(HWND window, HMENU popup, int32_t index) {
  send_item_message(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(index, FALSE));
}

bool item_matches(const MenuSearch& s, std::u16string_view wanted, HMENU menu, int32_t index) {
  return caption_matches(normalize_caption(wanted), normalize_caption(system_upper(menu_item_text(menu, index))),
                         s.request.partial());
}

// Searches [menu] and its submenus for the single name, depth first.
bool search_tree(MenuSearch& s, HMENU menu, int depth) {
  int count = GetMenuItemCount(menu);
  for (int32_t i = 0; i < count && i < 1000; ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (sub) {
      if (depth + 1 >= k_menu_depth) continue;
      prepare_popup(s.window, sub, i);
      if (search_tree(s, sub, depth + 1)) return true;
      continue;
    }
    if (!item_matches(s, s.levels.front(), menu, i) || !s.request.counts(++s.count)) continue;
    s.hit = {menu, i, GetMenuItemID(menu, i)};
    return true;
  }
  return false;
}

// Follows the levels of the path from [menu].
bool follow_path(MenuSearch& s, HMENU menu) {
  for (size_t level = 0; level < s.levels.size(); ++level) {
    int count = GetMenuItemCount(menu);
    bool last = level + 1 == s.levels.size();
    int32_t found = -1;
    for (int32_t i = 0; i < count && i < 1000 && found < 0; ++i)
      if (item_matches(s, s.levels[level], menu, i) && (last || GetSubMenu(menu, i))) found = i;
    if (found < 0) return false;
    if (last) {
      s.hit = {menu, found, GetMenuItemID(menu, found)};
      return true;
    }
    HMENU sub = GetSubMenu(menu, found);
    prepare_popup(s.window, sub, found);
    menu = sub;
  }
  return false;
}

void collect_leaves(HMENU menu, const std::u16string& prefix, int depth, std::vector<std::u16string>& out) {
  int count = GetMenuItemCount(menu);
  for (int32_t i = 0; i < count && i < 1000; ++i) {
    std::u16string text = normalize_caption(menu_item_text(menu, i));
    if (text.empty()) continue;
    std::u16string path = prefix.empty() ? text : prefix + u"\\" + text;
    if (HMENU sub = GetSubMenu(menu, i)) {
      if (depth + 1 < k_menu_depth) collect_leaves(sub, path, depth + 1, out);
    } else {
      out.push_back(std::move(path));
    }
  }
}

}  // namespace

std::u16string menu_item_text(HMENU menu, int32_t index) {
  wchar_t buffer[257];
  int length = GetMenuStringW(menu, static_cast<UINT>(index), buffer, 256, MF_BYPOSITION);
  if (length <= 0) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(length));
}

BOOL CALLBACK find_popup_menu(HWND window, LPARAM data) {
  wchar_t buffer[16];
  if (!IsWindowVisible(window) || GetClassNameW(window, buffer, 16) <= 0 || lstrcmpW(buffer, L"#32768") != 0)
    return TRUE;
  *reinterpret_cast<HWND*>(data) = window;
  return FALSE;
}

HMENU open_popup_menu() {
  HWND popup = nullptr;
  EnumWindows(find_popup_menu, reinterpret_cast<LPARAM>(&popup));
  if (!popup) return nullptr;
  return reinterpret_cast<HMENU>(send_item_message(popup, MN_GETHMENU, 0, 0));
}

std::vector<std::u16string> menu_leaf_paths(HWND window) {
  std::vector<std::u16string> out;
  HMENU menu = GetMenu(window);
  if (!menu || !IsMenu(menu)) menu = open_popup_menu();
  if (menu) collect_leaves(menu, {}, 0, out);
  return out;
}

bool click_menu(ItemRequest& request) {
  HMENU bar = GetMenu(request.window);
  if (!bar || !IsMenu(bar)) return false;
  send_item_message(request.window, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
  MenuSearch s{request, request.window, {}, 0, {}};
  size_t start = 0;
  std::u16string_view name = request.name;
  while (s.levels.size() < k_menu_depth) {
    size_t slash = name.find(u'\\', start);
    s.levels.emplace_back(trim_blanks(name.substr(start, slash == std::u16string_view::npos ? slash : slash - start)));
    if (slash == std::u16string_view::npos) break;
    start = slash + 1;
  }
  bool found = s.levels.size() > 1 ? follow_path(s, bar) : search_tree(s, bar, 0);
  if (!found) return false;
  if (request.check_only()) {
    request.state = (GetMenuState(s.hit.menu, static_cast<UINT>(s.hit.index), MF_BYPOSITION) & MF_CHECKED) ? 1 : 0;
    return true;
  }
  if (s.hit.command == static_cast<UINT>(-1)) return false;
  PostMessageW(request.window, WM_COMMAND, MAKEWPARAM(s.hit.command, 0), 0);
  return true;
}

}  // namespace vesk::gui
