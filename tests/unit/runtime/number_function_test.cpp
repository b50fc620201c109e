// Functions that only do arithmetic on their parameters run on doubles
// without frames; with that off they run in frames. Both ways print the
// same lines and report the same errors at the same places, also when the
// run on doubles has to give the call back to the frames.
#include <random>
#include <string>
#include <vector>

#include "flat_body_support.h"

namespace vesk::test {
namespace {

class NumberFunctions : public FlatBody {
 protected:
  // Runs [body] with [functions] on doubles and in frames, expects the
  // same outcome both ways and answers it; [numbers] are the functions
  // expected to run on doubles, [framed] those expected not to.
  Outcome same_both_ways(const std::vector<std::string>& body, const std::vector<std::string>& functions,
                         const std::vector<std::u16string>& numbers, const std::vector<std::u16string>& framed = {}) {
    interpreter.set_number_functions(true);
    Outcome on_numbers = outcome_of(body, functions);
    for (const std::u16string& name : numbers) EXPECT_TRUE(interpreter.is_number_function(name)) << utf16_to_utf8(name);
    for (const std::u16string& name : framed) EXPECT_FALSE(interpreter.is_number_function(name)) << utf16_to_utf8(name);
    numbered = 0;
    for (const std::u16string& name : probed) numbered += interpreter.is_number_function(name) ? 1 : 0;
    interpreter.set_number_functions(false);
    Outcome in_frames = outcome_of(body, functions);
    interpreter.set_number_functions(true);
    EXPECT_EQ(on_numbers.lines, in_frames.lines);
    EXPECT_EQ(on_numbers.errors, in_frames.errors);
    return on_numbers;
  }

