// The stop form's states, its STOP button and STOPFORM.
#ifdef _WIN32
#include "app/dialogs/stop_form.h"

#include "builtins/gui/window_table.h"
#include "support/messages.h"

namespace vesk::dialogs {
namespace {

constexpr wchar_t k_class[] = L"TFTeisi";
constexpr int k_stop_id = 100;
constexpr UINT_PTR k_top_timer = 1;
constexpr DWORD k_style = WS_POPUP | WS_CAPTION | WS_SYSMENU;

// "x, y" of the settings' `Position`.
bool read_xy(const std::u16string& text, int32_t& x, int32_t& y) {
  size_t comma = text.find(u',');
  if (comma == std::u16string::npos) return false;
  try {
    x = std::stoi(std::string(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(comma)));
    y = std::stoi(std::string(text.begin() + static_cast<std::ptrdiff_t>(comma) + 1, text.end()));
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace

StopForm::StopForm(StopFormOptions options, std::function<void()> on_stop)
    : m_options(options), m_on_stop(std::move(on_stop)) {
  static const bool registered = register_window_class(k_class, window_proc);
  (void)registered;
  DWORD ex = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME | (m_options.no_task_bar ? WS_EX_TOOLWINDOW : WS_EX_APPWINDOW);
  m_window = CreateWindowExW(ex, k_class, L"VESK", k_style, 0, 0, 100, 60, nullptr, nullptr,
                             GetModuleHandleW(nullptr), this);
  set_client_size(m_window, 122, 24);
  RECT r;
  GetWindowRect(m_window, &r);
  m_normal_width = r.right - r.left;
  m_normal_height = r.bottom - r.top;
  m_font = Font(environment().japanese ? u"MS UI Gothic" : u"Times New Roman", 9);
  m_button = make_control(m_window, L"BUTTON", u"STOP", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 0, 122, 24, k_stop_id,
                          m_font.get());
  gui::register_own_window(m_window);
  gui::register_host_window(u"__GET_STOPFORM_WIN__", m_window);
}

StopForm::~StopForm() {
  if (!m_window) return;
  gui::register_own_window(m_window, false);
  SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
  DestroyWindow(m_window);
}

LRESULT CALLBACK StopForm::window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  auto* self = reinterpret_cast<StopForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) switch (msg) {
      case WM_COMMAND:
        if (LOWORD(wparam) == k_stop_id || LOWORD(wparam) == IDOK) {
          if (self->m_on_stop) self->m_on_stop();
          return 0;
        }
        break;
      case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        if (self->m_on_stop) self->m_on_stop();
        return 0;
      case WM_SIZE:
        if (self->m_button) MoveWindow(self->m_button, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
      case WM_TIMER:
        // Keeps the recording form at the top without taking the focus.
        if (!IsWindowVisible(window)) {
          KillTimer(window, k_top_timer);
        } else if (GetForegroundWindow() != window) {
          SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        return 0;
    }
  return DefWindowProcW(window, msg, wparam, lparam);
}

void StopForm::set_caption(const std::u16string& caption) {
  m_caption = caption;
  SetWindowTextW(m_window, wide(caption));
}

void StopForm::restore_normal() {
  SetWindowLongPtrW(m_window, GWL_STYLE, k_style);
  ShowWindow(m_button, SW_SHOW);
  SetWindowPos(m_window, nullptr, 0, 0, m_normal_width, m_normal_height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// Shown, or with the letter "S" present but invisible: no size, far above
// the screen (or at 0,0 without border when a monitor lies above).
void StopForm::show_visible() {
  if (m_options.never_show) return;
  if (m_options.invisible) {
    ShowWindow(m_button, SW_HIDE);
    bool above = GetSystemMetrics(SM_YVIRTUALSCREEN) < 0;
    if (above) SetWindowLongPtrW(m_window, GWL_STYLE, WS_POPUP);
    SetWindowPos(m_window, nullptr, 0, above ? 0 : -999999, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  ShowWindow(m_window, SW_SHOWNOACTIVATE);
  SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void StopForm::enter(RunState state, const std::u16string& caption, bool keep_on_top) {
  m_state = state;
  switch (state) {
    case RunState::Recording:
      set_caption(message(MessageId::StopRecordingCaption));
      show_visible();
      if (keep_on_top) SetTimer(m_window, k_top_timer, 1000, nullptr);
      break;
    case RunState::Running:
      set_caption(caption);
      show_visible();
      break;
    case RunState::Paused:
      set_caption(message(MessageId::StopPausedCaption) + caption);
      show_visible();
      break;
    case RunState::Idle:
      ShowWindow(m_window, SW_HIDE);
      KillTimer(m_window, k_top_timer);
      if (!m_options.invisible) restore_normal();
      m_placed = false;
      break;
  }
}

void StopForm::move_to(int32_t x, int32_t y) {
  SetWindowPos(m_window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void StopForm::script_show(bool show, int32_t x, int32_t y, int count, bool one_shot,
                           const std::u16string& launcher_caption, POINT launcher_position,
                           const std::u16string& settings_position) {
  bool placed_now = false;
  if (show && one_shot) {
    int32_t sx = 0, sy = 0;
    if (!m_placed && read_xy(settings_position, sx, sy)) {
      move_to(sx, sy);
      m_placed = placed_now = true;
    }
    set_caption(launcher_caption);
  }
  if (show && count >= 3) {
    move_to(x, y);
    m_placed = placed_now = true;
  }
  if (m_options.invisible) return;
  if (show) {
    restore_normal();
    if (!placed_now && !m_placed) move_to(launcher_position.x, launcher_position.y);
    if (one_shot) {
      LONG_PTR ex = GetWindowLongPtrW(m_window, GWL_EXSTYLE);
      SetWindowLongPtrW(m_window, GWL_EXSTYLE, (ex & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
    }
    ShowWindow(m_window, SW_SHOWNOACTIVATE);
    SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else {
    bool above = GetSystemMetrics(SM_YVIRTUALSCREEN) < 0;
    SetWindowLongPtrW(m_window, GWL_STYLE, above ? WS_POPUP : (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_BORDER));
    SetWindowPos(m_window, nullptr, 0, above ? 0 : -999999, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

}  // namespace vesk::dialogs
#endif
