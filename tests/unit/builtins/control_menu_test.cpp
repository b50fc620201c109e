// The control functions against a window of the test itself: its menu (a
// program's own menus are readable where another's may not be), and the
// block in a process's memory that item records travel through.
#ifdef _WIN32
#include <windows.h>

#include "builtin_test_support.h"
#include "builtins/gui/remote_memory.h"

namespace vesk::test {
namespace {

std::vector<std::pair<UINT, WPARAM>> g_menu_events;

LRESULT CALLBACK menu_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_COMMAND || message == WM_INITMENU || message == WM_INITMENUPOPUP)
    g_menu_events.emplace_back(message, message == WM_COMMAND ? LOWORD(w) : 0);
  return DefWindowProcW(window, message, w, l);
}

class MenuTest : public BuiltinTest {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = menu_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VeskMenuTest";
    RegisterClassW(&wc);
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 11, L"&New\tCtrl+N");
    AppendMenuW(file, MF_STRING, 12, L"Save &As...");
    HMENU recent = CreatePopupMenu();
    AppendMenuW(recent, MF_STRING, 13, L"File &1");
    AppendMenuW(recent, MF_STRING | MF_CHECKED, 14, L"Save &As...");
    AppendMenuW(file, MF_POPUP, reinterpret_cast<UINT_PTR>(recent), L"&Recent");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    window = CreateWindowExW(0, L"VeskMenuTest", L"menu test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 120, 300, 200,
                             nullptr, bar, wc.hInstance, nullptr);
    g_menu_events.clear();
    set("W", Value::i4(static_cast<int32_t>(reinterpret_cast<intptr_t>(window))));
    ASSERT_EQ(text("HNDTOID(W) > 0"), "True");
    set("ID", eval("HNDTOID(W)").value);
  }
  void TearDown() override {
    interpreter.cleanup();
    DestroyWindow(window);
  }
  static void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  std::vector<WPARAM> commands() {
    pump();
    std::vector<WPARAM> out;
    for (auto& [message, id] : g_menu_events)
      if (message == WM_COMMAND) out.push_back(id);
    return out;
  }
  bool saw(UINT message) {
    for (auto& event : g_menu_events)
      if (event.first == message) return true;
    return false;
  }
  HWND window = nullptr;
};

TEST_F(MenuTest, PathAndSingleNameChooseTheirItem) {
  EXPECT_EQ(text("CLKITEM(ID, \"File\\Save As\", CLK_MENU)"), "True");
  EXPECT_EQ(commands(), std::vector<WPARAM>{12});
  EXPECT_TRUE(saw(WM_INITMENU));
  EXPECT_TRUE(saw(WM_INITMENUPOPUP));
  // A single name is searched through the whole tree, depth first: the
  // second "Save As" lies in a submenu.
  g_menu_events.clear();
  EXPECT_EQ(text("CLKITEM(ID, \"save as\", CLK_MENU, TRUE, 2)"), "True");
  EXPECT_EQ(commands(), std::vector<WPARAM>{14});
  g_menu_events.clear();
  EXPECT_EQ(text("CLKITEM(ID, \"File\\Recent\\File 1\", CLK_MENU)"), "True");
  EXPECT_EQ(commands(), std::vector<WPARAM>{13});
}

TEST_F(MenuTest, MissesAndCheckStates) {
  // A path must name a submenu at every level but the last.
  EXPECT_EQ(text("CLKITEM(ID, \"File\\New\\Deeper\", CLK_MENU)"), "False");
  EXPECT_EQ(text("CLKITEM(ID, \"Recent\", CLK_MENU)"), "False");
  EXPECT_EQ(text("CLKITEM(ID, \"ave\", CLK_MENU)"), "False");
  EXPECT_EQ(text("CLKITEM(ID, \"ave\", CLK_MENU + CLK_SHORT)"), "True");
  g_menu_events.clear();
  EXPECT_EQ(text("CLKITEM(ID, \"File\\Recent\\Save As\", CHK_MENU)"), "1");
  EXPECT_EQ(text("CLKITEM(ID, \"File\\New\", CHK_MENU)"), "0");
  EXPECT_TRUE(commands().empty());
}

TEST_F(MenuTest, GetItemListsLeavesAsPaths) {
  EXPECT_EQ(text("GETITEM(ID, ITM_MENU)"), "4");
  EXPECT_EQ(text("ALL_ITEM_LIST[0]"), "File\\New");
  EXPECT_EQ(text("ALL_ITEM_LIST[3]"), "File\\Recent\\Save As");
  EXPECT_NE(text("GETCTLHND(ID, \"GET_MENU_HND\")"), "0");
}

TEST(RemoteBlock, WritesAndReadsWithinItsBounds) {
  HWND desktop = GetDesktopWindow();
  HWND own = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(own != nullptr);
  (void)desktop;
  gui::RemoteBlock block(own);
  ASSERT_TRUE(block.ok());
  RECT in{1, 2, 3, 4}, out{};
  EXPECT_TRUE(block.write(in, 100));
  EXPECT_TRUE(block.read(out, 100));
  EXPECT_EQ(out.right, 3);
  // Nothing beyond the block is touched, however the offset and size add up.
  EXPECT_FALSE(block.write(gui::RemoteBlock::k_size - 2, &in, sizeof in));
  EXPECT_FALSE(block.read(gui::RemoteBlock::k_size + 1, &out, 1));
  EXPECT_FALSE(block.write(8, &in, static_cast<size_t>(-4)));
  const char16_t text[] = u"item";
  block.clear_text();
  EXPECT_EQ(block.text(), u"");
  block.write(gui::RemoteBlock::k_text_offset, text, sizeof text);
  EXPECT_EQ(block.text(), u"item");
  EXPECT_TRUE(gui::same_bitness(own));
  DestroyWindow(own);
}

}  // namespace
}  // namespace vesk::test
#endif
