// The file services the file built-ins and the settings file stand on:
// replacing a file keeps the old one when it may not be written, folders
// are made with their parents, listings match wildcards without case.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/platform.h"
#include "support/utf.h"

namespace vesk::platform {
namespace {

class FileSystem : public testing::Test {
 protected:
  void SetUp() override {
    m_root = std::filesystem::temp_directory_path() /
             ("vesk-fs-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directories(m_root);
  }
  void TearDown() override {
    for (auto& e : std::filesystem::recursive_directory_iterator(m_root))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    std::filesystem::remove_all(m_root);
  }
  std::u16string path(const std::string& name) const { return utf8_to_utf16((m_root / name).string()); }

  std::filesystem::path m_root;
};

TEST_F(FileSystem, ReplaceKeepsAReadOnlyFileAndItsText) {
  std::u16string file = path("a.txt");
  ASSERT_TRUE(replace_file_bytes(file, "old"));
  ASSERT_TRUE(replace_file_bytes(file, "new"));
  EXPECT_EQ(read_file_bytes(file).value_or(""), "new");
  ASSERT_TRUE(set_read_only(file, true));
  EXPECT_FALSE(replace_file_bytes(file, "lost"));
  EXPECT_EQ(read_file_bytes(file).value_or(""), "new");
  EXPECT_FALSE(file_exists(file + u".vesk-new"));
  ASSERT_TRUE(set_read_only(file, false));
  EXPECT_TRUE(replace_file_bytes(file, "again"));
}

TEST_F(FileSystem, ReplaceIntoAMissingFolderFails) {
  EXPECT_FALSE(replace_file_bytes(path("none/a.txt"), "x"));
}

TEST_F(FileSystem, CreateDirectoryMakesTheParentsToo) {
  std::u16string deep = path("one/two/three");
  EXPECT_TRUE(create_directory(deep));
  EXPECT_TRUE(directory_exists(deep));
  EXPECT_TRUE(create_directory(deep));  // already there
}

TEST_F(FileSystem, ListingMatchesWildcardsWithoutCase) {
  for (const char* name : {"Alpha.TXT", "beta.txt", "gamma.csv", "ab"}) ASSERT_TRUE(replace_file_bytes(path(name), "12"));
  ASSERT_TRUE(create_directory(path("Sub")));
  auto names = [&](std::u16string_view pattern) {
    std::vector<std::u16string> out;
    for (const DirectoryEntry& e : list_directory(path(""), pattern)) out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(names(u"*.txt"), (std::vector<std::u16string>{u"Alpha.TXT", u"beta.txt"}));
  EXPECT_EQ(names(u"?B"), (std::vector<std::u16string>{u"ab"}));
  EXPECT_EQ(names(u"b?"), (std::vector<std::u16string>{}));
  EXPECT_EQ(names(u"a?"), (std::vector<std::u16string>{u"ab"}));
  EXPECT_EQ(names(u"*").size(), 5u);
  EXPECT_EQ(names(u"*.*").size(), 5u);
  for (const DirectoryEntry& e : list_directory(path(""), u"S*")) {
    EXPECT_TRUE(e.folder);
    EXPECT_EQ(e.name, u"Sub");
  }
  for (const DirectoryEntry& e : list_directory(path(""), u"gamma.csv")) {
    EXPECT_EQ(e.size, 2u);
    EXPECT_GT(e.written, 116444736000000000ull);  // after 1970
  }
}

TEST_F(FileSystem, AHeldFileCannotBeHeldTwice) {
  std::u16string file = path("held.txt");
  ASSERT_TRUE(replace_file_bytes(file, "x"));
  std::unique_ptr<HeldFile> held = hold_file(file);
  ASSERT_TRUE(held);
  EXPECT_FALSE(hold_file(file));
  held.reset();
  EXPECT_TRUE(hold_file(file));
}

}  // namespace
}  // namespace vesk::platform
