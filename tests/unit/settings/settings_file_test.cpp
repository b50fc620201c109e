// The settings file's INI engine: lookup and placement rules, encodings,
// the location rules and the move to the application-data folder.
#include "app/settings/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace vesk {
namespace {

// A settings file that does not pause between tries.
class QuickSettings : public SettingsFile {
 public:
  explicit QuickSettings(SettingsPlaces places) : SettingsFile(std::move(places)) { set_retry_pause_ms(0); }
};

class SettingsFileTest : public testing::Test {
 protected:
  SettingsFileTest() {
    m_root = std::filesystem::temp_directory_path() /
             ("vesk-settings-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    clear();
    std::filesystem::create_directories(m_root / "prog");
    m_places = {path("prog"), u"VESK.INI", path("appdata/VESK")};
  }
  ~SettingsFileTest() override { clear(); }

  void clear() {
    std::error_code ignored;
    if (std::filesystem::exists(m_root))
      for (auto& e : std::filesystem::recursive_directory_iterator(m_root))
        if (e.is_regular_file()) platform::set_read_only(e.path().u16string(), false);
    std::filesystem::remove_all(m_root, ignored);
  }
  std::u16string path(const std::string& name) const { return (m_root / name).make_preferred().u16string(); }
  void put(const std::string& name, std::string_view bytes) const {
    ASSERT_TRUE(platform::replace_file_bytes(path(name), bytes));
  }
  std::string bytes(const std::string& name) const {
    return platform::read_file_bytes(path(name)).value_or("<none>");
  }
  // [file] in the one spelling the platform gives full paths.
  std::u16string full(const std::string& name) const { return platform::absolute_path(path(name)); }
  QuickSettings settings() const { return QuickSettings(m_places); }

  std::filesystem::path m_root;
  SettingsPlaces m_places;
};

constexpr const char* k_program_file = "prog/VESK.INI";
constexpr const char* k_app_file = "appdata/VESK/VESK.INI";

TEST_F(SettingsFileTest, AnsiFileTurnsUtf8OnlyForAValueOutsideTheCodePage) {
  put("a.ini", "[SET]\r\nA=1\r\n");
  QuickSettings s = settings();
  ASSERT_TRUE(s.write(u"SET", u"B", u"2", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "[SET]\r\nA=1\r\nB=2\r\n");
  // Thai has no form in the Western or the Japanese code page.
  ASSERT_TRUE(s.write(u"SET", u"C", u"\u0E01", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "[SET]\r\nA=1\r\nB=2\r\nC=\xE0\xB8\x81\r\n");
  EXPECT_EQ(s.read(u"SET", u"C", path("a.ini")), u"\u0E01");
  ASSERT_TRUE(s.write(u"new", u"k", u"v", path("new.ini")));
  EXPECT_EQ(bytes("new.ini"), "[new]\r\nk=v\r\n");
}

TEST_F(SettingsFileTest, FilesKeepTheirEncoding) {
  put("u16.ini", std::string("\xFF\xFE[\0S\0]\0\r\0\n\0", 12));
  put("bom.ini", "\xEF\xBB\xBF[S]\r\n");
  put("u8.ini", "[S]\r\nx=\xC3\xA4\r\n");
  QuickSettings s = settings();
  ASSERT_TRUE(s.write(u"S", u"k", u"v", path("u16.ini")));
  EXPECT_EQ(bytes("u16.ini"), std::string("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0", 22));
  ASSERT_TRUE(s.remove(u"S", u"k", path("u16.ini")));
  EXPECT_EQ(bytes("u16.ini"), std::string("\xFF\xFE[\0S\0]\0\r\0\n\0", 12));
  ASSERT_TRUE(s.write(u"S", u"k", u"v", path("bom.ini")));
  EXPECT_EQ(bytes("bom.ini"), "\xEF\xBB\xBF[S]\r\nk=v\r\n");
  ASSERT_TRUE(s.write(u"S", u"k", u"v", path("u8.ini")));
  EXPECT_EQ(bytes("u8.ini"), "[S]\r\nx=\xC3\xA4\r\nk=v\r\n");
}

TEST_F(SettingsFileTest, FirstSectionAndFirstKeyWin) {
  put("a.ini", "k=outside\r\n[S]\r\nK=first\r\nK=second\r\n[S]\r\nother=1\r\n");
  QuickSettings s = settings();
  EXPECT_EQ(s.read(u"S", u"k", path("a.ini")), u"first");
  EXPECT_EQ(s.read(u"S", u"other", path("a.ini")), u"");
  ASSERT_TRUE(s.write(u"S", u"k", u"new", path("a.ini")));
  ASSERT_TRUE(s.write(u"S", u"other", u"2", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "k=outside\r\n[S]\r\nk=new\r\nK=second\r\nother=2\r\n[S]\r\nother=1\r\n");
}

TEST_F(SettingsFileTest, NamesCompareTrimmedWithoutCaseAndValuesAreTrimmed) {
  put("a.ini", "\xEF\xBB\xBF  [ \xC3\x84pfel ]  \r\n  Key  =  a = b  \r\n");
  QuickSettings s = settings();
  EXPECT_EQ(s.read(u" \u00E4PFEL", u"KEY ", path("a.ini")), u"a = b");
  ASSERT_TRUE(s.write(u"\u00E4pfel", u" kEy ", u"c", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "\xEF\xBB\xBF  [ \xC3\x84pfel ]  \r\nkEy=c\r\n");
}

TEST_F(SettingsFileTest, NewEntryGoesUnderTheSectionsLastLine) {
  put("two.ini", "[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n");
  put("five.ini", "[A]\r\nx=1\r\n\r\n\r\n\r\n\r\n\r\n[B]\r\n");
  put("end.ini", "[A]\r\nx=1\r\n\r\n");
  QuickSettings s = settings();
  ASSERT_TRUE(s.write(u"A", u"z", u"3", path("two.ini")));
  EXPECT_EQ(bytes("two.ini"), "[A]\r\nx=1\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\n");
  // Only three blank lines are looked back over.
  ASSERT_TRUE(s.write(u"A", u"z", u"3", path("five.ini")));
  EXPECT_EQ(bytes("five.ini"), "[A]\r\nx=1\r\n\r\n\r\nz=3\r\n\r\n\r\n\r\n[B]\r\n");
  ASSERT_TRUE(s.write(u"A", u"z", u"3", path("end.ini")));
  ASSERT_TRUE(s.write(u"C", u"w", u"4", path("end.ini")));
  EXPECT_EQ(bytes("end.ini"), "[A]\r\nx=1\r\n\r\nz=3\r\n[C]\r\nw=4\r\n");
}

TEST_F(SettingsFileTest, DeletesAKeyOrAWholeSection) {
  put("a.ini", "[A]\r\nk=1\r\nk=2\r\n\r\n[B]\r\nm=3\r\n[C]\r\n");
  QuickSettings s = settings();
  ASSERT_TRUE(s.remove(u"a", u"K", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "[A]\r\nk=2\r\n\r\n[B]\r\nm=3\r\n[C]\r\n");
  ASSERT_TRUE(s.remove(u"A", u"", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "[B]\r\nm=3\r\n[C]\r\n");
  EXPECT_TRUE(s.remove(u"B", u"none", path("a.ini")));
  EXPECT_TRUE(s.remove(u"X", u"", path("missing.ini")));
  EXPECT_FALSE(std::filesystem::exists(m_root / "missing.ini"));
}

TEST_F(SettingsFileTest, AFailedWriteLeavesTheOldFileWhole) {
  put("a.ini", "[S]\r\nk=1\r\n");
  ASSERT_TRUE(platform::set_read_only(path("a.ini"), true));
  QuickSettings s = settings();
  EXPECT_FALSE(s.write(u"S", u"k", u"2", path("a.ini")));
  EXPECT_FALSE(s.remove(u"S", u"", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "[S]\r\nk=1\r\n");
  EXPECT_FALSE(std::filesystem::exists(m_root / "a.ini.vesk-new"));
  EXPECT_FALSE(std::filesystem::exists(m_root / "appdata"));  // an explicit file never moves
  EXPECT_EQ(s.read(u"S", u"k", path("a.ini")), u"1");
}

TEST_F(SettingsFileTest, ReadOnlyModeWritesOnlyExplicitFiles) {
  QuickSettings s = settings();
  s.set_read_only(true);
  EXPECT_FALSE(s.write(u"SET", u"k", u"1"));
  EXPECT_FALSE(std::filesystem::exists(m_root / k_program_file));
  EXPECT_TRUE(s.write(u"SET", u"k", u"1", path("a.ini")));
  s.set_read_only(false);
  EXPECT_TRUE(s.write(u"SET", u"k", u"1"));
  EXPECT_EQ(bytes(k_program_file), "[SET]\r\nk=1\r\n");
}

TEST_F(SettingsFileTest, RefusedProgramFolderMovesTheSettingsToAppData) {
  put(k_program_file, "[SET]\r\nA=1\r\n");
  ASSERT_TRUE(platform::set_read_only(path(k_program_file), true));
  QuickSettings s = settings();
  EXPECT_EQ(platform::absolute_path(s.path()), full(k_program_file));
  s.probe();
  EXPECT_TRUE(s.in_app_data());
  EXPECT_EQ(platform::absolute_path(s.path()), full(k_app_file));
  EXPECT_EQ(bytes(k_app_file), "[SET]\r\nA=1\r\n");
  ASSERT_TRUE(s.write(u"SET", u"B", u"2"));
  EXPECT_EQ(bytes(k_app_file), "[SET]\r\nA=1\r\nB=2\r\n");
  EXPECT_EQ(s.read(u"SET", u"A"), u"1");
  EXPECT_EQ(bytes(k_program_file), "[SET]\r\nA=1\r\n");
}

TEST_F(SettingsFileTest, MissingProgramFolderStartsTheFileInAppData) {
  m_places.program_folder = path("no/such/folder");
  QuickSettings s = settings();
  ASSERT_TRUE(s.write(u"SET", u"Position", u"10,20"));
  EXPECT_EQ(bytes(k_app_file), "[SET]\r\nPosition=10,20\r\n");
  QuickSettings next = settings();  // the next start
  next.start_up();
  EXPECT_TRUE(next.in_app_data());
  EXPECT_EQ(next.read(u"SET", u"Position"), u"10,20");
}

TEST_F(SettingsFileTest, StartUpNeedsAPositionInAppData) {
  ASSERT_TRUE(platform::create_directory(path("appdata/VESK")));
  put(k_program_file, "[SET]\r\nwhere=program\r\n");
  put(k_app_file, "[SET]\r\nPosition=\r\nwhere=app\r\n");
  QuickSettings s = settings();
  s.start_up();
  EXPECT_FALSE(s.in_app_data());
  EXPECT_EQ(s.read(u"SET", u"where"), u"program");
  put(k_app_file, "[set]\r\nposition = 1\r\nwhere=app\r\n");
  s.start_up();
  EXPECT_TRUE(s.in_app_data());
  EXPECT_EQ(s.read(u"SET", u"where"), u"app");
}

TEST_F(SettingsFileTest, OnlyExistingFileIsUsedAndTheLocationFollows) {
  ASSERT_TRUE(platform::create_directory(path("appdata/VESK")));
  put(k_app_file, "[SET]\r\nwhere=app\r\n");
  QuickSettings s = settings();
  EXPECT_EQ(platform::absolute_path(s.path()), full(k_app_file));
  EXPECT_EQ(s.read(u"SET", u"where"), u"app");
  EXPECT_TRUE(s.in_app_data());
}

TEST_F(SettingsFileTest, ExplicitNamesCountFromTheCurrentDirectory) {
  std::u16string start = platform::current_directory();
  ASSERT_TRUE(platform::set_current_directory(path("prog")));
  QuickSettings s = settings();
  std::u16string here = platform::current_directory() + u"\\x.ini";
  EXPECT_EQ(s.resolve_explicit(u"x.ini"), here);
  EXPECT_EQ(s.resolve_explicit(u".\\x.ini"), here);
  EXPECT_EQ(s.resolve_explicit(u"./x.ini"), here);
  EXPECT_EQ(s.resolve_explicit(u"..\\x.ini"), s.resolve_explicit(u"../x.ini"));
  EXPECT_TRUE(s.write(u"S", u"k", u"1", u"..\\x.ini"));
  EXPECT_TRUE(s.write(u"S", u"k", u"1", u"x.ini"));
  platform::set_current_directory(start);
  EXPECT_TRUE(std::filesystem::exists(m_root / "x.ini"));
  EXPECT_TRUE(std::filesystem::exists(m_root / "prog" / "x.ini"));
}

std::u16string key(int thread, int n) {
  return {u'k', static_cast<char16_t>(u'a' + thread), static_cast<char16_t>(u'a' + n)};
}

TEST_F(SettingsFileTest, WritesFromManyThreadsAllLand) {
  QuickSettings s = settings();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&s, t] {
      for (int i = 0; i < 20; ++i)
        s.write(u"S", key(t, i), u"v");
    });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 20; ++i)
      EXPECT_EQ(s.read(u"S", key(t, i)), u"v") << t << " " << i;
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

TEST_F(SettingsFileTest, ALineBreakInAValueCannotMakeUpEntries) {
  QuickSettings s = settings();
  ASSERT_TRUE(s.write(u"SET", u"A", u"1\r\n[EVIL]\r\nB=2", path("a.ini")));
  EXPECT_EQ(bytes("a.ini"), "[SET]\r\nA=1  [EVIL]  B=2\r\n");
  EXPECT_EQ(s.read(u"EVIL", u"B", path("a.ini")), u"");
}

}  // namespace
}  // namespace vesk
