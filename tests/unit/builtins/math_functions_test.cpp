// The numeric group.
#include "builtin_test_support.h"

namespace vesk::test {

using MathTest = BuiltinTest;

TEST_F(MathTest, RoundHalvesToEvenAtAnyDigit) {
  EXPECT_EQ(text("ROUND(2.5)"), "2");
  EXPECT_EQ(text("ROUND(3.5)"), "4");
  EXPECT_EQ(text("ROUND(1.2345, -2)"), "1.23");
  EXPECT_EQ(text("ROUND(1250, 2)"), "1200");
  EXPECT_EQ(text("ROUND(-2.5)"), "-2");
}

TEST_F(MathTest, RoundDigitsOutsideTheirRangeFail) {
  EXPECT_TRUE(eval("ROUND(1, 38)").failed);
  EXPECT_EQ(error(), "Definition is wrong: 38");
}

TEST_F(MathTest, TheUsualFunctions) {
  EXPECT_EQ(text("ZCUT(-3)"), "0");
  EXPECT_EQ(text("ZCUT(3.5)"), "3.5");
  EXPECT_EQ(text("LOGN(2, 8)"), "3");
  EXPECT_EQ(text("POWER(2, 10)"), "1024");
  EXPECT_EQ(text("INT(-2.7)"), "-2");
  EXPECT_EQ(text("ABS(-4)"), "4");
  EXPECT_EQ(text("CEIL(2.1)"), "3");
  EXPECT_EQ(text("CEIL(-2.1)"), "-2");
  EXPECT_EQ(text("SQRT(\"16\")"), "4");
  EXPECT_EQ(text("INT(1, 2, 3, 4)"), "1");
}

TEST_F(MathTest, CeilIsAnIntegerAndZcutOfANegativeIsAByte) {
  EXPECT_EQ(eval("CEIL(1.5)").value.type(), VarType::I4);
  EXPECT_EQ(eval("ZCUT(-1)").value.type(), VarType::UI1);
}

TEST_F(MathTest, TextThatIsNoNumberIsReported) {
  EXPECT_TRUE(eval("INT(\"abc\")").failed);
  EXPECT_EQ(error(), "Is non-numeric: \"abc\"");
}

}  // namespace vesk::test
