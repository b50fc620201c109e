// Blank trimming and ASCII case helpers for UTF-16 script text.
#include "support/text.h"

namespace vesk {

std::u16string ascii_upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = ascii_upper(c);
  return out;
}

std::u16string_view trim_blanks(std::u16string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && is_blank(text[b])) ++b;
  while (e > b && is_blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool ascii_iequals(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  return true;
}

bool ascii_istarts_with(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && ascii_iequals(text.substr(0, prefix.size()), prefix);
}

bool starts_with(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::u16string_view text, std::u16string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::u16string replace_all(std::u16string_view text, char16_t from, char16_t to) {
  std::u16string out(text);
  for (char16_t& c : out)
    if (c == from) c = to;
  return out;
}

}  // namespace vesk
