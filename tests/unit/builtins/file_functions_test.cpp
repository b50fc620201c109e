// The file built-ins seen from a running script: the bytes each write mode
// leaves on disk, the encoding a file keeps, the write-back at the end of a
// run and after a refused write, the hold of an exclusive file, folder
// listings, INI files and SLEEP.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "builtins/core/dispatch.h"
#include "engine/runtime/interpreter.h"
#include "platform/platform.h"
#include "support/utf.h"

namespace vesk::test {
namespace {

// Records what a run shows; a PRINT of a text that names a hook runs the
// hook first, so a test can change the disk in the middle of a run.
class FileHost : public RunOutput {
 public:
  void print_line(const std::u16string& text) override {
    std::string line = utf16_to_utf8(text);
    if (auto hook = hooks.find(line); hook != hooks.end()) hook->second();
    lines.push_back(line);
  }
  void show_error(const std::u16string& message, const std::u16string& location) override {
    errors.push_back(utf16_to_utf8(message) + " | " + utf16_to_utf8(location));
  }
  bool ask_abort(const std::u16string& text, bool) override {
    questions.push_back(utf16_to_utf8(text));
    return false;  // "No": the script goes on
  }

  std::map<std::string, std::function<void()>> hooks;
  std::vector<std::string> lines, errors, questions;
};

class FileFunctions : public ::testing::Test {
 protected:
  FileFunctions() : interpreter(host) {
    install_core_builtins(interpreter);
    m_root = std::filesystem::temp_directory_path() /
             ("vesk-files-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
              std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    clear();
    std::filesystem::create_directories(m_root);
  }
  ~FileFunctions() override { clear(); }

  void clear() {
    std::error_code ignored;
    if (std::filesystem::exists(m_root))
      for (auto& e : std::filesystem::recursive_directory_iterator(m_root))
        if (e.is_regular_file()) platform::set_read_only(e.path().u16string(), false);
    std::filesystem::remove_all(m_root, ignored);
  }

  // Runs [body] (upper-case run text) with the test folder as PARAM_STR[0];
  // DIR names it in the script.
  void run(const std::vector<std::string>& body) {
    std::vector<std::u16string> text{u"PROCEDURE __MAIN__()", u"DIR = PARAM_STR[0]"};
    for (const std::string& line : body) text.push_back(utf8_to_utf16(line));
    text.push_back(u"FEND");
    LoadError error;
    ASSERT_TRUE(interpreter.load(text, error)) << utf16_to_utf8(error.message);
    // A later run of the same interpreter starts with no stop pending.
    if (m_runs++ > 0) interpreter.reset_between_runs(false);
    interpreter.run_main({folder()});
    interpreter.cleanup();
  }

  std::u16string folder() const { return m_root.u16string(); }
  std::u16string path(const std::string& name) const { return (m_root / name).make_preferred().u16string(); }
  void put(const std::string& name, std::string_view bytes) const {
    ASSERT_TRUE(platform::replace_file_bytes(path(name), bytes));
  }
  std::string bytes(const std::string& name) const {
    return platform::read_file_bytes(path(name)).value_or("<none>");
  }
  // The one error the run showed (its message, without the location).
  std::string error_message() const {
    if (host.errors.size() != 1) return "<" + std::to_string(host.errors.size()) + " errors>";
    return host.errors[0].substr(0, host.errors[0].find(" | "));
  }

  FileHost host;
  Interpreter interpreter;
  std::filesystem::path m_root;
  int m_runs = 0;
};

const std::string k_bom8 = "\xEF\xBB\xBF";
const std::string k_bom16 = "\xFF\xFE";

std::string utf16le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// --- the bytes of each write mode ---

TEST_F(FileFunctions, EachWriteModeLeavesItsBytes) {
  run({
      R"(T = "日本 ā")",
      R"(ID = FOPEN(DIR + "\ansi.txt", F_WRITE1))",
      R"(FPUT(ID, "plain"))",
      R"(FPUT(ID, "two"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\u8.txt", F_WRITE8))",
      R"(FPUT(ID, T))",
      R"(FPUT(ID, "x"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\u8b.txt", F_WRITE8B))",
      R"(FPUT(ID, T))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\u16.txt", F_WRITE16))",
      R"(FPUT(ID, T))",
      R"(FPUT(ID, "x"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\nocr.txt", F_WRITE8B OR F_NOCR))",
      R"(FPUT(ID, "a"))",
      R"(FPUT(ID, "b"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\nocr16.txt", F_WRITE16 OR F_NOCR))",
      R"(FPUT(ID, "a"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\highest.txt", F_WRITE1 OR F_WRITE8 OR F_WRITE16))",
      R"(FPUT(ID, "h"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\empty.txt", F_WRITE8B))",
      R"(FCLOSE(ID))",
  });
  EXPECT_TRUE(host.errors.empty()) << host.errors[0];
  EXPECT_EQ(bytes("ansi.txt"), "plain\r\ntwo\r\n");
  EXPECT_EQ(bytes("u8.txt"), "日本 ā\r\nx\r\n");
  EXPECT_EQ(bytes("u8b.txt"), k_bom8 + "日本 ā\r\n");
  EXPECT_EQ(bytes("u16.txt"), k_bom16 + utf16le(u"日本 ā\r\nx\r\n"));
  EXPECT_EQ(bytes("nocr.txt"), k_bom8 + "a\r\nb");
  EXPECT_EQ(bytes("nocr16.txt"), k_bom16 + utf16le(u"a"));
  EXPECT_EQ(bytes("highest.txt"), k_bom16 + utf16le(u"h\r\n"));
  EXPECT_EQ(bytes("empty.txt"), k_bom8);
}

