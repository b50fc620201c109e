// The escape forms of script text: "<#_DBL>", "<#CR>" and their kin.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace vesk {

// Expands the escapes of [text]: "<#_DBL>", "<#_CR>" and "<#_TAB>" always;
// "<#DBL>", "<#CR>" and "<#TAB>" unless [special_char] (OPTION SPECIALCHAR)
// is in force. "CR" stands for a carriage return and line feed.
std::u16string expand_escapes(std::u16string_view text, bool special_char);

// Writes texts one after another into a buffer and tells whether the
// escape mark formed where two of them meet, so that a text made of parts
// known to hold no escape is known to hold none without a scan of it.
class JoiningWriter {
 public:
  explicit JoiningWriter(char16_t* out) : m_at(out) {}
  void write(std::u16string_view part) {
    if (part.empty()) return;
    if (m_last == u'<' && part.front() == u'#') m_mark_formed = true;
    m_at = std::copy(part.begin(), part.end(), m_at);
    m_last = part.back();
  }
  bool mark_formed() const { return m_mark_formed; }

 private:
  char16_t* m_at;
  char16_t m_last = 0;
  bool m_mark_formed = false;
};

}  // namespace vesk
