// The string built-ins.
#include "builtin_test_support.h"

namespace vesk::test {

using StringTest = BuiltinTest;

TEST_F(StringTest, Copy) {
  EXPECT_EQ(text("COPY(\"abcdef\", 3)"), "cdef");
  EXPECT_EQ(text("COPY(\"abcdef\", 3, 2)"), "cd");
  EXPECT_EQ(text("COPY(\"abc\", 9)"), "");
  EXPECT_EQ(text("COPY(\"abc\", 0, 2)"), "ab");
}

TEST_F(StringTest, PosCountsFromEitherEndAndIgnoresCase) {
  EXPECT_EQ(text("POS(\"b\", \"abcb\", -1)"), "4");
  EXPECT_EQ(text("POS(\"b\", \"abcb\", 2)"), "4");
  EXPECT_EQ(text("POS(\"x\", \"abc\")"), "0");
  EXPECT_EQ(text("POS(\"A\", \"abc\")"), "1");
  EXPECT_EQ(text("POS(\"aa\", \"aaa\", 2)"), "2");
  EXPECT_EQ(text("POS(\"b\", \"abcb\", -3)"), "0");
}

TEST_F(StringTest, LengthOfArraysHashesAndTexts) {
  dim("ARR", 4);
  EXPECT_EQ(text("LENGTH(ARR)"), "5");
  interpreter.store().declare_variable(frame, u"M", {2, 6});
  EXPECT_EQ(text("LENGTH(M)"), "3");
  EXPECT_EQ(text("LENGTH(M[0])"), "7");
  interpreter.store().declare_hashtbl(u"H", frame, false);
  interpreter.store().write(frame, u"H", std::vector<Value>{Value::string(u"k")}, Value::i4(1));
  EXPECT_EQ(text("LENGTH(H)"), "1");
  EXPECT_EQ(text("LENGTH(\"abc\")"), "3");
  EXPECT_EQ(text("LENGTH(SPLIT(\"a b c\"))"), "3");
  EXPECT_EQ(text("LENGTH(ALL_WIN_ID)"), "0");
}

TEST_F(StringTest, ValAndChknum) {
  EXPECT_EQ(text("VAL(\"1,234.5\")"), "1234.5");
  EXPECT_EQ(text("VAL(\"abc\")"), "-888888");
  EXPECT_EQ(text("VAL(\"true\", 1)"), "1");
  EXPECT_EQ(text("VAL(\"CODE_URL\", 1)"), "3");
  EXPECT_EQ(text("VAL(\"$FF\")"), "255");
  EXPECT_EQ(text("VAL(\"\u3000\u30007\u3000\")"), "7");
  EXPECT_EQ(text("VAL(\"true\")"), "-888888");
  EXPECT_EQ(text("CHKNUM(\"12\")"), "True");
  EXPECT_EQ(text("CHKNUM(\" 12\")"), "False");
  EXPECT_EQ(text("CHKNUM(\"1E5\")"), "False");
  EXPECT_EQ(text("CHKNUM(\"1E+5\")"), "True");
}

TEST_F(StringTest, TrimChrAsc) {
  EXPECT_EQ(text("TRIM(\"  a b <#TAB>\")"), "a b");
  EXPECT_EQ(text("TRIM(\"\u3000a\u3000\")"), "\u3000a\u3000");
  EXPECT_EQ(text("TRIM(\"\u3000a\u3000\", 1)"), "a");
  EXPECT_EQ(text("CHR(65)"), "A");
  EXPECT_EQ(text("CHR($1F600)"), "\U0001F600");
  EXPECT_EQ(text("ASC(\"A\")"), "65");
  EXPECT_EQ(text("ASC(\"\")"), "0");
}

TEST_F(StringTest, ReplaceIgnoresCaseAndKeepsTheRest) {
  EXPECT_EQ(text("REPLACE(\"aXbxc\", \"x\", \"--\")"), "a--b--c");
  EXPECT_EQ(text("CHGMOJ(\"abc\", \"\", \"z\")"), "abc");
}

TEST_F(StringTest, Betweenstr) {
  EXPECT_EQ(text("BETWEENSTR(\"<a><b>\", \"<\", \">\")"), "a");
  EXPECT_EQ(text("BETWEENSTR(\"<a><b>\", \"<\", \">\", 2)"), "b");
  EXPECT_EQ(text("BETWEENSTR(\"<a><b>\", \"<\", \">\", -1)"), "b");
  EXPECT_EQ(text("BETWEENSTR(\"k=v\", \"\", \"=\")"), "k");
  EXPECT_EQ(text("BETWEENSTR(\"k=v\", \"=\")"), "v");
  EXPECT_EQ(text("BETWEENSTR(\"abc\", \"x\", \"c\")"), "");
}

TEST_F(StringTest, FormatNumbersAndTexts) {
  EXPECT_EQ(text("FORMAT(3.14159, 0, 2)"), "3.14");
  EXPECT_EQ(text("FORMAT(5, 4)"), "   5");
  EXPECT_EQ(text("FORMAT(3.14159, 3)"), "3.1");
  EXPECT_EQ(text("FORMAT(12345.6, 3)"), "12345");
  EXPECT_EQ(text("FORMAT(255, 0, -1)"), "FF");
  EXPECT_EQ(text("FORMAT(1.5, 6, 2)"), "  1.50");
  EXPECT_EQ(text("FORMAT(\"ab\", 5)"), "ababa");
  EXPECT_EQ(text("FORMAT(\"12\", 5)"), "12121");
  // Decimals round the shown digits half away from zero.
  EXPECT_EQ(text("FORMAT(2.5, 0, 0)"), "3");
  EXPECT_EQ(text("FORMAT(1.005, 0, 2)"), "1.01");
  EXPECT_EQ(text("FORMAT(-0.004, 0, 2)"), "0.00");
  EXPECT_EQ(text("FORMAT(99.96, 0, 1)"), "100.0");
}

TEST_F(StringTest, TokenWritesTheRestBack) {
  set("S", Value::string(u"a,,b \"c,d\",e"));
  EXPECT_EQ(text("TOKEN(\",\", S)"), "a");
  EXPECT_EQ(text("S"), ",b \"c,d\",e");
  EXPECT_EQ(text("TOKEN(\",\", S, TRUE)"), "");
  EXPECT_EQ(text("S"), "b \"c,d\",e");
  EXPECT_EQ(text("TOKEN(\",\", S, 0, 1)"), "b \"c,d\"");
  EXPECT_EQ(text("S"), "e");
  EXPECT_EQ(text("TOKEN(\",\", S)"), "e");
  EXPECT_EQ(text("S"), "");
  set("T", Value::string(u"x;y"));
  EXPECT_EQ(text("TOKEN(\";\", GLOBAL.T)"), "x");
  EXPECT_EQ(text("T"), "y");
}

TEST_F(StringTest, StrconvCaseWidthAndKana) {
  EXPECT_EQ(text("STRCONV(\"abc\", SC_UPPERCASE)"), "ABC");
  EXPECT_EQ(text("STRCONV(\"ÀBC\", SC_LOWERCASE)"), "àbc");
  EXPECT_EQ(text("STRCONV(\"ガ\", SC_HALFWIDTH)"), "ｶﾞ");
  EXPECT_EQ(text("STRCONV(\"ｶﾞｷ\", SC_FULLWIDTH)"), "ガキ");
  EXPECT_EQ(text("STRCONV(\"かな\", SC_KATAKANA)"), "カナ");
  EXPECT_EQ(text("STRCONV(\"ｶﾅ\", SC_FULLWIDTH OR SC_HIRAGANA)"), "かな");
  EXPECT_EQ(text("STRCONV(\"abc\", SC_UPPERCASE OR SC_LOWERCASE)"), "abc");
}

}  // namespace vesk::test
