// The selection dialog TFSectBox (SLCTBOX): push buttons, check boxes,
// radio buttons, a drop-down list or a multi-select list, with an optional
// time-out shown by a progress bar, scrolling when it is taller than the
// screen.
#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/dialogs/dialog_rules.h"
#include "app/dialogs/dialog_windows.h"
#include "app/dialogs/script_dialog_windows.h"

namespace vesk::dialogs {
namespace {

constexpr wchar_t k_class[] = L"TFSectBox";
constexpr int k_item_base = 1000, k_list_id = 200, k_combo_id = 201, k_progress_id = 202;
constexpr UINT_PTR k_timer = 1;

struct SelectForm {
  const gui::SelectRequest* request = nullptr;
  SelectKind kind = SelectKind::Buttons;
  gui::SelectResult result{false, -1, {}};
  bool done = false;
  std::vector<HWND> boxes;  // check boxes or radio buttons
  HWND list = nullptr, combo = nullptr, progress = nullptr;
  int remaining_ms = 0;
  int scroll = 0, scroll_max = 0;
};

void answer(SelectForm& form, const std::vector<size_t>& chosen) {
  SelectAnswer a = select_answer(form.request->type, form.request->items, chosen);
  form.result = {a.is_text, a.number, a.text};
  form.done = true;
}

// OK: what is checked or selected now.
void accept(SelectForm& form) {
  std::vector<size_t> chosen;
  switch (form.kind) {
    case SelectKind::CheckBoxes:
    case SelectKind::Radios:
      for (size_t i = 0; i < form.boxes.size(); ++i)
        if (SendMessageW(form.boxes[i], BM_GETCHECK, 0, 0) == BST_CHECKED) chosen.push_back(i);
      break;
    case SelectKind::DropDown: {
      LRESULT i = SendMessageW(form.combo, CB_GETCURSEL, 0, 0);
      if (i >= 0) chosen.push_back(static_cast<size_t>(i));
      break;
    }
    case SelectKind::List:
      for (size_t i = 0; i < form.request->items.size(); ++i)
        if (SendMessageW(form.list, LB_GETSEL, i, 0) > 0) chosen.push_back(i);
      break;
    case SelectKind::Buttons:
      return;
  }
  answer(form, chosen);
}

void scroll_to(HWND window, SelectForm& form, int position) {
  position = std::clamp(position, 0, form.scroll_max);
  int delta = form.scroll - position;
  if (!delta) return;
  form.scroll = position;
  ScrollWindowEx(window, 0, delta, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  SetScrollPos(window, SB_VERT, position, TRUE);
}

LRESULT CALLBACK select_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<SelectForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form) switch (msg) {
      case WM_COMMAND: {
        int id = LOWORD(wparam);
        if (id == IDCANCEL) {
          form->result = {false, -1, {}};
          form->done = true;
        } else if (id == IDOK) {
          if (form->kind == SelectKind::Buttons) {
            int focused = GetDlgCtrlID(GetFocus());
            if (focused >= k_item_base) answer(*form, {static_cast<size_t>(focused - k_item_base)});
          } else {
            accept(*form);
          }
        } else if (id >= k_item_base && form->kind == SelectKind::Buttons) {
          answer(*form, {static_cast<size_t>(id - k_item_base)});
        }
        return 0;
      }
      case WM_TIMER:
        form->remaining_ms -= 200;
        SendMessageW(form->progress, PBM_SETPOS, static_cast<WPARAM>(std::max(form->remaining_ms, 0)), 0);
        if (form->remaining_ms <= 0) {
          KillTimer(window, k_timer);
          form->result = {false, 0, {}};
          form->done = true;
        }
        return 0;
      case WM_VSCROLL: {
        int position = form->scroll;
        switch (LOWORD(wparam)) {
          case SB_LINEUP: position -= 20; break;
          case SB_LINEDOWN: position += 20; break;
          case SB_PAGEUP: position -= 200; break;
          case SB_PAGEDOWN: position += 200; break;
          case SB_THUMBTRACK:
          case SB_THUMBPOSITION: position = HIWORD(wparam); break;
          default: break;
        }
        scroll_to(window, *form, position);
        return 0;
      }
      case WM_MOUSEWHEEL:
        scroll_to(window, *form, form->scroll - GET_WHEEL_DELTA_WPARAM(wparam) / 3);
        return 0;
      case WM_CLOSE:
        form->result = {false, -1, {}};
        form->done = true;
        return 0;
    }
  return DefWindowProcW(window, msg, wparam, lparam);
}

bool register_class() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSW wc{};
  wc.lpfnWndProc = select_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = k_class;
  return RegisterClassW(&wc) != 0;
}

