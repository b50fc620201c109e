// Line normalisation for the run text.
#include "engine/loader/line_normaliser.h"

#include <string>

#include "support/text.h"
#include "support/utf.h"

namespace vesk::loader {
namespace {

constexpr std::u16string_view k_call = u"CALL";

bool is_member_char(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'$' ||
         c == u'_' || c == u'@';
}

// Turns full-width blanks and tabs outside literals into blanks.
std::u16string fold_blanks_outside_literals(std::u16string_view line) {
  std::u16string out(line);
  bool quoted = false;
  for (char16_t& c : out) {
    if (c == u'"') quoted = !quoted;
    if (!quoted && (c == u'\t' || c == k_full_width_blank)) c = u' ';
  }
  return out;
}

}  // namespace

std::u16string first_word(std::u16string_view line) {
  size_t end = line.find_first_of(u"; ");
  return ascii_upper(trim_blanks(line.substr(0, end)));
}

std::u16string_view cut_comment(std::u16string_view line) {
  bool quoted = false;
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    if (line[i] == u'"') quoted = !quoted;
    if (!quoted && line[i] == u'/' && line[i + 1] == u'/') return line.substr(0, i);
  }
  return line;
}

std::u16string upper_outside_literals(std::u16string_view line, bool keep_members) {
  std::u16string out(line);
  bool quoted = false;
  bool member = false;
  for (size_t i = 0; i < out.size(); ++i) {
    char16_t c = out[i];
    if (c == u'"') {
      quoted = !quoted;
      member = false;
      continue;
    }
    if (quoted) continue;
    if (keep_members && c == u'.') {
      member = true;
      continue;
    }
    if (member && is_member_char(c)) continue;
    member = false;
    out[i] = ascii_upper(c);
  }
  return out;
}

size_t find_call(std::u16string_view line, bool full_width_counts, size_t from) {
  bool quoted = false;
  for (size_t i = from; i < line.size(); ++i) {
    if (line[i] == u'"') quoted = !quoted;
    if (quoted || !ascii_iequals(line.substr(i, k_call.size()), k_call)) continue;
    if (i + k_call.size() >= line.size()) continue;
    char16_t after = line[i + k_call.size()];
    if (after != u' ' && !(full_width_counts && after == k_full_width_blank)) continue;
    char16_t before = i == 0 ? u' ' : line[i - 1];
    if (before == u' ' || before == u';' || (full_width_counts && before == k_full_width_blank)) return i;
  }
  return std::u16string_view::npos;
}

int ModuleNumbers::number_of(const std::u16string& name) {
  auto [it, added] = m_numbers.try_emplace(name, static_cast<int>(m_numbers.size()));
  return it->second;
}

std::u16string LineNormaliser::normalise(std::u16string_view raw) {
  std::u16string line(cut_comment(raw));
  if (!m_text_block) {
    line = std::u16string(trim_blanks(line));
    if (!line.empty() && line.back() == u'_') {
      line.pop_back();
      m_continuation += line;
      return {};
    }
    if (!m_continuation.empty()) {
      line = std::u16string(cut_comment(m_continuation + line));
      m_continuation.clear();
    }
  }
  line = std::u16string(trim_blanks(fold_blanks_outside_literals(trim_blanks(line))));
  std::u16string word = first_word(line);
  if (!m_text_block && word == u"TEXTBLOCK") {
    m_text_block = true;
    return ascii_upper(line);
  }
  if (word == u"ENDTEXTBLOCK") m_text_block = false;
  if (m_text_block) return std::u16string(raw);
  return canonical_form(std::move(line), word);
}

std::u16string LineNormaliser::canonical_form(std::u16string line, const std::u16string& word) {
  if (ascii_istarts_with(line, u"DEF_DLL ")) return u"DEF_DLL" + line.substr(7);
  if (ascii_istarts_with(line, u"PROCEDURE ")) return upper_outside_literals(trim_blanks(line), false);

  std::u16string out;
  size_t call = line.find(k_full_width_blank) == std::u16string::npos ? std::u16string::npos
                                                                      : find_call(line, true);
  if (call != std::u16string::npos) {
    std::u16string head = replace_all(std::u16string_view(line).substr(0, call), k_full_width_blank, u' ');
    std::u16string_view rest = trim_blanks(std::u16string_view(line).substr(call + k_call.size() + 1));
    out = upper_outside_literals(head + u"CALL " + std::u16string(rest), false);
  } else {
    out = upper_outside_literals(line, true);
  }

  if (word == u"MODULE" || word == u"CLASS") {
    std::u16string name = first_word(trim_blanks(std::u16string_view(out).substr(word.size())));
    if (!name.empty()) out += u" " + u16(std::to_string(m_modules.number_of(name)));
  }
  return out;
}

}  // namespace vesk::loader
