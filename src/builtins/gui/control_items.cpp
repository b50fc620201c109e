// GETITEM, CHKBTN, GETSLCTLST and GETCTLHND: listing the items of a
// window's controls, reading check states and selections, and handing out
// a control's or menu's handle.
#include <windows.h>

#include <commctrl.h>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/accessibility.h"
#include "builtins/gui/control_actions.h"
#include "builtins/gui/control_captions.h"
#include "builtins/gui/control_classes.h"
#include "builtins/gui/control_menu.h"
#include "builtins/gui/control_readers.h"
#include "builtins/gui/remote_memory.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_search.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

using gui::Control;

constexpr uint32_t k_itm_back = 512;
constexpr uint32_t k_itm_acc_click = 4194304;
constexpr uint32_t k_itm_acc_text = 8388608;
// The name-only and value variants of the accessible listings.
constexpr uint32_t k_itm_acc_variants = 0x10000000 | 0x20000000 | 0x40000000;
// GETSLCTLST's option: entry texts, or their numbers from 1.
constexpr int64_t k_selection_numbers = 1;
constexpr char16_t k_selection_separator = u'\t';

const std::u16string k_item_list = u"ALL_ITEM_LIST";

class ItemList {
 public:
  explicit ItemList(BuiltinContext& ctx) : m_ctx(ctx) { ctx.interpreter.store().reset_array(ctx.frame, k_item_list); }
  void add(std::u16string text) {
    m_ctx.interpreter.store().append_array(m_ctx.frame, k_item_list, Value::string(std::move(text)));
    ++m_count;
  }
  int32_t count() const { return m_count; }

 private:
  BuiltinContext& m_ctx;
  int32_t m_count = 0;
};

std::vector<Control> controls_of(HWND window, uint32_t family, bool include_disabled) {
  return gui::collect_controls(window, family, include_disabled);
}

const Control* control_in(const std::vector<Control>& controls, int32_t position) {
  return gui::control_at(controls, position < 1 ? 1 : position);
}

void list_tree(ItemList& out, HWND tree) {
  gui::TreeReader reader(tree);
  if (!reader.ok() || !gui::same_bitness(tree)) return;
  for (const gui::TreeItem& item : reader.all()) out.add(item.text);
}

void list_list_view(ItemList& out, HWND view, int32_t column) {
  gui::ListViewReader reader(view);
  if (!reader.ok() || !gui::same_bitness(view)) return;
  int32_t rows = reader.rows();
  for (int32_t row = 0; row < rows && row < 100000; ++row) out.add(reader.cell(row, column));
}

void list_accessible(BuiltinContext& ctx, ItemList& out, HWND window, uint32_t types) {
  for (uint32_t family : {k_itm_acc_click, k_itm_acc_text}) {
    if (!(types & family)) continue;
    gui::AccRequest acc;
    acc.window = window;
    acc.flags = types & (k_itm_acc_variants | family);
    acc.action = gui::AccAction::List;
    acc.clickable_list = family == k_itm_acc_click;
    gui::acc_search(ctx, acc);
    for (std::u16string& name : acc.listed) out.add(std::move(name));
  }
}

