// The one-line IF: "IF c THEN a ELSE b" becomes the block "IFB c", a,
// "ELSE", b, "ENDIF"; "IF c" alone opens a block IF.
#include "engine/loader/prepass_state.h"
#include "engine/loader/prepass_text.h"
#include "support/text.h"

namespace vesk::prepass {
namespace {

constexpr std::u16string_view k_token_breaks = u" ,+-*/=<>()!?";

struct OneLineIf {
  std::u16string condition;
  std::u16string marker;  // set when the line is wrong
  bool has_parts = false;
  std::u16string then_part;
  std::u16string else_part;
};

// The first of the six-character patterns [a] and [b] in [masked]; [kept]
// is 1 when the match is [b], whose ")" belongs to the text before it.
size_t find_either(const std::u16string& masked, std::u16string_view a, std::u16string_view b, size_t& kept) {
  size_t x = masked.find(a), y = masked.find(b);
  kept = y < x ? 1 : 0;
  return std::min(x, y);
}

// cond THEN part [ELSE part]; [rest] is the line without "IF".
void split_parts(std::u16string rest, OneLineIf& out) {
  std::u16string masked = mask_literals(rest);
  size_t kept = 0;
  size_t then = find_either(masked, u" THEN ", u")THEN ", kept);
  if (then == std::u16string::npos) {
    if (find_either(masked, u" ELSE ", u")ELSE ", kept) != std::u16string::npos) {
      out.marker = u"THEN: SyntaxError";
    } else {
      out.condition = rest;  // the head of a block IF
    }
    return;
  }
  out.condition = std::u16string(trim_blanks(std::u16string_view(rest).substr(0, then + kept)));
  std::u16string after(trim_blanks(std::u16string_view(rest).substr(then + 6)));
  if (starts_with(after, u"ELSE ")) after = u" " + after;
  out.has_parts = true;
  size_t otherwise = find_either(mask_literals(after), u" ELSE ", u")ELSE ", kept);
  if (otherwise == std::u16string::npos) {
    out.then_part = std::u16string(trim_blanks(after));
    return;
  }
  out.then_part = std::u16string(trim_blanks(std::u16string_view(after).substr(0, otherwise + kept)));
  out.else_part = std::u16string(trim_blanks(std::u16string_view(after).substr(otherwise + 6)));
}

OneLineIf parse_one_line_if(std::u16string_view text) {
  OneLineIf out;
  std::u16string rest(trim_blanks(text.substr(2)));
  std::u16string masked = u" " + mask_literals(rest) + u" ";
  if (masked.find(u" IF ") != std::u16string::npos || masked.find(u" IFB ") != std::u16string::npos ||
      masked.find(u" ELSEIF ") != std::u16string::npos) {
    out.marker = u"SyntaxError-85";
    return out;
  }
  size_t semicolon = masked.find(u';');
  if (semicolon != std::u16string::npos) {
    if (semicolon != masked.size() - 2) {
      out.marker = message(MessageId::LoadIfLineMultiStatement);
      return out;
    }
    rest = std::u16string(trim_blanks(std::u16string_view(rest).substr(0, rest.size() - 1)));
  }
  split_parts(rest, out);
  return out;
}

}  // namespace

bool PrePass::expand_one_line_if(std::u16string_view text) {
  if (m_in_function && holds_token(text, u"RESULT", k_token_breaks)) {
    if (m_function_kind == FunctionKind::Procedure) {
      append_marker(message(MessageId::LoadResultInProcedure, m_function));
      return true;
    }
    m_result_seen = true;
  }
  OneLineIf parsed = parse_one_line_if(text);
  if (!parsed.marker.empty()) {
    append_marker(parsed.marker);
    return true;
  }
  if (!append(u"IFB " + parsed.condition)) return false;
  if (!parsed.has_parts) return true;
  auto part = [](const std::u16string& p) { return p.empty() ? std::u16string(k_nop_statement) : p; };
  return append(part(parsed.then_part)) && append(u"ELSE") && append(part(parsed.else_part)) && append(u"ENDIF");
}

}  // namespace vesk::prepass