TEST_F(FileFunctions, AnsiOnlyModeNeverTurnsUtf8) {
  run({
      R"(ID = FOPEN(DIR + "\a.txt", F_WRITE1))",
      R"(FPUT(ID, "한"))",
      R"(FCLOSE(ID))",
  });
  EXPECT_EQ(bytes("a.txt"), platform::utf16_to_ansi(u"한") + "\r\n");
  EXPECT_NE(bytes("a.txt"), "한\r\n");
}

// --- the encoding a file keeps ---

TEST_F(FileFunctions, WriteKeepsTheEncodingFoundWhenLoading) {
  put("u16.txt", k_bom16 + utf16le(u"一\r\n"));
  put("u8b.txt", k_bom8 + "一\n");
  put("u8.txt", "一\r\n");
  put("ansi.txt", "plain\n");
  run({
      R"(NAMES = SPLIT("u16 u8b u8 ansi", " "))",
      R"(FOR I = 0 TO 3)",
      R"(  N = NAMES[I])",
      R"(  ID = FOPEN(DIR + "\" + N + ".txt", F_WRITE))",
      R"(  PRINT N + ":" + FGET(ID, 1))",
      R"(  FPUT(ID, "x"))",
      R"(  FCLOSE(ID))",
      R"(NEXT)",
  });
  EXPECT_EQ(host.lines, (std::vector<std::string>{"u16:一", "u8b:一", "u8:一", "ansi:plain"}));
  EXPECT_EQ(bytes("u16.txt"), k_bom16 + utf16le(u"一\r\nx\r\n"));
  EXPECT_EQ(bytes("u8b.txt"), k_bom8 + "一\r\nx\r\n");
  EXPECT_EQ(bytes("u8.txt"), "一\r\nx\r\n");
  EXPECT_EQ(bytes("ansi.txt"), "plain\r\nx\r\n");
}

TEST_F(FileFunctions, AnAnsiFileTakingANonAnsiCharacterBecomesUtf8) {
  put("ansi.txt", "plain\r\n");
  put("new_kept.txt", "");
  run({
      R"(ID = FOPEN(DIR + "\ansi.txt", F_WRITE))",
      R"(FPUT(ID, "한 x"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\new.txt", F_WRITE))",
      R"(FPUT(ID, "한"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\new_kept.txt", F_WRITE))",
      R"(FPUT(ID, "ascii only"))",
      R"(FCLOSE(ID))",
      R"(ID = FOPEN(DIR + "\ansi.txt", F_READ))",
      R"(PRINT FGET(ID, 2))",
  });
  EXPECT_EQ(bytes("ansi.txt"), "plain\r\n한 x\r\n");
  EXPECT_EQ(bytes("new.txt"), "한\r\n");
  EXPECT_EQ(bytes("new_kept.txt"), "ascii only\r\n");
  EXPECT_EQ(host.lines, std::vector<std::string>{"한 x"});
}

// --- writing back ---

