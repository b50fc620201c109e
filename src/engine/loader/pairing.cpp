// The classification loop and the pairing of block openers with their
// middle and closing statements.
#include "engine/loader/pairing.h"

#include <string>
#include <vector>

#include "engine/loader/prepass_text.h"
#include "support/messages.h"
#include "support/text.h"

namespace vesk {
namespace {

using prepass::decimal;
using prepass::mask_literals;

struct KindWord {
  std::u16string_view word;
  StatementKind kind;
};

constexpr KindWord k_kinds[] = {
    {u"IFB", StatementKind::Ifb},           {u"ELSEIF", StatementKind::Ifb},
    {u"ENDIF", StatementKind::EndIf},       {u"ELSE", StatementKind::Else},
    {u"FOR", StatementKind::For},           {u"NEXT", StatementKind::Next},
    {u"WHILE", StatementKind::While},       {u"WEND", StatementKind::Wend},
    {u"REPEAT", StatementKind::Repeat},     {u"UNTIL", StatementKind::Until},
    {u"SELECT", StatementKind::Select},     {u"SELEND", StatementKind::SelEnd},
    {u"CASE", StatementKind::Case},         {u"DEFAULT", StatementKind::Default},
    {u"TRY", StatementKind::Try},           {u"FINALLY", StatementKind::Finally},
    {u"EXCEPT", StatementKind::Except},     {u"ENDTRY", StatementKind::EndTry},
    {u"PRINT", StatementKind::Print},       {u"THREAD", StatementKind::Thread},
    {u"DEF_DLL", StatementKind::DefDll},    {u"DIM", StatementKind::Dim},
    {u"HASHTBL", StatementKind::HashTbl},   {u"BREAK", StatementKind::Break},
    {u"CONTINUE", StatementKind::Continue}, {u"EXIT", StatementKind::Exit},
    {u"CALL", StatementKind::Call},         {u"EXITEXIT", StatementKind::ExitExit},
    {u"WITH", StatementKind::With},         {u"ENDWITH", StatementKind::EndWith},
    {u"COM_ERR_IGN", StatementKind::ComErrIgn}, {u"COM_ERR_RET", StatementKind::ComErrRet},
    {u"FEND", StatementKind::Fend},         {k_nop_statement, StatementKind::Nop},
};

std::u16string offset_text(int32_t target, int32_t from) { return decimal(target < 0 ? -1 : target - from); }

std::u16string without_then(std::u16string condition) {
  if (ends_with(condition, u" THEN") || ends_with(condition, u")THEN"))
    condition = std::u16string(trim_blanks(std::u16string_view(condition).substr(0, condition.size() - 4)));
  return condition;
}

bool is_name_char(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' ||
         c == u'$' || c == u'.' || c == u'@' || c > 0x7F;
}

// The position of the keyword [word] in [masked] from [from], standing as a
// word of its own (so "AUTO TO" or "TO STEPS" do not count), or npos.
size_t find_keyword(const std::u16string& masked, std::u16string_view word, size_t from) {
  for (size_t at = masked.find(word, from); at != std::u16string::npos; at = masked.find(word, at + 1)) {
    bool left = at == 0 || !is_name_char(masked[at - 1]);
    size_t end = at + word.size();
    bool right = end == masked.size() || !is_name_char(masked[end]);
    if (left && right) return at;
  }
  return std::u16string::npos;
}

// Blocks that a TRY part must open and close inside itself.
int block_step(const std::u16string& t) {
  if (starts_with(t, u"IFB ") || starts_with(t, u"FOR ") || starts_with(t, u"WHILE ") || t == u"REPEAT" ||
      starts_with(t, u"SELECT "))
    return 1;
  if (t == u"ENDIF" || t == u"NEXT" || t == u"WEND" || starts_with(t, u"UNTIL ") || t == u"SELEND") return -1;
  return 0;
}

class Pairing {
 public:
  explicit Pairing(Program& program)
      : m_p(program), m_text(program.code), m_matched(program.code.size(), false) {}

  void run();

 private:
  enum class End { Closed, Fend, Overrun, Stopped };
  struct Scan {
    End end;
    int32_t at;
  };

  int32_t size() const { return static_cast<int32_t>(m_text.size()); }
  void marker(int32_t i, std::u16string_view text) {
    m_p.code[i] = std::u16string(k_error_marker) + std::u16string(text);
  }
  void marker(int32_t i, MessageId id) { marker(i, message(id)); }

