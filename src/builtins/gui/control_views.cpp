// CLKITEM on tree views, list views and tool bars: their items are read
// through a block in the owner's process and chosen with the control's own
// messages, so the owner hears the same notifications as from a click.
#include <windows.h>

#include <commctrl.h>

#include "builtins/gui/control_actions.h"
#include "builtins/gui/control_classes.h"
#include "builtins/gui/control_captions.h"
#include "builtins/gui/control_readers.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_search.h"
#include "engine/runtime/waiting.h"
#include "support/text.h"

namespace vesk::gui {
namespace {

constexpr size_t k_path_levels = 32;

std::u16string item_key(std::u16string_view text) { return system_upper(trim_blanks(text)); }

// The levels of a "\"-separated path, at most 32.
std::vector<std::u16string> path_levels(std::u16string_view name) {
  std::vector<std::u16string> levels;
  size_t start = 0;
  while (levels.size() < k_path_levels) {
    size_t slash = name.find(u'\\', start);
    levels.emplace_back(trim_blanks(name.substr(start, slash == std::u16string_view::npos ? slash : slash - start)));
    if (slash == std::u16string_view::npos) break;
    start = slash + 1;
  }
  return levels;
}

// The check state that a state image stands for: image 1 unchecked, 2
// checked, 3 and more the third state.
int32_t state_image_check(UINT state) {
  UINT image = (state & 0xF000) >> 12;
  return image <= 1 ? 0 : image == 2 ? 1 : 2;
}

bool tree_item_matches(const ItemRequest& request, std::u16string_view wanted, const std::u16string& text) {
  return caption_matches(wanted, item_key(text), request.partial());
}

// Selects [item] as the user's click would, and opens it when it is closed.
void choose_tree_item(ItemRequest& request, TreeReader& reader, const TreeItem& item) {
  HWND tree = reader.tree();
  if (request.mouse()) {
    send_item_message(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item.handle));
    RECT r{};
    if (reader.text_rect(item.handle, r)) {
      if (request.mouse_move()) move_cursor(tree, POINT{r.left + 2, r.top + 2});
      if (request.clicks()) post_click(tree, POINT{r.left + 2, r.top + 2}, request.type);
    }
    return;
  }
  send_item_message(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item.handle));
  wait_window_idle(request.interpreter(), request.window);
  pause_serviced(request.interpreter(), 100, 20);
  TreeItem now;
  if (item.has_children && reader.read(item.handle, now) && !(now.state & TVIS_EXPANDED)) {
    if (!request.back()) focus_control(request.window, tree);
    send_key_pair(tree, VK_ADD);
    send_item_message(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item.handle));
  }
}

