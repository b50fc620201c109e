// The log window's lines and places: the display list with its line limit,
// the memo that is trimmed in bursts, and the rules that keep the window
// reachable on the desktop. Portable: the window itself only shows what
// this decides.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace vesk {

struct LogRect {
  int32_t left = 0, top = 0, width = 0, height = 0;
};

class LogDisplay {
 public:
  // What the memo must do after a line was added.
  enum class MemoChange { Append, Rebuild };

  void set_line_limit(int32_t limit) { m_limit = limit < 1 ? 1 : limit; }
  int32_t line_limit() const { return m_limit; }

  // Adds [text]: the display list keeps at most the limit; the memo holds
  // what it held plus this line, and is rebuilt from the display list once
  // it holds more than the limit and a tenth of it.
  MemoChange add(const std::u16string& text);
  // Run start: the memo is cleared unless [keep]; the display list takes
  // what the memo still holds.
  void run_start(bool keep);

  const std::deque<std::u16string>& lines() const { return m_lines; }
  int32_t memo_lines() const { return m_memo_lines; }

 private:
  std::deque<std::u16string> m_lines;
  int32_t m_memo_lines = 0;
  int32_t m_limit = 2000;
};

// After a PRINT: [window] moved back so that it can be reached on
// [desktop] (the whole virtual screen).
LogRect keep_reachable(LogRect window, const LogRect& desktop);

// The first showing: against the launcher bar [bar] (below it when the
// bar's top is less than the window's height, else above it), then
// clamped to [desktop].
LogRect place_against_bar(LogRect window, const LogRect& bar, const LogRect& desktop);
// The clamp of a showing.
LogRect clamp_to_desktop(LogRect window, const LogRect& desktop);

}  // namespace vesk
