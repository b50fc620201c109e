// The launcher bar TFOya: a small fixed window with five drawn buttons
// (load, save, play, record, tools), the tool menu on a right click, its
// keys, and dropped files. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/dialogs/dialog_windows.h"

namespace vesk::host {

inline constexpr wchar_t k_launcher_class[] = L"TFOya";

// The private messages between launchers and to itself.
inline constexpr UINT k_msg_run_command_line = WM_APP + 2;
inline constexpr UINT k_msg_record = WM_APP + 4;
inline constexpr UINT k_msg_tray = WM_APP + 8;
inline constexpr UINT k_msg_hand_over = WM_APP + 10;
inline constexpr UINT k_msg_schedules = WM_APP + 12;
inline constexpr UINT k_msg_stop_key_back = WM_APP + 90;

enum class BarButton { Load, Save, Play, Rec, Tool };

// What the bar asks of the host.
struct LauncherEvents {
  std::function<void(BarButton)> pressed;
  std::function<void(POINT)> tool_menu;   // at that screen point
  std::function<void(const std::u16string&)> dropped;
  std::function<void(UINT, WPARAM, LPARAM)> private_message;
  std::function<void()> timer;            // TimerOutcomWin, every 500 ms
  std::function<void()> closing;
  std::function<void(int32_t)> hot_key;  // the identifier registered
};

class LauncherBar {
 public:
  explicit LauncherBar(LauncherEvents events);
  ~LauncherBar();
  LauncherBar(const LauncherBar&) = delete;
  LauncherBar& operator=(const LauncherBar&) = delete;

  HWND window() const { return m_window; }
  void enable(BarButton button, bool on);
  bool enabled(BarButton button) const;
  void focus(BarButton button);
  // Key preview: the bar's letter keys, and ALT and F10 swallowed. True
  // when [msg] was taken.
  bool preview_key(const MSG& msg);
  // Makes the bar invisible: no size, far above the screen.
  void make_invisible();
  // Sets the hints and the system menu's entry in the process language.
  void set_language_texts();

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT msg, WPARAM wparam, LPARAM lparam);
  void draw_button(const DRAWITEMSTRUCT& item);

  HWND m_window = nullptr;
  HWND m_buttons[5] = {};
  HWND m_tips = nullptr;
  LauncherEvents m_events;
};

}  // namespace vesk::host
