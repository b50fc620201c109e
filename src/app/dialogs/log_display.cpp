// The log window's display list and placement rules.
#include "app/dialogs/log_display.h"

#include <algorithm>

namespace vesk {

LogDisplay::MemoChange LogDisplay::add(const std::u16string& text) {
  m_lines.push_back(text);
  ++m_memo_lines;
  while (static_cast<int32_t>(m_lines.size()) > m_limit) m_lines.pop_front();
  if (m_memo_lines > m_limit + m_limit / 10) {
    m_memo_lines = static_cast<int32_t>(m_lines.size());
    return MemoChange::Rebuild;
  }
  return MemoChange::Append;
}

void LogDisplay::run_start(bool keep) {
  if (!keep) {
    m_lines.clear();
    m_memo_lines = 0;
    return;
  }
  while (static_cast<int32_t>(m_lines.size()) > m_memo_lines) m_lines.pop_front();
}

LogRect keep_reachable(LogRect w, const LogRect& d) {
  int32_t right = d.left + d.width, bottom = d.top + d.height;
  if (w.left < d.left - w.width / 2) w.left = d.left - w.width / 2;
  if (w.left >= right - 60) w.left = right - 60;
  if (w.top < d.top) w.top = d.top;
  if (w.top >= bottom - 60) w.top = bottom - 60;
  return w;
}

LogRect clamp_to_desktop(LogRect w, const LogRect& d) {
  int32_t right = d.left + d.width, bottom = d.top + d.height;
  if (w.left < d.left) w.left = d.left;
  if (w.top < d.top) w.top = d.top;
  if (w.left >= right) w.left = right - std::min(40, w.width);
  if (w.top >= bottom) w.top = bottom - std::min(40, w.height);
  return w;
}

LogRect place_against_bar(LogRect w, const LogRect& bar, const LogRect& d) {
  w.left = bar.left;
  w.top = bar.top < w.height ? bar.top + bar.height : bar.top - w.height;
  return clamp_to_desktop(w, d);
}

}  // namespace vesk
