// A NUL inside a file name: the system would read the name only up to the
// NUL, so such a path names no file. Found by the assembly fuzz target: an
// included file that CALLs "INC.VSK" followed by a NUL and more included
// itself under ever longer names, without end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/loader/assembly.h"
#include "platform/platform.h"

namespace vesk::loader {
namespace {

namespace fs = std::filesystem;

class NulPath : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder of each test's own: ctest runs the tests of this file side
    // by side, and Windows refuses to remove a folder that another process
    // has as its current one.
    m_root = fs::temp_directory_path() /
             ("vesk-nul-path-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_root);
    fs::create_directories(m_root);
    m_saved = fs::current_path();
    fs::current_path(m_root);
  }
  void TearDown() override {
    fs::current_path(m_saved);
    fs::remove_all(m_root);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(m_root / name, std::ios::binary) << bytes;
  }
  std::u16string path(std::u16string_view name) const { return platform::current_directory() + u"\\" + std::u16string(name); }

  fs::path m_root, m_saved;
};

TEST_F(NulPath, NamesNoFileAndWritesNothing) {
  write("INC.VSK", "PRINT 1\r\n");
  std::u16string with_nul = path(std::u16string(u"INC.VSK\0X", 9));
  EXPECT_FALSE(platform::file_exists(with_nul));
  EXPECT_FALSE(platform::read_file_bytes(with_nul).has_value());
  EXPECT_FALSE(platform::replace_file_bytes(with_nul, "overwritten"));
  EXPECT_FALSE(platform::delete_file(with_nul));
  EXPECT_EQ(platform::read_file_bytes(path(u"INC.VSK")).value_or(""), "PRINT 1\r\n");
}

TEST_F(NulPath, AFileThatIncludesItselfWithANulEnds) {
  write("INC.VSK", std::string("CALL INC.VSK\0X\r\nPRINT 2\r\n", 25));
  FileTimes times;
  Assembler assembler(times);
  AssemblyInput input;
  input.in_memory_script = {u"CALL INC.VSK"};
  AssemblyResult result = assembler.assemble(input);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error.rfind(u"FILE Not Found :", 0), 0u);
}

}  // namespace
}  // namespace vesk::loader
