// Kind codes and block pairing.
#include "engine/loader/block_pairing.h"

#include <string>

#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

struct KindWord {
  std::u16string_view word;
  StatementKind kind;
};

constexpr KindWord k_kinds[] = {
    {u"IFB", StatementKind::Ifb},         {u"ELSEIF", StatementKind::Ifb},     {u"ENDIF", StatementKind::EndIf},
    {u"ELSE", StatementKind::Else},       {u"FOR", StatementKind::For},        {u"NEXT", StatementKind::Next},
    {u"WHILE", StatementKind::While},     {u"WEND", StatementKind::Wend},      {u"REPEAT", StatementKind::Repeat},
    {u"UNTIL", StatementKind::Until},     {u"SELECT", StatementKind::Select},  {u"SELEND", StatementKind::SelEnd},
    {u"CASE", StatementKind::Case},       {u"DEFAULT", StatementKind::Default}, {u"TRY", StatementKind::Try},
    {u"FINALLY", StatementKind::Finally}, {u"EXCEPT", StatementKind::Except},  {u"ENDTRY", StatementKind::EndTry},
    {u"PRINT", StatementKind::Print},     {u"THREAD", StatementKind::Thread},  {u"DEF_DLL", StatementKind::DefDll},
    {u"DIM", StatementKind::Dim},         {u"HASHTBL", StatementKind::HashTbl}, {u"BREAK", StatementKind::Break},
    {u"CONTINUE", StatementKind::Continue}, {u"EXIT", StatementKind::Exit},    {u"CALL", StatementKind::Call},
    {u"EXITEXIT", StatementKind::ExitExit}, {u"WITH", StatementKind::With},    {u"ENDWITH", StatementKind::EndWith},
    {u"COM_ERR_IGN", StatementKind::ComErrIgn}, {u"COM_ERR_RET", StatementKind::ComErrRet},
    {u"FEND", StatementKind::Fend},       {k_nop_statement, StatementKind::Nop},
};

StatementKind kind_of(std::u16string_view text) {
  std::u16string_view word = text.substr(0, text.find(u' '));
  if (starts_with(text, u"DEF_DLL")) return StatementKind::DefDll;
  for (const KindWord& k : k_kinds)
    if (k.word == word) return k.kind;
  return StatementKind::Other;
}

std::u16string operand(std::u16string_view text) {
  size_t blank = text.find(u' ');
  return blank == std::u16string_view::npos ? std::u16string() : std::u16string(trim_blanks(text.substr(blank + 1)));
}

std::u16string num(int32_t v) { return u16(std::to_string(v)); }

std::u16string without_then(std::u16string_view condition) {
  if (ends_with(condition, u" THEN") || ends_with(condition, u")THEN"))
    condition = trim_blanks(condition.substr(0, condition.size() - 4));
  return std::u16string(condition);
}

class Pairing {
 public:
  explicit Pairing(Program& p) : m_p(p), m_orig(p.code), m_matched(p.code.size(), false) {}

  void run() {
    for (size_t i = 0; i < m_orig.size(); ++i) m_p.kinds.push_back(int32_t(kind_of(m_orig[i])));
    for (int32_t i = 0; i < size(); ++i) {
      if (starts_with(m_p.code[i], k_error_marker)) continue;
      switch (StatementKind(m_p.kinds[i])) {
        case StatementKind::Ifb: pair_if(i); break;
        case StatementKind::Select: pair_select(i); break;
        case StatementKind::For: pair_loop(i, u"FOR ", u"NEXT", true); break;
        case StatementKind::While: pair_loop(i, u"WHILE ", u"WEND", false); break;
        case StatementKind::Repeat: pair_repeat(i); break;
        case StatementKind::Try: pair_try(i); break;
        case StatementKind::EndIf: case StatementKind::Else: orphan(i, u"IFB"); break;
        case StatementKind::Next: orphan(i, u"FOR"); break;
        case StatementKind::Wend: orphan(i, u"WHILE"); break;
        case StatementKind::Until: orphan(i, u"REPEAT"); break;
        case StatementKind::SelEnd: case StatementKind::Case: case StatementKind::Default: orphan(i, u"SELECT"); break;
        case StatementKind::Finally: case StatementKind::Except: case StatementKind::EndTry: orphan(i, u"TRY"); break;
        case StatementKind::EndWith: case StatementKind::ComErrIgn: case StatementKind::ComErrRet: case StatementKind::Fend:
          if (m_orig[i].find(u' ') != std::u16string::npos) m_p.code[i] = std::u16string(k_error_marker) + u"SyntaxError-49";
          break;
        case StatementKind::Other: case StatementKind::Nop: break;
        default: m_p.code[i] = operand(m_orig[i]); break;
      }
    }
  }

