// The log file: every PRINT line and every shown error, with a time stamp,
// kept in a buffer across runs and written at the end of each run (and about
// once a minute while a run is long). The log window shows the same lines.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace vesk {

// A local time as the log stamps it.
struct LogTime {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class LogFile {
 public:
  static constexpr size_t k_longest_line = 64000;

  explicit LogFile(std::u16string default_path) : m_default_path(std::move(default_path)) {}

  // The settings' "LogLines" text: the part before the first ", " if it is
  // a number; below 1 gives 2000, above 32000 gives 32000.
  void set_line_limit_text(std::u16string_view text);
  int32_t line_limit() const { return m_line_limit; }

  // Before the first statement of a run.
  void run_start_reset();
  // The run's OPTION LOGFILE, LOGPATH and LOGLINES.
  void set_mode(int32_t mode);
  void set_path_override(std::u16string path);
  void set_line_limit_for_run(int32_t limit);

  // Adds [text] to the buffer by the mode's rule (loading the file first
  // when the buffer is empty). Failures are swallowed: logging never stops
  // a script.
  void add_line(std::u16string_view text, const LogTime& now);
  // Writes the buffer when a line was added since the last write, as UTF-8
  // without a byte-order mark, replacing the file whole.
  void write();
  // The periodic write: once the minute of [now] differs from the last check.
  void write_if_minute_changed(const LogTime& now);
  // After the last write of a run: undoes LOGPATH and LOGLINES.
  void run_end();

  std::u16string path() const { return m_path_override.empty() ? m_default_path : m_path_override; }
  const std::deque<std::u16string>& lines() const { return m_lines; }
  // A line was added since the last write.
  bool dirty() const { return m_dirty; }
  // The write of a program that keeps no log file: the lines count as
  // written.
  void drop_pending() { m_dirty = false; }

 private:
  void load();

  std::u16string m_default_path;
  std::deque<std::u16string> m_lines;
  bool m_dirty = false;
  int32_t m_line_limit = 2000;
  int32_t m_mode = 0;
  std::u16string m_path_override;
  int32_t m_saved_limit = -1;
  int32_t m_last_minute = -1;
};

}  // namespace vesk