// The controls of the kind; returns the height they take from [top].
int make_items(HWND window, SelectForm& form, HFONT font, int top, int width, int font_height) {
  const std::vector<std::u16string>& items = form.request->items;
  const int row = 2 * font_height + 5;
  int y = top;
  switch (form.kind) {
    case SelectKind::Buttons:
      for (size_t i = 0; i < items.size(); ++i, y += row)
        make_control(window, L"BUTTON", items[i], WS_TABSTOP | BS_PUSHBUTTON, 10, y, width - 20, row - 4,
                     k_item_base + static_cast<int>(i), font);
      return y - top;
    case SelectKind::CheckBoxes:
    case SelectKind::Radios:
      for (size_t i = 0; i < items.size(); ++i, y += row) {
        DWORD style = form.kind == SelectKind::CheckBoxes ? BS_AUTOCHECKBOX : BS_AUTORADIOBUTTON;
        if (i == 0) style |= WS_GROUP;
        form.boxes.push_back(make_control(window, L"BUTTON", items[i], WS_TABSTOP | style, 14, y, width - 24, row - 4,
                                          k_item_base + static_cast<int>(i), font));
      }
      return y - top;
    case SelectKind::DropDown:
      form.combo = make_control(window, L"COMBOBOX", u"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 10, y, width - 20,
                                font_height * 12, k_combo_id, font);
      for (const std::u16string& item : items) SendMessageW(form.combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
      SendMessageW(form.combo, CB_SETCURSEL, 0, 0);
      return font_height + 12;
    case SelectKind::List: {
      int height = font_height * (static_cast<int>(items.size()) + 1);
      height = std::clamp(height, 100, std::max(100, GetSystemMetrics(SM_CYSCREEN) / 2));
      form.list = make_control(window, L"LISTBOX", u"", WS_TABSTOP | WS_VSCROLL | LBS_EXTENDEDSEL | LBS_NOTIFY, 10, y,
                               width - 20, height, k_list_id, font, WS_EX_CLIENTEDGE);
      for (const std::u16string& item : items) SendMessageW(form.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
      if (!items.empty()) SendMessageW(form.list, LB_SETSEL, TRUE, 0);
      return height;
    }
  }
  return 0;
}

}  // namespace

gui::SelectResult show_select_box(const gui::DialogLook& look, const gui::SelectRequest& request) {
  static bool registered = register_class();
  (void)registered;
  SelectForm form;
  form.request = &request;
  form.kind = select_kind(request.type);
  Font font = dialog_font(look);
  int font_height = text_size(font.get(), u"Wg").cy;
  SIZE label = text_size(font.get(), request.message);
  int width = 160;
  for (const std::u16string& item : request.items)
    width = std::max<int>(width, text_size(font.get(), item + u"WW").cx);
  width = std::max<int>(width + 20, label.cx + 16);

  HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, k_class, wide(dialog_title(look)),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!window) return {false, -1, {}};
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
  int y = 8;
  make_control(window, L"STATIC", request.message, SS_NOPREFIX, 8, y, label.cx + 2, label.cy, 100, font.get());
  y += label.cy + 8;
  y += make_items(window, form, font.get(), y, width, font_height) + 6;
  if (form.kind != SelectKind::Buttons) {
    make_control(window, L"BUTTON", u"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, (width - 75) / 2, y, 75, 25, IDOK, font.get());
    y += 25 + 8;
  }
  if (request.timeout_seconds > 0) {
    form.remaining_ms = static_cast<int>(std::min(request.timeout_seconds, 2000000.0) * 1000);
    form.progress = make_control(window, PROGRESS_CLASSW, u"", 0, 0, y, width, 6, k_progress_id, nullptr);
    SendMessageW(form.progress, PBM_SETRANGE32, 0, form.remaining_ms);
    SendMessageW(form.progress, PBM_SETPOS, static_cast<WPARAM>(form.remaining_ms), 0);
    y += 6;
    SetTimer(window, k_timer, 200, nullptr);
  }
  int content = y, visible = content;
  int screen = GetSystemMetrics(SM_CYMAXIMIZED) - GetSystemMetrics(SM_CYCAPTION) - 16;
  if (content > screen && screen > 100) {
    visible = screen;
    width += 20;
    SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | WS_VSCROLL);
    form.scroll_max = content - visible;
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, content, static_cast<UINT>(visible), 0, 0};
    SetScrollInfo(window, SB_VERT, &info, TRUE);
  }
  set_client_size(window, width, visible);
  place_dialog(window, request.positioned, request.x, request.y);
  run_modal(window, form.done, GetNextDlgTabItem(window, nullptr, FALSE));
  KillTimer(window, k_timer);
  DestroyWindow(window);
  return form.result;
}

}  // namespace vesk::dialogs
#endif
