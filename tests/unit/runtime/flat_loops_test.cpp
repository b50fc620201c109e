// FOR, WHILE, REPEAT and SELECT blocks in flat bodies: errors in their
// heads, closers and parts, leaving a function from inside them, recursion
// through them and a FOR variable changed by its own body, each the same
// with flat bodies on and off.
#include <string>
#include <vector>

#include "flat_body_support.h"

namespace vesk::test {
namespace {

// ---------------------------------------------------------------------------
// Errors in loops and SELECT blocks: the message and the line, and what
// printed before, with A = 2.

TEST_F(FlatBodyErrors, AFailingWhileConditionOnItsSecondPass) {
  // In the second pass of a FOR loop, inside an IFB part.
  expect_same_error({"DIM D[0]", "FOR I = 1 TO 3", "PRINT I", "IFB I = A THEN", "W = 0", "WHILE D[W] < 5", "PRINT W",
                     "W = W + 1", "WEND", "PRINT \"not here\"", "ENDIF", "NEXT"},
                    "It exceeded array: D", 5);
}

TEST_F(FlatBodyErrors, AFailingUntilConditionOnItsSecondPass) {
  expect_same_error({"SELECT A", "CASE 1", "PRINT \"one\"", "CASE 3, A", "DIM D[1]", "R = 0", "REPEAT", "R = R + 1",
                     "PRINT R", "UNTIL D[R] > 5", "PRINT \"not here\"", "DEFAULT", "PRINT \"default\"", "SELEND"},
                    "It exceeded array: D", 9);
}

TEST_F(FlatBodyErrors, AForThatCannotStartOnALaterPassOfTheLoopAroundIt) {
  // STEP 0 when I reaches A.
  expect_same_error({"FOR I = 1 TO 3", "FOR J = 1 TO 2 STEP A - I", "PRINT I * 10 + J", "NEXT", "NEXT"},
                    "STEP value is a zero", 1);
  // An end that the body of the loop around it made a string.
  expect_same_error({"S = 2", "WHILE TRUE", "FOR J = 1 TO S", "PRINT J", "NEXT", "S = \"x\"", "WEND"},
                    "Non-numeric value is specified", 2);
  // A step that fails on the second pass of a REPEAT.
  expect_same_error({"DIM D[1]", "D[1] = 1", "R = 0", "REPEAT", "R = R + 1", "FOR J = A TO 3 STEP D[R]", "PRINT J",
                     "NEXT", "UNTIL R = 3"},
                    "It exceeded array: D", 5);
}

TEST_F(FlatBodyErrors, AForVariableTheBodyMadeAnArrayFailsAtItsNext) {
  // A number or a string put in the variable gives way to the step (see
  // AForVariableChangedInsideTheBodyGoesOnFromThePassesValue); an array
  // does not.
  expect_same_error({"FOR I = 1 TO 3", "PRINT I", "IF I = A THEN DIM I[2]", "NEXT", "PRINT \"not here\""},
                    "Does not match the number of dimensions: I", 3);
}

TEST_F(FlatBodyErrors, AFailingSelectorOnALaterPass) {
  expect_same_error({"DIM D[1]", "D[1] = 2", "FOR I = 0 TO 3", "SELECT D[I]", "CASE 0", "PRINT \"zero\"", "CASE A",
                     "PRINT \"two\"", "SELEND", "NEXT"},
                    "It exceeded array: D", 3);
}

TEST_F(FlatBodyErrors, AFailingCaseValueIsReportedAtTheSelect) {
  // The first pass takes CASE 1 and never reaches the failing value.
  expect_same_error({"W = 0", "WHILE W < 3", "W = W + 1", "SELECT W", "CASE 1", "PRINT \"one\"", "CASE 5, A / \"Z\"",
                     "PRINT \"not here\"", "DEFAULT", "PRINT \"default\"", "SELEND", "WEND"},
                    "", 3);
}

TEST_F(FlatBodyErrors, AnErrorInTheDefaultPartOfASelectInALoop) {
  expect_same_error({"FOR I = 3 TO 1 STEP -1", "SELECT I", "CASE 3", "PRINT \"three\"", "DEFAULT", "PRINT NOSUCH(I)",
                     "PRINT \"not here\"", "SELEND", "NEXT"},
                    "", 5);
}

TEST_F(FlatBodyErrors, AnErrorInsideLoopsTakenByTheCallersTry) {
  // After each caught error the next call starts its loops afresh, also
  // in the frame the failed call gave back.
  std::vector<std::string> body{"FOR K = 1 TO 2",    "TRY",    "P(K)", "EXCEPT", "PRINT TRY_ERRMSG",
                                "PRINT TRY_ERRLINE", "ENDTRY", "NEXT", "P(0)",   "PRINT \"on\""};
  std::vector<std::string> procedure{"PROCEDURE P(N)",
                                     "DIM D[2]",
                                     "W = 0",
                                     "WHILE W < 3",
                                     "W = W + 1",
                                     "FOR I = W TO 3",
                                     "SELECT I",
                                     "CASE N + 1",
                                     "PRINT \"D\" + D[I + W]",
                                     "DEFAULT",
                                     "PRINT W * 10 + I",
                                     "SELEND",
                                     "NEXT",
                                     "WEND",
                                     "PRINT \"P out \" + W + I",
                                     "FEND"};
  Outcome flat_run = outcome_of(body, procedure);
  ASSERT_TRUE(runs_flat(u"P"));
  Outcome nested_run = outcome_of(body, procedure, false);
  EXPECT_EQ(flat_run.errors, std::vector<std::string>{});
  EXPECT_EQ(flat_run.lines, nested_run.lines);
  EXPECT_EQ(flat_run.lines, (std::vector<std::string>{"11", "It exceeded array: D", "at line 3: P(K)", "11", "12",
                                                      "It exceeded array: D", "at line 3: P(K)", "D", "12", "13", "22",
                                                      "23", "33", "P out 34", "on"}));
}

// ---------------------------------------------------------------------------
// Leaving a function from inside its loops.

TEST_F(FlatBody, ExitInsideLoopsEndsTheFunctionWithTheResultSoFar) {
  std::vector<std::string> functions{
      // EXIT in a CASE part, in a WHILE in a FOR.
      "FUNCTION F(N)", "RESULT = \"\"", "FOR I = 1 TO 3", "W = 0", "WHILE W < 3", "W = W + 1",
      "RESULT = RESULT + (I * 10 + W) + \" \"", "SELECT N", "CASE I * 10 + W", "EXIT", "CASE 99", "RESULT = \"never\"",
      "SELEND", "WEND", "RESULT = RESULT + \"/ \"", "NEXT", "PRINT \"F ran through\"", "RESULT = RESULT + \"!\"",
      "FEND",
      // EXIT in a one-line IF, in a FOR with a fractional step in a REPEAT.
      "FUNCTION G(N)", "RESULT = 0", "REPEAT", "RESULT = RESULT + 1", "FOR K = 3 TO 0 STEP -0.5",
      "IF (K = N) AND (RESULT > 12) THEN EXIT", "RESULT = RESULT + K", "NEXT", "PRINT \"pass \" + RESULT",
      "UNTIL RESULT > 20", "PRINT \"G ran through\"", "FEND"};
  // Each call after the first takes the frame the one before gave back.
  std::vector<std::string> body{"PRINT F(0)", "PRINT F(12)", "PRINT F(23)",       "PRINT G(0)",
                                "PRINT G(2)", "PRINT G(7)",  "PRINT F(31) + G(1)"};
  Outcome out = outcome_of(body, functions);
  ASSERT_TRUE(runs_flat(u"F"));
  ASSERT_TRUE(runs_flat(u"G"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines,
            (std::vector<std::string>{"F ran through", "11 12 13 / 21 22 23 / 31 32 33 / !", "11 12 ",
                                      "11 12 13 / 21 22 23 ", "pass 11.5", "23", "pass 11.5", "18", "pass 11.5",
                                      "pass 23", "G ran through", "23", "pass 11.5", "11 12 13 / 21 22 23 / 31 21.5"}));
  EXPECT_EQ(outcome_of(body, functions, false).lines, out.lines);
}

TEST_F(FlatBody, ExitexitInsideLoopsEndsTheRunThere) {
  // In the second pass of the REPEAT on the second call: nothing after it
  // prints, in the function or in the main script's loop.
  std::vector<std::string> body{"FOR I = 1 TO 3", "PRINT \"main \" + I", "PRINT F(I)", "NEXT", "PRINT \"not here\""};
  std::vector<std::string> functions{"FUNCTION F(N)",
                                     "RESULT = N",
                                     "R = 0",
                                     "REPEAT",
                                     "R = R + 1",
                                     "FOR J = 3 TO 1 STEP -1",
                                     "SELECT J * N + R",
                                     "CASE 8, 9",
                                     "PRINT \"stop at \" + J + R",
                                     "EXITEXIT",
                                     "PRINT \"not here\"",
                                     "CASE 2, 4",
                                     "PRINT \"even \" + J",
                                     "SELEND",
                                     "NEXT",
                                     "UNTIL R >= 2",
                                     "PRINT \"F out \" + R",
                                     "FEND"};
  Outcome out = outcome_of(body, functions);
  ASSERT_TRUE(runs_flat(u"F"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines,
            (std::vector<std::string>{"main 1", "even 3", "even 1", "even 2", "F out 2", "1", "main 2", "stop at 32"}));
  EXPECT_EQ(outcome_of(body, functions, false).lines, out.lines);
}

// ---------------------------------------------------------------------------
// Recursion through loops: each call's FOR states are its own.

TEST_F(FlatBody, RecursionThroughLoopsKeepsEachCallsLoops) {
  std::vector<std::string> functions{
      // S(N) = 2^N - 1, the call of itself in the body of a FOR; each
      // call shows its own variable's last value.
      "FUNCTION S(N)", "RESULT = 0", "FOR I = 1 TO N", "RESULT = RESULT + S(I - 1) + 1", "NEXT",
      "PRINT \"S\" + N + \" \" + I", "FEND",
      // The call of itself in the end of a FOR: T(N) = 1 + 2 + ... + (T(N - 1) + 1).
      "FUNCTION T(N)", "IFB N = 0 THEN", "RESULT = 1", "ELSE", "RESULT = 0", "FOR I = 1 TO T(N - 1) + 1",
      "RESULT = RESULT + I", "NEXT", "ENDIF", "FEND",
      // More FOR loops than a frame keeps in place, a WHILE among them;
      // H(N) = N + 4 * H(N - 1).
      "FUNCTION H(N)", "RESULT = N", "FOR I1 = 1 TO 2", "FOR I2 = 1 TO 1", "FOR I3 = 0.5 TO 0 STEP -1",
      "FOR I4 = 1 TO 1", "W = 0", "WHILE W < 1", "W = W + 1", "FOR I5 = 2 TO 1 STEP -1",
      "IF N > 0 THEN RESULT = RESULT + H(N - 1)", "NEXT", "WEND", "NEXT", "NEXT", "NEXT", "NEXT",
      "IF N > 0 THEN PRINT \"H\" + N + \": \" + I1 + \" \" + I2 + \" \" + I3 + \" \" + I4 + \" \" + I5", "FEND"};
  std::vector<std::string> body{"PRINT S(3)", "PRINT T(3)", "PRINT H(2)"};
  Outcome out = outcome_of(body, functions);
  ASSERT_TRUE(runs_flat(u"S"));
  ASSERT_TRUE(runs_flat(u"T"));
  ASSERT_TRUE(runs_flat(u"H"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  std::string h1 = "H1: 3 2 -0.5 2 0";
  EXPECT_EQ(out.lines, (std::vector<std::string>{"S0 1", "S0 1", "S1 2", "S0 1", "S0 1", "S1 2", "S2 3", "S3 4", "7",
                                                 "66", h1, h1, h1, h1, "H2: 3 2 -0.5 2 0", "6"}));
  EXPECT_EQ(outcome_of(body, functions, false).lines, out.lines);
}

// ---------------------------------------------------------------------------

// Each pass goes on from the value the one before began with plus the
// step, whatever the body put in the variable meanwhile: a number, a
// string, the end of an inner loop over the same variable, or (for a
// global) what a called procedure wrote.
TEST_F(FlatBody, AForVariableChangedInsideTheBodyGoesOnFromThePassesValue) {
  std::vector<std::string> functions{"PROCEDURE P()",
                                     "FOR I = 1 TO 10 STEP 3",
                                     "PRINT I",
                                     "I = I * 10",
                                     "PRINT I",
                                     "NEXT",
                                     "PRINT I",
                                     "FOR I = 1 TO 3",
                                     "I = \"text\"",
                                     "NEXT",
                                     "PRINT I",
                                     "FOR I = 1 TO 2",
                                     "FOR I = 5 TO 6",
                                     "PRINT \"in \" + I",
                                     "NEXT",
                                     "PRINT \"out \" + I",
                                     "NEXT",
                                     "PRINT I",
                                     "FOR G = 1 TO 3",
                                     "BUMP()",
                                     "PRINT G",
                                     "NEXT",
                                     "PRINT G",
                                     "FEND",
                                     "PROCEDURE BUMP()",
                                     "G = G + 100",
                                     "FEND"};
  std::vector<std::string> body{"PUBLIC G = 0", "P()"};
  Outcome out = outcome_of(body, functions);
  ASSERT_TRUE(runs_flat(u"P"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines,
            (std::vector<std::string>{"1",    "10",    "4",    "40",   "7",     "70", "10",  "100", "13",  "4", "in 5",
                                      "in 6", "out 7", "in 5", "in 6", "out 7", "3",  "101", "102", "103", "4"}));
  EXPECT_EQ(outcome_of(body, functions, false).lines, out.lines);
}

}  // namespace
}  // namespace vesk::test