 private:
  int32_t size() const { return int32_t(m_orig.size()); }
  const std::u16string& at(int32_t i) const { return m_orig[i]; }
  void marker(int32_t i, MessageId id) { m_p.code[i] = std::u16string(k_error_marker) + message(id); }
  void marker(int32_t i, std::u16string text) { m_p.code[i] = std::u16string(k_error_marker) + text; }
  void orphan(int32_t i, std::u16string_view opener) {
    if (!m_matched[i]) marker(i, message(MessageId::LoadNoCorrespondingOpener, opener));
    else m_p.code[i] = operand(m_orig[i]);
  }

  void pair_if(int32_t i) {
    int depth = 1, elseif = -1, otherwise = -1;
    for (int32_t k = i + 1; k < size(); ++k) {
      const std::u16string& t = at(k);
      if (t == u"FEND") return marker(i, MessageId::LoadIfbWithoutEndif);
      if (starts_with(t, u"IFB ")) ++depth;
      if (t == u"ENDIF" && --depth == 0) {
        m_matched[k] = true;
        m_p.code[i] = without_then(operand(at(i))) + u"`" + num(elseif < 0 ? -1 : elseif - i) + u"`" +
                      num(otherwise < 0 ? -1 : otherwise - i) + u"`" + num(k - i);
        return;
      }
      if (depth != 1) continue;
      if (starts_with(t, u"ELSEIF ") && elseif < 0 && otherwise < 0) elseif = k;
      if (starts_with(t, u"ELSE ")) return marker(i, MessageId::LoadElseWithText);
      if (t == u"ELSE" && elseif < 0) {
        if (otherwise >= 0) return marker(i, MessageId::LoadElseTwice);
        otherwise = k;
        m_matched[k] = true;
      }
    }
    marker(i, u"IFB-ENDIF:SyntaxError");
  }

  void pair_select(int32_t i) {
    int depth = 1;
    std::u16string fields = operand(at(i));
    int32_t dflt = -1;
    for (int32_t k = i + 1; k < size(); ++k) {
      const std::u16string& t = at(k);
      if (t == u"FEND") return marker(i, MessageId::LoadSelectWithoutSelend);
      if (starts_with(t, u"SELECT ")) ++depth;
      if (t == u"SELEND" && --depth == 0) {
        m_matched[k] = true;
        if (dflt >= 0) fields += u"`" + num(dflt - i) + u",DEFAULT";
        m_p.code[i] = fields + u"`" + num(k - i) + u",SELEND";
        return;
      }
      if (depth != 1) continue;
      if (starts_with(t, u"CASE ")) {
        fields += u"`" + num(k - i) + u"," + operand(t);
        m_matched[k] = true;
      } else if (starts_with(t, u"DEFAULT")) {
        if (t != u"DEFAULT" || dflt >= 0) return marker(i, MessageId::LoadDefaultTwice);
        dflt = k;
        m_matched[k] = true;
      }
    }
    marker(i, u"SELECT-SELEND:SyntaxError");
  }

  void pair_loop(int32_t i, std::u16string_view opener, std::u16string_view closer, bool is_for) {
    int depth = 1;
    for (int32_t k = i + 1; k < size(); ++k) {
      const std::u16string& t = at(k);
      if (t == u"FEND") return marker(i, is_for ? MessageId::LoadForWithoutNext : MessageId::LoadWhileWithoutWend);
      if (starts_with(t, opener)) ++depth;
      if (is_for && starts_with(t, u"NEXT ") && depth == 1) return marker(i, MessageId::LoadNextWithText);
      if (t == closer && --depth == 0) {
        m_matched[k] = true;
        if (!is_for) {
          m_p.code[i] = operand(at(i)) + u"`" + num(k - i);
          return;
        }
        std::u16string body = operand(at(i));
        size_t eq = body.find(u'=');
        if (eq == std::u16string::npos) return marker(i, MessageId::LoadForWithoutEquals);
        std::u16string var(trim_blanks(std::u16string_view(body).substr(0, eq)));
        if (var.empty()) return marker(i, u"SyntaxError-50");
        size_t to = body.find(u"TO ", eq);
        if (to == std::u16string::npos) return marker(i, MessageId::LoadForWithoutTo);
        std::u16string start(trim_blanks(std::u16string_view(body).substr(eq + 1, to - eq - 1)));
        std::u16string rest = body.substr(to + 3);
        size_t step = rest.find(u" STEP");
        std::u16string end(trim_blanks(std::u16string_view(rest).substr(0, step)));
        std::u16string by = step == std::u16string::npos ? u"1" : std::u16string(trim_blanks(std::u16string_view(rest).substr(step + 5)));
        m_p.code[i] = var + u"`" + start + u"`" + end + u"`" + by + u"`" + num(k - i);
        return;
      }
    }
    marker(i, is_for ? u"FOR-NEXT:SyntaxError" : u"WHILE-WEND:SyntaxError");
  }

