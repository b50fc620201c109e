// Normalising script lines into the run-text form.
#include <gtest/gtest.h>

#include "engine/loader/line_normaliser.h"

namespace vesk::loader {
namespace {

class Normaliser : public ::testing::Test {
 protected:
  std::u16string run(std::u16string_view line) { return m_normaliser.normalise(line); }

  ModuleNumbers m_modules;
  LineNormaliser m_normaliser{m_modules};
};

TEST_F(Normaliser, UpperCasesOutsideLiteralsAndKeepsMemberNames) {
  EXPECT_EQ(run(u"  x = \"Hello\" + obj.Name.sub_Item$1(a)  "), u"X = \"Hello\" + OBJ.Name.sub_Item$1(A)");
  EXPECT_EQ(run(u"s = \"a\"\"b\" + c"), u"S = \"a\"\"b\" + C");
  // Only a to z change case.
  EXPECT_EQ(run(u"x = \u00e9t\u00e9"), u"X = \u00e9T\u00e9");
}

TEST_F(Normaliser, CutsCommentsOutsideLiteralsOnly) {
  EXPECT_EQ(run(u"print \"a//b\" // note"), u"PRINT \"a//b\"");
  EXPECT_EQ(run(u"// whole line"), u"");
}

TEST_F(Normaliser, FoldsTabsAndFullWidthBlanksOutsideLiterals) {
  EXPECT_EQ(run(u"\u3000x\t=\u30001\u3000"), u"X = 1");
  EXPECT_EQ(run(u"s = \"\t\u3000\""), u"S = \"\t\u3000\"");
}

TEST_F(Normaliser, ContinuationJoinsIntoTheLastLine) {
  EXPECT_EQ(run(u"x = 1 + _"), u"");
  EXPECT_EQ(run(u"  2 + _ // a comment behind the mark"), u"");
  EXPECT_TRUE(m_normaliser.continuing());
  EXPECT_EQ(run(u"3"), u"X = 1 + 2 + 3");
  EXPECT_FALSE(m_normaliser.continuing());
  EXPECT_EQ(run(u"a = f(1, _"), u"");
  EXPECT_EQ(run(u"2) // done"), u"A = F(1, 2)");
}

TEST_F(Normaliser, TextBlockBodiesStayRaw) {
  EXPECT_EQ(run(u"textblock Greeting"), u"TEXTBLOCK GREETING");
  EXPECT_EQ(run(u"  Keep // this, Case _"), u"  Keep // this, Case _");
  EXPECT_EQ(run(u"endtextblock"), u"ENDTEXTBLOCK");
  EXPECT_EQ(run(u"after"), u"AFTER");
}

TEST_F(Normaliser, DefDllAndProcedureLines) {
  EXPECT_EQ(run(u"def_dll MessageBoxW(hwnd, wstring):int:user32"), u"DEF_DLL MessageBoxW(hwnd, wstring):int:user32");
  EXPECT_EQ(run(u"procedure obj.Method(a)"), u"PROCEDURE OBJ.METHOD(A)");
}

TEST_F(Normaliser, CallWithFullWidthBlankInALiteral) {
  // The member rule does not apply to such a line.
  EXPECT_EQ(run(u"call \"my\u3000file.vsk\"; x.Name"), u"CALL \"my\u3000file.vsk\"; X.NAME");
}

TEST_F(Normaliser, ModulesAreNumberedByFirstAppearance) {
  EXPECT_EQ(run(u"module Alpha"), u"MODULE ALPHA 0");
  EXPECT_EQ(run(u"class Beta"), u"CLASS BETA 1");
  EXPECT_EQ(run(u"module alpha"), u"MODULE ALPHA 0");
  EXPECT_EQ(run(u"module"), u"MODULE");
  EXPECT_EQ(run(u"endmodule"), u"ENDMODULE");
}

TEST(FindCall, CountsOnlyAsAStatement) {
  EXPECT_EQ(find_call(u"CALL A.VSK"), 0u);
  EXPECT_EQ(find_call(u"X = 1;CALL A"), 6u);
  EXPECT_EQ(find_call(u"IF X THEN CALL A"), 10u);
  EXPECT_EQ(find_call(u"RECALL A"), std::u16string::npos);
  EXPECT_EQ(find_call(u"PRINT \"CALL A\""), std::u16string::npos);
  EXPECT_EQ(find_call(u"CALL"), std::u16string::npos);
  EXPECT_EQ(find_call(u"\u3000CALL\u3000A", true), 1u);
  EXPECT_EQ(find_call(u"\u3000CALL\u3000A", false), std::u16string::npos);
}

}  // namespace
}  // namespace vesk::loader
