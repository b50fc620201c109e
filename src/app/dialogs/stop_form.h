// The stop form TFTeisi: shown while a script runs or a recording is made,
// its STOP button ends either; its caption tells the paused state. Its run
// state is the state of the whole host. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/dialogs/dialog_windows.h"

namespace vesk::dialogs {

enum class RunState { Idle = 0, Recording = 1, Running = 2, Paused = 3 };

struct StopFormOptions {
  bool never_show = false;      // the setting StopForm "1"
  bool invisible = false;       // the embedded-script letter "S"
  bool no_task_bar = false;     // the embedded-script letter "T"
};

class StopForm {
 public:
  StopForm(StopFormOptions options, std::function<void()> on_stop);
  ~StopForm();
  StopForm(const StopForm&) = delete;
  StopForm& operator=(const StopForm&) = delete;

  HWND window() const { return m_window; }
  RunState state() const { return m_state; }
  const std::u16string& caption() const { return m_caption; }

  // Enters [state]; [caption] is the launcher's caption (the script name).
  // [keep_on_top]: while recording, a one-second timer keeps the form at
  // the top of the z-order.
  void enter(RunState state, const std::u16string& caption, bool keep_on_top = false);
  // The state alone, nothing shown (the one-shot launch mode).
  void set_state(RunState state) { m_state = state; }
  void move_to(int32_t x, int32_t y);
  // STOPFORM: [count] arguments; [one_shot] the one-shot launch mode or an
  // embedded script; [settings_position] the `Position` of the settings.
  void script_show(bool show, int32_t x, int32_t y, int count, bool one_shot, const std::u16string& launcher_caption,
                   POINT launcher_position, const std::u16string& settings_position);

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  void set_caption(const std::u16string& caption);
  void show_visible();
  void restore_normal();

  HWND m_window = nullptr;
  HWND m_button = nullptr;
  Font m_font;
  StopFormOptions m_options;
  std::function<void()> m_on_stop;
  RunState m_state = RunState::Idle;
  std::u16string m_caption;
  int m_normal_width = 0, m_normal_height = 0;
  bool m_placed = false;
};

}  // namespace vesk::dialogs
