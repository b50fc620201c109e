// The array built-ins.
#include "builtin_test_support.h"

namespace vesk::test {

class ArrayTest : public BuiltinTest {
 protected:
  void fill(const std::string& name, std::vector<Value> values) {
    dim(name, static_cast<int32_t>(values.size()) - 1);
    for (size_t i = 0; i < values.size(); ++i)
      interpreter.store().write(frame, utf8_to_utf16(name), std::vector<Value>{Value::i4(static_cast<int32_t>(i))},
                                values[i]);
  }
  std::string joined(const std::string& name) { return text("JOIN(" + name + ", \",\")"); }
};

TEST_F(ArrayTest, SplitJoinSlice) {
  EXPECT_EQ(text("JOIN(SPLIT(\"a b  c\"), \"|\")"), "a|b||c");
  EXPECT_EQ(text("JOIN(SPLIT(\"a b  c\"), \"|\", TRUE)"), "a|b|c");
  EXPECT_EQ(text("LENGTH(SPLIT(\"\"))"), "0");
  EXPECT_EQ(text("SPLIT(\"a,b,c\", \",\")[2]"), "c");
  fill("A", {Value::i4(1), Value::i4(2), Value::i4(3), Value::i4(4)});
  EXPECT_EQ(text("JOIN(A, \"-\", 0, 1, 2)"), "2-3");
  EXPECT_EQ(text("JOIN(SLICE(A, 2), \",\")"), "3,4");
  EXPECT_EQ(text("JOIN(SLICE(A, 3, 1), \",\")"), "");
}

TEST_F(ArrayTest, JoinOfANonArrayIsReported) {
  set("X", Value::i4(1));
  EXPECT_TRUE(eval("JOIN(X)").failed);
  EXPECT_EQ(error(), "X: It is not an array");
}

TEST_F(ArrayTest, CalcarraySkipsEmptyElements) {
  fill("A", {Value::i4(4), Value(), Value::i4(1), Value::string(u"7")});
  EXPECT_EQ(text("CALCARRAY(A, CALC_ADD)"), "12");
  EXPECT_EQ(text("CALCARRAY(A, CALC_MIN)"), "1");
  EXPECT_EQ(text("CALCARRAY(A, CALC_MAX)"), "7");
  EXPECT_EQ(text("CALCARRAY(A, CALC_AVR)"), "4");
  EXPECT_EQ(text("CALCARRAY(A, CALC_ADD, -5, 1)"), "4");
  EXPECT_TRUE(eval("CALCARRAY(A, 0)").value.is_empty());
}

TEST_F(ArrayTest, QsortKeepsCompanionRowsTogether) {
  fill("K", {Value::i4(3), Value::i4(1), Value::i4(2), Value::i4(10)});
  fill("V", {Value::string(u"c"), Value::string(u"a"), Value::string(u"b"), Value::string(u"j")});
  text("QSORT(K, 0, V)");
  EXPECT_EQ(joined("K"), "1,2,3,10");
  EXPECT_EQ(joined("V"), "a,b,c,j");
  text("QSORT(K, 1, V)");
  EXPECT_EQ(joined("V"), "j,c,b,a");
  text("QSORT(K, 2, V)");
  EXPECT_EQ(joined("K"), "1,10,2,3");
}

TEST_F(ArrayTest, QsortNeedsCompanionsAsLongAsTheArray) {
  fill("K", {Value::i4(3), Value::i4(1)});
  fill("V", {Value::i4(1)});
  EXPECT_TRUE(eval("QSORT(K, 0, V)").failed);
  EXPECT_EQ(error(), "It exceeded array: V");
}

TEST_F(ArrayTest, QsortTakesAnEmptyOrderAndTheOuterName) {
  fill("K", {Value::i4(2), Value::i4(1)});
  text("QSORT(K, EMPTY)");
  EXPECT_EQ(joined("K"), "1,2");
  text("QSORT(GLOBAL.K, 1)");
  EXPECT_EQ(joined("K"), "2,1");
}

TEST_F(ArrayTest, ShiftResizeSetclear) {
  fill("A", {Value::i4(1), Value::i4(2), Value::i4(3)});
  text("SHIFTARRAY(A, 1)");
  EXPECT_EQ(joined("A"), ",1,2");
  text("SHIFTARRAY(A, -2)");
  EXPECT_EQ(joined("A"), "2,,");
  EXPECT_EQ(text("RESIZE(A, 4, 9)"), "4");
  EXPECT_EQ(joined("A"), "2,,,9,9");
  EXPECT_EQ(text("RESIZE(A)"), "4");
  text("SETCLEAR(A, 7)");
  EXPECT_EQ(joined("A"), "7,7,7,7,7");
  set("S", Value::array_of({Value::i4(1), Value::i4(2)}));
  text("SETCLEAR(S, \"x\")");
  EXPECT_EQ(joined("S"), "x,x");
  EXPECT_EQ(text("RESIZE(S, 0)"), "0");
  EXPECT_EQ(joined("S"), "x");
}

TEST_F(ArrayTest, Safearray) {
  EvalResult r = eval("SAFEARRAY(1, 3)");
  ASSERT_TRUE(r.value.is_array());
  EXPECT_EQ(r.value.as_array().dimensions[0].lower, 1);
  EXPECT_EQ(r.value.as_array().dimensions[0].count, 3);
  EXPECT_EQ(eval("SAFEARRAY(0, 1, 0, 2)").value.as_array().elements.size(), 6u);
  EXPECT_EQ(eval("SAFEARRAY()").value.as_array().elements.size(), 0u);
}

}  // namespace vesk::test
