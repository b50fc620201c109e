// The pairing pass: compiled block texts, their offsets, kind codes and the
// markers of blocks that do not pair.
#include <gtest/gtest.h>

#include "engine/loader/pairing.h"
#include "support/messages.h"

namespace vesk {
namespace {

class Pairing : public ::testing::Test {
 protected:
  void SetUp() override { set_message_language_japanese(false); }

  // Pairs [statements] followed by a closing "FEND".
  void pair(std::vector<std::u16string> statements) {
    statements.push_back(u"FEND");
    m_program = Program();
    m_program.code = std::move(statements);
    m_program.lines.assign(m_program.code.size(), u"1,x");
    classify_and_pair(m_program);
  }
  const std::u16string& code(size_t i) const { return m_program.code.at(i); }
  int32_t kind(size_t i) const { return m_program.kinds.at(i); }
  static std::u16string marker(std::u16string_view text) { return std::u16string(k_error_marker) + std::u16string(text); }

  Program m_program;
};

TEST_F(Pairing, IfChainsCompileWithTheirOffsets) {
  pair({u"IFB A THEN", u"X = 1", u"ELSEIF B THEN", u"IFB C", u"ELSE", u"ENDIF", u"ELSE", u"Y = 1", u"ENDIF"});
  EXPECT_EQ(code(0), u"A`2`6`8");
  EXPECT_EQ(code(2), u"B`-1`4`6");
  EXPECT_EQ(code(3), u"C`-1`1`2");
  EXPECT_EQ(kind(2), int32_t(StatementKind::Ifb));
  EXPECT_EQ(code(4), u"");
  EXPECT_EQ(kind(4), int32_t(StatementKind::Else));
  EXPECT_EQ(code(8), u"");
  EXPECT_EQ(kind(8), int32_t(StatementKind::EndIf));
  EXPECT_EQ(code(9), u"");
  EXPECT_EQ(kind(9), int32_t(StatementKind::Fend));
}

TEST_F(Pairing, IfErrors) {
  pair({u"IFB A", u"ELSE", u"ELSE", u"ENDIF"});
  EXPECT_EQ(code(0), marker(u"ELSE Multiplex definition"));
  EXPECT_EQ(kind(0), 0);
  pair({u"IFB A", u"ELSE X = 1", u"ENDIF"});
  EXPECT_EQ(code(0), marker(u"ELSE: SyntaxError"));
  pair({u"IFB A", u"ELSE", u"ELSEIF B", u"ENDIF"});
  EXPECT_EQ(code(0), marker(u"IFB-ENDIF:SyntaxError"));
  pair({u"IFB A", u"X = 1"});
  EXPECT_EQ(code(0), marker(u"It doesn't have ENDIF toward IFB"));
  m_program.code = {u"IFB A"};
  classify_and_pair(m_program);
  EXPECT_EQ(code(0), marker(u"IFB-ENDIF:SyntaxError"));
  pair({u"ENDIF", u"ELSE"});
  EXPECT_EQ(code(0), marker(u"No corresponding IFB"));
  EXPECT_EQ(code(1), marker(u"No corresponding IFB"));
}

TEST_F(Pairing, SelectFields) {
  pair({u"SELECT X + 1", u"CASE 1, 2", u"A = 1", u"CASE \"a\"", u"SELECT Y", u"CASE 9", u"SELEND", u"DEFAULT",
        u"B = 1", u"SELEND"});
  EXPECT_EQ(code(0), u"X + 1`1,1, 2`3,\"a\"`7,DEFAULT`9,SELEND");
  EXPECT_EQ(code(4), u"Y`1,9`-1,DEFAULT`2,SELEND");
  EXPECT_EQ(code(1), u"1, 2");
  EXPECT_EQ(kind(1), int32_t(StatementKind::Case));
  EXPECT_EQ(kind(7), int32_t(StatementKind::Default));
  pair({u"SELECT X", u"DEFAULT", u"DEFAULT", u"SELEND"});
  EXPECT_EQ(code(0), marker(u"DEFAULT Multiplex definition"));
  pair({u"SELECT X", u"DEFAULT 1", u"SELEND"});
  EXPECT_EQ(code(0), marker(u"DEFAULT Multiplex definition"));
  pair({u"SELECT X", u"CASE 1"});
  EXPECT_EQ(code(0), marker(u"It doesn't have SELEND toward SELECT"));
  pair({u"CASE 1", u"SELEND"});
  EXPECT_EQ(code(0), marker(u"No corresponding SELECT"));
  EXPECT_EQ(code(1), marker(u"No corresponding SELECT"));
}

TEST_F(Pairing, ForSplitsItsHead) {
  pair({u"FOR I = 1 TO 10 STEP 2", u"FOR J = AUTO TO STEPS", u"NEXT", u"NEXT", u"FOR K = F(\"TO \") TO N", u"NEXT"});
  EXPECT_EQ(code(0), u"I`1`10`2`3");
  EXPECT_EQ(code(1), u"J`AUTO`STEPS`1`1");
  EXPECT_EQ(code(4), u"K`F(\"TO \")`N`1`1");
  EXPECT_EQ(kind(3), int32_t(StatementKind::Next));
  EXPECT_EQ(code(3), u"");
}

TEST_F(Pairing, ForErrors) {
  pair({u"FOR I = 1 TO 3", u"NEXT I"});
  EXPECT_EQ(code(0), marker(u"Must describe nothing to NEXT"));
  EXPECT_EQ(code(1), marker(u"No corresponding FOR"));
  pair({u"FOR I 1 TO 3", u"NEXT"});
  EXPECT_EQ(code(0), marker(u"It doesn't have \"=\""));
  pair({u"FOR = 1 TO 3", u"NEXT"});
  EXPECT_EQ(code(0), marker(u"SyntaxError-50"));
  pair({u"FOR I = 1, 3", u"NEXT"});
  EXPECT_EQ(code(0), marker(u"It doesn't have \"TO\""));
  pair({u"FOR I = 1 TO 3"});
  EXPECT_EQ(code(0), marker(u"It doesn't have NEXT toward FOR"));
}

TEST_F(Pairing, WhileAndRepeat) {
  pair({u"WHILE A < 3", u"REPEAT", u"A = A + 1", u"UNTIL A > 1", u"WEND", u"WEND", u"UNTIL B", u"REPEAT 1",
        u"UNTIL C"});
  EXPECT_EQ(code(0), u"A < 3`4");
  EXPECT_EQ(code(1), u"A > 1`2");
  EXPECT_EQ(code(3), u"A > 1");
  EXPECT_EQ(kind(3), int32_t(StatementKind::Until));
  EXPECT_EQ(code(5), marker(u"No corresponding WHILE"));
  EXPECT_EQ(code(6), marker(u"No corresponding REPEAT"));
  EXPECT_EQ(code(7), marker(u"Something is here after REPEAT"));
  pair({u"WHILE A"});
  EXPECT_EQ(code(0), marker(u"It doesn't have WEND toward WHILE"));
}

TEST_F(Pairing, TryCompilesHandlerKindAndOffsets) {
  pair({u"TRY", u"A = 1", u"TRY", u"FINALLY", u"ENDTRY", u"EXCEPT", u"B = 1", u"ENDTRY", u"TRY", u"FINALLY", u"ENDTRY"});
  EXPECT_EQ(code(0), u"1 5 2");
  EXPECT_EQ(code(2), u"0 1 1");
  EXPECT_EQ(code(8), u"0 1 1");
  EXPECT_EQ(kind(5), int32_t(StatementKind::Except));
  EXPECT_EQ(code(5), u"");
  EXPECT_EQ(kind(7), int32_t(StatementKind::EndTry));
}

TEST_F(Pairing, TryBlockBalance) {
  pair({u"TRY", u"FOR I = 1 TO 2", u"EXCEPT", u"NEXT", u"ENDTRY"});
  EXPECT_EQ(code(0), marker(u"TRY steps over the loop or block"));
  pair({u"TRY", u"EXCEPT", u"IFB A", u"ENDTRY", u"ENDIF"});
  EXPECT_EQ(code(0), marker(u"FINALLY or EXCEPT steps over the loop or block"));
  pair({u"TRY", u"SELECT A", u"FINALLY", u"SELEND", u"ENDTRY"});
  EXPECT_EQ(code(0), marker(u"TRY steps over the loop or block"));
  pair({u"TRY 1", u"EXCEPT", u"ENDTRY"});
  EXPECT_EQ(code(0), marker(u"Something is here after TRY"));
  pair({u"TRY", u"A = 1"});
  EXPECT_EQ(code(0), marker(u"It doesn't have FINALLY or EXCEPT toward TRY"));
  pair({u"TRY", u"EXCEPT", u"FINALLY", u"ENDTRY"});  // one handler part only
  EXPECT_EQ(code(0), marker(u"It doesn't have ENDTRY toward FINALLY or EXCEPT"));
  pair({u"ENDTRY", u"EXCEPT"});
  EXPECT_EQ(code(0), marker(u"No corresponding TRY"));
  EXPECT_EQ(code(1), marker(u"No corresponding TRY"));
}

TEST_F(Pairing, FinallyCannotBeLeft) {
  const std::u16string refused = marker(u"\"Break\", \"Continue\", and \"Exit\" cannot be used in the part FINALLY");
  pair({u"WHILE A", u"TRY", u"FINALLY", u"BREAK", u"ENDTRY", u"WEND"});
  EXPECT_EQ(code(2), refused);
  EXPECT_EQ(code(1), u"0 1 2");
  pair({u"TRY", u"FINALLY", u"FOR I = 1 TO 2", u"BREAK", u"CONTINUE", u"NEXT", u"TRY", u"EXCEPT", u"BREAK",
        u"ENDTRY", u"ENDTRY"});
  EXPECT_EQ(code(1), u"");
  EXPECT_EQ(kind(1), int32_t(StatementKind::Finally));
  pair({u"TRY", u"FINALLY", u"IFB A", u"TRY", u"EXCEPT", u"EXIT", u"ENDTRY", u"ENDIF", u"ENDTRY"});
  EXPECT_EQ(code(1), refused);
  pair({u"TRY", u"FINALLY", u"WHILE A", u"BREAK 2", u"WEND", u"ENDTRY"});
  EXPECT_EQ(code(1), refused);
}

TEST_F(Pairing, StatementsThatStandAlone) {
  pair({u"WITH OBJ", u"ENDWITH OBJ", u"COM_ERR_IGN", u"COM_ERR_RET 1", u"FEND X", u"PRINT  A", u"BREAK 2",
        u"X = 1", k_nop_statement});
  EXPECT_EQ(code(0), u"OBJ");
  EXPECT_EQ(kind(0), int32_t(StatementKind::With));
  EXPECT_EQ(code(1), marker(u"SyntaxError-49"));
  EXPECT_EQ(kind(1), 0);
  EXPECT_EQ(code(2), u"");
  EXPECT_EQ(kind(2), int32_t(StatementKind::ComErrIgn));
  EXPECT_EQ(code(3), marker(u"SyntaxError-49"));
  EXPECT_EQ(code(4), marker(u"SyntaxError-49"));
  EXPECT_EQ(code(5), u"A");
  EXPECT_EQ(code(6), u"2");
  EXPECT_EQ(kind(6), int32_t(StatementKind::Break));
  EXPECT_EQ(code(7), u"X = 1");
  EXPECT_EQ(kind(7), 0);
  EXPECT_EQ(kind(8), int32_t(StatementKind::Nop));
}

}  // namespace
}  // namespace vesk
