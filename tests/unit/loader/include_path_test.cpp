// Resolving CALL targets and naming file procedures.
#include <gtest/gtest.h>

#include "engine/loader/include_path.h"

namespace vesk::loader {
namespace {

TEST(ResolveInclude, BareNamesJoinTheDirectory) {
  EXPECT_EQ(resolve_include(u"sub", u"C:\\A\\B", true), u"C:\\A\\B\\SUB.VSK");
  EXPECT_EQ(resolve_include(u"sub.vsk(1, \"x\\y\")", u"C:\\A\\B", true), u"C:\\A\\B\\SUB.VSK(1, \"X\\Y\")");
  EXPECT_EQ(resolve_include(u"sub(1, 2)", u"C:\\A\\B", false), u"C:\\A\\B\\SUB.VSK(1, 2)");
  EXPECT_EQ(resolve_include(u"lib\\sub(8/2)", u"C:\\A", false), u"LIB\\SUB.VSK(8/2)");
}

TEST(ResolveInclude, DotForms) {
  EXPECT_EQ(resolve_include(u"..\\up.vsk", u"C:\\A\\B", false), u"C:\\A\\UP.VSK");
  EXPECT_EQ(resolve_include(u".\\here", u"C:\\A\\B", false), u"C:\\A\\B\\HERE.VSK");
  // The forward-slash forms count in the main file only.
  EXPECT_EQ(resolve_include(u"../up", u"C:\\A\\B", true), u"C:\\A\\UP.VSK");
  EXPECT_EQ(resolve_include(u"./here", u"C:\\A\\B", true), u"C:\\A\\B/HERE.VSK");
}

TEST(ResolveInclude, PathsWithFoldersStayAsWritten) {
  EXPECT_EQ(resolve_include(u"D:\\lib\\x.vsk", u"C:\\A", false), u"D:\\LIB\\X.VSK");
  EXPECT_EQ(resolve_include(u"lib\\x", u"C:\\A", true), u"LIB\\X.VSK");
}

TEST(SplitTarget, SeparatesTheArgumentList) {
  CallTarget t = split_target(u"C:\\PROG (X86)\\SUB.VSK(1, 2)");
  EXPECT_EQ(t.path, u"C:\\PROG (X86)\\SUB.VSK");
  EXPECT_EQ(t.arguments, u"(1, 2)");
  EXPECT_EQ(split_target(u"C:\\A.VSKX\\B.VSK").path, u"C:\\A.VSKX\\B.VSK");
}

TEST(FileProcedureName, FullWidthBracketsInTheFolderOnly) {
  EXPECT_EQ(file_procedure_name(u"C:\\Prog (x86)\\a(1).vsk"), u"C:\\PROG \uFF08X86\uFF09\\A(1).VSK");
  EXPECT_EQ(directory_of(u"C:\\A\\B.VSK"), u"C:\\A");
}

}  // namespace
}  // namespace vesk::loader
