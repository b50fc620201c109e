// Assembling a main file and its included files into the run text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/loader/assembly.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/utf.h"

namespace vesk::loader {
namespace {

namespace fs = std::filesystem;

// A scratch folder holding script files; the current directory is the
// folder while a test runs, as the host sets it before assembling.
class Assembly : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = fs::temp_directory_path() /
             ("vesk-assembly-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_root);
    fs::create_directories(m_root);
    m_saved = fs::current_path();
    fs::current_path(m_root);
  }
  void TearDown() override {
    fs::current_path(m_saved);
    fs::remove_all(m_root);
  }

  void write(const std::string& relative, const std::string& bytes) {
    fs::path path = m_root / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  std::u16string folder() const { return platform::current_directory(); }
  std::u16string upper_folder() const {
    std::u16string f = folder();
    for (char16_t& c : f)
      if (c >= u'a' && c <= u'z') c -= 32;
    return f;
  }

  AssemblyResult assemble(const std::string& main) {
    Assembler assembler(m_times);
    return assembler.assemble({folder() + u"\\" + u16(main), {}, std::nullopt});
  }

  FileTimes m_times;
  fs::path m_root, m_saved;
};

TEST_F(Assembly, WrapsMainFileAndAppendsEachIncludeOnce) {
  write("main.vsk", "x = 1\ncall lib\\a.vsk(1, 4/2); y = 2\ncall lib\\a\nfunction f()\nfend\n");
  write("lib/a.vsk", "call ..\\b.vsk\nprint 1\n");
  write("b.vsk", "print 2\n");
  AssemblyResult r = assemble("main.vsk");
  ASSERT_TRUE(r.ok) << utf16_to_utf8(r.error);
  const std::u16string dir = upper_folder() + u"\\";
  Lines expected = {
      u"PROCEDURE __MAIN__()",
      u"X = 1",
      u"CALL " + dir + u"LIB\\A.VSK(1, 4/2);Y = 2",
      u"CALL " + dir + u"LIB\\A.VSK",
      u"FEND",
      u"FUNCTION F()",
      u"FEND",
      u"PROCEDURE " + dir + u"LIB\\A.VSK()",
      u"CALL " + dir + u"B.VSK",
      u"PRINT 1",
      u"FEND",
      u"PROCEDURE " + dir + u"B.VSK()",
      u"PRINT 2",
      u"FEND",
  };
  EXPECT_EQ(r.run_text, expected);
  EXPECT_TRUE(r.changed);
  EXPECT_EQ(m_times.times().size(), 3u);
}

TEST_F(Assembly, BareNamesInTheMainFileResolveAgainstItsFolder) {
  write("main.vsk", "call sub\n");
  write("sub.vsk", "call ..\\top\n");
  std::string parent_name = "top.vsk";
  fs::path parent_file = m_root.parent_path() / parent_name;
  std::ofstream(parent_file, std::ios::binary) << "z = 3\n";
  AssemblyResult r = assemble("main.vsk");
  fs::remove(parent_file);
  ASSERT_TRUE(r.ok) << utf16_to_utf8(r.error);
  const std::u16string dir = upper_folder();
  ASSERT_EQ(r.run_text.size(), 9u);
  EXPECT_EQ(r.run_text[1], u"CALL " + dir + u"\\SUB.VSK");
  EXPECT_EQ(r.run_text[3], u"PROCEDURE " + dir + u"\\SUB.VSK()");
  std::u16string parent = dir.substr(0, dir.find_last_of(u'\\') + 1);
  EXPECT_EQ(r.run_text[4], u"CALL " + parent + u"TOP.VSK");
  EXPECT_EQ(r.run_text[7], u"Z = 3");
}

TEST_F(Assembly, FoldersWithBracketsStillFindTheirIncludes) {
  write("main.vsk", "call dir (1)\\a\n");
  write("dir (1)/a.vsk", "call b\n");
  write("dir (1)/b.vsk", "x = 1\n");
  AssemblyResult r = assemble("main.vsk");
  ASSERT_TRUE(r.ok) << utf16_to_utf8(r.error);
  EXPECT_EQ(r.run_text.back(), u"FEND");
  EXPECT_EQ(r.run_text[r.run_text.size() - 3], u"PROCEDURE " + upper_folder() + u"\\DIR \uFF081\uFF09\\B.VSK()");
}

TEST_F(Assembly, MissingIncludeNamesTheFile) {
  write("main.vsk", "call nothere\n");
  AssemblyResult r = assemble("main.vsk");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, u"FILE Not Found :" + upper_folder() + u"\\NOTHERE.VSK");
  EXPECT_TRUE(r.run_text.empty());
}

TEST_F(Assembly, FendBeforeAnyDefinitionIsAnError) {
  write("main.vsk", "x = 1\nfend\nfunction f()\nfend\n");
  set_message_language_japanese(false);
  EXPECT_EQ(assemble("main.vsk").error, u"Position of the FEND sentence is strange");
  set_message_language_japanese(true);
  EXPECT_EQ(assemble("main.vsk").error, u"FEND\u6587\u306E\u4F4D\u7F6E\u304C\u304A\u304B\u3057\u3044");
  set_message_language_japanese(false);
}

TEST_F(Assembly, DefinitionFirstGivesAnEmptyMainBody) {
  write("main.vsk", "function f(a, _\n  b)\nfend\n");
  AssemblyResult r = assemble("main.vsk");
  ASSERT_TRUE(r.ok);
  // FEND goes in front of the first line of a continued definition.
  Lines expected = {u"PROCEDURE __MAIN__()", u"FEND", u"", u"FUNCTION F(A, B)", u"FEND"};
  EXPECT_EQ(r.run_text, expected);
}

TEST_F(Assembly, SecondRunOfUnchangedFilesIsNotChanged) {
  write("main.vsk", "call a\n");
  write("a.vsk", "x = 1\n");
  EXPECT_TRUE(assemble("main.vsk").changed);
  EXPECT_FALSE(assemble("main.vsk").changed);
  m_times.clear();
  EXPECT_TRUE(assemble("main.vsk").changed);
}

TEST_F(Assembly, EveryEncodingReadsTheSameText) {
  const std::string utf8 = "s = \"caf\xC3\xA9\"\n";
  write("ansi.vsk", "s = \"caf\xE9\"\r\n");
  write("utf8.vsk", utf8);
  write("bom.vsk", "\xEF\xBB\xBF" + utf8);
  write("utf16.vsk", std::string("\xFF\xFE" "s\0 \0=\0 \0\"\0c\0a\0f\0\xE9\0\"\0\r\0\n\0", 26));
  for (const char* name : {"utf8.vsk", "bom.vsk", "utf16.vsk"}) {
    AssemblyResult r = assemble(name);
    ASSERT_TRUE(r.ok) << name;
    EXPECT_EQ(r.run_text[1], u"S = \"caf\u00e9\"") << name;
  }
  if (platform::ansi_code_page() == 1252) {
    EXPECT_EQ(assemble("ansi.vsk").run_text[1], u"S = \"caf\u00e9\"");
  }
}

TEST_F(Assembly, InMemoryAndEmbeddedScripts) {
  Assembler assembler(m_times);
  AssemblyResult memory = assembler.assemble({u"", {u"print 1"}, std::nullopt});
  EXPECT_EQ(memory.run_text, (Lines{u"PROCEDURE __MAIN__()", u"PRINT 1", u"FEND"}));
  AssemblyResult embedded = assembler.assemble({u"", {}, Lines{u"PROCEDURE __MAIN__()", u"print 1", u"FEND"}});
  EXPECT_EQ(embedded.run_text[1], u"print 1");
}

}  // namespace
}  // namespace vesk::loader
