// The log file's buffer: the append rule, the line limit and the writes.
#include "app/dialogs/log_file.h"

#include <cstdio>

#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

std::u16string two_digits(int32_t n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", static_cast<int>(n % 100));
  return u16(text);
}

}  // namespace

void LogFile::set_line_limit_text(std::u16string_view text) {
  size_t cut = text.find(u", ");
  std::u16string_view number = trim_blanks(text.substr(0, cut));
  int64_t n = 0;
  bool ok = !number.empty() && number.size() < 10;
  for (char16_t c : number) {
    if (c < u'0' || c > u'9') ok = false;
    else n = n * 10 + (c - u'0');
  }
  if (!ok || n < 1) n = 2000;
  if (n > 32000) n = 32000;
  m_line_limit = static_cast<int32_t>(n);
}

void LogFile::run_start_reset() {
  m_dirty = false;
  m_mode = 0;
  m_path_override.clear();
  m_saved_limit = -1;
}

void LogFile::set_mode(int32_t mode) {
  m_mode = mode;
  if (mode & 4) m_lines.clear();  // a fresh file
}

void LogFile::set_path_override(std::u16string path) {
  m_path_override = std::move(path);
  if (!m_path_override.empty()) m_lines.clear();  // the next line loads the new file
}

void LogFile::set_line_limit_for_run(int32_t limit) {
  if (m_saved_limit < 0) m_saved_limit = m_line_limit;
  m_line_limit = limit;
}

void LogFile::load() {
  std::optional<std::string> bytes = platform::read_file_bytes(path());
  if (!bytes) return;
  DecodedText decoded = decode_text_bytes(*bytes);
  for (std::u16string& line : split_lines(decoded.text)) m_lines.push_back(std::move(line));
  while (!m_lines.empty() && m_lines.back().empty()) m_lines.pop_back();
}

void LogFile::add_line(std::u16string_view text, const LogTime& now) {
  try {
    if (m_lines.empty() && !(m_mode & 4)) load();
    std::u16string body(text.substr(0, k_longest_line));
    if (text.size() > k_longest_line) body += u"...";
    std::u16string line;
    switch (m_mode & 3) {
      case 1: return;  // no file
      case 2: line = std::move(body); break;
      default: {
        line = two_digits(now.year) + u"/" + two_digits(now.month) + u"/" + two_digits(now.day) + u" " +
               two_digits(now.hour) + u":" + two_digits(now.minute);
        if ((m_mode & 3) == 3) line += u":" + two_digits(now.second);
        line += u"  " + body;
      }
    }
    while (!m_lines.empty() && static_cast<int32_t>(m_lines.size()) >= m_line_limit) m_lines.pop_front();
    m_lines.push_back(std::move(line));
    m_dirty = true;
  } catch (...) {
  }
}

void LogFile::write() {
  if (!m_dirty) return;
  m_dirty = false;
  try {
    std::string bytes;
    for (const std::u16string& line : m_lines) bytes += utf16_to_utf8(line) + "\r\n";
    platform::replace_file_bytes(path(), bytes);
  } catch (...) {
  }
}

void LogFile::write_if_minute_changed(const LogTime& now) {
  if (!m_dirty || now.minute == m_last_minute) return;
  m_last_minute = now.minute;
  write();
}

void LogFile::run_end() {
  if (!m_path_override.empty()) m_lines.clear();
  if (m_saved_limit >= 0) m_line_limit = m_saved_limit;
  m_saved_limit = -1;
  m_path_override.clear();
}

}  // namespace vesk