  // Of these functions, how many the last run on doubles had as number
  // functions.
  std::vector<std::u16string> probed;
  size_t numbered = 0;
};

const std::vector<std::string> k_fib{"FUNCTION FIB(N)",         "IFB N < 2 THEN", "RESULT = N", "ELSE",
                                     "RESULT = FIB(N - 1) + FIB(N - 2)", "ENDIF",          "FEND"};

TEST_F(NumberFunctions, ArithmeticBranchesAndCallsAnswerAsInFrames) {
  std::vector<std::string> functions = k_fib;
  std::vector<std::string> more{
      // MOD, a call with two arguments, the parameters in another order.
      "FUNCTION GCD(A, B)", "IFB B = 0 THEN", "RESULT = A", "ELSE", "RESULT = GCD(B, A MOD B)", "ENDIF", "FEND",
      // An ELSEIF chain, a condition that is a number, negation, a division
      // by 0, fractions rounded as every assignment rounds them.
      "FUNCTION H(X)", "IFB X < 0 THEN", "RESULT = -X / 3", "ELSEIF X = 0 THEN", "RESULT = 1 / X",
      "ELSEIF X - 5 THEN", "RESULT = X * 0.1 + 0.2", "ELSE", "RESULT = -(X + 0.5) * 1E300 * 1E300", "ENDIF", "FEND",
      // A parameter set again; the second argument is evaluated and dropped.
      "FUNCTION K(A)", "A = A * 2", "RESULT = A", "RESULT = A + 1", "FEND",
      // Each calls the other.
      "FUNCTION EVEN(N)", "IFB N = 0 THEN", "RESULT = 1", "ELSE", "RESULT = ODD(N - 1)", "ENDIF", "FEND",
      "FUNCTION ODD(N)", "IFB N = 0 THEN", "RESULT = 0", "ELSE", "RESULT = EVEN(N - 1)", "ENDIF", "FEND"};
  functions.insert(functions.end(), more.begin(), more.end());
  Outcome out = same_both_ways({"PRINT FIB(20)", "PRINT GCD(1071, 462)", "PRINT GCD(-48, 18.5)",
                                "PRINT H(-7)", "PRINT H(0)", "PRINT H(3)", "PRINT H(5)", "PRINT K(3, 4)",
                                "PRINT K(0.1 + 0.2, FIB(3))", "PRINT EVEN(7) * 10 + ODD(7)", "N = 9",
                                "PRINT FIB(N) + FIB(N - 1)"},
                               functions, {u"FIB", u"GCD", u"H", u"K", u"EVEN", u"ODD"});
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  ASSERT_EQ(out.lines.size(), 11u);
  EXPECT_EQ(out.lines[0], "6765");
  EXPECT_EQ(out.lines[1], "21");
  EXPECT_EQ(out.lines[7], "7");
  EXPECT_EQ(out.lines[9], "1");
  EXPECT_EQ(out.lines[10], "55");
}

TEST_F(NumberFunctions, WhatIsNoNumberGoesThroughTheFrames) {
  std::vector<std::string> functions = k_fib;
  std::vector<std::string> more{
      // RESULT left Empty on one path, also under a call that adds to it.
      "FUNCTION U(X)", "IFB X > 0 THEN", "RESULT = X", "ENDIF", "FEND",
      "FUNCTION W(X)", "RESULT = U(X) + 1", "FEND",
      // A comparison's answer, a global, a PRINT, a call of a function
      // that is none, a missing argument, a local of the body's own, RESULT
      // read.
      "FUNCTION LESS(N)", "RESULT = N < 2", "FEND",
      "FUNCTION PLUSG(N)", "RESULT = N + G", "FEND",
      "FUNCTION LOUD(N)", "PRINT N", "RESULT = N", "FEND",
      "FUNCTION VIA(N)", "RESULT = LOUD(N) * 2", "FEND",
      "FUNCTION TWO(A, B)", "RESULT = A + B", "FEND",
      "FUNCTION HALF(N)", "RESULT = TWO(N)", "FEND",
      "FUNCTION OWN(N)", "T = N * 2", "RESULT = T", "FEND",
      "FUNCTION AGAIN(N)", "RESULT = N", "RESULT = RESULT * 2", "FEND"};
  functions.insert(functions.end(), more.begin(), more.end());
  Outcome out = same_both_ways({"PUBLIC G = 5", "S = \"7\"", "PRINT U(-1)", "PRINT U(2)", "PRINT W(-1)",
                                "PRINT W(2)", "PRINT FIB(\"10\")", "PRINT FIB(S)", "PRINT FIB(TRUE)",
                                "PRINT LESS(1)", "PRINT PLUSG(1)", "PRINT VIA(3)", "PRINT HALF(4)", "PRINT OWN(4)",
                                "PRINT AGAIN(4)"},
                               functions, {u"FIB", u"U", u"W", u"TWO"},
                               {u"LESS", u"PLUSG", u"LOUD", u"VIA", u"HALF", u"OWN", u"AGAIN"});
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  // "10" < 2 compares texts; TRUE + 0 is no number; TWO(4) adds Empty.
  EXPECT_EQ(out.lines,
            (std::vector<std::string>{"", "2", "1", "3", "10", "13", "True", "True", "6", "3", "6", "4", "8", "8"}));
}

TEST_F(NumberFunctions, AnErrorDeepInsideIsReportedWhereTheFramesReportIt) {
  // 1 MOD 0 gives up on doubles: the call is made again in frames, which
  // report it at its statement in the innermost call.
  Outcome out = same_both_ways({"PRINT \"before\"", "PRINT M(3)", "PRINT \"after\""},
                               {"FUNCTION M(X)", "IFB X = 0 THEN", "RESULT = 1 MOD X", "ELSE", "RESULT = M(X - 1) + 1",
                                "ENDIF", "FEND"},
                               {u"M"});
  ASSERT_EQ(out.errors.size(), 1u);
  EXPECT_NE(out.errors[0].find("RESULT = 1 MOD X"), std::string::npos) << out.errors[0];
}

TEST_F(NumberFunctions, EndlessRecursionInAThreadIsReportedAsInFrames) {
  // In a script thread, whose stack budget fits every test program: the
  // run on doubles reaches the stack's bound first, and the frames then
  // report the calls too deep.
  Outcome out = same_both_ways({"THREAD P()", "WHILE TRUE", "SLEEP(0.01)", "WEND"},
                               {"PROCEDURE P()", "PRINT D(0)", "FEND", "FUNCTION D(N)", "RESULT = D(N + 1) + 1",
                                "FEND"},
                               {u"D"});
  EXPECT_EQ(out.errors, std::vector<std::string>{"The calls nest too deep (out of stack): D | at line 9: "
                                                 "RESULT = D(N + 1) + 1"});
}

TEST_F(NumberFunctions, ARecursionJustTooDeepForFramesFailsOnDoublesToo) {
  // The run on doubles takes less stack a call than frames do: at depths
  // around the frames' bound it must still fail where they fail.
  size_t answered = 0, refused = 0;
  for (int depth : {50, 200, 600, 900, 1200, 1600, 2400, 5000}) {
    SCOPED_TRACE(depth);
    Outcome out = same_both_ways({"PUBLIC DONE = 0", "THREAD P()", "REPEAT", "SLEEP(0.01)", "UNTIL DONE"},
                                 {"PROCEDURE P()", "PRINT S(" + std::to_string(depth) + ")", "DONE = 1", "FEND",
                                  "FUNCTION S(N)", "IFB N = 0 THEN", "RESULT = 0", "ELSE", "RESULT = N + S(N - 1)",
                                  "ENDIF", "FEND"},
                                 {u"S"});
    answered += out.lines.size();
    refused += out.errors.size();
  }
  EXPECT_GT(answered, 0u);
  EXPECT_GT(refused, 0u);
}

TEST_F(NumberFunctions, AThreadsCallsRunOnNumbersToo) {
  Outcome out = same_both_ways({"PUBLIC R = 0", "THREAD T()", "REPEAT", "SLEEP(0.01)", "UNTIL R <> 0", "PRINT R"},
                               [] {
                                 std::vector<std::string> f{"PROCEDURE T()", "R = FIB(18)", "FEND"};
                                 f.insert(f.end(), k_fib.begin(), k_fib.end());
                                 return f;
                               }(),
                               {u"FIB"});
  EXPECT_EQ(out.lines, std::vector<std::string>{"2584"});
}

// Random programs of three functions of A and B that call each other:
// arithmetic with MOD, literals up to 1E300, ELSEIF, a parameter set again,
// nested IFB; many of them end on an error (MOD by 0) somewhere deep.
class RandomNumberFunctions {
 public:
  explicit RandomNumberFunctions(uint32_t seed) : m_random(seed) {}

