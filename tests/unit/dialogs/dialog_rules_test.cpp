// The dialogs' rules: buttons, links, selection answers, popup items and
// balloon outlines.
#include <gtest/gtest.h>

#include "app/dialogs/dialog_rules.h"

namespace vesk {
namespace {

TEST(MessageRules, ButtonsComeInTheRowOrderAndANoneSetIsOk) {
  EXPECT_EQ(message_buttons(0), std::vector<int32_t>{1});
  EXPECT_EQ(message_buttons(-5), std::vector<int32_t>{1});
  EXPECT_EQ(message_buttons(128), std::vector<int32_t>{1});
  EXPECT_EQ(message_buttons(1 | 2 | 4 | 8), (std::vector<int32_t>{4, 8, 1, 2}));
  EXPECT_EQ(message_buttons(64 | 16 | 32), (std::vector<int32_t>{16, 32, 64}));
  EXPECT_EQ(cut_message(std::u16string(64000, u'a')).size(), 64000u);
  std::u16string cut = cut_message(std::u16string(64001, u'a'));
  EXPECT_EQ(cut.size(), 64003u);
  EXPECT_EQ(cut.substr(64000), u"...");
}

TEST(MessageRules, LinesBreakOnceForEachReturnPairAndLinksEndAtTheirEnders) {
  std::vector<std::u16string> lines = split_message_lines(u"a\r\nb\rc\n\nsee http://x.org/a?b=1, or mailto:me@x.org)");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], u"");
  std::vector<MessageLink> links = find_links(lines);
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].line, 4u);
  EXPECT_EQ(links[0].column, 4u);
  EXPECT_EQ(links[0].address, u"http://x.org/a?b=1");
  EXPECT_EQ(links[1].address, u"mailto:me@x.org");
  EXPECT_EQ(find_links({u"\"http://a.b\u3000c\""})[0].address, u"http://a.b");
  EXPECT_TRUE(find_links({u"https://secure.example"}).empty());
}

TEST(SelectRules, KindsFollowTheirPrecedence) {
  EXPECT_EQ(select_kind(0), SelectKind::Buttons);
  EXPECT_EQ(select_kind(1), SelectKind::Buttons);
  EXPECT_EQ(select_kind(2 | 4), SelectKind::CheckBoxes);
  EXPECT_EQ(select_kind(4 | 8), SelectKind::Radios);
  EXPECT_EQ(select_kind(8 | 16), SelectKind::DropDown);
  EXPECT_EQ(select_kind(16 | 64), SelectKind::List);
}

TEST(SelectRules, AnswersAreBitSetsTextsOrIndexes) {
  std::vector<std::u16string> items{u"a", u"b", u"c"};
  EXPECT_EQ(select_answer(0, items, {2}).number, 4);
  EXPECT_EQ(select_answer(2, items, {0, 2}).number, 5);
  EXPECT_EQ(select_answer(2, items, {}).number, 0);
  SelectAnswer texts = select_answer(2 | 64, items, {0, 2});
  EXPECT_TRUE(texts.is_text);
  EXPECT_EQ(texts.text, u"a\tc");
  SelectAnswer one = select_answer(4 | 128, items, {1});
  EXPECT_FALSE(one.is_text);
  EXPECT_EQ(one.number, 1);
  SelectAnswer several = select_answer(16 | 128, items, {0, 2});
  EXPECT_TRUE(several.is_text);
  EXPECT_EQ(several.text, u"0\t2");
}

TEST(PopupRules, BracesOpenAndCloseSubMenusAndEveryItemIsNumbered) {
  auto upper = [](std::u16string_view t) {
    std::u16string out(t);
    for (char16_t& c : out)
      if (c >= u'a' && c <= u'z') c -= 32;
    return out;
  };
  std::vector<PopupItem> items = parse_popup_items(u"a\r\n{b\rc}\rd", upper);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].text, u"A");
  EXPECT_TRUE(items[1].parent);
  EXPECT_EQ(items[1].text, u"B");
  EXPECT_EQ(items[2].depth, 1);
  EXPECT_EQ(items[3].depth, 0);
  // Two closing braces close two levels; an unmatched one closes nothing.
  std::vector<PopupItem> nested = parse_popup_items(u"{x\r{y\rz}}\rw}\rv", nullptr);
  EXPECT_EQ(nested[2].depth, 2);
  EXPECT_EQ(nested[3].depth, 0);
  EXPECT_EQ(nested[3].text, u"w");
  EXPECT_EQ(nested[4].depth, 0);
  EXPECT_TRUE(parse_popup_items(u"", nullptr).empty());
}

TEST(BalloonRules, TailsAndOpacity) {
  BalloonShape up = balloon_shape(1, 100, 40);  // W 120, H 60, k 20
  EXPECT_EQ(up.outline.size(), 7u);
  EXPECT_EQ(up.outline[2].x, 20);
  EXPECT_EQ(up.outline[2].y, 0);
  EXPECT_EQ(up.label.y, 15);
  BalloonShape right = balloon_shape(4, 100, 40);
  EXPECT_EQ(right.outline[3].x, 120);
  EXPECT_EQ(right.outline[3].y, 20);
  EXPECT_EQ(balloon_shape(9, 100, 40).outline.size(), 4u);
  EXPECT_EQ(balloon_opacity(300), 8);
  EXPECT_EQ(balloon_opacity(-4), 255);
  EXPECT_EQ(balloon_opacity(55), 200);
}

}  // namespace
}  // namespace vesk