TEST_F(FileFunctions, TheEndOfTheRunWritesBackWhatIsStillOpen) {
  put("read.txt", "r1\n");
  run({
      R"(ID = FOPEN(DIR + "\open.txt", F_WRITE16))",
      R"(FPUT(ID, "kept"))",
      R"(ID = FOPEN(DIR + "\read.txt"))",
      R"(ID = FOPEN(DIR + "\dropped.txt", F_WRITE))",
      R"(FPUT(ID, "gone"))",
      R"(FCLOSE(ID, TRUE))",
      // The run stops at an error: what it wrote is still kept.
      R"(ID = FOPEN(DIR + "\stopped.txt", F_WRITE OR F_NOCR))",
      R"(FPUT(ID, "half"))",
      R"(ID = FOPEN(DIR + "\read.txt"))",
      R"(FPUT(ID, "refused"))",
      R"(PRINT "not reached")",
  });
  EXPECT_TRUE(host.lines.empty());
  EXPECT_EQ(bytes("open.txt"), k_bom16 + utf16le(u"kept\r\n"));
  EXPECT_EQ(bytes("stopped.txt"), "half");
  EXPECT_EQ(bytes("read.txt"), "r1\n");  // a file only read is not rewritten
  EXPECT_FALSE(platform::file_exists(path("dropped.txt")));
  EXPECT_EQ(error_message(), "It can't be written= " + utf16_to_utf8(platform::absolute_path(path("read.txt"))));

  // The cleanup freed every slot: the next run starts again at ID 1.
  host.errors.clear();
  run({R"(PRINT FOPEN(DIR + "\read.txt"))"});
  EXPECT_EQ(host.lines, std::vector<std::string>{"1"});
}

TEST_F(FileFunctions, ARefusedWriteLeavesTheOldFileWholeAndIsReported) {
  put("a.txt", "old\r\n");
  host.hooks["LOCK"] = [&] { ASSERT_TRUE(platform::set_read_only(path("a.txt"), true)); };
  run({
      R"(ID = FOPEN(DIR + "\a.txt", F_WRITE8B))",
      R"(FPUT(ID, "new"))",
      R"(PRINT "LOCK")",
      R"(PRINT FCLOSE(ID))",
      R"(PRINT "not reached")",
  });
  EXPECT_EQ(bytes("a.txt"), "old\r\n");
  EXPECT_EQ(error_message(), utf16_to_utf8(platform::absolute_path(path("a.txt"))) + "：Can't be written in");
  EXPECT_EQ(host.lines, std::vector<std::string>{"LOCK"});
  // No temporary file stays behind.
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(m_root)) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST_F(FileFunctions, ARefusedWriteAtTheEndOfTheRunKeepsTheOldFile) {
  put("a.txt", "old\r\n");
  host.hooks["LOCK"] = [&] { ASSERT_TRUE(platform::set_read_only(path("a.txt"), true)); };
  run({
      R"(ID = FOPEN(DIR + "\a.txt", F_WRITE))",
      R"(FPUT(ID, "new", 1))",
      R"(PRINT "LOCK")",
  });
  EXPECT_EQ(bytes("a.txt"), "old\r\n");
}

// --- the hold of an exclusive file ---

TEST_F(FileFunctions, AnExclusiveFileIsHeldUntilItsClose) {
  put("a.txt", "one\n");
  bool held_while_open = false, free_after_close = false;
  host.hooks["OPEN"] = [&] { held_while_open = platform::hold_file(path("a.txt")) == nullptr; };
  host.hooks["CLOSED"] = [&] { free_after_close = platform::hold_file(path("a.txt")) != nullptr; };
  run({
      R"(ID = FOPEN(DIR + "\a.txt", F_WRITE OR F_EXCLUSIVE))",
      R"(PRINT "OPEN")",
      R"(FPUT(ID, "two"))",
      R"(FCLOSE(ID))",
      R"(PRINT "CLOSED")",
  });
  EXPECT_TRUE(held_while_open);
  EXPECT_TRUE(free_after_close);
  EXPECT_EQ(bytes("a.txt"), "one\r\ntwo\r\n");
}

TEST_F(FileFunctions, AFileHeldElsewhereCannotBeOpenedExclusively) {
  put("a.txt", "one\n");
  std::unique_ptr<platform::HeldFile> held = platform::hold_file(path("a.txt"));
  ASSERT_TRUE(held);
  run({R"(PRINT FOPEN(DIR + "\a.txt", F_READ OR F_EXCLUSIVE))"});
  EXPECT_EQ(host.lines, std::vector<std::string>{"-1"});
}

// --- folder listings ---

