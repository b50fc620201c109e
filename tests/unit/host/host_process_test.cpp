// vesk.exe as a whole: run-once mode, the log file, exit codes, the error
// dialog, the script dialogs answered from outside, the hand-over to a
// running launcher and the stop form. Each test starts the program and
// drives its windows the way a user would.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::wstring host_exe() { return fs::path(VESK_HOST_DIR "/vesk.exe").wstring(); }

class HostTest : public ::testing::Test {
 protected:
  HostTest() {
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = fs::temp_directory_path() / (std::string("vesk-host-") + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~HostTest() override {
    for (PROCESS_INFORMATION& p : processes) {
      if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(p.hProcess, 99);
      CloseHandle(p.hProcess);
      CloseHandle(p.hThread);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  // A script [name] in the test's folder whose log goes to "run.log"
  // without time stamps.
  std::wstring script(const std::string& name, const std::string& body) {
    fs::path path = dir / name;
    std::ofstream out(path, std::ios::binary);
    out << "OPTION LOGPATH=\"" << (dir / "run.log").string() << "\", LOGFILE=2\r\n" << body;
    return path.wstring();
  }
  // A script with no OPTION line of the test's own.
  std::wstring raw_script(const std::string& name, const std::string& body) {
    fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << body;
    return path.wstring();
  }
  std::string log() const {
    std::ifstream in(dir / "run.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Starts vesk.exe with [arguments]; [error_file] receives its standard
  // error.
  PROCESS_INFORMATION& start(const std::wstring& arguments, const fs::path& error_file = {}) {
    std::wstring command = L"\"" + host_exe() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE error = INVALID_HANDLE_VALUE;
    if (!error_file.empty()) {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      error = CreateFileW(error_file.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                          nullptr);
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdError = error;
      startup.hStdOutput = error;
      startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, error != INVALID_HANDLE_VALUE, 0, nullptr,
                               dir.wstring().c_str(), &startup, &process));
    if (error != INVALID_HANDLE_VALUE) CloseHandle(error);
    processes.push_back(process);
    return processes.back();
  }
  std::string file(const std::string& name) const {
    std::ifstream in(dir / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The exit code, or -1 when the process did not end within [seconds].
  static int finish(PROCESS_INFORMATION& p, int seconds = 30) {
    if (WaitForSingleObject(p.hProcess, seconds * 1000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(p.hProcess, &code);
    return static_cast<int>(code);
  }
  static int run(HostTest& t, const std::wstring& arguments) { return finish(t.start(arguments)); }

  fs::path dir;
  std::deque<PROCESS_INFORMATION> processes;  // references stay valid
};

struct Search {
  DWORD process;
  const wchar_t* klass;
  HWND found = nullptr;
};

BOOL CALLBACK find_window_of(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t klass[64] = {};
  GetClassNameW(window, klass, 64);
  if (pid == search->process && IsWindowVisible(window) && wcscmp(klass, search->klass) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The visible top-level window of class [klass] of [p], waited for.
HWND wait_window(const PROCESS_INFORMATION& p, const wchar_t* klass, int seconds = 20) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    Search search{p.dwProcessId, klass};
    EnumWindows(find_window_of, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    std::this_thread::sleep_for(50ms);
  }
  return nullptr;
}

// The next window of class [klass] once [previous] is gone: a dialog that
// was just answered may take a moment to close.
HWND wait_next(const PROCESS_INFORMATION& p, const wchar_t* klass, HWND previous, int seconds = 20) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (IsWindow(previous) && IsWindowVisible(previous) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(20ms);
  return wait_window(p, klass, seconds);
}

// Whether [condition] came true within [seconds], asked every 50 ms.
template <class Condition>
bool eventually(Condition condition, int seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

struct ChildSearch {
  std::wstring text;
  HWND found = nullptr;
};

BOOL CALLBACK find_child_id(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<std::pair<int, HWND>*>(data);
  if (GetDlgCtrlID(window) == search->first && !search->second) search->second = window;
  return TRUE;
}

// The first control with the identifier [id] anywhere under [parent].
HWND child_with_id(HWND parent, int id) {
  std::pair<int, HWND> search{id, nullptr};
  EnumChildWindows(parent, find_child_id, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

BOOL CALLBACK find_child(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ChildSearch*>(data);
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  if (search->text == text) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND child(HWND parent, const std::wstring& text) {
  ChildSearch search{text};
  EnumChildWindows(parent, find_child, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void click(HWND button) {
  ASSERT_NE(button, nullptr);
  PostMessageW(button, BM_CLICK, 0, 0);
}

std::wstring text_of_children(HWND parent) {
  std::wstring all;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t text[512] = {};
    GetWindowTextW(c, text, 512);
    all += text;
    all += L"|";
  }
  return all;
}

TEST_F(HostTest, ARunOnceWritesPrintLinesToTheLogAndEndsWithTheExitexitCode) {
  std::wstring path = script("once.vsk", "PRINT \"hello\"\r\nPRINT PARAM_STR[0] + \"/\" + PARAM_STR[1]\r\nEXITEXIT 7\r\n");
  EXPECT_EQ(run(*this, L"/unattended \"" + path + L"\" one \"two words\""), 7);
  EXPECT_EQ(log(), "hello\r\none/two words\r\n");
}

TEST_F(HostTest, UnattendedFailuresSayWhatWentWrongInTheExitCode) {
  std::wstring bad = script("bad.vsk", "PRINT \"before\"\r\nDIM a[2]\r\na[5] = 1\r\nPRINT \"after\"\r\n");
  EXPECT_EQ(run(*this, L"/unattended \"" + bad + L"\""), 1);
  std::string text = log();
  EXPECT_EQ(text.rfind("before\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("at line 4"), std::string::npos) << text;  // the error's line, after OPTION
  EXPECT_EQ(text.find("after"), std::string::npos);
  EXPECT_EQ(run(*this, L"/unattended \"" + (dir / "missing").wstring() + L"\""), 2);
}

TEST_F(HostTest, UnattendedErrorsAndRefusalsGoToStandardError) {
  std::wstring bad = script("stderr.vsk", "DIM a[2]\r\na[5] = 1\r\n");
  EXPECT_EQ(finish(start(L"/unattended \"" + bad + L"\"", dir / "error.txt")), 1);
  EXPECT_EQ(file("error.txt"), "It exceeded array: A\r\nat line 3: A[5] = 1\r\n");
  EXPECT_EQ(finish(start(L"/unattended /rec", dir / "rec.txt")), 2);
  EXPECT_EQ(file("rec.txt"), "Recording is not available in this version yet\r\n");
}

TEST_F(HostTest, TheEncipheredScriptThatSlashAWritesRunsLikeThePlainOne) {
  std::wstring plain = script("plain.vsk", "PRINT \"secret\"\r\n");
  EXPECT_EQ(run(*this, L"/a \"" + plain + L"\" \"" + (dir / "sealed").wstring() + L"\""), 0);
  std::string sealed = file("sealed.VSK");
  ASSERT_FALSE(sealed.empty());
  EXPECT_EQ(sealed.find("secret"), std::string::npos);
  EXPECT_EQ(run(*this, L"/unattended \"" + (dir / "sealed.VSK").wstring() + L"\""), 0);
  EXPECT_EQ(log(), "secret\r\n");
}

TEST_F(HostTest, ARepeatCountRunsTheScriptAgainFromFreshGlobals) {
  std::wstring path = script("repeat.vsk", "PUBLIC n = 0\r\nn = n + 1\r\nPRINT n\r\n");
  EXPECT_EQ(run(*this, L"/unattended \"" + path + L"\" -R3"), 0);
  EXPECT_EQ(log(), "1\r\n1\r\n1\r\n");
}

TEST_F(HostTest, LogOptionsLimitTheFileCutLongLinesAndCanKeepNoFile) {
  std::string log_path = (dir / "run.log").string();
  std::wstring limited = raw_script(
      "limit.vsk", "OPTION LOGPATH=\"" + log_path + "\", LOGFILE=6, LOGLINES=3\r\n"
                   "FOR i = 1 TO 5\r\n  PRINT i\r\nNEXT\r\nPRINT FORMAT(\"x\", 70000)\r\n");
  EXPECT_EQ(run(*this, L"/unattended \"" + limited + L"\""), 0);
  std::string text = log();
  EXPECT_EQ(text.substr(0, 6), "4\r\n5\r\n");
  EXPECT_EQ(text.size(), 6u + 64000u + 3u + 2u);
  EXPECT_EQ(text.substr(text.size() - 5), "...\r\n");
  std::wstring stamped = raw_script("stamp.vsk", "OPTION LOGPATH=\"" + log_path + "\", LOGFILE=7\r\nPRINT \"s\"\r\n");
  EXPECT_EQ(run(*this, L"/unattended \"" + stamped + L"\""), 0);
  // "yy/mm/dd hh:nn:ss  s": a fresh file with seconds in the stamp.
  text = log();
  ASSERT_EQ(text.size(), 20u + 2u) << text;
  EXPECT_EQ(text[2], '/');
  EXPECT_EQ(text.substr(17), "  s\r\n");
  std::wstring none = raw_script("none.vsk", "OPTION LOGPATH=\"" + log_path + "\", LOGFILE=1\r\nPRINT \"n\"\r\n");
  EXPECT_EQ(run(*this, L"/unattended \"" + none + L"\""), 0);
  EXPECT_EQ(log(), text);
}

TEST_F(HostTest, AScriptErrorShowsTheErrorDialogUntilItIsClosed) {
  std::wstring path = script("error.vsk", "PRINT \"x\"\r\nDIM a[2]\r\na[5] = 1\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFmsgDlg");
  ASSERT_NE(dialog, nullptr);
  EXPECT_NE(text_of_children(dialog).find(L"at line 4"), std::wstring::npos) << text_of_children(dialog);
  click(child(dialog, L"OK"));
  EXPECT_EQ(finish(p), 0);
  EXPECT_NE(log().find("at line 4"), std::string::npos);
}

TEST_F(HostTest, MsgboxReturnsTheButtonPressedAndTwoWhenClosed) {
  std::wstring path = script("msgbox.vsk",
                             "PRINT MSGBOX(\"Go on?\", 4 OR 8)\r\nPRINT MSGBOX(\"see http://x.org now\")\r\n"
                             "EXITEXIT MSGBOX(\"third\", 1, 10, 10)\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFmsgDlg");
  ASSERT_NE(dialog, nullptr);
  EXPECT_NE(child(dialog, L"Yes"), nullptr);
  click(child(dialog, L"No"));
  dialog = wait_next(p, L"TFmsgDlg", dialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_NE(child(dialog, L"http://x.org"), nullptr) << "the link lies over the message";
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // Esc
  dialog = wait_next(p, L"TFmsgDlg", dialog);
  ASSERT_NE(dialog, nullptr);
  RECT r;
  GetWindowRect(dialog, &r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 10);
  click(child(dialog, L"OK"));
  EXPECT_EQ(finish(p), 1);
  EXPECT_EQ(log(), "8\r\n2\r\n");
}

TEST_F(HostTest, TheLogWindowsMemoIsTrimmedInBursts) {
  std::wstring path = script("many.vsk", "FOR i = 1 TO 2201\r\n  PRINT i\r\nNEXT\r\nMSGBOX(\"look\")\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFmsgDlg", 60);
  ASSERT_NE(dialog, nullptr);
  HWND log_window = wait_window(p, L"TVScript", 1);
  ASSERT_NE(log_window, nullptr);
  HWND memo = FindWindowExW(log_window, nullptr, L"EDIT", nullptr);
  ASSERT_NE(memo, nullptr);
  // The last lines reach the memo in a batch. 2000 lines and the empty one
  // after the last line break; the first is 202. The first line is read
  // through WM_GETTEXT: an EM_GETLINE from another process makes Wine 8 end
  // the edit control's thread now and then (a "partial write" of its reply).
  LRESULT lines = 0;
  std::wstring first;
  auto trimmed = [&] {
    lines = SendMessageW(memo, EM_GETLINECOUNT, 0, 0);
    wchar_t head[16] = {};
    LRESULT length = SendMessageW(memo, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(head));
    first.assign(head, static_cast<size_t>(std::max<LRESULT>(length, 0)));
    first = first.substr(0, first.find(L"\r\n"));
    return lines == 2001 && first == L"202";
  };
  EXPECT_TRUE(eventually(trimmed, 20)) << lines << " lines, the first \"" << first << "\"; vesk.exe "
                                       << (finish(p, 0) == -1 ? "still runs" : "has ended");
  click(child(dialog, L"OK"));
  EXPECT_EQ(finish(p), 0);
}

TEST_F(HostTest, AScriptThreadsDialogIsShownByTheMainThread) {
  std::wstring path = script("thread.vsk",
                             "PUBLIC r = 0\r\nTHREAD ask()\r\nREPEAT\r\n  SLEEP(0.1)\r\nUNTIL r <> 0\r\nPRINT r\r\n"
                             "PROCEDURE ask()\r\n  r = MSGBOX(\"from a thread\", 1 OR 2)\r\nFEND\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFmsgDlg");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(dialog, nullptr), p.dwThreadId);
  click(child(dialog, L"Cancel"));
  EXPECT_EQ(finish(p), 0);
  EXPECT_EQ(log(), "2\r\n");
}

TEST_F(HostTest, InputReturnsTheTextOrTheEmptyValue) {
  std::wstring path = script("input.vsk",
                             "a = INPUT(\"Name?\", \"abc\")\r\nPRINT a\r\nb = INPUT(\"Secret\", \"\", TRUE)\r\n"
                             "PRINT VARTYPE(b)\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFInpBox");
  ASSERT_NE(dialog, nullptr);
  HWND edit = FindWindowExW(dialog, nullptr, L"EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
  click(child(dialog, L"&OK"));
  dialog = wait_next(p, L"TFInpBox", dialog);
  ASSERT_NE(dialog, nullptr);
  edit = FindWindowExW(dialog, nullptr, L"EDIT", nullptr);
  EXPECT_EQ(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0), L'*');
  click(child(dialog, L"CANCEL"));
  EXPECT_EQ(finish(p), 0);
  EXPECT_EQ(log(), "typed\r\n0\r\n");
}

TEST_F(HostTest, SlctboxAnswersByItsKindAndTimesOutWithZero) {
  std::wstring path = script("select.vsk",
                             "PRINT SLCTBOX(0, 0, \"Pick\", \"a\", \"b\", \"c\")\r\n"
                             "PRINT SLCTBOX(2 OR 64, 0, 20, 30, \"Check\", \"a\", \"b\", \"c\")\r\n"
                             "PRINT SLCTBOX(4, 1, \"Wait\", \"x\", \"y\")\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFSectBox");
  ASSERT_NE(dialog, nullptr);
  click(child(dialog, L"b"));
  dialog = wait_next(p, L"TFSectBox", dialog);
  ASSERT_NE(dialog, nullptr);
  RECT r;
  GetWindowRect(dialog, &r);
  EXPECT_EQ(r.left, 20);
  SendMessageW(child(dialog, L"a"), BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(child(dialog, L"c"), BM_SETCHECK, BST_CHECKED, 0);
  click(child(dialog, L"OK"));
  // The third dialog times out by itself after about a second.
  EXPECT_EQ(finish(p), 0);
  EXPECT_EQ(log(), "2\r\na\tc\r\n0\r\n");
}

TEST_F(HostTest, SlctboxKindsReturnIndexesTextsAndMinusOneWhenClosed) {
  std::wstring path = script("kinds.vsk",
                             "DIM items[] = \"p\", \"q\", \"r\"\r\n"
                             "PRINT SLCTBOX(4 OR 128, 0, \"Radio\", items)\r\n"
                             "PRINT SLCTBOX(8, 0, \"Drop\", \"x\", \"y\", \"z\")\r\n"
                             "PRINT SLCTBOX(16 OR 128, 0, \"List\", \"x\", \"y\", \"z\")\r\n"
                             "PRINT SLCTBOX(0, 0, \"Esc\", \"x\")\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFSectBox");
  ASSERT_NE(dialog, nullptr);
  // The array's elements are the items.
  SendMessageW(child(dialog, L"r"), BM_SETCHECK, BST_CHECKED, 0);
  click(child(dialog, L"OK"));
  dialog = wait_next(p, L"TFSectBox", dialog);
  ASSERT_NE(dialog, nullptr);
  HWND combo = FindWindowExW(dialog, nullptr, L"COMBOBOX", nullptr);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0) << "the first item is selected";
  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  click(child(dialog, L"OK"));
  dialog = wait_next(p, L"TFSectBox", dialog);
  ASSERT_NE(dialog, nullptr);
  HWND list = FindWindowExW(dialog, nullptr, L"LISTBOX", nullptr);
  ASSERT_NE(list, nullptr);
  SendMessageW(list, LB_SETSEL, TRUE, 2);  // the first item stays selected
  click(child(dialog, L"OK"));
  dialog = wait_next(p, L"TFSectBox", dialog);
  ASSERT_NE(dialog, nullptr);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(finish(p), 0);
  EXPECT_EQ(log(), "2\r\n2\r\n0\t2\r\n-1\r\n");
}

TEST_F(HostTest, LongMessagesAreCutAndPlainOnesGetNoLinks) {
  std::wstring path = script("long.vsk",
                             "MSGBOX(FORMAT(\"x\", 70000))\r\nMSGBOX(\"http://a.b\", 1, -1, -1, 0, TRUE)\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFmsgDlg");
  ASSERT_NE(dialog, nullptr);
  HWND label = FindWindowExW(dialog, nullptr, L"STATIC", nullptr);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(SendMessageW(label, WM_GETTEXTLENGTH, 0, 0), 64003);
  click(child(dialog, L"OK"));
  dialog = wait_next(p, L"TFmsgDlg", dialog);
  ASSERT_NE(dialog, nullptr);
  int statics = 0;
  for (HWND c = FindWindowExW(dialog, nullptr, L"STATIC", nullptr); c; c = FindWindowExW(dialog, c, L"STATIC", nullptr))
    ++statics;
  EXPECT_EQ(statics, 1) << "the plain flag lays no link over the text";
  click(child(dialog, L"OK"));
  EXPECT_EQ(finish(p), 0);
}

TEST_F(HostTest, InputTakesItsPositionOnlyFromAllFiveArguments) {
  std::wstring path = script("placed.vsk", "INPUT(\"a\", \"\", FALSE, 10)\r\nINPUT(\"b\", \"\", FALSE, 10, 20)\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFInpBox");
  ASSERT_NE(dialog, nullptr);
  RECT r;
  GetWindowRect(dialog, &r);
  EXPECT_GT(r.left, 100) << "four arguments: centred";
  click(child(dialog, L"&OK"));
  dialog = wait_next(p, L"TFInpBox", dialog);
  ASSERT_NE(dialog, nullptr);
  GetWindowRect(dialog, &r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  click(child(dialog, L"&OK"));
  EXPECT_EQ(finish(p), 0);
}

TEST_F(HostTest, AFocusButtonTakesTheFocusAndEnterPressesIt) {
  std::wstring path = script("focus.vsk", "EXITEXIT MSGBOX(\"Which?\", 1 OR 2 OR 4, -1, -1, 2)\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFmsgDlg");
  ASSERT_NE(dialog, nullptr);
  HWND cancel = child(dialog, L"Cancel");
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  auto until = std::chrono::steady_clock::now() + 5s;
  while (GetGUIThreadInfo(p.dwThreadId, &info) && info.hwndFocus != cancel && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(info.hwndFocus, cancel);
  EXPECT_EQ(GetWindowLongW(child(dialog, L"OK"), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);  // Enter
  EXPECT_EQ(finish(p), 2);
}

TEST_F(HostTest, PopupMenuReturnsTheItemNumberOrMinusOneOnEscape) {
  std::wstring path = script("popup.vsk",
                             "PRINT POPUPMENU(\"a<#CR>{b<#CR>c}<#CR>d\", 100, 100)\r\n"
                             "PRINT POPUPMENU(\"a<#CR>b\", 100, 100)\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND menu = wait_window(p, L"#32768");
  ASSERT_NE(menu, nullptr);
  // a, b (the sub-menu), d: the third entry of the top menu is item 3.
  for (int key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}) {
    PostMessageW(menu, WM_KEYDOWN, key, 0);
    std::this_thread::sleep_for(100ms);
  }
  menu = wait_next(p, L"#32768", menu);
  ASSERT_NE(menu, nullptr);
  PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(finish(p), 0);
  EXPECT_EQ(log(), "3\r\n-1\r\n");
}

TEST_F(HostTest, ASecondInstanceHandsItsScriptToTheLauncherAndTheStopFormStopsIt) {
  PROCESS_INFORMATION& launcher = start(L"");
  HWND bar = wait_window(launcher, L"TFOya");
  ASSERT_NE(bar, nullptr);
  std::wstring path = script("handed.vsk", "PRINT \"handed over\"\r\nSLEEP(20)\r\nPRINT \"not reached\"\r\n");
  EXPECT_EQ(run(*this, L"/k \"" + path + L"\""), 0);
  HWND stop = wait_window(launcher, L"TFTeisi");
  ASSERT_NE(stop, nullptr);
  wchar_t caption[128] = {};
  GetWindowTextW(stop, caption, 128);
  EXPECT_STREQ(caption, L"handed.vsk");
  EXPECT_FALSE(IsWindowVisible(bar));
  // The first PRINT shows the log window; then the script sleeps.
  ASSERT_NE(wait_window(launcher, L"TVScript"), nullptr);
  // The play hot key pauses the run and continues it.
  SendMessageW(bar, WM_HOTKEY, 9875, 0);
  GetWindowTextW(stop, caption, 128);
  EXPECT_STREQ(caption, L"Pause...handed.vsk");
  SendMessageW(bar, WM_HOTKEY, 9875, 0);
  GetWindowTextW(stop, caption, 128);
  EXPECT_STREQ(caption, L"handed.vsk");
  click(child(stop, L"STOP"));
  ASSERT_NE(wait_window(launcher, L"TFOya"), nullptr);  // the bar is back
  EXPECT_EQ(log(), "handed over\r\n");
  PostMessageW(bar, WM_CLOSE, 0, 0);
  EXPECT_EQ(finish(launcher), 0);
}

TEST_F(HostTest, TheBalloonShowsAtItsPlaceWithItsTransparencyAndHidesOnAnEmptyText) {
  std::wstring path = script("balloon.vsk",
                             "FUKIDASI(\"Hello\", 100, 120, 1, 0, \"\", 0, 0, 300)\r\nSLEEP(2)\r\n"
                             "FUKIDASI(\"\")\r\nMSGBOX(\"hidden\")\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND balloon = wait_window(p, L"TFfukidsi");
  ASSERT_NE(balloon, nullptr);
  RECT r;
  GetWindowRect(balloon, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 120);
  BYTE alpha = 0;
  DWORD flags = 0;
  if (GetLayeredWindowAttributes(balloon, nullptr, &alpha, &flags)) {
    EXPECT_EQ(flags & LWA_ALPHA, static_cast<DWORD>(LWA_ALPHA));
    EXPECT_EQ(alpha, 8);  // a transparency of 300 counts as 255
  }
  HWND dialog = wait_window(p, L"TFmsgDlg");
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(balloon));
  click(child(dialog, L"OK"));
  EXPECT_EQ(finish(p), 0);
}

TEST_F(HostTest, HandOverWithoutALauncherRunsOrLoadsInANewOne) {
  std::wstring path = script("alone.vsk", "PRINT \"ran\"\r\n");
  PROCESS_INFORMATION& runs = start(L"/k \"" + path + L"\"");
  HWND bar = wait_window(runs, L"TFOya");
  ASSERT_NE(bar, nullptr);
  auto until = std::chrono::steady_clock::now() + 10s;
  while (log().empty() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(log(), "ran\r\n");
  EXPECT_EQ(WaitForSingleObject(runs.hProcess, 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "the launcher stays";
  // A second plain launcher is a duplicate: it says so and ends.
  PROCESS_INFORMATION& duplicate = start(L"");
  HWND refusal = wait_window(duplicate, L"TFmsgDlg");
  ASSERT_NE(refusal, nullptr);
  EXPECT_NE(text_of_children(refusal).find(L"Multiplex start of VESK is prohibition"), std::wstring::npos);
  click(child(refusal, L"OK"));
  EXPECT_EQ(finish(duplicate), 0);
  PostMessageW(bar, WM_CLOSE, 0, 0);
  EXPECT_EQ(finish(runs), 0);

  fs::remove(dir / "run.log");
  PROCESS_INFORMATION& loads = start(L"/l \"" + path + L"\"");
  bar = wait_window(loads, L"TFOya");
  ASSERT_NE(bar, nullptr);
  std::this_thread::sleep_for(1s);
  wchar_t caption[64] = {};
  GetWindowTextW(bar, caption, 64);
  EXPECT_STREQ(caption, L"alone.vsk");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(bar, 102)));
  EXPECT_FALSE(fs::exists(dir / "run.log")) << "only loaded, not run";
  PostMessageW(bar, WM_CLOSE, 0, 0);
  EXPECT_EQ(finish(loads), 0);
}

TEST_F(HostTest, LogprintAndStopformShowHideAndPlaceTheirWindows) {
  std::wstring path = script("windows.vsk",
                             "LOGPRINT(0)\r\nPRINT \"a\"\r\nMSGBOX(\"one\")\r\n"
                             "LOGPRINT(1, 50, 60, 300, 200)\r\nSTOPFORM(1, 30, 40)\r\nMSGBOX(\"two\")\r\n"
                             "STOPFORM(0)\r\nMSGBOX(\"three\")\r\n");
  PROCESS_INFORMATION& p = start(L"\"" + path + L"\"");
  HWND dialog = wait_window(p, L"TFmsgDlg");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(wait_window(p, L"TVScript", 0), nullptr) << "LOGPRINT 0 keeps PRINT from showing the log";
  click(child(dialog, L"OK"));
  dialog = wait_next(p, L"TFmsgDlg", dialog);
  ASSERT_NE(dialog, nullptr);
  HWND log_window = wait_window(p, L"TVScript", 2);
  ASSERT_NE(log_window, nullptr);
  RECT r;
  GetWindowRect(log_window, &r);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 60);
  EXPECT_EQ(r.right - r.left, 300);
  HWND stop = wait_window(p, L"TFTeisi", 2);
  ASSERT_NE(stop, nullptr);
  GetWindowRect(stop, &r);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  click(child(dialog, L"OK"));
  dialog = wait_next(p, L"TFmsgDlg", dialog);
  ASSERT_NE(dialog, nullptr);
  GetWindowRect(stop, &r);
  EXPECT_LT(r.top, -10000) << "a hidden stop form waits far above the screen";
  click(child(dialog, L"OK"));
  EXPECT_EQ(finish(p), 0);
}

TEST_F(HostTest, AProgramWithAnEmbeddedScriptRunsItWithTheWholeCommandLineAsParameters) {
  std::wstring command = L"\"" + fs::path(VESK_HOST_DIR "/vesk-embedded-test.exe").wstring() + L"\" first second";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION p{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.wstring().c_str(),
                             &startup, &p));
  processes.push_back(p);
  // With the letter "S" no bar and no stop form are ever seen.
  EXPECT_EQ(wait_window(p, L"TFOya", 1), nullptr);
  EXPECT_EQ(finish(processes.back()), 5);
  EXPECT_EQ(file("embedded.log"), "embedded first,second\r\n");
}

TEST_F(HostTest, ExitFromTheToolMenuClosesTheLauncherAndKeepsItsPlace) {
  PROCESS_INFORMATION& launcher = start(L"");
  HWND bar = wait_window(launcher, L"TFOya");
  ASSERT_NE(bar, nullptr);
  SetWindowPos(bar, nullptr, 123, 234, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  std::this_thread::sleep_for(200ms);
  PostMessageW(bar, WM_RBUTTONDOWN, 0, MAKELPARAM(10, 10));  // a right press on the bar
  HWND menu = wait_window(launcher, L"#32768");
  ASSERT_NE(menu, nullptr);
  for (int key : {VK_UP, VK_RETURN}) {  // the last entry is Exit
    PostMessageW(menu, WM_KEYDOWN, key, 0);
    std::this_thread::sleep_for(150ms);
  }
  EXPECT_EQ(finish(launcher), 0);
  std::ifstream in(fs::path(VESK_HOST_DIR "/VESK.INI"), std::ios::binary);
  std::stringstream settings;
  settings << in.rdbuf();
  EXPECT_NE(settings.str().find("Position=123,234"), std::string::npos) << settings.str();
}

TEST_F(HostTest, TheOpenDialogLoadsAScriptWithItsRepeatCount) {
  std::wstring path = script("counted.vsk", "PUBLIC n = 0\r\nn = n + 1\r\nPRINT n\r\n");
  PROCESS_INFORMATION& launcher = start(L"");
  HWND bar = wait_window(launcher, L"TFOya");
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(bar, 102)));  // play waits for a script
  PostMessageW(bar, WM_COMMAND, 100, 0);                // the load button
  HWND open = wait_window(launcher, L"#32770");
  ASSERT_NE(open, nullptr);
  HWND count = child_with_id(open, 1200);
  ASSERT_NE(count, nullptr) << "the repeat-count panel";
  SendMessageW(count, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"3"));
  HWND name = child_with_id(open, 0x47C);  // the file name box
  if (!name) name = child_with_id(open, 0x480);
  ASSERT_NE(name, nullptr);
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageW(open, WM_COMMAND, IDOK, 0);
  auto until = std::chrono::steady_clock::now() + 10s;
  while (!IsWindowEnabled(GetDlgItem(bar, 102)) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(50ms);
  wchar_t caption[64] = {};
  GetWindowTextW(bar, caption, 64);
  EXPECT_STREQ(caption, L"counted.vsk");
  PostMessageW(bar, WM_COMMAND, 102, 0);  // play
  until = std::chrono::steady_clock::now() + 20s;
  while (log().size() < 9 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(log(), "1\r\n1\r\n1\r\n");
  PostMessageW(bar, WM_CLOSE, 0, 0);
  EXPECT_EQ(finish(launcher), 0);
}

}  // namespace
#endif
