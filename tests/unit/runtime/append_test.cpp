// NAME = NAME + operand appends in place: the text, copy-on-write, escapes
// and operands changed while the right side runs behave as a fresh sum.
#include "run_support.h"

namespace vesk::test {
namespace {

class AppendTest : public RunTest {};

TEST_F(AppendTest, BuildsTheTextAndLeavesCopiesAlone) {
  ASSERT_TRUE(run({"S = \"\"", "FOR I = 1 TO 1000", "S = S + \"AB\"", "IF I = 2 THEN T = S", "NEXT",
                   "PRINT LENGTH(S)", "PRINT T", "U = S", "S = S + \"C\"", "PRINT LENGTH(U)", "PRINT LENGTH(S)"}));
  EXPECT_EQ(host.errors, std::vector<std::string>{});
  EXPECT_EQ(host.lines, (std::vector<std::string>{"2000", "ABAB", "2000", "2001"}));
}

TEST_F(AppendTest, ATextAppendedToItselfDoublesAndItsCopiesStay) {
  // The operand shares the target's buffer: the sum is built in a new one.
  ASSERT_TRUE(run({"S = \"ab\"", "T = S", "FOR I = 1 TO 5", "S = S + S", "NEXT", "S = S + \"!\"",
                   "PRINT LENGTH(S)", "PRINT T", "PRINT COPY(S, 59)"}));
  EXPECT_EQ(host.errors, std::vector<std::string>{});
  EXPECT_EQ(host.lines, (std::vector<std::string>{"65", "ab", "ababab!"}));
}

TEST_F(AppendTest, NumbersAndEmptyOperandsAppendAsText) {
  ASSERT_TRUE(run({"S = \"A\"", "S = S + 1.5", "S = S + EMPTY", "S = S + 2", "PRINT S"}));
  EXPECT_EQ(host.lines, std::vector<std::string>{"A1.52"});
}

TEST_F(AppendTest, EscapesFormAcrossTheJoin) {
  // "<" then "#TAB>" meet only in the sum, which expands them.
  ASSERT_TRUE(run({"S = \"X\"", "S = S + \"Y\"", "S = S + \"<\"", "S = S + \"#TAB>Z\"", "PRINT LENGTH(S)"}));
  EXPECT_EQ(host.lines, std::vector<std::string>{"4"});
}

TEST_F(AppendTest, OperandThatChangesTheTargetGivesTheOldTextPlusIt) {
  ASSERT_TRUE(run({"S = \"A\"", "S = S + \"B\"", "S = S + F(S)", "PRINT S"},
                  {"FUNCTION F(VAR X)", "X = \"ZZZ\"", "RESULT = \"C\"", "FEND"}));
  EXPECT_EQ(host.errors, std::vector<std::string>{});
  EXPECT_EQ(host.lines, std::vector<std::string>{"ABC"});
}

TEST_F(AppendTest, AFailingOperandReportsOneError) {
  ASSERT_TRUE(run({"S = \"A\"", "S = S + \"B\"", "S = S + NOSUCHNAME", "PRINT S"}));
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_TRUE(host.lines.empty());  // the error ends the run before PRINT
}

TEST_F(AppendTest, FunctionParametersAndDefaultsHoldOnEveryCall) {
  ASSERT_TRUE(run({"PRINT G(1)", "PRINT G(1, 5)", "PRINT G(2)"}, {"FUNCTION G(A, B = 10)", "RESULT = A + B", "FEND"}));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"11", "6", "12"}));
}

}  // namespace
}  // namespace vesk::test
