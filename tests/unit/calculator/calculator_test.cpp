// The arithmetic calculator of the schedules.
#include "builtins/calculator/calculator.h"

#include <string>

#include <gtest/gtest.h>

namespace vesk {
namespace {

constexpr double k_failed = k_calculation_failed;

std::string error_of(std::string_view formula) { return calculate_with_error(formula).error; }

TEST(CalculatorTest, LevelsAndAssociativity) {
  EXPECT_EQ(calculate("1+2*3"), 7);
  EXPECT_EQ(calculate("(1+2)*3"), 9);
  EXPECT_EQ(calculate("10-4-3"), 3);
  EXPECT_EQ(calculate("100/10/5"), 2);
  EXPECT_EQ(calculate("2*3 MOD 4"), 2);
  EXPECT_EQ(calculate("1+2=3"), 1);
  EXPECT_EQ(calculate("1|2&0"), 1);
  EXPECT_EQ(calculate("!1+1"), 1);
  EXPECT_EQ(calculate("2>1=1"), 1);
  EXPECT_EQ(calculate("3<2<1"), 1);  // (3<2) is 0, and 0<1
}

TEST(CalculatorTest, Operators) {
  EXPECT_EQ(calculate("7 MOD 3"), 1);
  EXPECT_EQ(calculate("7.6 MOD 3"), 2);
  EXPECT_EQ(calculate("2.5 MOD 10"), 2);  // halves round to even
  EXPECT_EQ(calculate("3.5 MOD 10"), 4);
  EXPECT_EQ(calculate("-7 MOD 3"), -1);
  EXPECT_EQ(calculate("7 MOD -3"), 1);
  EXPECT_EQ(calculate("5/0"), 0);
  EXPECT_EQ(calculate("0/0"), 0);
  EXPECT_EQ(calculate("!0"), 1);
  EXPECT_EQ(calculate("!2"), 0);
  EXPECT_EQ(calculate("!!2"), 1);
  EXPECT_EQ(calculate("!!!2"), 0);
  EXPECT_EQ(calculate("3 & 5"), 1);
  EXPECT_EQ(calculate("3 | 5"), 7);
  EXPECT_EQ(calculate("3 AND 5"), 1);
  EXPECT_EQ(calculate("3 or 5"), 7);
  EXPECT_EQ(calculate("3.9 & 5.9"), 1);  // truncated, not rounded
  EXPECT_EQ(calculate("-1 & 255"), 255);
  EXPECT_EQ(calculate("3>=3") + calculate("3<=2") + calculate("2<>2") + calculate("2<>3"), 2);
}

TEST(CalculatorTest, TokensGrowByTheirRules) {
  EXPECT_EQ(calculate("1E+3"), 1000);
  EXPECT_DOUBLE_EQ(calculate("2E-1"), 0.2);
  EXPECT_DOUBLE_EQ(calculate("1.5e+2*2"), 300);
  EXPECT_EQ(calculate("1e3"), 1000);
  EXPECT_EQ(calculate(".5*4"), 2);
  EXPECT_EQ(calculate("1E-400"), 0);  // underflow reads as 0
  EXPECT_EQ(error_of("1 E+3"), "計算式に矛盾あり");           // "E" stands alone
  EXPECT_EQ(error_of("3 > = 2"), "kukonidat関数内に矛盾あり");  // "=" is no operand
  EXPECT_EQ(error_of("3 <>= 2"), "計算式に矛盾あり");           // one token, no operator
  EXPECT_EQ(calculate("3OR5"), k_failed);                         // one unreadable number
}

TEST(CalculatorTest, EmptyAndBlanks) {
  EXPECT_EQ(calculate(""), 0);
  EXPECT_EQ(calculate(" \t "), 0);
  EXPECT_EQ(calculate_with_error("  1 +\t2 ").value, 3);
  EXPECT_EQ(calculate_with_error("1+2").error, "");
}

TEST(CalculatorTest, HexadecimalNumbers) {
  EXPECT_EQ(calculate("$FF"), 255);
  EXPECT_EQ(calculate("$ff+1"), 256);
  EXPECT_EQ(calculate("-$10"), -16);
  EXPECT_EQ(calculate("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(calculate("$0FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(calculate("$1FFFFFFFFFFFFFFFF"), k_failed);
  EXPECT_EQ(calculate("$"), k_failed);
  EXPECT_EQ(calculate("$FG"), k_failed);
}

TEST(CalculatorTest, NumberLengthLimits) {
  std::string digits(32, '1');
  EXPECT_DOUBLE_EQ(calculate(digits), 1.1111111111111111e31);
  EXPECT_EQ(calculate(digits + "1"), k_failed);
  EXPECT_DOUBLE_EQ(calculate("1." + digits), 1.1111111111111111);
  EXPECT_EQ(calculate("1." + std::string(63, '1')), k_failed);
  // An unreadable number is the sentinel value; after a sign it is an error.
  EXPECT_EQ(calculate_with_error("1.2.3").error, "");
  EXPECT_EQ(calculate("1.2.3+1"), k_failed + 1);
  EXPECT_EQ(error_of("-1.2.3"), "計算式に矛盾あり");
  EXPECT_EQ(error_of("-" + digits + "1"), "計算式に矛盾あり");
}

TEST(CalculatorTest, Signs) {
  EXPECT_EQ(calculate("-5"), -5);
  EXPECT_EQ(calculate("+5"), 5);
  EXPECT_EQ(calculate("- 5"), -5);
  EXPECT_EQ(calculate("2--3"), 5);
  EXPECT_EQ(error_of("-(1)"), "計算式に矛盾あり");
  EXPECT_EQ(error_of("--1"), "計算式に矛盾あり");
  EXPECT_EQ(error_of("1+-"), "計算式に矛盾あり");
}

TEST(CalculatorTest, Functions) {
  EXPECT_EQ(calculate("IIF(1, 10, 20)"), 10);
  EXPECT_EQ(calculate("IIF(0, 10, 20)"), 20);
  EXPECT_EQ(calculate("POWER(2, 10)"), 1024);
  EXPECT_EQ(calculate("LOGN(2, 8)"), 3);
  EXPECT_EQ(calculate("abs(-4) + ZCUT(-3) + ZCUT(2.5)"), 6.5);
  EXPECT_EQ(calculate("INT(-2.7)"), -2);
  EXPECT_EQ(calculate("ROUND(2.5) + ROUND(3.5) + ROUND(-2.5)"), 4);
  EXPECT_EQ(calculate("SQRT(16)"), 4);
  EXPECT_EQ(calculate("SIN(0) + COS(0) + TAN(0) + EXP(0) + LN(1)"), 2);
  EXPECT_EQ(calculate("IIF(2>1, ABS(-3), (1))"), 3);
}

TEST(CalculatorTest, MalformedCalls) {
  EXPECT_EQ(calculate("IIF(1, 10)"), k_failed);
  EXPECT_EQ(error_of("IIF(1, 10)"), "IIF引数エラー");
  EXPECT_EQ(error_of("ABS(1, 2)"), "ABS引数エラー");
  // An argument holding the sentinel ends the count.
  EXPECT_EQ(error_of("IIF(1, 2, 1.2.3)"), "IIF引数エラー");
  EXPECT_EQ(error_of("FOO(1)"), "計算式に矛盾あり");
  EXPECT_EQ(error_of("ABS 1"), "kukonidat関数内に矛盾あり");
  EXPECT_EQ(error_of("ABS(1"), "kukonidat関数内に矛盾あり");
  EXPECT_EQ(error_of("ABS(1;2)"), "kukonidat関数内に矛盾あり");
  EXPECT_EQ(error_of("1+"), "kukonidat関数内に矛盾あり");
  EXPECT_EQ(calculate("ABS()"), k_failed);
  EXPECT_EQ(calculate("ABS(1,)"), k_failed);
  std::string sixteen = "IIF(1";
  for (int i = 1; i < 16; ++i) sixteen += ",1";
  EXPECT_EQ(error_of(sixteen + ")"), "IIF引数エラー");
  EXPECT_EQ(error_of(sixteen + ",1)"), "kukonidat関数内に矛盾あり");
}

TEST(CalculatorTest, Parentheses) {
  EXPECT_EQ(error_of("(1"), "()の括りに矛盾あり");
  EXPECT_EQ(error_of("1)"), "計算式に矛盾あり");
  EXPECT_EQ(error_of("1 2"), "計算式に矛盾あり");
  EXPECT_EQ(calculate(std::string(100, '(') + "1" + std::string(100, ')')), 1);
}

TEST(CalculatorTest, DeepNestingFailsWithoutExhaustingTheStack) {
  EXPECT_EQ(calculate(std::string(100000, '(')), k_failed);
  std::string calls;
  for (int i = 0; i < 50000; ++i) calls += "ABS(";
  EXPECT_EQ(calculate(calls + "1"), k_failed);
  EXPECT_EQ(calculate(std::string(100001, '!') + "0"), 1);
}

TEST(CalculatorTest, PlatformFailuresAreErrors) {
  EXPECT_EQ(error_of("7 MOD 0"), "Division by zero");
  EXPECT_EQ(error_of("7 MOD 0.4"), "Division by zero");
  EXPECT_EQ(calculate("$8000000000000000 MOD -1"), 0);
  EXPECT_EQ(calculate("SQRT(-1)"), k_failed);
  EXPECT_EQ(calculate("LN(0)"), k_failed);
  EXPECT_EQ(calculate("POWER(10, 400)"), k_failed);
  EXPECT_EQ(calculate("1E308*10"), k_failed);
  EXPECT_EQ(calculate("1E30 | 1"), k_failed);
  EXPECT_EQ(calculate("1E30 MOD 7"), k_failed);
}

TEST(CalculatorTest, WideTextOutsideAsciiIsInvalid) {
  EXPECT_EQ(calculate(u"1+2"), 3);
  EXPECT_EQ(calculate(u"1\uFF0B2"), k_failed);
  EXPECT_EQ(calculate(u"1\u3000"), k_failed);
  EXPECT_EQ(calculate(u"\u0131"), k_failed);  // its low byte is "1"
  EXPECT_EQ(calculate(std::string_view("1\0", 2)), k_failed);
}

}  // namespace
}  // namespace vesk
