// The log window TVScript: the interpreter's own window, a top-most form
// with the read-only memo Msrc, and the log file behind it. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/dialogs/dialog_windows.h"
#include "app/dialogs/log_display.h"
#include "app/dialogs/log_file.h"

namespace vesk::dialogs {

class LogWindow {
 public:
  // [log_path] is the default log file; [writes_file] false never writes
  // it (an embedded script built with "L").
  LogWindow(std::u16string log_path, bool writes_file);
  ~LogWindow();
  LogWindow(const LogWindow&) = delete;
  LogWindow& operator=(const LogWindow&) = delete;

  HWND window() const { return m_window; }
  LogFile& file() { return m_file; }

  // The settings' "LogLines" and "DefaultFont" ("name,size").
  void set_line_limit_text(std::u16string_view text);
  void set_font_text(std::u16string_view text);
  // OPTION LOGLINES for one run, and its undoing at the run's end.
  void set_run_line_limit(int32_t limit);
  void end_run_options();

  // A PRINT line.
  void print(const std::u16string& text);
  // An error's full text: into the log file only.
  void log_error(const std::u16string& line);
  // Before the first statement of a run; [keep] keeps the memo's lines.
  void run_start(bool keep = false);
  // LOGPRINT with [count] arguments.
  void log_print(bool show, int32_t x, int32_t y, int32_t width, int32_t height, int count);
  void write_file();
  bool dirty() const { return m_file.dirty(); }

  // The log window follows the launcher bar on its first showing.
  void set_bar_rect_source(std::function<RECT()> bar) { m_bar = std::move(bar); }

 private:
  void show();
  void rebuild_memo();
  void queue_for_memo(const std::u16string& text);
  void flush_memo();
  static LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND m_window = nullptr;
  HWND m_memo = nullptr;
  Font m_window_font, m_memo_font;
  LogDisplay m_display;
  LogFile m_file;
  bool m_writes_file = true;
  bool m_show = true;
  bool m_position_fixed = false;
  std::u16string m_pending;  // lines not yet in the memo
  std::function<RECT()> m_bar;
};

}  // namespace vesk::dialogs
