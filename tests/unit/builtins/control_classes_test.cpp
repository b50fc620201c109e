// The enumeration of a window's controls, against windows of the test
// itself: the family filter, visibility and enabled rules, reading order
// and the scroll-bar entries.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include "builtins/gui/control_classes.h"

namespace vesk::gui {
namespace {

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = CreateWindowExW(0, L"STATIC", L"controls test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 150, 400, 300,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(parent != nullptr);
  }
  void TearDown() override { DestroyWindow(parent); }
  HWND add(const wchar_t* klass, const wchar_t* text, DWORD style, int x, int y, HWND in = nullptr) {
    return CreateWindowExW(0, klass, text, WS_CHILD | style, x, y, 60, 20, in ? in : parent, nullptr, nullptr, nullptr);
  }
  std::vector<HWND> windows(uint32_t mask, bool disabled = false) {
    std::vector<HWND> out;
    for (const Control& c : collect_controls(parent, mask, disabled)) out.push_back(c.window);
    return out;
  }
  HWND parent = nullptr;
};

TEST_F(ControlsTest, ReadingOrderIsRowsThenColumns) {
  HWND lower = add(L"BUTTON", L"lower", WS_VISIBLE, 10, 100);
  HWND right = add(L"BUTTON", L"right", WS_VISIBLE, 200, 10);
  HWND left = add(L"BUTTON", L"left", WS_VISIBLE, 10, 10);
  add(L"EDIT", L"", WS_VISIBLE, 10, 50);
  EXPECT_EQ(windows(k_family_buttons), (std::vector<HWND>{left, right, lower}));
  EXPECT_EQ(windows(k_family_all).size(), 4u);
  EXPECT_EQ(control_number(parent, right, k_family_buttons), 2);
  EXPECT_EQ(control_number(parent, parent, k_family_buttons), 0);
}

TEST_F(ControlsTest, HiddenAndDisabledControls) {
  HWND shown = add(L"BUTTON", L"a", WS_VISIBLE, 10, 10);
  add(L"BUTTON", L"hidden", 0, 80, 10);
  HWND disabled = add(L"BUTTON", L"off", WS_VISIBLE | WS_DISABLED, 150, 10);
  EXPECT_EQ(windows(k_family_buttons), std::vector<HWND>{shown});
  EXPECT_EQ(windows(k_family_buttons, true), (std::vector<HWND>{shown, disabled}));
  // A check type and the every-control family take disabled ones too.
  EXPECT_EQ(windows(k_family_buttons | k_check_only).size(), 2u);
  EXPECT_EQ(windows(k_family_all).size(), 2u);
}

TEST_F(ControlsTest, InsideAnInvisibleWindowTheStyleCounts) {
  ShowWindow(parent, SW_HIDE);
  HWND styled = add(L"BUTTON", L"a", WS_VISIBLE, 10, 10);
  add(L"BUTTON", L"b", 0, 80, 10);
  EXPECT_EQ(windows(k_family_buttons), std::vector<HWND>{styled});
}

TEST_F(ControlsTest, DescendantsAndScrollBarEntries) {
  HWND group = add(L"STATIC", L"", WS_VISIBLE, 0, 0);
  SetWindowPos(group, nullptr, 0, 0, 300, 200, SWP_NOZORDER);
  HWND inner = add(L"BUTTON", L"inner", WS_VISIBLE, 5, 5, group);
  HWND edit = add(L"EDIT", L"", WS_VISIBLE | WS_VSCROLL | ES_MULTILINE, 10, 60, group);
  HWND bar = add(L"SCROLLBAR", L"", WS_VISIBLE | SBS_HORZ, 10, 120);
  EXPECT_EQ(windows(k_family_buttons), std::vector<HWND>{inner});
  std::vector<Control> sliders = collect_controls(parent, k_family_sliders, false);
  ASSERT_EQ(sliders.size(), 2u);
  EXPECT_EQ(sliders[0].window, bar);
  EXPECT_FALSE(sliders[0].is_scroll_bar_entry());
  // The edit's scroll bar comes after every control, named by its kind.
  EXPECT_EQ(sliders[1].window, edit);
  EXPECT_TRUE(sliders[1].is_scroll_bar_entry());
  EXPECT_EQ(sliders[1].entry_name(), u"WS_VSCROLL");
  EXPECT_EQ(control_at(sliders, 3), nullptr);
  EXPECT_EQ(control_at(sliders, 0), nullptr);
}

TEST_F(ControlsTest, ClassesAreTrimmedAndUpperCased) {
  HWND edit = add(L"EDIT", L"  Text  ", WS_VISIBLE, 10, 10);
  EXPECT_EQ(real_class_of(edit), u"EDIT");
  EXPECT_EQ(class_of(edit), u"EDIT");
  EXPECT_EQ(text_of(edit), u"  Text  ");
  EXPECT_EQ(text_of(edit, 3), u"  T");
  EXPECT_TRUE(collect_controls(nullptr, k_family_all, true).empty());
}

}  // namespace
}  // namespace vesk::gui
#endif
