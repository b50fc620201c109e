// Simulated input against windows of the test itself: typed characters,
// direct-mode messages, the lock of the keyboard, SCKEY on a minimized
// window and the release of held input at the end of a run.
#ifdef _WIN32
#include <windows.h>

#include "builtin_test_support.h"

namespace vesk::test {
namespace {

struct Seen {
  UINT message;
  WPARAM w;
  LPARAM l;
};
std::vector<Seen> g_seen;

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR || message == WM_LBUTTONDOWN ||
      message == WM_LBUTTONUP)
    g_seen.push_back({message, w, l});
  return DefWindowProcW(window, message, w, l);
}

class InputTest : public BuiltinTest {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recording_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VeskInputTest";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, L"VeskInputTest", L"input test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200,
                             nullptr, nullptr, wc.hInstance, nullptr);
    edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 24, window, nullptr, wc.hInstance,
                           nullptr);
    g_seen.clear();
    focus();
  }
  void TearDown() override {
    interpreter.cleanup();
    DestroyWindow(window);
  }
  // Wine's foreground follows the X server a little later.
  void focus() {
    for (int tries = 0; tries < 20; ++tries) {
      SetForegroundWindow(window);
      SetFocus(edit);
      pump();
      if (GetForegroundWindow() == window && GetFocus() == edit) return;
    }
  }
  static void pump() {
    for (int i = 0; i < 20; ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      Sleep(5);
    }
  }
  // Wine moves the cursor through the X server, a little later: the
  // position is read until it is [want] or about ten seconds have passed.
  static POINT cursor_at(POINT want) {
    POINT at{};
    for (int tries = 0; tries < 100; ++tries) {
      GetCursorPos(&at);
      if (at.x == want.x && at.y == want.y) break;
      pump();
    }
    return at;
  }
  std::wstring edit_text() const {
    wchar_t text[64] = {};
    GetWindowTextW(edit, text, 64);
    return text;
  }
  std::string handle(HWND h) const { return std::to_string(reinterpret_cast<intptr_t>(h)); }
  static bool down(int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }

  HWND window = nullptr;
  HWND edit = nullptr;
};

TEST_F(InputTest, HeldKeysAndButtonsComeUpAtTheEndOfTheRun) {
  eval("KBD(VK_LSHIFT, DOWN)");
  eval("BTN(MIDDLE, DOWN)");
  EXPECT_TRUE(down(VK_LSHIFT));
  EXPECT_TRUE(down(VK_MBUTTON));
  interpreter.cleanup();
  EXPECT_FALSE(down(VK_LSHIFT));
  EXPECT_FALSE(down(VK_MBUTTON));
  interpreter.reset_between_runs(false);
  // After the release GETKEYSTATE answers once for the press it did not
  // see, then no more.
  text("GETKEYSTATE(VK_LSHIFT)");
  EXPECT_EQ(text("GETKEYSTATE(VK_LSHIFT)"), "False");
}

TEST_F(InputTest, CodesFrom256AreTypedAsCharacters) {
  eval("KBD(12354)");
  eval("KBD(VK_A)");
  eval("KBD(VK_RSHIFT, DOWN)");
  eval("KBD(VK_B)");
  eval("KBD(VK_RSHIFT, UP)");
  pump();
  // The case of the letters is left out: Wine takes the shift state of a
  // newly focused window from the X server, which never saw our keys.
  std::wstring typed = edit_text();
  CharUpperW(typed.data());
  EXPECT_EQ(typed, L"\u3042AB");
}

