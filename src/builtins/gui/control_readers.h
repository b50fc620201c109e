// Reading the items of another program's controls: list and combo entries,
// tabs, tree items, list-view cells, tool-bar buttons and status-bar parts.
// The common controls are read through a block in the owner's process.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "builtins/gui/remote_memory.h"

namespace vesk::gui {

// The entries of a list box, combo box, colour box or combo-box-ex.
std::vector<std::u16string> list_entries(HWND control);
bool is_combo(const std::u16string& klass);
bool is_combo_ex(const std::u16string& klass);
bool is_multi_select_list(HWND control);

std::vector<std::u16string> tab_texts(HWND tabs);

// One tree item as a walk meets it.
struct TreeItem {
  HTREEITEM handle = nullptr;
  std::u16string text;  // as the control holds it
  int32_t depth = 0;
  bool has_children = false;
  UINT state = 0;
};

class TreeReader {
 public:
  explicit TreeReader(HWND tree) : m_tree(tree), m_block(tree) {}
  bool ok() const { return m_block.ok(); }
  HTREEITEM root() const { return next(nullptr, TVGN_ROOT); }
  HTREEITEM next(HTREEITEM item, UINT relation) const;
  // Reads [item]'s text, child count and state into [out].
  bool read(HTREEITEM item, TreeItem& out);
  // Every item, depth first, at most [limit] of them.
  std::vector<TreeItem> all(size_t limit = 100000);
  // The item's text rectangle in client coordinates.
  bool text_rect(HTREEITEM item, RECT& rect);
  HWND tree() const { return m_tree; }

 private:
  HWND m_tree;
  RemoteBlock m_block;
};

class ListViewReader {
 public:
  explicit ListViewReader(HWND view) : m_view(view), m_block(view) {}
  bool ok() const { return m_block.ok(); }
  int32_t rows() const;
  int32_t columns() const;
  std::u16string cell(int32_t row, int32_t column);
  std::u16string column_title(int32_t column);
  // Sets the state bits [mask] of [row] (-1: every row) to [state].
  bool set_state(int32_t row, UINT state, UINT mask);
  bool row_position(int32_t row, POINT& at);
  bool row_rect(int32_t row, RECT& rect);

 private:
  HWND m_view;
  RemoteBlock m_block;
};

// One tool-bar button: its command, its index and its text.
struct ToolButton {
  int32_t command = 0;
  int32_t index = 0;
  std::u16string text;
  bool enabled = true;
};
std::vector<ToolButton> tool_buttons(HWND tool_bar);
bool tool_button_rect(HWND tool_bar, int32_t index, RECT& rect);

std::vector<std::u16string> status_parts(HWND status_bar);

}  // namespace vesk::gui
