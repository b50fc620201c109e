// The dispatch: name table, argument preparation and its errors.
#include "builtin_test_support.h"

namespace vesk::test {

using DispatchTest = BuiltinTest;

TEST_F(DispatchTest, NameTableKnowsEveryIdInOrder) {
  EXPECT_EQ(builtin_id(u"INT"), 0);
  EXPECT_EQ(builtin_id(u"COPY"), 28);
  EXPECT_EQ(builtin_id(u"CEIL"), 88);
  EXPECT_EQ(builtin_id(u"QSORT"), 128);
  EXPECT_EQ(builtin_id(u"LOCKHARDEX"), 132);
  EXPECT_EQ(builtin_id(u"NOSUCH"), -1);
}

TEST_F(DispatchTest, GlobalPrefixReachesTheBuiltin) { EXPECT_EQ(text("GLOBAL.COPY(\"ab\", 2)"), "b"); }

TEST_F(DispatchTest, TextAtANumericPositionIsADefinitionError) {
  EXPECT_TRUE(eval("COPY(1, \"x\")").failed);
  EXPECT_EQ(error(), "Definition is wrong: x");
}

TEST_F(DispatchTest, ThirtyFiveArgumentsAreTooMany) {
  std::string call = "BETWEENSTR(\"a\"";
  for (int i = 0; i < 34; ++i) call += ", 1";
  EXPECT_TRUE(eval(call + ")").failed);
  EXPECT_EQ(error(), "Error: There are too many arguments to the Function");
}

TEST_F(DispatchTest, MoreArgumentsThanTheFunctionTakesAreTooMany) {
  EXPECT_TRUE(eval("CHR(65, 66)").failed);
  EXPECT_EQ(error(), "Error: There are too many arguments to the Function");
}

TEST_F(DispatchTest, MissingArgumentsAreReported) {
  EXPECT_TRUE(eval("COPY(\"abc\")").failed);
  EXPECT_EQ(error(), "Error: There are too few arguments to the Function: COPY");
}

TEST_F(DispatchTest, BuiltinsOfOtherSubsystemsSayTheyAreNotHere) {
  EXPECT_TRUE(eval("SPEAK(\"x\")").failed);
  EXPECT_EQ(error(), "SPEAK is not available on this platform");
}

TEST_F(DispatchTest, BooleanArgumentsReadAsTheirWord) {
  EXPECT_EQ(text("COPY(\"abc\", TRUE)"), "abc");
  EXPECT_EQ(text("CHR(TRUE + 64)"), "A");
}

TEST_F(DispatchTest, CopybMakesPlusOfNativeStringsConcatenate) {
  // Two native strings that read as numbers add, unless COPYB or CHRB ran
  // earlier in the same evaluation.
  EXPECT_EQ(text("COPYB(\"12\", 1) + COPYB(\"3\", 1)"), "123");
  EXPECT_EQ(text("CHRB(49) + CHRB(50)"), "12");
  // The mark does not outlive its evaluation.
  EXPECT_FALSE(thread_run(frame).byte_string_mark);
}

}  // namespace vesk::test