  // Walks from the statement after [from] at depth 1 until [shallower]
  // brings the depth to 0; [visit] sees each statement at depth 1 and may
  // stop the walk. A statement exactly "FEND" ends the walk first.
  template <class Deeper, class Shallower, class Visit>
  Scan scan(int32_t from, Deeper deeper, Shallower shallower, Visit visit) const {
    int depth = 1;
    for (int32_t k = from + 1; k < size(); ++k) {
      const std::u16string& t = m_text[k];
      if (t == u"FEND") return {End::Fend, k};
      if (deeper(t)) {
        ++depth;
      } else if (shallower(t)) {
        if (--depth == 0) return {End::Closed, k};
      } else if (depth == 1 && !visit(k, t)) {
        return {End::Stopped, k};
      }
    }
    return {End::Overrun, -1};
  }
  // Plants the marker for a walk that did not close; true when it closed.
  bool closed(int32_t i, const Scan& s, MessageId missing, std::u16string_view overrun) {
    if (s.end == End::Closed) return true;
    if (s.end == End::Fend) marker(i, missing);
    if (s.end == End::Overrun) marker(i, overrun);
    return false;
  }

  void pair_if(int32_t i);
  void pair_select(int32_t i);
  void pair_for(int32_t i);
  void pair_while(int32_t i);
  void pair_repeat(int32_t i);
  void pair_try(int32_t i);
  bool balanced(int32_t from, int32_t to) const;
  void check_closer(int32_t i, std::u16string_view opener);
  void check_finally(int32_t i);
  void check_alone(int32_t i);
  std::u16string operand(int32_t i) const { return prepass::rest_after_word(m_text[i]); }