// The selected entries of one control, each as text or number.
std::vector<std::u16string> selection_of(const Control& c, bool numbers) {
  std::vector<std::u16string> out;
  auto number = [](int64_t n) { return u16(std::to_string(n)); };
  if (c.klass.find(u"TREEVIEW") != std::u16string::npos) {
    gui::TreeReader reader(c.window);
    if (!reader.ok() || !gui::same_bitness(c.window)) return out;
    HTREEITEM selected = reader.next(nullptr, TVGN_CARET);
    if (!selected) return out;
    std::vector<gui::TreeItem> items = reader.all();
    std::vector<std::u16string> path;
    for (size_t i = 0; i < items.size(); ++i) {
      path.resize(static_cast<size_t>(items[i].depth));
      path.push_back(items[i].text);
      if (items[i].handle != selected) continue;
      if (numbers) {
        out.push_back(number(static_cast<int64_t>(i) + 1));
      } else {
        std::u16string joined;
        for (const std::u16string& level : path) joined += (joined.empty() ? u"" : u"\\") + level;
        out.push_back(std::move(joined));
      }
      break;
    }
    return out;
  }
  if (c.klass.find(u"LISTVIEW") != std::u16string::npos) {
    gui::ListViewReader reader(c.window);
    if (!reader.ok() || !gui::same_bitness(c.window)) return out;
    int32_t rows = reader.rows();
    for (int32_t row = 0; row < rows && row < 100000; ++row)
      if (gui::send_item_message(c.window, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED)
        out.push_back(numbers ? number(row + 1) : reader.cell(row, 0));
    return out;
  }
  std::vector<std::u16string> entries = gui::list_entries(c.window);
  auto add = [&](LRESULT index) {
    if (index >= 0 && index < static_cast<LRESULT>(entries.size()))
      out.push_back(numbers ? number(index + 1) : entries[static_cast<size_t>(index)]);
  };
  if (gui::is_combo(c.klass)) {
    add(gui::send_item_message(c.window, CB_GETCURSEL, 0, 0));
  } else if (gui::is_multi_select_list(c.window)) {
    for (size_t i = 0; i < entries.size(); ++i)
      if (gui::send_item_message(c.window, LB_GETSEL, i, 0) > 0) add(static_cast<LRESULT>(i));
  } else {
    add(gui::send_item_message(c.window, LB_GETCURSEL, 0, 0));
  }
  return out;
}

HWND button_by_caption(HWND window, const std::u16string& name, int32_t position) {
  std::u16string wanted = gui::normalize_caption(name);
  int32_t count = 0;
  for (const Control& c : controls_of(window, gui::k_with_disabled | gui::k_family_buttons, true)) {
    std::u16string caption = gui::normalize_caption(gui::system_upper(gui::text_of(c.window)));
    if (caption != wanted && gui::half_width_text(caption) != gui::half_width_text(wanted)) continue;
    if (position < 1 || ++count == position) return c.window;
  }
  return nullptr;
}

HWND control_by_class(HWND window, const std::u16string& name, int32_t position) {
  int32_t count = 0;
  for (const Control& c : controls_of(window, gui::k_family_all, true)) {
    if (c.klass != name && c.own_class != name) continue;
    if (position < 1 || ++count == position) return c.window;
  }
  return nullptr;
}

Value handle_value(const void* handle) { return Value::i4(static_cast<int32_t>(reinterpret_cast<intptr_t>(handle))); }

}  // namespace

// GETITEM(id, types, position, column, enabled only): the captions of the
// window's items into ALL_ITEM_LIST; their number.
Value builtin_getitem(BuiltinContext& ctx) {
  ItemList out(ctx);
  HWND window = gui::window_state(ctx.interpreter).window_of(gui::window_argument(ctx, 0));
  if (!window) return Value::i4(0);
  uint32_t types = static_cast<uint32_t>(ctx.integer(1));
  int32_t position = gui::position_argument(ctx, 2, 1);
  int32_t column = gui::position_argument(ctx, 3, 1);
  bool all = !(ctx.given(4) && ctx.integer(4) != 0);
  if (!(types & k_itm_back) && (types & (k_itm_acc_click | k_itm_acc_text))) gui::activate_window(window);
  short_pump(ctx.interpreter, 4);
  gui::wait_window_idle(ctx.interpreter, window);
  if (types & gui::k_family_buttons)
    for (const Control& c : controls_of(window, gui::k_family_buttons, all))
      out.add(gui::normalize_caption(gui::text_of(c.window)));
  if (types & gui::k_family_tabs)
    for (const Control& c : controls_of(window, gui::k_family_tabs, all))
      for (const std::u16string& text : gui::tab_texts(c.window)) out.add(gui::normalize_caption(text));
  if (types & gui::k_family_menu)
    for (std::u16string& path : gui::menu_leaf_paths(window)) out.add(std::move(path));
  // The controls at the position, one family at a time.
  auto one = [&](uint32_t family) -> HWND {
    std::vector<Control> controls = controls_of(window, family, all);
    const Control* c = control_in(controls, position);
    return c ? c->window : nullptr;
  };
  if (types & gui::k_family_trees)
    if (HWND tree = one(gui::k_family_trees)) list_tree(out, tree);
  if (types & gui::k_family_list_views)
    if (HWND view = one(gui::k_family_list_views)) list_list_view(out, view, column < 1 ? 0 : column - 1);
  if (types & gui::k_family_lists)
    if (HWND list = one(gui::k_family_lists))
      for (std::u16string& entry : gui::list_entries(list)) out.add(std::move(entry));
  if (types & gui::k_family_edits)
    for (const Control& c : controls_of(window, gui::k_family_edits, all)) out.add(gui::sent_text(c.window, 65536));
  if (types & gui::k_family_statics)
    for (const Control& c : controls_of(window, gui::k_family_statics, all)) {
      if (c.klass.find(u"STATUSBAR") != std::u16string::npos) continue;
      out.add(gui::text_of(c.window));
    }
  if (types & gui::k_family_status_bars)
    for (const Control& c : controls_of(window, gui::k_family_status_bars, all))
      for (std::u16string& part : gui::status_parts(c.window)) out.add(std::move(part));
  if (types & gui::k_family_tool_bars)
    for (const Control& c : controls_of(window, gui::k_family_tool_bars, all))
      for (gui::ToolButton& button : gui::tool_buttons(c.window)) out.add(std::move(button.text));
  list_accessible(ctx, out, window, types);
  return Value::i4(out.count());
}

