// Text scanning shared by the pre-pass and the pairing pass.
#include "engine/loader/prepass_text.h"

#include "support/text.h"

namespace vesk::prepass {

std::u16string first_word(std::u16string_view text) {
  text = trim_blanks(text);
  return std::u16string(text.substr(0, text.find(u' ')));
}

std::u16string rest_after_word(std::u16string_view text) {
  text = trim_blanks(text);
  size_t blank = text.find(u' ');
  if (blank == std::u16string_view::npos) return {};
  return std::u16string(trim_blanks(text.substr(blank + 1)));
}

std::u16string mask_literals(std::u16string_view text) {
  std::u16string out(text);
  bool quoted = false;
  for (char16_t& c : out) {
    if (c == u'"') {
      quoted = !quoted;
      continue;
    }
    if (quoted) c = u'\u0001';
  }
  return out;
}

size_t find_outside_quotes(std::u16string_view text, std::u16string_view pattern, size_t from) {
  return mask_literals(text).find(pattern, from);
}

std::vector<std::u16string> split_outside(std::u16string_view text, char16_t separator, bool nested,
                                          bool drop_empty) {
  std::vector<std::u16string> pieces;
  int depth = 0;
  bool quoted = false;
  size_t start = 0;
  auto take = [&](size_t end) {
    std::u16string_view piece = trim_blanks(text.substr(start, end - start));
    if (!piece.empty() || !drop_empty) pieces.emplace_back(piece);
    start = end + 1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (nested && (c == u'(' || c == u'[')) ++depth;
    if (nested && (c == u')' || c == u']') && depth > 0) --depth;
    if (c == separator && depth == 0) take(i);
  }
  take(text.size());
  return pieces;
}

bool holds_token(std::u16string_view text, std::u16string_view word, std::u16string_view separators) {
  std::u16string masked = mask_literals(text);
  for (size_t at = masked.find(word); at != std::u16string::npos; at = masked.find(word, at + 1)) {
    bool left = at == 0 || separators.find(masked[at - 1]) != std::u16string_view::npos;
    size_t end = at + word.size();
    bool right = end == masked.size() || separators.find(masked[end]) != std::u16string_view::npos;
    if (left && right) return true;
  }
  return false;
}

bool holds_any(std::u16string_view text, std::u16string_view set) {
  return text.find_first_of(set) != std::u16string_view::npos;
}

std::u16string decimal(long long number) {
  std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

bool read_integer(std::u16string_view text, long long& number) {
  text = trim_blanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
    negative = text[0] == u'-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 10) return false;
  long long value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  number = negative ? -value : value;
  return true;
}

std::u16string unquote(std::u16string_view text) {
  text = trim_blanks(text);
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') text = text.substr(1, text.size() - 2);
  return std::u16string(text);
}

}  // namespace vesk::prepass
