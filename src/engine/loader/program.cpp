// Location texts of statements.
#include "engine/loader/program.h"

#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

void restore_escapes(std::u16string& text) {
  for (auto [from, to] : {std::pair<std::u16string_view, std::u16string_view>{u"<#_DBL>", u"<#DBL>"},
                          {u"<#_CR>", u"<#CR>"},
                          {u"<#_TAB>", u"<#TAB>"}}) {
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  }
}

}  // namespace

std::u16string location_text(const Program& program, int32_t statement, bool embedded) {
  if (statement < 0 || statement >= static_cast<int32_t>(program.lines.size())) return {};
  std::u16string prefix;
  for (int32_t i = statement; i >= 0; --i) {
    const std::u16string& entry = program.lines[i];
    size_t at = entry.find(u",PROCEDURE ");
    if (at == std::u16string::npos || entry.find(u".VSK") == std::u16string::npos) continue;
    size_t start = at + 11;
    size_t open = entry.find(u'(', start);
    std::u16string path = entry.substr(start, open == std::u16string::npos ? std::u16string::npos : open - start);
    if (embedded) path = path.substr(path.find_last_of(u'\\') + 1);
    prefix = path + u": ";
    break;
  }
  std::u16string entry = program.lines[statement];
  restore_escapes(entry);
  size_t split = entry.find_first_of(u", ");
  std::u16string number = entry.substr(0, split);
  std::u16string source = split == std::u16string::npos ? u"" : entry.substr(split + 1);
  if (message_language_is_japanese()) return prefix + number + u"行目: " + source;
  return prefix + u"at line " + number + u": " + source;
}

}  // namespace vesk