  Program& m_p;
  const std::vector<std::u16string> m_text;  // the statements as the pre-pass left them
  std::vector<bool> m_matched;
};

void Pairing::run() {
  m_p.kinds.assign(m_text.size(), 0);
  for (int32_t i = 0; i < size(); ++i) {
    StatementKind kind = statement_kind(m_text[i]);
    switch (kind) {
      case StatementKind::Ifb: pair_if(i); break;
      case StatementKind::Select: pair_select(i); break;
      case StatementKind::For: pair_for(i); break;
      case StatementKind::While: pair_while(i); break;
      case StatementKind::Repeat: pair_repeat(i); break;
      case StatementKind::Try: pair_try(i); break;
      case StatementKind::Else:
      case StatementKind::EndIf: check_closer(i, u"IFB"); break;
      case StatementKind::Next: check_closer(i, u"FOR"); break;
      case StatementKind::Wend: check_closer(i, u"WHILE"); break;
      case StatementKind::Until: check_closer(i, u"REPEAT"); break;
      case StatementKind::SelEnd:
      case StatementKind::Case:
      case StatementKind::Default: check_closer(i, u"SELECT"); break;
      case StatementKind::Finally: check_finally(i); break;
      case StatementKind::Except:
      case StatementKind::EndTry: check_closer(i, u"TRY"); break;
      case StatementKind::EndWith:
      case StatementKind::ComErrIgn:
      case StatementKind::ComErrRet:
      case StatementKind::Fend: check_alone(i); break;
      case StatementKind::Other:
      case StatementKind::Nop: break;
      default: m_p.code[i] = operand(i); break;
    }
    m_p.kinds[i] = starts_with(m_p.code[i], k_error_marker) ? 0 : static_cast<int32_t>(kind);
  }
}

// IFB / ELSEIF: the first ELSEIF and the ELSE of its level, then ENDIF.
void Pairing::pair_if(int32_t i) {
  int32_t elseif = -1, otherwise = -1;
  MessageId wrong = MessageId::LoadElseTwice;
  bool bad_order = false;
  Scan s = scan(
      i, [](const std::u16string& t) { return starts_with(t, u"IFB "); },
      [](const std::u16string& t) { return t == u"ENDIF"; },
      [&](int32_t k, const std::u16string& t) {
        if (starts_with(t, u"ELSEIF ")) {
          // An ELSEIF behind the ELSE would never be reached.
          if (otherwise >= 0) return bad_order = true, false;
          if (elseif < 0) elseif = k;
        } else if (starts_with(t, u"ELSE ")) {
          return wrong = MessageId::LoadElseWithText, false;
        } else if (t == u"ELSE") {
          if (otherwise >= 0) return false;
          otherwise = k;
          m_matched[k] = true;
        }
        return true;
      });
  if (s.end == End::Stopped) return bad_order ? marker(i, u"IFB-ENDIF:SyntaxError") : marker(i, wrong);
  if (!closed(i, s, MessageId::LoadIfbWithoutEndif, u"IFB-ENDIF:SyntaxError")) return;
  m_matched[s.at] = true;
  m_p.code[i] = without_then(operand(i)) + k_field_separator + offset_text(elseif, i) + k_field_separator +
                offset_text(otherwise, i) + k_field_separator + offset_text(s.at, i);
}

// SELECT: one field per CASE of its level, then DEFAULT and SELEND.
void Pairing::pair_select(int32_t i) {
  std::u16string fields = operand(i);
  int32_t fallback = -1;
  Scan s = scan(
      i, [](const std::u16string& t) { return starts_with(t, u"SELECT "); },
      [](const std::u16string& t) { return t == u"SELEND"; },
      [&](int32_t k, const std::u16string& t) {
        if (starts_with(t, u"CASE ")) {
          fields += k_field_separator + offset_text(k, i) + u"," + prepass::rest_after_word(t);
          m_matched[k] = true;
        } else if (t == u"DEFAULT" || starts_with(t, u"DEFAULT ")) {
          if (t != u"DEFAULT" || fallback >= 0) return false;
          fallback = k;
          m_matched[k] = true;
        }
        return true;
      });
  if (s.end == End::Stopped) return marker(i, MessageId::LoadDefaultTwice);
  if (!closed(i, s, MessageId::LoadSelectWithoutSelend, u"SELECT-SELEND:SyntaxError")) return;
  m_matched[s.at] = true;
  m_p.code[i] = fields + k_field_separator + offset_text(fallback, i) + u",DEFAULT" + k_field_separator +
                offset_text(s.at, i) + u",SELEND";
}

// FOR variable = start TO end [STEP step]; only a bare NEXT closes it.
void Pairing::pair_for(int32_t i) {
  Scan s = scan(
      i, [](const std::u16string& t) { return starts_with(t, u"FOR "); },
      [](const std::u16string& t) { return t == u"NEXT"; },
      [](int32_t, const std::u16string& t) { return !starts_with(t, u"NEXT "); });
  if (s.end == End::Stopped) return marker(i, MessageId::LoadNextWithText);
  if (!closed(i, s, MessageId::LoadForWithoutNext, u"FOR-NEXT:SyntaxError")) return;
  m_matched[s.at] = true;

  std::u16string body = operand(i);
  std::u16string masked = mask_literals(body);
  size_t eq = masked.find(u'=');
  if (eq == std::u16string::npos) return marker(i, MessageId::LoadForWithoutEquals);
  std::u16string_view view(body);
  std::u16string variable(trim_blanks(view.substr(0, eq)));
  if (variable.empty()) return marker(i, MessageId::LoadForWithoutVariable);
  size_t to = find_keyword(masked, u"TO", eq + 1);
  if (to == std::u16string::npos) return marker(i, MessageId::LoadForWithoutTo);
  size_t step = find_keyword(masked, u"STEP", to + 2);
  std::u16string start(trim_blanks(view.substr(eq + 1, to - eq - 1)));
  std::u16string end(trim_blanks(view.substr(to + 2, step == std::u16string::npos ? step : step - to - 2)));
  std::u16string by = step == std::u16string::npos ? u"1" : std::u16string(trim_blanks(view.substr(step + 4)));
  m_p.code[i] = variable + k_field_separator + start + k_field_separator + end + k_field_separator + by +
                k_field_separator + offset_text(s.at, i);
}

void Pairing::pair_while(int32_t i) {
  Scan s = scan(
      i, [](const std::u16string& t) { return starts_with(t, u"WHILE "); },
      [](const std::u16string& t) { return t == u"WEND"; }, [](int32_t, const std::u16string&) { return true; });
  if (!closed(i, s, MessageId::LoadWhileWithoutWend, u"WHILE-WEND:SyntaxError")) return;
  m_matched[s.at] = true;
  m_p.code[i] = operand(i) + k_field_separator + offset_text(s.at, i);
}

// REPEAT takes the condition of its UNTIL.
void Pairing::pair_repeat(int32_t i) {
  if (m_text[i] != u"REPEAT") return marker(i, MessageId::LoadRepeatWithText);
  Scan s = scan(
      i, [](const std::u16string& t) { return t == u"REPEAT"; },
      [](const std::u16string& t) { return starts_with(t, u"UNTIL "); },
      [](int32_t, const std::u16string&) { return true; });
  if (!closed(i, s, MessageId::LoadRepeatWithoutUntil, u"REPEAT-UNTIL:SyntaxError")) return;
  m_matched[s.at] = true;
  m_p.code[i] = operand(s.at) + k_field_separator + offset_text(s.at, i);
}

// The statements strictly between [from] and [to] open and close their
// blocks among themselves.
bool Pairing::balanced(int32_t from, int32_t to) const {
  int count = 0;
  for (int32_t k = from + 1; k < to; ++k) count += block_step(m_text[k]);
  return count == 0;
}

// TRY, then its one handler part (FINALLY or EXCEPT), then ENDTRY.
void Pairing::pair_try(int32_t i) {
  if (m_text[i] != u"TRY") return marker(i, MessageId::LoadTryWithText);
  auto handler_word = [](const std::u16string& t) { return t == u"FINALLY" || t == u"EXCEPT"; };
  auto any = [](int32_t, const std::u16string&) { return true; };
  Scan h = scan(i, [](const std::u16string& t) { return t == u"TRY"; }, handler_word, any);
  if (!closed(i, h, MessageId::LoadTryWithoutHandler, u"TRY:SyntaxError")) return;
  Scan e = scan(h.at, handler_word, [](const std::u16string& t) { return t == u"ENDTRY"; }, any);
  if (!closed(i, e, MessageId::LoadHandlerWithoutEndtry, u"TRY:SyntaxError")) return;
  m_matched[h.at] = m_matched[e.at] = true;
  if (!balanced(i, h.at)) return marker(i, MessageId::LoadTryStepsOverBlock);
  if (!balanced(h.at, e.at)) return marker(i, MessageId::LoadHandlerStepsOverBlock);
  m_p.code[i] = std::u16string(m_text[h.at] == u"FINALLY" ? u"0 " : u"1 ") + decimal(h.at - i) + u" " +
                decimal(e.at - h.at);
}

void Pairing::check_closer(int32_t i, std::u16string_view opener) {
  if (m_matched[i]) {
    m_p.code[i] = operand(i);
    return;
  }
  marker(i, message(MessageId::LoadNoCorrespondingOpener, opener));
}

// A FINALLY part always runs to its ENDTRY: EXIT, and BREAK or CONTINUE
// that would leave the part, are refused.
void Pairing::check_finally(int32_t i) {
  check_closer(i, u"TRY");
  if (!m_matched[i]) return;
  int loops = 0, tries = 0;
  for (int32_t k = i + 1; k < size(); ++k) {
    const std::u16string& t = m_text[k];
    if (t == u"FEND") return;
    if (t == u"TRY") ++tries;
    if (t == u"ENDTRY" && tries-- == 0) return;
    if (starts_with(t, u"FOR ") || starts_with(t, u"WHILE ") || t == u"REPEAT") ++loops;
    if (t == u"NEXT" || t == u"WEND" || starts_with(t, u"UNTIL ")) --loops;
    bool leaves = t == u"EXIT";
    std::u16string word = prepass::first_word(t);
    if ((word == u"BREAK" || word == u"CONTINUE") && tries == 0) {
      // "BREAK n" leaves the part when it breaks out of more loops than
      // the part itself opened.
      long long levels = 1;
      std::u16string count = prepass::rest_after_word(t);
      if (!count.empty() && !prepass::read_integer(count, levels)) levels = 1;
      leaves = levels > loops;
    }
    if (leaves) return marker(i, MessageId::LoadJumpInFinally);
  }
}

// ENDWITH, COM_ERR_IGN, COM_ERR_RET and FEND take nothing behind them.
void Pairing::check_alone(int32_t i) {
  if (!operand(i).empty()) return marker(i, u"SyntaxError-49");
  m_p.code[i].clear();
}

}  // namespace

StatementKind statement_kind(std::u16string_view statement) {
  std::u16string word = prepass::first_word(statement);
  for (const KindWord& k : k_kinds) {
    if (k.word == word) return k.kind;
  }
  return StatementKind::Other;
}

void classify_and_pair(Program& program) { Pairing(program).run(); }

}  // namespace vesk
