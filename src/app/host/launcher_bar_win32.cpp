// The launcher bar: its buttons and their drawn images, the system menu's
// own minimise entry, keys and dropped files.
#ifdef _WIN32
#include <windows.h>
#include "app/host/launcher_bar.h"

#include <commctrl.h>
#include <shellapi.h>

#include "builtins/gui/window_table.h"
#include "support/messages.h"

namespace vesk::host {
namespace {

constexpr int k_button_base = 100;
constexpr UINT k_minimize_command = 10;
constexpr UINT_PTR k_outcom_timer = 1;
constexpr int k_widths[5] = {38, 38, 0, 38, 38};  // play fills the rest of 214

using dialogs::wide;

void fill_polygon(HDC dc, const POINT* points, int count, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ old_brush = SelectObject(dc, brush), old_pen = SelectObject(dc, pen);
  Polygon(dc, points, count);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  DeleteObject(brush);
  DeleteObject(pen);
}

void fill_rect(HDC dc, int l, int t, int r, int b, COLORREF colour) {
  RECT rect{l, t, r, b};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

// The images: an opening folder, a disk, a play triangle, a red dot and a
// tool menu (three lines under a triangle).
void draw_image(HDC dc, BarButton button, int cx, int cy, bool on) {
  COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
  switch (button) {
    case BarButton::Load: {
      COLORREF c = on ? RGB(214, 160, 40) : grey;
      POINT back[] = {{cx - 9, cy - 6}, {cx - 3, cy - 6}, {cx - 1, cy - 4}, {cx + 7, cy - 4}, {cx + 7, cy + 6}, {cx - 9, cy + 6}};
      fill_polygon(dc, back, 6, c);
      POINT lid[] = {{cx - 6, cy - 1}, {cx + 10, cy - 1}, {cx + 7, cy + 6}, {cx - 9, cy + 6}};
      fill_polygon(dc, lid, 4, on ? RGB(240, 200, 90) : grey);
      break;
    }
    case BarButton::Save:
      fill_rect(dc, cx - 8, cy - 8, cx + 8, cy + 8, on ? RGB(40, 70, 160) : grey);
      fill_rect(dc, cx - 5, cy - 8, cx + 5, cy - 2, on ? RGB(230, 230, 230) : GetSysColor(COLOR_BTNFACE));
      fill_rect(dc, cx - 4, cy + 2, cx + 4, cy + 8, on ? RGB(200, 200, 200) : GetSysColor(COLOR_BTNFACE));
      break;
    case BarButton::Play: {
      POINT tri[] = {{cx - 6, cy - 8}, {cx + 8, cy}, {cx - 6, cy + 8}};
      fill_polygon(dc, tri, 3, on ? RGB(30, 150, 50) : grey);
      break;
    }
    case BarButton::Rec: {
      HBRUSH brush = CreateSolidBrush(on ? RGB(210, 30, 30) : grey);
      HGDIOBJ old = SelectObject(dc, brush);
      HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
      Ellipse(dc, cx - 7, cy - 7, cx + 8, cy + 8);
      SelectObject(dc, old);
      SelectObject(dc, old_pen);
      DeleteObject(brush);
      break;
    }
    case BarButton::Tool: {
      COLORREF c = on ? RGB(60, 60, 60) : grey;
      for (int i = 0; i < 3; ++i) fill_rect(dc, cx - 8, cy - 7 + 4 * i, cx + 4, cy - 5 + 4 * i, c);
      POINT tri[] = {{cx + 4, cy + 3}, {cx + 10, cy + 3}, {cx + 7, cy + 7}};
      fill_polygon(dc, tri, 3, c);
      break;
    }
  }
}

}  // namespace

LauncherBar::LauncherBar(LauncherEvents events) : m_events(std::move(events)) {
  static bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = k_launcher_class;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
  m_window = CreateWindowExW(WS_EX_APPWINDOW | WS_EX_ACCEPTFILES, k_launcher_class, L"VESK Pro",
                             WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 230, 60, nullptr, nullptr,
                             GetModuleHandleW(nullptr), this);
  dialogs::set_client_size(m_window, 214, 30);
  int x = 0;
  for (int i = 0; i < 5; ++i) {
    int w = k_widths[i] ? k_widths[i] : 214 - 4 * 38;
    m_buttons[i] = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, x, 0, w, 30,
                                   m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(k_button_base + i)),
                                   GetModuleHandleW(nullptr), nullptr);
    x += w;
  }
  enable(BarButton::Save, false);
  enable(BarButton::Play, false);
  m_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, m_window,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  set_language_texts();
  SetTimer(m_window, k_outcom_timer, 500, nullptr);
  gui::register_own_window(m_window);
  gui::register_host_window(u"__GET_THISVESK_WIN__", m_window);
}

LauncherBar::~LauncherBar() {
  if (!m_window) return;
  gui::register_own_window(m_window, false);
  SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
  DestroyWindow(m_window);
}