// Follows [levels] from the root: each level among the siblings of the one
// before it.
bool find_tree_path(TreeReader& reader, const ItemRequest& request, const std::vector<std::u16string>& levels,
                    TreeItem& hit) {
  HTREEITEM item = reader.root();
  for (size_t level = 0; level < levels.size(); ++level) {
    bool found = false;
    for (int steps = 0; item && steps < 100000; ++steps, item = reader.next(item, TVGN_NEXT)) {
      TreeItem entry;
      if (!reader.read(item, entry) || !tree_item_matches(request, levels[level], entry.text)) continue;
      found = true;
      hit = entry;
      break;
    }
    if (!found) return false;
    if (level + 1 < levels.size()) {
      // A closed item may fill its children only when it opens.
      if (!reader.next(item, TVGN_CHILD))
        send_item_message(reader.tree(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
      item = reader.next(item, TVGN_CHILD);
    }
  }
  return true;
}

bool list_view_row_matches(ItemRequest& request, ListViewReader& reader, int32_t row, int32_t columns) {
  for (int32_t column = 0; column < columns; ++column)
    if (caption_matches(request.name, item_key(reader.cell(row, column)), request.partial())) return true;
  return false;
}

void choose_list_view_row(ItemRequest& request, ListViewReader& reader, HWND view, int32_t row) {
  if (!(GetAsyncKeyState(VK_CONTROL) & 0x8000)) reader.set_state(-1, 0, LVIS_SELECTED);
  reader.set_state(row, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  send_item_message(view, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  RECT r{};
  bool placed = reader.row_rect(row, r);
  if (request.mouse()) {
    if (placed && request.mouse_move()) move_cursor(view, POINT{r.left + 5, r.top + 5});
    if (placed && request.clicks()) post_click(view, POINT{r.left + 5, (r.top + r.bottom) / 2}, request.type);
    return;
  }
  nudge_selection(request, view, row);
}

// A column title of the list view's header: clicked as the user clicks it,
// which sorts many lists.
bool click_column(ItemRequest& request, ListViewReader& reader, HWND view, int32_t columns, int32_t& count) {
  HWND header = reinterpret_cast<HWND>(send_item_message(view, LVM_GETHEADER, 0, 0));
  if (!header) return false;
  for (int32_t column = 0; column < columns; ++column) {
    if (!caption_matches(request.normalized, normalize_caption(item_key(reader.column_title(column))),
                         request.partial()))
      continue;
    if (!request.counts(++count)) continue;
    if (request.check_only()) {
      request.found_only = true;
      return true;
    }
    RemoteBlock block(header);
    RECT r{};
    if (!block.write(r) || !send_item_message(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), block.lparam()) ||
        !block.read(r))
      return false;
    if (!request.back()) activate_window(request.window);
    POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    if (request.mouse_move()) move_cursor(header, centre);
    if (!request.mouse_move() || request.clicks())
      post_click(header, centre, request.clicks() ? request.type : k_clk_left);
    return true;
  }
  return false;
}

}  // namespace

bool click_tree(ItemRequest& request) {
  std::vector<Control> trees =
      collect_controls(request.window, k_family_trees | (request.type & k_check_only), request.include_disabled);
  std::vector<std::u16string> levels = path_levels(request.name);
  int32_t count = 0;
  for (const Control& c : trees) {
    TreeReader reader(c.window);
    if (!reader.ok() || !same_bitness(c.window)) continue;
    TreeItem hit;
    bool found = false;
    if (levels.size() > 1) {
      found = find_tree_path(reader, request, levels, hit) && request.counts(++count);
    } else {
      for (const TreeItem& item : reader.all()) {
        if (!tree_item_matches(request, request.name, item.text) || !request.counts(++count)) continue;
        hit = item;
        found = true;
        break;
      }
    }
    if (!found) continue;
    if (request.check_only()) {
      request.state = state_image_check(hit.state);
      return true;
    }
    if (!request.back()) activate_window(request.window);
    choose_tree_item(request, reader, hit);
    return true;
  }
  return false;
}

bool click_list_view(ItemRequest& request) {
  std::vector<Control> views =
      collect_controls(request.window, k_family_list_views | (request.type & k_check_only), request.include_disabled);
  int32_t count = 0;
  for (const Control& c : views) {
    ListViewReader reader(c.window);
    if (!reader.ok() || !same_bitness(c.window)) continue;
    int32_t rows = reader.rows(), columns = reader.columns();
    for (int32_t row = 0; row < rows && row < 100000; ++row) {
      if (!list_view_row_matches(request, reader, row, columns) || !request.counts(++count)) continue;
      if (request.check_only()) {
        request.state =
            state_image_check(static_cast<UINT>(send_item_message(c.window, LVM_GETITEMSTATE, row, 0xF000)));
        return true;
      }
      if (!request.back()) activate_window(request.window);
      choose_list_view_row(request, reader, c.window, row);
      return true;
    }
  }
  // No row holds the name: the column titles come next.
  int32_t count_columns = count;
  for (const Control& c : views) {
    ListViewReader reader(c.window);
    if (!reader.ok() || !same_bitness(c.window)) continue;
    if (click_column(request, reader, c.window, reader.columns(), count_columns)) return true;
  }
  return false;
}

bool click_tool_bar(ItemRequest& request) {
  std::vector<Control> bars =
      collect_controls(request.window, k_family_tool_bars | (request.type & k_check_only), request.include_disabled);
  int32_t count = 0;
  for (const Control& c : bars) {
    for (const ToolButton& button : tool_buttons(c.window)) {
      if (!caption_matches(request.normalized, normalize_caption(system_upper(button.text)), request.partial()))
        continue;
      if (!request.counts(++count)) continue;
      if (request.check_only()) {
        request.state =
            (send_item_message(c.window, TB_ISBUTTONCHECKED, static_cast<WPARAM>(button.command), 0) != 0) ? 1 : 0;
        return true;
      }
      RECT r{};
      if (!tool_button_rect(c.window, button.index, r)) return false;
      POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
      if (request.mouse_move()) move_cursor(c.window, centre);
      if (!request.mouse_move() || request.clicks())
        post_click(c.window, centre, request.clicks() ? request.type : k_clk_left);
      return true;
    }
  }
  return false;
}

}  // namespace vesk::gui