  std::vector<std::string> functions() {
    std::vector<std::string> out;
    for (const char* name : {"F0", "F1", "F2"}) {
      out.push_back(std::string("FUNCTION ") + name + "(A, B)");
      out.push_back("IFB A <= 0 THEN");
      out.push_back("RESULT = " + expression(2, false));
      if (chance(0.5)) {
        out.push_back("ELSEIF " + condition() + " THEN");
        out.push_back("B = " + expression(2, false));
        out.push_back("RESULT = " + expression(3, true));
      }
      out.push_back("ELSE");
      if (chance(0.3)) {
        out.push_back("IFB " + condition() + " THEN");
        out.push_back("RESULT = " + expression(2, true));
        out.push_back("ENDIF");
      } else {
        out.push_back("RESULT = " + expression(3, true));
      }
      out.push_back("ENDIF");
      out.push_back("FEND");
    }
    return out;
  }

 private:
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_random) < p; }
  template <size_t N>
  const char* pick(const char* const (&items)[N]) {
    return items[std::uniform_int_distribution<size_t>(0, N - 1)(m_random)];
  }
  std::string expression(int depth, bool calls) {
    static const char* const k_operands[] = {"A", "B", "0", "1", "2", "3", "0.5", "-1", "1E300", "0.1"};
    static const char* const k_operators[] = {"+", "-", "*", "/", "MOD", "+", "-"};
    static const char* const k_functions[] = {"F0", "F1", "F2"};
    if (depth <= 0 || chance(0.3)) return pick(k_operands);
    if (calls && chance(0.25)) return std::string(pick(k_functions)) + "(A - 1, " + expression(depth - 1, false) + ")";
    std::string e = expression(depth - 1, calls) + " " + pick(k_operators) + " " + expression(depth - 1, calls);
    if (chance(0.3)) e = "(" + e + ")";
    if (chance(0.1)) e = "-" + e;
    return e;
  }
  std::string condition() {
    static const char* const k_comparisons[] = {"<", ">", "=", "<>", "<=", ">="};
    return expression(1, false) + " " + pick(k_comparisons) + " " + expression(1, false);
  }

  std::mt19937 m_random;
};

TEST_F(NumberFunctions, RandomProgramsPrintAndFailAsInFrames) {
  std::vector<std::string> body{"FOR I = 0 TO 6", "PRINT \"F0 \" + F0(I, I * 0.5 - 1)", "PRINT \"F1 \" + F1(I, I)",
                                "PRINT \"F2 \" + F2(I, 2 - I)", "NEXT"};
  // Some plans have no number form (a literal's minus, a folded constant):
  // such a function, and each that calls it, runs in frames.
  probed = {u"F0", u"F1", u"F2"};
  size_t lines = 0, failures = 0, numbered_programs = 0;
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    std::vector<std::string> functions = RandomNumberFunctions(seed).functions();
    SCOPED_TRACE(listing(functions));
    Outcome out = same_both_ways(body, functions, {});
    lines += out.lines.size();
    failures += out.errors.size();
    numbered_programs += numbered == 3 ? 1 : 0;
    if (HasFailure()) break;
  }
  // The programs are varied enough: many run on doubles, most print
  // something, many fail.
  EXPECT_GT(numbered_programs, 40u);
  EXPECT_GT(lines, 500u);
  EXPECT_GT(failures, 30u);
}

}  // namespace
}  // namespace vesk::test