void LauncherBar::set_language_texts() {
  static constexpr MessageId k_hints[5] = {MessageId::HostHintLoad, MessageId::HostHintSave, MessageId::HostHintPlay,
                                           MessageId::HostHintRec, MessageId::HostHintTool};
  for (int i = 0; i < 5; ++i) {
    std::u16string hint = message(k_hints[i]);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_window;
    tool.uId = reinterpret_cast<UINT_PTR>(m_buttons[i]);
    tool.lpszText = const_cast<wchar_t*>(wide(hint));
    SendMessageW(m_tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  HMENU system = GetSystemMenu(m_window, FALSE);
  DeleteMenu(system, SC_MINIMIZE, MF_BYCOMMAND);
  DeleteMenu(system, SC_MAXIMIZE, MF_BYCOMMAND);
  DeleteMenu(system, SC_SIZE, MF_BYCOMMAND);
  DeleteMenu(system, k_minimize_command, MF_BYCOMMAND);
  std::u16string minimize = message(MessageId::HostMinimize);
  InsertMenuW(system, 3, MF_BYPOSITION | MF_STRING, k_minimize_command, wide(minimize));
}

void LauncherBar::enable(BarButton button, bool on) {
  EnableWindow(m_buttons[static_cast<int>(button)], on);
  InvalidateRect(m_buttons[static_cast<int>(button)], nullptr, TRUE);
}

bool LauncherBar::enabled(BarButton button) const { return IsWindowEnabled(m_buttons[static_cast<int>(button)]); }

void LauncherBar::focus(BarButton button) { SetFocus(m_buttons[static_cast<int>(button)]); }

void LauncherBar::make_invisible() {
  for (HWND button : m_buttons) ShowWindow(button, SW_HIDE);
  bool above = GetSystemMetrics(SM_YVIRTUALSCREEN) < 0;
  if (above) SetWindowLongPtrW(m_window, GWL_STYLE, WS_POPUP);
  SetWindowPos(m_window, nullptr, 0, above ? 0 : -999999, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

bool LauncherBar::preview_key(const MSG& msg) {
  if (msg.hwnd != m_window && GetParent(msg.hwnd) != m_window) return false;
  if (msg.message == WM_SYSKEYDOWN || msg.message == WM_SYSKEYUP)
    return msg.wParam == VK_MENU || msg.wParam == VK_F10;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_F10) return true;
  if (msg.message != WM_KEYDOWN) return false;
  switch (msg.wParam) {
    case 'L': m_events.pressed(BarButton::Load); return true;
    case 'S':
      if (enabled(BarButton::Save)) m_events.pressed(BarButton::Save);
      return true;
    case 'P':
      if (enabled(BarButton::Play)) m_events.pressed(BarButton::Play);
      return true;
    case 'R': m_events.pressed(BarButton::Rec); return true;
    case 'O': {
      RECT r;
      GetWindowRect(m_buttons[4], &r);
      m_events.tool_menu({r.left + 5, r.top + 20});
      return true;
    }
    default: return false;
  }
}

void LauncherBar::draw_button(const DRAWITEMSTRUCT& item) {
  int index = static_cast<int>(item.CtlID) - k_button_base;
  bool pushed = item.itemState & ODS_SELECTED, on = !(item.itemState & ODS_DISABLED);
  RECT r = item.rcItem;
  DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  int cx = (r.left + r.right) / 2 + (pushed ? 1 : 0), cy = (r.top + r.bottom) / 2 + (pushed ? 1 : 0);
  draw_image(item.hDC, static_cast<BarButton>(index), cx, cy, on);
  if (item.itemState & ODS_FOCUS) {
    RECT f{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
    DrawFocusRect(item.hDC, &f);
  }
}

LRESULT CALLBACK LauncherBar::window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  auto* self = reinterpret_cast<LauncherBar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || !self->m_window) return DefWindowProcW(window, msg, wparam, lparam);
  return self->handle(msg, wparam, lparam);
}

LRESULT LauncherBar::handle(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wparam) >= k_button_base && LOWORD(wparam) < k_button_base + 5) {
        int index = LOWORD(wparam) - k_button_base;
        if (index == 4) {
          RECT r;
          GetWindowRect(m_buttons[4], &r);
          m_events.tool_menu({r.left + 5, r.top + 20});
        } else {
          m_events.pressed(static_cast<BarButton>(index));
        }
        return 0;
      }
      break;
    case WM_DRAWITEM:
      draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_PARENTNOTIFY:
      // A right press on a button opens the tool menu too.
      if (LOWORD(wparam) == WM_RBUTTONDOWN) {
        POINT p{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
        ClientToScreen(m_window, &p);
        m_events.tool_menu({p.x + 5, p.y + 20});
        return 0;
      }
      break;
    case WM_RBUTTONDOWN: {
      POINT p{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
      ClientToScreen(m_window, &p);
      m_events.tool_menu({p.x + 5, p.y + 20});
      return 0;
    }
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wparam);
      UINT length = DragQueryFileW(drop, 0, nullptr, 0);
      std::u16string path(length + 1, u'\0');
      DragQueryFileW(drop, 0, reinterpret_cast<wchar_t*>(path.data()), length + 1);
      path.resize(length);
      DragFinish(drop);
      if (!path.empty()) m_events.dropped(path);
      return 0;
    }
    case WM_SYSCOMMAND:
      if (wparam == k_minimize_command) {
        ShowWindow(m_window, SW_MINIMIZE);
        EnableMenuItem(GetSystemMenu(m_window, FALSE), k_minimize_command, MF_BYCOMMAND | MF_GRAYED);
        return 0;
      }
      break;
    case WM_SIZE:
      if (wparam == SIZE_RESTORED)
        EnableMenuItem(GetSystemMenu(m_window, FALSE), k_minimize_command, MF_BYCOMMAND | MF_ENABLED);
      break;
    case WM_TIMER:
      if (wparam == k_outcom_timer && m_events.timer) m_events.timer();
      return 0;
    case WM_HOTKEY:
      if (m_events.hot_key) m_events.hot_key(static_cast<int32_t>(wparam));
      return 0;
    case WM_CLOSE:
      if (m_events.closing) m_events.closing();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      if (msg >= WM_APP && msg <= WM_APP + 100 && m_events.private_message) {
        m_events.private_message(msg, wparam, lparam);
        return 0;
      }
      break;
  }
  return DefWindowProcW(m_window, msg, wparam, lparam);
}

}  // namespace vesk::host
#endif