TEST_F(InputTest, DirectModePostsMessagesWithTheHeldModifiers) {
  EXPECT_EQ(text("MOUSEORG(" + handle(window) + ", MORG_DIRECT)"), "");
  eval("KBD(VK_SHIFT, DOWN)");
  eval("KBD(VK_X)");
  eval("BTN(LEFT, CLICK, 250, 100)");
  eval("KBD(VK_SHIFT, UP)");
  pump();
  std::vector<Seen> keys, buttons;
  for (const Seen& s : g_seen) {
    if (s.message == WM_KEYDOWN || s.message == WM_KEYUP) keys.push_back(s);
    if (s.message == WM_LBUTTONDOWN || s.message == WM_LBUTTONUP) buttons.push_back(s);
  }
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].w, static_cast<WPARAM>('X'));
  EXPECT_EQ(static_cast<uint32_t>(keys[0].l) & 0xC000FFFFu, 1u);
  EXPECT_EQ(static_cast<uint32_t>(keys[1].l) & 0xC0000000u, 0xC0000000u);
  ASSERT_GE(buttons.size(), 2u);
  EXPECT_EQ(buttons[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
  EXPECT_EQ(buttons[0].w, static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT));
  EXPECT_EQ(buttons[0].l, MAKELPARAM(250, 100));
  EXPECT_EQ(buttons.back().message, static_cast<UINT>(WM_LBUTTONUP));
  EXPECT_EQ(buttons.back().w, static_cast<WPARAM>(MK_SHIFT));
  // The shift key of the direct mode never went down for real.
  EXPECT_FALSE(down(VK_SHIFT));
}

TEST_F(InputTest, DirectClicksGoToTheControlUnderThePoint) {
  eval("MOUSEORG(" + handle(window) + ", MORG_DIRECT)");
  eval("BTN(LEFT, CLICK, 20, 20)");
  pump();
  // The edit control took it: the window itself saw no button.
  for (const Seen& s : g_seen) EXPECT_NE(s.message, static_cast<UINT>(WM_LBUTTONDOWN));
}

TEST_F(InputTest, TheKeyboardLockSwallowsKeysUntilItGoes) {
  eval("LOCKHARDEX(0, LOCK_KEYBOARD)");
  eval("KBD(VK_Q)");
  pump();
  EXPECT_EQ(edit_text(), L"");
  eval("LOCKHARDEX()");
  eval("KBD(VK_W)");
  pump();
  EXPECT_EQ(edit_text(), L"w");
}

TEST_F(InputTest, TheLockOnAnotherWindowLetsKeysThrough) {
  HWND other = CreateWindowExW(0, L"VeskInputTest", L"other", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  eval("LOCKHARDEX(HNDTOID(" + handle(other) + "), LOCK_KEYBOARD)");
  eval("KBD(VK_E)");
  pump();
  EXPECT_EQ(edit_text(), L"e");
  interpreter.cleanup();
  DestroyWindow(other);
}

TEST_F(InputTest, SckeyTypesIntoAMinimizedWindowAndMinimizesItAgain) {
  HWND other = CreateWindowExW(0, L"VeskInputTest", L"front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 100, 200, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(window, SW_MINIMIZE);
  SetForegroundWindow(other);
  pump();
  ASSERT_TRUE(IsIconic(window));
  eval("SCKEY(HNDTOID(" + handle(window) + "), VK_SHIFT, K)");
  pump();
  // The window itself has the focus after it was restored.
  bool typed = false;
  for (const Seen& s : g_seen) typed = typed || (s.message == WM_CHAR && s.w == 'K');
  EXPECT_TRUE(typed);
  EXPECT_TRUE(IsIconic(window));
  EXPECT_EQ(GetForegroundWindow(), other);
  EXPECT_FALSE(down(VK_SHIFT));
  DestroyWindow(other);
}

TEST_F(InputTest, MouseOriginAndTheDesktopEdge) {
  eval("MOUSEORG(HNDTOID(" + handle(window) + "), MORG_CLIENT)");
  eval("MMV(3, 4)");
  pump();
  POINT client{3, 4};
  ClientToScreen(window, &client);
  POINT at = cursor_at(client);
  EXPECT_EQ(at.x, client.x);
  EXPECT_EQ(at.y, client.y);
  eval("MOUSEORG(0)");
  int right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  eval("MMV(" + std::to_string(right + 50) + ", 7)");
  pump();
  at = cursor_at({right - 1, 7});
  EXPECT_EQ(at.x, right - 1);
  // One pixel beyond the edge a button does nothing, not even the move.
  eval("BTN(LEFT, CLICK, " + std::to_string(right + 1) + ", 9)");
  pump();
  GetCursorPos(&at);
  EXPECT_EQ(at.y, 7);
  eval("BTN(MIDDLE, CLICK, " + std::to_string(right) + ", 9)");
  pump();
  at = cursor_at({right - 1, 9});
  EXPECT_EQ(at.x, right - 1);
  EXPECT_EQ(at.y, 9);
}

}  // namespace
}  // namespace vesk::test
#endif
