#include "builtins/gui/control_readers.h"

#include <cstring>

namespace vesk::gui {
namespace {

constexpr int32_t k_entry_limit = 2048;
constexpr LRESULT k_entry_ceiling = 1 << 20;
constexpr int32_t k_item_limit = 100000;

std::u16string entry_text(HWND control, UINT length_message, UINT text_message, int32_t index) {
  LRESULT length = send_item_message(control, length_message, static_cast<WPARAM>(index), 0);
  if (length <= 0) return {};
  // The text message takes no buffer size: the system writes the whole
  // entry, as long as the length message said, so the buffer is that long.
  // An entry beyond any sane length is left unread.
  if (length > k_entry_ceiling) return {};
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  LRESULT written =
      send_item_message(control, text_message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  if (written <= 0 || written > length) return {};
  buffer.resize(static_cast<size_t>(written));
  std::u16string text(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size());
  if (text.size() > static_cast<size_t>(k_entry_limit)) text.resize(k_entry_limit);
  return text;
}

std::vector<std::u16string> combo_ex_entries(HWND control) {
  std::vector<std::u16string> out;
  RemoteBlock block(control);
  if (!block.ok() || !same_bitness(control)) return out;
  LRESULT count = send_item_message(control, CB_GETCOUNT, 0, 0);
  for (int32_t i = 0; i < count && i < k_item_limit; ++i) {
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT;
    item.iItem = i;
    item.pszText = reinterpret_cast<LPWSTR>(block.address(RemoteBlock::k_text_offset));
    item.cchTextMax = RemoteBlock::k_text_limit;
    block.clear_text();
    block.write(item);
    send_item_message(control, CBEM_GETITEMW, 0, block.lparam());
    out.push_back(block.text());
  }
  return out;
}

}  // namespace

bool is_combo(const std::u16string& klass) {
  return klass.find(u"COMBOBOX") != std::u16string::npos || klass.find(u"COLORBOX") != std::u16string::npos;
}

bool is_combo_ex(const std::u16string& klass) { return klass.find(u"COMBOBOXEX") != std::u16string::npos; }

bool is_multi_select_list(HWND control) {
  return (GetWindowLongW(control, GWL_STYLE) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
}

std::vector<std::u16string> list_entries(HWND control) {
  wchar_t buffer[256];
  UINT length = RealGetWindowClassW(control, buffer, 256);
  std::u16string klass(reinterpret_cast<const char16_t*>(buffer), length);
  for (char16_t& c : klass) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (is_combo_ex(klass)) return combo_ex_entries(control);
  bool combo = is_combo(klass);
  std::vector<std::u16string> out;
  LRESULT count = send_item_message(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  for (int32_t i = 0; i < count && i < k_item_limit; ++i)
    out.push_back(combo ? entry_text(control, CB_GETLBTEXTLEN, CB_GETLBTEXT, i)
                        : entry_text(control, LB_GETTEXTLEN, LB_GETTEXT, i));
  return out;
}

std::vector<std::u16string> tab_texts(HWND tabs) {
  std::vector<std::u16string> out;
  RemoteBlock block(tabs);
  if (!block.ok() || !same_bitness(tabs)) return out;
  LRESULT count = send_item_message(tabs, TCM_GETITEMCOUNT, 0, 0);
  for (int32_t i = 0; i < count && i < k_item_limit; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<LPWSTR>(block.address(RemoteBlock::k_text_offset));
    item.cchTextMax = RemoteBlock::k_text_limit;
    block.clear_text();
    block.write(item);
    send_item_message(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), block.lparam());
    out.push_back(block.text());
  }
  return out;
}

HTREEITEM TreeReader::next(HTREEITEM item, UINT relation) const {
  return reinterpret_cast<HTREEITEM>(
      send_item_message(m_tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

bool TreeReader::read(HTREEITEM item, TreeItem& out) {
  TVITEMW record{};
  record.mask = TVIF_TEXT | TVIF_CHILDREN | TVIF_STATE | TVIF_HANDLE;
  record.hItem = item;
  record.stateMask = 0xFFFF;
  record.pszText = reinterpret_cast<LPWSTR>(m_block.address(RemoteBlock::k_text_offset));
  record.cchTextMax = RemoteBlock::k_text_limit;
  m_block.clear_text();
  if (!m_block.write(record)) return false;
  if (!send_item_message(m_tree, TVM_GETITEMW, 0, m_block.lparam())) return false;
  m_block.read(record);
  out.handle = item;
  out.text = m_block.text();
  out.has_children = record.cChildren != 0 || next(item, TVGN_CHILD) != nullptr;
  out.state = record.state;
  return true;
}

std::vector<TreeItem> TreeReader::all(size_t limit) {
  std::vector<TreeItem> out;
  // An explicit stack of the next sibling to visit at each depth keeps a
  // deep tree from exhausting ours.
  std::vector<HTREEITEM> stack{root()};
  while (!stack.empty() && out.size() < limit) {
    HTREEITEM item = stack.back();
    if (!item) {
      stack.pop_back();
      continue;
    }
    stack.back() = next(item, TVGN_NEXT);
    TreeItem entry;
    if (!read(item, entry)) continue;
    entry.depth = static_cast<int32_t>(stack.size()) - 1;
    out.push_back(entry);
    if (HTREEITEM child = next(item, TVGN_CHILD)) stack.push_back(child);
  }
  return out;
}

bool TreeReader::text_rect(HTREEITEM item, RECT& rect) {
  // The control takes the item in the rectangle's first field.
  RECT record{};
  static_assert(sizeof(HTREEITEM) <= sizeof(RECT));
  memcpy(&record, &item, sizeof item);
  if (!m_block.write(record)) return false;
  if (!send_item_message(m_tree, TVM_GETITEMRECT, TRUE, m_block.lparam())) return false;
  return m_block.read(rect);
}

int32_t ListViewReader::rows() const { return static_cast<int32_t>(send_item_message(m_view, LVM_GETITEMCOUNT, 0, 0)); }

int32_t ListViewReader::columns() const {
  HWND header = reinterpret_cast<HWND>(send_item_message(m_view, LVM_GETHEADER, 0, 0));
  LRESULT count = header ? send_item_message(header, HDM_GETITEMCOUNT, 0, 0) : 0;
  return count > 0 ? static_cast<int32_t>(count) : 1;
}

std::u16string ListViewReader::cell(int32_t row, int32_t column) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(m_block.address(RemoteBlock::k_text_offset));
  item.cchTextMax = RemoteBlock::k_text_limit;
  m_block.clear_text();
  if (!m_block.write(item)) return {};
  send_item_message(m_view, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), m_block.lparam());
  return m_block.text();
}

std::u16string ListViewReader::column_title(int32_t column) {
  LVCOLUMNW record{};
  record.mask = LVCF_TEXT;
  record.pszText = reinterpret_cast<LPWSTR>(m_block.address(RemoteBlock::k_text_offset));
  record.cchTextMax = RemoteBlock::k_text_limit;
  m_block.clear_text();
  if (!m_block.write(record)) return {};
  send_item_message(m_view, LVM_GETCOLUMNW, static_cast<WPARAM>(column), m_block.lparam());
  return m_block.text();
}

bool ListViewReader::set_state(int32_t row, UINT state, UINT mask) {
  LVITEMW item{};
  item.state = state;
  item.stateMask = mask;
  if (!m_block.write(item)) return false;
  return send_item_message(m_view, LVM_SETITEMSTATE, static_cast<WPARAM>(row), m_block.lparam()) != 0;
}

bool ListViewReader::row_position(int32_t row, POINT& at) {
  POINT record{};
  if (!m_block.write(record)) return false;
  if (!send_item_message(m_view, LVM_GETITEMPOSITION, static_cast<WPARAM>(row), m_block.lparam())) return false;
  return m_block.read(at);
}

bool ListViewReader::row_rect(int32_t row, RECT& rect) {
  RECT record{LVIR_BOUNDS, 0, 0, 0};
  if (!m_block.write(record)) return false;
  if (!send_item_message(m_view, LVM_GETITEMRECT, static_cast<WPARAM>(row), m_block.lparam())) return false;
  return m_block.read(rect);
}

std::vector<ToolButton> tool_buttons(HWND tool_bar) {
  std::vector<ToolButton> out;
  RemoteBlock block(tool_bar);
  if (!block.ok() || !same_bitness(tool_bar)) return out;
  LRESULT count = send_item_message(tool_bar, TB_BUTTONCOUNT, 0, 0);
  for (int32_t i = 0; i < count && i < k_item_limit; ++i) {
    TBBUTTON button{};
    block.write(button);
    if (!send_item_message(tool_bar, TB_GETBUTTON, static_cast<WPARAM>(i), block.lparam())) continue;
    block.read(button);
    if (button.fsStyle & BTNS_SEP) continue;
    ToolButton entry{button.idCommand, i, {}, (button.fsState & TBSTATE_ENABLED) != 0};
    block.clear_text();
    LRESULT length = send_item_message(tool_bar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(button.idCommand), 0);
    if (length > 0 && length <= RemoteBlock::k_text_limit) {
      send_item_message(tool_bar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(button.idCommand),
                        block.lparam(RemoteBlock::k_text_offset));
      entry.text = block.text();
    }
    out.push_back(std::move(entry));
  }
  return out;
}

bool tool_button_rect(HWND tool_bar, int32_t index, RECT& rect) {
  RemoteBlock block(tool_bar);
  RECT record{};
  if (!block.write(record)) return false;
  if (!send_item_message(tool_bar, TB_GETITEMRECT, static_cast<WPARAM>(index), block.lparam())) return false;
  return block.read(rect);
}

std::vector<std::u16string> status_parts(HWND status_bar) {
  std::vector<std::u16string> out;
  RemoteBlock block(status_bar);
  if (!block.ok()) return out;
  LRESULT parts = send_item_message(status_bar, SB_GETPARTS, 0, 0);
  for (int32_t i = 0; i < parts && i < 256; ++i) {
    LRESULT length = LOWORD(send_item_message(status_bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(i), 0));
    if (length <= 0 || length > RemoteBlock::k_text_limit) {
      out.emplace_back();
      continue;
    }
    block.clear_text();
    send_item_message(status_bar, SB_GETTEXTW, static_cast<WPARAM>(i), block.lparam(RemoteBlock::k_text_offset));
    out.push_back(block.text());
  }
  return out;
}

}  // namespace vesk::gui
