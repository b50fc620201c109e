// The byte built-ins and the other value built-ins.
#include <fstream>
#include <sstream>

#include "builtin_test_support.h"
#include "builtins/core/text_mapping.h"
#include "engine/values/date_conversion.h"

namespace vesk::test {

using MiscTest = BuiltinTest;

TEST_F(MiscTest, RandomStaysBelowItsBound) {
  for (int i = 0; i < 500; ++i) {
    double r = *to_double(eval("RANDOM(10)").value);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 10);
  }
  double f = *to_double(eval("RANDOM()").value);
  EXPECT_GE(f, 0);
  EXPECT_LT(f, 1);
}

TEST_F(MiscTest, VartypeKindsAndConversions) {
  EXPECT_EQ(text("VARTYPE(\"a\")"), "8");
  EXPECT_EQ(text("VARTYPE(SPLIT(\"a\"))"), "8204");
  EXPECT_EQ(text("VARTYPE(VARTYPE(\"12\", VAR_INTEGER))"), "3");
  EXPECT_TRUE(eval("VARTYPE(\"x\", VAR_INTEGER)").failed);
  EXPECT_EQ(error(), "VARTYPE: Cannot convert: \"x\"");
}

TEST_F(MiscTest, GettimeSetsTheFrameStamp) {
  EXPECT_EQ(text("GETTIME(1, \"2020/02/28 10:00:00\")"), std::to_string((7363 + 0) * 86400 + 36000 + 86400));
  Converted<DateTime> parts = date_to_parts(frame.time_stamp);
  EXPECT_EQ(parts->month, 2);
  EXPECT_EQ(parts->day, 29);
  EXPECT_EQ(parts->hour, 10);
  EXPECT_TRUE(eval("GETTIME(0, \"2020/13/01\")").failed);
  EXPECT_EQ(error(), "It is wrong date:2020/13/01");
}

TEST_F(MiscTest, GettimeOutsideTheCalendarNamesTheDays) {
  EXPECT_TRUE(eval("GETTIME(1E9)").failed);
  EXPECT_EQ(error(), "It is wrong date:1E9");
}

TEST_F(MiscTest, EvalExpressionsAndAssignments) {
  EXPECT_EQ(text("EVAL(\"1 + 2\")"), "3");
  EXPECT_EQ(text("EVAL(\"x := 5 * 2\")"), "10");
  EXPECT_EQ(text("X"), "10");
  // A ":=" inside a literal is no assignment.
  EXPECT_EQ(text("EVAL(\"\"\"K:=V\"\"\")"), "K:=V");
}

TEST_F(MiscTest, EncodeAndDecodeRoundTrip) {
  EXPECT_EQ(text("ENCODE(\"a b&c~\", CODE_URL)"), "a+b%26c%7e");
  EXPECT_EQ(text("DECODE(\"a+b%26c%%\", CODE_URL)"), "a b&c%");
  EXPECT_EQ(text("DECODE(ENCODE(\"héllo\", CODE_UTF8), CODE_UTF8)"), "héllo");
  EXPECT_EQ(text("LENGTH(ENCODE(\"ab\", CODE_BYTEARRAYW))"), "4");
  EXPECT_EQ(text("DECODE(ENCODE(\"aé\", CODE_BYTEARRAYW), CODE_BYTEARRAYW)"), "aé");
  EXPECT_EQ(text("DECODE(ENCODE(\"abc\", CODE_BYTEARRAY), CODE_BYTEARRAY)"), "abc");
  EXPECT_EQ(text("VARTYPE(ENCODE(\"abc\", CODE_ANSI))"), "256");
  // A report stops the run: the failing case comes last.
  EXPECT_TRUE(eval("DECODE(\"%4\", CODE_URL)").failed);
  EXPECT_EQ(error(), "DECODE: Invalid % sequence: %4");
}

TEST_F(MiscTest, ByteFunctionsInTheAnsiCodePage) {
  EXPECT_EQ(text("LENGTHB(\"abc\")"), "3");
  EXPECT_EQ(text("COPYB(\"abcdef\", 2, 3)"), "bcd");
  EXPECT_EQ(text("POSB(\"C\", \"abcabc\", -1)"), "6");
  EXPECT_EQ(text("ASCB(\"A\")"), "65");
  EXPECT_EQ(text("CHRB(66)"), "B");
  EXPECT_EQ(text("BYTETYPE(\"ab\", 2)"), "0");
  EXPECT_EQ(text("BYTETYPE(\"ab\", 3)"), "-1");
  EXPECT_EQ(text("ISUNICODE(\"abc\")"), "False");
  EXPECT_EQ(text("ISUNICODE(\"\u4E00\u0100\u0E01\")"), "True");
}

// The portable mapping against the system's own, row by row.
TEST(TextMapping, MatchesTheSystemTable) {
  std::ifstream in(VESK_TEST_DATA "/win32-tables/lcmap.en.tsv");
  ASSERT_TRUE(in);
  std::string line;
  std::getline(in, line);
  int checked = 0, wrong = 0;
  auto units = [](const std::string& field) {
    std::u16string out;
    std::istringstream s(field);
    for (std::string u; s >> u;) out.push_back(static_cast<char16_t>(std::stoul(u.substr(2), nullptr, 16)));
    return out;
  };
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string flags, input, output;
    std::getline(row, flags, '\t');
    std::getline(row, input, '\t');
    std::getline(row, output, '\t');
    uint32_t f = 0;
    if (flags.find("UPPERCASE") != std::string::npos) f |= k_map_uppercase;
    if (flags.find("LOWERCASE") != std::string::npos) f |= k_map_lowercase;
    if (flags.find("HIRAGANA") != std::string::npos) f |= k_map_hiragana;
    if (flags.find("KATAKANA") != std::string::npos) f |= k_map_katakana;
    if (flags.find("HALFWIDTH") != std::string::npos) f |= k_map_halfwidth;
    if (flags.find("FULLWIDTH") != std::string::npos) f |= k_map_fullwidth;
    std::optional<std::u16string> mapped = map_text_portable(units(input), f);
    ++checked;
    if (!mapped || *mapped != units(output)) {
      ++wrong;
      ADD_FAILURE() << flags << " " << input << " -> " << output;
      if (wrong > 10) break;
    }
  }
  EXPECT_GT(checked, 3900);
}

}  // namespace vesk::test