// CHKBTN(id, name, position, mode): the check state of a check box, tree
// item or list-view row (mode 0), or of an accessible object; -1 when none.
Value builtin_chkbtn(BuiltinContext& ctx) {
  short_pump(ctx.interpreter, 8);
  int32_t id = gui::window_argument(ctx, 0);
  HWND window = id > 0 ? gui::window_state(ctx.interpreter).window_of(id) : nullptr;
  if (!window) return Value::i4(-1);
  int32_t position = gui::position_argument(ctx, 2, 1);
  if (position < 1) position = 1;
  int64_t mode = ctx.integer(3, 0);
  if (mode == 0) {
    Value state = gui::run_clkitem(
        ctx, window, ctx.text(1),
        gui::k_check_only | gui::k_family_buttons | gui::k_family_trees | gui::k_family_list_views, 0, position);
    return state.type() == VarType::I4 ? state : Value::i4(-1);
  }
  if (mode != 2) gui::activate_window(window);
  gui::AccRequest acc;
  acc.window = window;
  acc.name = gui::system_upper(trim_blanks(ctx.text(1)));
  acc.position = position < 0 ? -position : position;
  acc.action = gui::AccAction::Check;
  if (!gui::acc_search(ctx, acc)) return Value::i4(-1);
  return Value::i4(acc.state);
}

// GETSLCTLST(id, position, option): the selected entries of the list, combo
// box, list view or tree view at the position, joined with tabs; option 1
// gives their numbers from 1 instead of their texts.
Value builtin_getslctlst(BuiltinContext& ctx) {
  HWND window = gui::window_state(ctx.interpreter).window_of(gui::window_argument(ctx, 0));
  if (!window) return Value::string(u"");
  int32_t position = gui::position_argument(ctx, 1, 1);
  bool include_disabled = position < 0;
  std::vector<Control> controls =
      controls_of(window, gui::k_family_lists | gui::k_family_list_views | gui::k_family_trees, include_disabled);
  const Control* c = control_in(controls, include_disabled ? -position : position);
  if (!c) return Value::string(u"");
  std::u16string joined;
  bool first = true;
  for (const std::u16string& entry : selection_of(*c, ctx.integer(2, 0) == k_selection_numbers)) {
    if (!first) joined += k_selection_separator;
    joined += entry;
    first = false;
  }
  return Value::string(std::move(joined));
}

// GETCTLHND(id or handle, name, position): the handle of the menu bar, the
// system menu, a button by caption or a control by class; 0 when none.
Value builtin_getctlhnd(BuiltinContext& ctx) {
  HWND window = gui::window_state(ctx.interpreter).window_of_id_or_handle(ctx.integer(0));
  if (!window) return Value::i4(0);
  std::u16string name = gui::system_upper(trim_blanks(ctx.text(1)));
  int32_t position = gui::position_argument(ctx, 2, 0);
  if (name == u"GET_MENU_HND") {
    // Menus of other processes may not answer IsMenu here (Wine keeps
    // them per process); the handle is still the window's own.
    if (HMENU bar = GetMenu(window)) return handle_value(bar);
    HWND parent = GetParent(window);
    if (AnyPopup() && (!parent || parent == GetForegroundWindow())) return handle_value(gui::open_popup_menu());
    return Value::i4(0);
  }
  if (name == u"GET_SYSMENU_HND") return handle_value(GetSystemMenu(window, FALSE));
  if (HWND button = button_by_caption(window, name, position)) return handle_value(button);
  return handle_value(control_by_class(window, name, position));
}

}  // namespace vesk