TEST_F(FileFunctions, GetdirListsFilesOrFoldersByFilter) {
  for (const char* name : {"Xray", "xenon", "alpha", "alpha/inner"})
    ASSERT_TRUE(platform::create_directory(path(name)));
  put("file.txt", "12345");
  put("Xfile.txt", "1");
  put("alpha/deep.txt", "1");
  run({
      R"(PRINT GETDIR(DIR) + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "\") + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "\X*") + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "/x*") + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "X*") + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "*", FALSE, 4) + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR + "\alpha", "\") + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "\none*") + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR) + ":" + GETDIR_FILES[1])",
      R"(PRINT GETDIR("") + ":" + LENGTH(GETDIR_FILES))",
  });
  EXPECT_EQ(host.lines, (std::vector<std::string>{
                            "2:file.txt|Xfile.txt",
                            "3:alpha|xenon|Xray",
                            "2:xenon|Xray",
                            "2:xenon|Xray",
                            "1:Xfile.txt",
                            "2:Xfile.txt|file.txt",
                            "1:inner",
                            "0:",
                            "2:Xfile.txt",
                            "0:0",
                        }));
}

TEST_F(FileFunctions, GetdirOrdersByWriteTimeOldestFirst) {
  using namespace std::chrono_literals;
  auto now = std::filesystem::file_time_type::clock::now();
  const char* names[] = {"a.txt", "b.txt", "c.txt"};
  std::chrono::hours ages[] = {1h, 3h, 2h};
  for (int i = 0; i < 3; ++i) {
    put(names[i], "x");
    std::filesystem::last_write_time(m_root / names[i], now - ages[i]);
  }
  run({
      R"(PRINT GETDIR(DIR, "*.txt", 0, 3) + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "*.txt", 0, 0) + ":" + JOIN(GETDIR_FILES, "|"))",
  });
  EXPECT_EQ(host.lines, (std::vector<std::string>{"3:b.txt|c.txt|a.txt", "3:a.txt|b.txt|c.txt"}));
}

#ifndef _WIN32
TEST_F(FileFunctions, GetdirSkipsHiddenFoldersUnlessAsked) {
  ASSERT_TRUE(platform::create_directory(path(".hidden")));
  ASSERT_TRUE(platform::create_directory(path("shown")));
  run({
      R"(PRINT GETDIR(DIR, "\") + ":" + JOIN(GETDIR_FILES, "|"))",
      R"(PRINT GETDIR(DIR, "\", TRUE) + ":" + JOIN(GETDIR_FILES, "|"))",
  });
  EXPECT_EQ(host.lines, (std::vector<std::string>{"1:shown", "2:.hidden|shown"}));
}
#endif

// --- INI files ---

TEST_F(FileFunctions, IniNamesWithoutADotGetTheExtensionEvenInADottedFolder) {
  ASSERT_TRUE(platform::create_directory(path("my.folder")));
  run({
      R"(WRITEINI("S", "k", "v", DIR + "\my.folder\conf"))",
      R"(WRITEINI("S", "k", "w", DIR + "\my.folder\conf.cfg"))",
      R"(PRINT READINI("S", "k", DIR + "\my.folder\conf"))",
  });
  EXPECT_EQ(bytes("my.folder/conf.INI"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(bytes("my.folder/conf.cfg"), "[S]\r\nk=w\r\n");
  EXPECT_EQ(host.lines, std::vector<std::string>{"v"});
}

TEST_F(FileFunctions, IniValuesOutsideTheCodePageTurnTheFileUtf8AndReadBack) {
  run({
      R"(WRITEINI("S", "a", "1", DIR + "\c.ini"))",
      R"(WRITEINI("S", "b", "한", DIR + "\c.ini"))",
      R"(PRINT READINI("S", "b", DIR + "\c.ini") + " " + VARTYPE(READINI("S", "b", DIR + "\c.ini")))",
      R"(PRINT READINI("S", "a", DIR + "\c.ini") * 3)",
  });
  EXPECT_EQ(bytes("c.ini"), "[S]\r\na=1\r\nb=한\r\n");
  EXPECT_EQ(host.lines, (std::vector<std::string>{"한 8", "3"}));
}

// --- SLEEP ---

TEST_F(FileFunctions, SleepInAScriptWaitsAboutItsTime) {
  using clock = std::chrono::steady_clock;
  auto start = clock::now();
  run({"SLEEP(0)", "SLEEP(0.01)", "PRINT 1"});
  double quick = std::chrono::duration<double>(clock::now() - start).count();
  EXPECT_LT(quick, 0.5);
  start = clock::now();
  run({"SLEEP(0.3)", "PRINT 2"});
  double longer = std::chrono::duration<double>(clock::now() - start).count();
  EXPECT_GE(longer, 0.28);
  EXPECT_LT(longer, 3.0);
}

TEST_F(FileFunctions, AStopEndsASleepInAScript) {
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    interpreter.request_stop();
  });
  auto start = std::chrono::steady_clock::now();
  run({"SLEEP(30)", R"(PRINT "after")"});
  stopper.join();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_TRUE(host.lines.empty());
}

}  // namespace
}  // namespace vesk::test
