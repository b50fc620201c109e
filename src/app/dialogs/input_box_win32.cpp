// The input dialog TFInpBox (INPUT): a label, one edit field (masked in
// password mode) that also takes dropped files, OK and CANCEL.
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "app/dialogs/dialog_windows.h"
#include "app/dialogs/script_dialog_windows.h"

namespace vesk::dialogs {
namespace {

constexpr wchar_t k_class[] = L"TFInpBox";
constexpr int k_edit_id = 101;

struct InputForm {
  bool done = false, accepted = false, dropped = false;
  std::u16string text;
  HWND edit = nullptr;
};

// The full paths of the dropped files, joined by tabs: the first drop
// replaces the text, later drops append to it.
void take_drop(InputForm& form, HDROP drop) {
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::u16string paths;
  for (UINT i = 0; i < count; ++i) {
    UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::u16string path(length + 1, u'\0');
    DragQueryFileW(drop, i, reinterpret_cast<wchar_t*>(path.data()), length + 1);
    path.resize(length);
    if (!paths.empty()) paths += u'\t';
    paths += path;
  }
  DragFinish(drop);
  std::u16string text = form.dropped ? window_text(form.edit) + u"\t" + paths : paths;
  form.dropped = true;
  SetWindowTextW(form.edit, wide(text));
}

LRESULT CALLBACK input_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<InputForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form) switch (msg) {
      case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
          form->text = window_text(form->edit);
          form->accepted = form->done = true;
        } else if (LOWORD(wparam) == IDCANCEL) {
          form->done = true;
        }
        return 0;
      case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
      case WM_DROPFILES:
        take_drop(*form, reinterpret_cast<HDROP>(wparam));
        return 0;
      case WM_CLOSE:
        form->done = true;
        return 0;
    }
  return DefWindowProcW(window, msg, wparam, lparam);
}

}  // namespace

std::optional<std::u16string> show_input_box(const gui::DialogLook& look, const gui::InputRequest& request) {
  static const bool registered = register_window_class(k_class, input_proc);
  (void)registered;
  InputForm form;
  Font font = dialog_font(look);
  HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME | WS_EX_ACCEPTFILES, k_class,
                                wide(dialog_title(look)), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return std::nullopt;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
  SIZE label = text_size(font.get(), request.message);
  int line = text_size(font.get(), u"Wg").cy;
  make_control(window, L"STATIC", request.message, SS_NOPREFIX, 12, 10, label.cx + 2, label.cy, 100, font.get());
  int edit_w = std::max<int>(240, label.cx + 12);
  int edit_y = 10 + label.cy + 8;
  form.edit = make_control(window, L"EDIT", request.initial,
                           WS_TABSTOP | ES_AUTOHSCROLL | (request.password ? ES_PASSWORD : 0), 12, edit_y, edit_w,
                           line + 8, k_edit_id, font.get(), WS_EX_CLIENTEDGE);
  if (request.password) SendMessageW(form.edit, EM_SETPASSWORDCHAR, u'*', 0);
  int width = std::max<int>(edit_w + 24, label.cx + 18);
  int buttons_y = edit_y + line + 8 + 10;
  make_control(window, L"BUTTON", u"&OK", WS_TABSTOP | BS_DEFPUSHBUTTON, width - 16 - 2 * 75 - 6, buttons_y, 75, 25,
               IDOK, font.get());
  make_control(window, L"BUTTON", u"CANCEL", WS_TABSTOP, width - 16 - 75, buttons_y, 75, 25, IDCANCEL, font.get());
  set_client_size(window, width, buttons_y + 25 + 10);
  place_dialog(window, request.positioned, request.x, request.y);
  SendMessageW(form.edit, EM_SETSEL, 0, -1);
  run_modal(window, form.done, form.edit);
  DestroyWindow(window);
  if (!form.accepted) return std::nullopt;
  return form.text;
}

}  // namespace vesk::dialogs
#endif
