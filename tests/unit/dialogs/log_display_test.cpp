// The log window's display list and placement rules.
#include <gtest/gtest.h>

#include <string>

#include "app/dialogs/log_display.h"

namespace vesk {
namespace {

TEST(LogDisplay, TheMemoIsRebuiltInBurstsFromTheDisplayList) {
  LogDisplay display;
  int rebuilds = 0, rebuilt_at = 0;
  for (int i = 1; i <= 2201; ++i)
    if (display.add(std::u16string(1, u'x')) == LogDisplay::MemoChange::Rebuild) {
      ++rebuilds;
      rebuilt_at = i;
    }
  EXPECT_EQ(rebuilds, 1);
  EXPECT_EQ(rebuilt_at, 2201);
  EXPECT_EQ(display.memo_lines(), 2000);
  EXPECT_EQ(display.lines().size(), 2000u);
  display.run_start(false);
  EXPECT_TRUE(display.lines().empty());
  EXPECT_EQ(display.memo_lines(), 0);
}

TEST(LogDisplay, KeptLinesSurviveARunStart) {
  LogDisplay display;
  display.set_line_limit(3);
  for (char16_t c : std::u16string(u"abcd")) display.add(std::u16string(1, c));
  display.run_start(true);
  EXPECT_EQ(display.lines().front(), u"b");
  EXPECT_EQ(display.lines().size(), 3u);
}

TEST(LogPlacement, TheWindowStaysReachable) {
  const LogRect desktop{0, 0, 1280, 1024};
  LogRect far_left = keep_reachable({-500, 10, 400, 300}, desktop);
  EXPECT_EQ(far_left.left, -200);
  LogRect far_right = keep_reachable({1250, 1000, 400, 300}, desktop);
  EXPECT_EQ(far_right.left, 1220);
  EXPECT_EQ(far_right.top, 964);
  EXPECT_EQ(keep_reachable({100, -5, 400, 300}, desktop).top, 0);
  LogRect inside{100, 100, 400, 300};
  EXPECT_EQ(keep_reachable(inside, desktop).left, 100);
}

TEST(LogPlacement, TheFirstShowingSitsAgainstTheBar) {
  const LogRect desktop{0, 0, 1280, 1024};
  LogRect above = place_against_bar({0, 0, 400, 300}, {880, 824, 220, 60}, desktop);
  EXPECT_EQ(above.left, 880);
  EXPECT_EQ(above.top, 524);
  LogRect below = place_against_bar({0, 0, 400, 300}, {100, 50, 220, 60}, desktop);
  EXPECT_EQ(below.top, 110);
  LogRect off = clamp_to_desktop({1300, 1100, 30, 300}, desktop);
  EXPECT_EQ(off.left, 1250);
  EXPECT_EQ(off.top, 984);
}

}  // namespace
}  // namespace vesk
