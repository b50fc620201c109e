// Escape expansion of script text.
#include "engine/values/escapes.h"

namespace vesk {
namespace {

void replace_every(std::u16string& text, std::u16string_view from, std::u16string_view to) {
  for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

void expand_escapes_in_place(std::u16string& text, bool special_char) {
  if (text.find(u"<#") == std::u16string::npos) return;
  if (text.find(u"<#_") != std::u16string::npos) {
    replace_every(text, u"<#_DBL>", u"\"");
    replace_every(text, u"<#_CR>", u"\r\n");
    replace_every(text, u"<#_TAB>", u"\t");
  }
  if (!special_char && text.find(u"<#") != std::u16string::npos) {
    replace_every(text, u"<#DBL>", u"\"");
    replace_every(text, u"<#CR>", u"\r\n");
    replace_every(text, u"<#TAB>", u"\t");
  }
}

std::u16string expand_escapes(std::u16string_view text, bool special_char) {
  std::u16string out(text);
  expand_escapes_in_place(out, special_char);
  return out;
}

}  // namespace vesk
