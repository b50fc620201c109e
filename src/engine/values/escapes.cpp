// Escape expansion of script text.
#include "engine/values/escapes.h"

#include "support/text_search.h"

namespace vesk {
namespace {

// Left to right, each replacement searched for after the last one; the
// text is rebuilt once, so many escapes in a long text stay linear.
void replace_every(std::u16string& text, std::u16string_view from, std::u16string_view to) {
  size_t at = find_text(text, from);
  if (at == std::u16string::npos) return;
  std::u16string out;
  out.reserve(text.size());
  size_t done = 0;
  for (; at != std::u16string::npos; at = find_text(text, from, done)) {
    out.append(text, done, at - done).append(to);
    done = at + from.size();
  }
  out.append(text, done);
  text = std::move(out);
}

// Expands in place; does nothing (and allocates nothing) when [text] holds
// no "<#".
void expand_escapes_in_place(std::u16string& text, bool special_char) {
  if (!holds_escape_mark(text)) return;
  if (find_text(text, u"<#_") != std::u16string::npos) {
    replace_every(text, u"<#_DBL>", u"\"");
    replace_every(text, u"<#_CR>", u"\r\n");
    replace_every(text, u"<#_TAB>", u"\t");
  }
  if (!special_char && holds_escape_mark(text)) {
    replace_every(text, u"<#DBL>", u"\"");
    replace_every(text, u"<#CR>", u"\r\n");
    replace_every(text, u"<#TAB>", u"\t");
  }
}

}  // namespace

std::u16string expand_escapes(std::u16string_view text, bool special_char) {
  std::u16string out(text);
  expand_escapes_in_place(out, special_char);
  return out;
}

}  // namespace vesk