  void pair_repeat(int32_t i) {
    if (at(i) != u"REPEAT") return marker(i, MessageId::LoadRepeatWithText);
    int depth = 1;
    for (int32_t k = i + 1; k < size(); ++k) {
      const std::u16string& t = at(k);
      if (t == u"FEND") return marker(i, MessageId::LoadRepeatWithoutUntil);
      if (t == u"REPEAT") ++depth;
      if (starts_with(t, u"UNTIL ") && --depth == 0) {
        m_matched[k] = true;
        m_p.code[i] = operand(t) + u"`" + num(k - i);
        return;
      }
    }
    marker(i, u"REPEAT-UNTIL:SyntaxError");
  }

  static int balance(const std::u16string& t) {
    if (starts_with(t, u"IFB ") || starts_with(t, u"FOR ") || starts_with(t, u"WHILE ") || t == u"REPEAT") return 1;
    if (t == u"ENDIF" || t == u"NEXT" || t == u"WEND" || starts_with(t, u"UNTIL ")) return -1;
    return 0;
  }

  void pair_try(int32_t i) {
    if (at(i) != u"TRY") return marker(i, MessageId::LoadTryWithText);
    int depth = 1, blocks = 0;
    int32_t handler = -1;
    for (int32_t k = i + 1; k < size() && handler < 0; ++k) {
      const std::u16string& t = at(k);
      if (t == u"FEND") return marker(i, MessageId::LoadTryWithoutHandler);
      if (t == u"TRY") ++depth;
      if ((t == u"FINALLY" || t == u"EXCEPT") && --depth == 0) {
        if (blocks != 0) return marker(i, MessageId::LoadTryStepsOverBlock);
        handler = k;
        break;
      }
      if (depth == 1) blocks += balance(t);
    }
    if (handler < 0) return marker(i, u"TRY:SyntaxError");
    depth = 1;
    blocks = 0;
    bool finally = at(handler) == u"FINALLY";
    for (int32_t k = handler + 1; k < size(); ++k) {
      const std::u16string& t = at(k);
      if (t == u"FEND") return marker(i, MessageId::LoadHandlerWithoutEndtry);
      if (t == u"FINALLY" || t == u"EXCEPT") ++depth;
      if (t == u"ENDTRY" && --depth == 0) {
        if (blocks != 0) return marker(i, MessageId::LoadHandlerStepsOverBlock);
        m_matched[handler] = m_matched[k] = true;
        m_p.code[i] = num(finally ? 0 : 1) + u" " + num(handler - i) + u" " + num(k - handler);
        if (finally) check_finally(handler, k);
        return;
      }
      if (depth == 1) blocks += balance(t);
    }
    marker(i, u"TRY:SyntaxError");
  }

  // BREAK, CONTINUE and EXIT cannot leave a FINALLY part.
  void check_finally(int32_t from, int32_t to) {
    int loops = 0, tries = 0;
    for (int32_t k = from + 1; k < to; ++k) {
      const std::u16string& t = at(k);
      if (t == u"TRY") ++tries;
      if (t == u"ENDTRY") --tries;
      if (starts_with(t, u"FOR ") || starts_with(t, u"WHILE ") || t == u"REPEAT") ++loops;
      if (t == u"NEXT" || t == u"WEND" || starts_with(t, u"UNTIL ")) --loops;
      bool leaves = t == u"EXIT" || ((t == u"BREAK" || t == u"CONTINUE" || starts_with(t, u"BREAK ") ||
                                      starts_with(t, u"CONTINUE ")) && loops <= 0 && tries <= 0);
      if (leaves) {
        m_pending_finally_error.push_back(from);
        marker(from, MessageId::LoadJumpInFinally);
        m_matched[from] = true;
        return;
      }
    }
  }

  Program& m_p;
  std::vector<std::u16string> m_orig;
  std::vector<bool> m_matched;
  std::vector<int32_t> m_pending_finally_error;
};

}  // namespace

void pair_blocks(Program& program) {
  Pairing(program).run();
}

}  // namespace vesk
