// The message dialog TFmsgDlg (MSGBOX): the message with its links, a row
// of buttons, and the bit of the button pressed.
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "app/dialogs/dialog_rules.h"
#include "app/dialogs/dialog_windows.h"
#include "app/dialogs/script_dialog_windows.h"
#include "support/messages.h"

namespace vesk::dialogs {
namespace {

constexpr wchar_t k_class[] = L"TFmsgDlg";
constexpr int k_button_base = 1000, k_link_base = 2000;
constexpr int k_button_w = 73, k_button_h = 25, k_gap = 8;

struct MessageForm {
  int32_t answer = 2;
  bool done = false;
  int default_id = 0;
  std::vector<std::u16string> links;
  Font font, link_font;
};

std::u16string caption_of(int32_t bit) {
  switch (bit) {
    case 2: return message(MessageId::ButtonCancel);
    case 4: return message(MessageId::ButtonYes);
    case 8: return message(MessageId::ButtonNo);
    case 16: return message(MessageId::ButtonAbort);
    case 32: return message(MessageId::ButtonRetry);
    case 64: return message(MessageId::ButtonIgnore);
    default: return message(MessageId::ButtonOk);
  }
}

void press(HWND window, MessageForm& form, int id) {
  if (id >= k_link_base) {
    size_t n = static_cast<size_t>(id - k_link_base);
    if (n < form.links.size()) ShellExecuteW(window, L"open", wide(form.links[n]), nullptr, nullptr, SW_SHOWNORMAL);
    return;
  }
  if (id >= k_button_base) {
    form.answer = id - k_button_base;
    form.done = true;
  }
}

LRESULT CALLBACK message_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<MessageForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form) switch (msg) {
      case WM_COMMAND: {
        int id = LOWORD(wparam);
        if (id == IDCANCEL) {
          form->answer = 2;
          form->done = true;
        } else if (id == IDOK) {
          int focused = GetDlgCtrlID(GetFocus());
          press(window, *form, focused >= k_button_base && focused < k_link_base ? focused : form->default_id);
        } else {
          press(window, *form, id);
        }
        return 0;
      }
      case DM_GETDEFID:
        return form->default_id ? MAKELRESULT(form->default_id, DC_HASDEFID) : 0;
      case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) >= k_link_base) {
          HDC dc = reinterpret_cast<HDC>(wparam);
          SetTextColor(dc, RGB(0, 0, 255));
          SetBkMode(dc, TRANSPARENT);
          return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
      case WM_SETCURSOR:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(wparam)) >= k_link_base) {
          SetCursor(LoadCursorW(nullptr, IDC_HAND));
          return TRUE;
        }
        break;
      case WM_CLOSE:
        form->answer = 2;
        form->done = true;
        return 0;
    }
  return DefWindowProcW(window, msg, wparam, lparam);
}

// The label and the links laid exactly over their places in it.
SIZE make_label(HWND window, MessageForm& form, const std::u16string& text, bool plain) {
  const int x = 16, y = 12;
  if (plain || text.size() > 10000) {
    SIZE size = text_size(form.font.get(), text);
    make_control(window, L"STATIC", text, SS_NOPREFIX, x, y, size.cx + 2, size.cy, 100, form.font.get());
    return size;
  }
  std::vector<std::u16string> lines = split_message_lines(text);
  std::u16string joined;
  for (size_t i = 0; i < lines.size(); ++i) joined += (i ? u"\r\n" : u"") + lines[i];
  SIZE size = text_size(form.font.get(), joined);
  // The label clips its siblings: the links lie on top of it.
  make_control(window, L"STATIC", joined, SS_NOPREFIX | WS_CLIPSIBLINGS, x, y, size.cx + 2, size.cy, 100, form.font.get());
  int line_height = text_size(form.font.get(), u"Wg").cy;
  for (const MessageLink& link : find_links(lines)) {
    int left = text_size(form.font.get(), lines[link.line].substr(0, link.column)).cx;
    SIZE link_size = text_size(form.link_font.get(), link.address);
    int id = k_link_base + static_cast<int>(form.links.size());
    form.links.push_back(link.address);
    HWND control = make_control(window, L"STATIC", link.address, SS_NOPREFIX | SS_NOTIFY, x + left,
                                y + static_cast<int>(link.line) * line_height, link_size.cx + 1, link_size.cy, id,
                                form.link_font.get());
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  return size;
}

}  // namespace

int32_t show_message_box(const gui::DialogLook& look, const gui::MessageBoxRequest& request) {
  static const bool registered = register_window_class(k_class, message_proc);
  (void)registered;
  MessageForm form;
  form.font = dialog_font(look);
  form.link_font = underlined(form.font);
  std::u16string text = cut_message(request.text);
  std::u16string title = dialog_title(look);
  HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, k_class, wide(title),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!window) return 2;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
  SIZE label = make_label(window, form, text, request.plain);
  std::vector<int32_t> row = message_buttons(request.buttons);
  int row_width = static_cast<int>(row.size()) * k_button_w + (static_cast<int>(row.size()) - 1) * k_gap;
  int width = std::max<int>({static_cast<int>(label.cx) + 32, row_width + 32, 160});
  int height = static_cast<int>(label.cy) + 56 + 4;
  set_client_size(window, width, height);
  bool focus_named = request.focus > 0 && (request.focus & request.buttons);
  int x = (width - row_width) / 2;
  HWND focus = nullptr;
  for (size_t i = 0; i < row.size(); ++i) {
    int32_t bit = row[i];
    bool defaults = !focus_named && i == 0 && (bit == 1 || bit == 2 || bit == 4 || bit == 8);
    HWND button = make_control(window, L"BUTTON", caption_of(bit),
                               WS_TABSTOP | (defaults ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), x, height - k_button_h - 10,
                               k_button_w, k_button_h, k_button_base + bit, form.font.get());
    if (defaults) form.default_id = k_button_base + bit;
    if ((focus_named && bit == request.focus) || (!focus_named && i == 0)) focus = button;
    x += k_button_w + k_gap;
  }
  place_dialog(window, request.x >= 0 && request.y >= 0, request.x, request.y);
  run_modal(window, form.done, focus);
  DestroyWindow(window);
  return form.answer;
}

}  // namespace vesk::dialogs
#endif
