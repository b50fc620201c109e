// The byte built-ins in the double-byte code page 932.
#include <cstdlib>

#include "builtin_test_support.h"

namespace vesk::test {

#ifndef _WIN32
// The portable platform takes its code page from the locale variables.
class ByteTest : public BuiltinTest {
 protected:
  void SetUp() override {
    const char* old = std::getenv("LC_ALL");
    m_saved = old ? old : "";
    m_had = old != nullptr;
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
  }
  void TearDown() override {
    if (m_had) setenv("LC_ALL", m_saved.c_str(), 1);
    else unsetenv("LC_ALL");
  }

 private:
  std::string m_saved;
  bool m_had = false;
};

TEST_F(ByteTest, CountsAndTypesBytesOfDoubleByteCharacters) {
  EXPECT_EQ(text("LENGTHB(\"あa\")"), "3");
  EXPECT_EQ(text("BYTETYPE(\"あa\", 1)"), "1");
  EXPECT_EQ(text("BYTETYPE(\"あa\", 2)"), "2");
  EXPECT_EQ(text("BYTETYPE(\"あa\", 3)"), "0");
  EXPECT_EQ(text("BYTETYPE(\"あa\", 0)"), "-1");
  EXPECT_EQ(text("ASCB(\"あ\")"), "130");
}

TEST_F(ByteTest, CopybCutsBytesIntoANativeString) {
  EvalResult r = eval("COPYB(\"あいう\", 3, 2)");
  ASSERT_TRUE(r.value.is_ansi_string());
  EXPECT_EQ(r.value.as_ansi_string(), "\x82\xa2");
  EXPECT_EQ(text("COPYB(\"あいう\", 3, 2)"), "い");
}

TEST_F(ByteTest, PosbMatchesOnlyAtCharacterStarts) {
  // "ア" is 83 41 and "A" is 41: the trail byte is no match.
  EXPECT_EQ(text("POSB(\"A\", \"アA\")"), "3");
  EXPECT_EQ(text("POSB(\"a\", \"xAxa\", 2)"), "4");
  EXPECT_EQ(text("POSB(\"い\", \"あいい\", -1)"), "5");
}
#endif

}  // namespace vesk::test
