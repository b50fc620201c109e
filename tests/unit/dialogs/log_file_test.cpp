// The log file's buffer: append rule, modes, limit, and whole-file writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/dialogs/log_file.h"
#include "platform/platform.h"
#include "support/utf.h"

namespace vesk::test {
namespace {

const LogTime k_now{2026, 12, 8, 9, 5, 7};

class LogFileTest : public ::testing::Test {
 protected:
  LogFileTest() {
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = std::filesystem::temp_directory_path() / (std::string("vesk-log-") + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    path = utf8_to_utf16((dir / "VESK.LOG").string());
  }
  ~LogFileTest() override { std::filesystem::remove_all(dir); }
  std::string file() const { return platform::read_file_bytes(path).value_or("<none>"); }

  std::filesystem::path dir;
  std::u16string path;
};

}  // namespace

TEST_F(LogFileTest, ModesStampOrSkipTheLine) {
  LogFile log(path);
  log.add_line(u"minutes", k_now);
  log.set_mode(3);
  log.add_line(u"seconds", k_now);
  log.set_mode(2);
  log.add_line(u"bare", k_now);
  log.set_mode(1);
  log.add_line(u"not in the file", k_now);
  log.write();
  EXPECT_EQ(file(), "26/12/08 09:05  minutes\r\n26/12/08 09:05:07  seconds\r\nbare\r\n");
}

TEST_F(LogFileTest, RunsAppendToTheFileAndAFreshModeStartsAnew) {
  {
    LogFile first(path);
    first.set_mode(2);
    first.add_line(u"one", k_now);
    first.write();
  }
  LogFile second(path);  // a new process loads what is there
  second.set_mode(2);
  second.add_line(u"two", k_now);
  second.write();
  EXPECT_EQ(file(), "one\r\ntwo\r\n");
  second.set_mode(2 | 4);
  second.add_line(u"three", k_now);
  second.write();
  EXPECT_EQ(file(), "three\r\n");
}

TEST_F(LogFileTest, TheLimitDropsTheOldestLinesAndLongLinesAreCut) {
  LogFile log(path);
  log.set_line_limit_text(u"3, whatever");
  EXPECT_EQ(log.line_limit(), 3);
  log.set_mode(2);
  for (int i = 1; i <= 5; ++i) log.add_line(utf8_to_utf16(std::to_string(i)), k_now);
  EXPECT_EQ(log.lines().size(), 3u);
  EXPECT_EQ(log.lines().front(), u"3");
  log.add_line(std::u16string(70000, u'x'), k_now);
  EXPECT_EQ(log.lines().back().size(), 64000u + 3u);
  EXPECT_EQ(log.lines().back().substr(64000), u"...");

  log.set_line_limit_text(u"0");
  EXPECT_EQ(log.line_limit(), 2000);
  log.set_line_limit_text(u"many");
  EXPECT_EQ(log.line_limit(), 2000);
  log.set_line_limit_text(u"50000");
  EXPECT_EQ(log.line_limit(), 32000);
}

TEST_F(LogFileTest, OptionsOfARunAreUndoneAtItsEnd) {
  LogFile log(path);
  log.set_line_limit_for_run(10);
  std::u16string other = utf8_to_utf16((dir / "OTHER.LOG").string());
  log.set_path_override(other);
  log.set_mode(2);
  log.add_line(u"elsewhere", k_now);
  log.write();
  EXPECT_EQ(platform::read_file_bytes(other).value_or(""), "elsewhere\r\n");
  log.run_end();
  EXPECT_EQ(log.line_limit(), 2000);
  EXPECT_EQ(log.path(), path);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(LogFileTest, AFailedWriteLeavesTheOldFileWhole) {
  LogFile log(path);
  log.set_mode(2);
  log.add_line(u"kept", k_now);
  log.write();
  // A folder in the way of the temporary file makes the next write fail.
  std::filesystem::create_directories(dir / "VESK.LOG.vesk-new" / "x");
  log.add_line(u"lost", k_now);
  log.write();
  EXPECT_EQ(file(), "kept\r\n");
  EXPECT_FALSE(platform::replace_file_bytes(path, "new"));
}

}  // namespace vesk::test
