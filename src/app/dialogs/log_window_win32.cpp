// The log window: its memo, the show flag, placement and the file.
#ifdef _WIN32
#include "app/dialogs/log_window.h"

#include <ctime>

#include "builtins/gui/window_table.h"
#include "support/text.h"

namespace vesk::dialogs {
namespace {

constexpr wchar_t k_class[] = L"TVScript";
constexpr int k_memo_id = 100;

LogTime now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &t);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

LogRect to_log_rect(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

LogRect virtual_desktop() {
  return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
          GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

LogRect window_rect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return to_log_rect(r);
}

void move_to(HWND window, const LogRect& r) {
  LogRect now = window_rect(window);
  if (now.left == r.left && now.top == r.top) return;
  SetWindowPos(window, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// How long a line may wait for the memo.
constexpr UINT_PTR k_memo_timer = 1;
constexpr UINT k_memo_ms = 100;

}  // namespace

LogWindow::LogWindow(std::u16string log_path, bool writes_file)
    : m_file(std::move(log_path)), m_writes_file(writes_file) {
  static const bool registered = register_window_class(k_class, window_proc);
  (void)registered;
  m_window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, k_class, L"VESK", WS_OVERLAPPEDWINDOW, 0, 0, 420, 260,
                             nullptr, nullptr, GetModuleHandleW(nullptr), this);
  RECT client;
  GetClientRect(m_window, &client);
  m_memo = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                               ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                           0, 0, client.right, client.bottom, m_window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(k_memo_id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(m_memo, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  if (!environment().japanese) {
    m_window_font = Font(u"Times New Roman", 9);
    m_memo_font = Font(u"Courier New", 10);
  } else {
    m_window_font = Font(u"MS UI Gothic", 9);
    m_memo_font = Font(u"MS Gothic", 10);
  }
  SendMessageW(m_memo, WM_SETFONT, reinterpret_cast<WPARAM>(m_memo_font.get()), FALSE);
  gui::register_own_window(m_window);
  gui::register_host_window(u"__GET_LOGPRINT_WIN__", m_window);
}

LogWindow::~LogWindow() {
  if (m_window) {
    gui::register_own_window(m_window, false);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
  }
}

LRESULT CALLBACK LogWindow::window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<LogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) switch (msg) {
      case WM_SIZE:
        if (self->m_memo) MoveWindow(self->m_memo, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
      case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        return 0;
      case WM_TIMER:
        if (wparam == k_memo_timer) self->flush_memo();
        return 0;
    }
  return DefWindowProcW(window, msg, wparam, lparam);
}

void LogWindow::set_line_limit_text(std::u16string_view text) {
  m_file.set_line_limit_text(text);
  m_display.set_line_limit(m_file.line_limit());
}

void LogWindow::set_run_line_limit(int32_t limit) {
  m_file.set_line_limit_for_run(limit);
  m_display.set_line_limit(limit);
}

void LogWindow::end_run_options() {
  m_file.run_end();
  m_display.set_line_limit(m_file.line_limit());
}

void LogWindow::set_font_text(std::u16string_view text) {
  size_t comma = text.find(u',');
  std::u16string name(trim_blanks(text.substr(0, comma)));
  int32_t size = 0;
  if (comma != std::u16string_view::npos)
    for (char16_t c : trim_blanks(text.substr(comma + 1))) {
      if (c < u'0' || c > u'9' || size > 1000) break;
      size = size * 10 + (c - u'0');
    }
  if (name.empty() && size == 0) return;
  LOGFONTW lf{};
  GetObjectW(m_memo_font.get(), sizeof lf, &lf);
  Font font(name.empty() ? std::u16string(reinterpret_cast<const char16_t*>(lf.lfFaceName)) : name,
            size > 0 ? size : 10);
  m_memo_font = std::move(font);
  SendMessageW(m_memo, WM_SETFONT, reinterpret_cast<WPARAM>(m_memo_font.get()), TRUE);
}

// Lines reach the memo in batches: under Wine one append to a visible edit
// control costs about 50 ms whatever its length, more than a fast PRINT
// loop takes per line.
void LogWindow::queue_for_memo(const std::u16string& text) {
  if (m_pending.empty()) SetTimer(m_window, k_memo_timer, k_memo_ms, nullptr);
  m_pending += text + u"\r\n";
}

void LogWindow::flush_memo() {
  KillTimer(m_window, k_memo_timer);
  if (m_pending.empty()) return;
  int length = GetWindowTextLengthW(m_memo);
  SendMessageW(m_memo, EM_SETSEL, length, length);
  SendMessageW(m_memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide(m_pending)));
  m_pending.clear();
}

void LogWindow::rebuild_memo() {
  KillTimer(m_window, k_memo_timer);
  m_pending.clear();
  std::u16string text;
  for (const std::u16string& line : m_display.lines()) text += line + u"\r\n";
  SetWindowTextW(m_memo, wide(text));
  SendMessageW(m_memo, EM_SETSEL, text.size(), text.size());
  SendMessageW(m_memo, EM_SCROLLCARET, 0, 0);
}

void LogWindow::show() {
  SetWindowTextW(m_window, wide(environment().app_title));
  LogRect r = window_rect(m_window);
  if (!m_position_fixed) {
    m_position_fixed = true;
    RECT bar{0, 0, 0, 0};
    if (m_bar) bar = m_bar();
    r = place_against_bar(r, to_log_rect(bar), virtual_desktop());
  } else {
    r = clamp_to_desktop(r, virtual_desktop());
  }
  move_to(m_window, r);
  ShowWindow(m_window, SW_SHOWNOACTIVATE);
  SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void LogWindow::print(const std::u16string& text) {
  if (m_display.add(text) == LogDisplay::MemoChange::Rebuild)
    rebuild_memo();
  else
    queue_for_memo(text);
  m_file.add_line(text, now());
  if (!IsWindowVisible(m_window) && m_show) show();
  move_to(m_window, keep_reachable(window_rect(m_window), virtual_desktop()));
}

void LogWindow::log_error(const std::u16string& line) {
  m_file.add_line(line, now());
}

void LogWindow::run_start(bool keep) {
  ShowWindow(m_window, SW_HIDE);
  flush_memo();
  m_display.run_start(keep);
  if (!keep) SetWindowTextW(m_memo, L"");
  m_show = true;
  m_file.run_start_reset();
  m_display.set_line_limit(m_file.line_limit());
}

void LogWindow::log_print(bool show_window, int32_t x, int32_t y, int32_t width, int32_t height, int count) {
  m_show = show_window;
  if (count >= 3) {
    m_position_fixed = true;
    SetWindowPos(m_window, nullptr, x, y, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | (count >= 5 ? 0 : SWP_NOSIZE));
  }
  if (show_window)
    show();
  else
    ShowWindow(m_window, SW_HIDE);
}

void LogWindow::write_file() {
  if (m_writes_file)
    m_file.write();
  else
    m_file.drop_pending();
}

}  // namespace vesk::dialogs
#endif
