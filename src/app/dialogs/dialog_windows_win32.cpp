// The dialogs' shared helpers on Windows: fonts, sizes, placement and the
// modal loop.
#ifdef _WIN32
#include "app/dialogs/dialog_windows.h"

#include <algorithm>

#include "builtins/gui/window_control.h"

namespace vesk::dialogs {

DialogEnvironment& environment() {
  static DialogEnvironment env;
  return env;
}

bool register_window_class(const wchar_t* name, WNDPROC proc) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = name;
  return RegisterClassW(&wc) != 0;
}

std::u16string window_text(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::u16string text(static_cast<size_t>(std::max(length, 0)) + 1, u'\0');
  int got = GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

Font::Font(std::u16string_view name, int32_t points) {
  HDC screen = GetDC(nullptr);
  int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  std::u16string face(name.substr(0, 31));
  m_font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, wide(face));
}

Font::~Font() {
  if (m_font) DeleteObject(m_font);
}

Font& Font::operator=(Font&& other) noexcept {
  if (this != &other) {
    if (m_font) DeleteObject(m_font);
    m_font = other.m_font;
    other.m_font = nullptr;
  }
  return *this;
}

Font dialog_font(const gui::DialogLook& look) {
  std::u16string name = environment().japanese ? u"MS UI Gothic" : u"Times New Roman";
  int32_t size = 9;
  if (!look.font_name.empty()) name = look.font_name;
  if (look.font_size > 0) size = look.font_size;
  return Font(name, size);
}

Font underlined(const Font& font) {
  LOGFONTW lf{};
  GetObjectW(font.get(), sizeof lf, &lf);
  lf.lfUnderline = TRUE;
  return Font(CreateFontIndirectW(&lf));
}

std::u16string dialog_title(const gui::DialogLook& look) {
  return look.title.empty() ? environment().app_title : look.title;
}

SIZE text_size(HFONT font, std::u16string_view text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, 0, 0};
  std::u16string t(text.empty() ? std::u16string_view(u" ") : text);
  DrawTextW(dc, wide(t), static_cast<int>(t.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (text.empty()) r.right = 0;
  return {r.right - r.left, r.bottom - r.top};
}

RECT keep_on_monitor(RECT rect) {
  HMONITOR monitor = MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(monitor, &info);
  const RECT& area = info.rcWork;
  LONG w = rect.right - rect.left, h = rect.bottom - rect.top;
  LONG left = std::clamp(rect.left, area.left, std::max(area.left, area.right - w));
  LONG top = std::clamp(rect.top, area.top, std::max(area.top, area.bottom - h));
  return {left, top, left + w, top + h};
}

void place_dialog(HWND window, bool positioned, int32_t x, int32_t y) {
  RECT r;
  GetWindowRect(window, &r);
  LONG w = r.right - r.left, h = r.bottom - r.top;
  RECT target;
  if (positioned) {
    target = keep_on_monitor({x, y, x + w, y + h});
  } else {
    HWND launcher = environment().launcher;
    HMONITOR monitor = launcher ? MonitorFromWindow(launcher, MONITOR_DEFAULTTOPRIMARY)
                                : MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    const RECT& area = info.rcWork;
    LONG left = area.left + (area.right - area.left - w) / 2, top = area.top + (area.bottom - area.top - h) / 2;
    target = {left, top, left + w, top + h};
  }
  SetWindowPos(window, nullptr, target.left, target.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void set_client_size(HWND window, int32_t width, int32_t height) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void run_modal(HWND window, const bool& done, HWND focus) {
  if (environment().launcher) gui::activate_window(environment().launcher, true);
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  gui::activate_window(window, true);
  // The activation gave the focus to the window itself.
  if (focus) SetFocus(focus);
  MSG msg;
  while (!done && IsWindow(window)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

HWND make_control(HWND parent, const wchar_t* klass, const std::u16string& text, DWORD style, int x, int y, int w,
                  int h, int id, HFONT font, DWORD ex_style) {
  HWND control = CreateWindowExW(ex_style, klass, wide(text), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

}  // namespace vesk::dialogs
#endif
