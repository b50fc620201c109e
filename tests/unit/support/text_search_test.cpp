// The block-wise search answers as std::u16string_view::find does.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/text_search.h"

namespace vesk {
namespace {

TEST(TextSearch, AnswersAsTheStandardFind) {
  // Few distinct units, so matches, near matches and overlaps are common.
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::u16string text, pattern;
    size_t length = random() % 40, pattern_length = random() % 4;
    for (size_t i = 0; i < length; ++i) text.push_back(u"ab<#\u3042"[random() % 5]);
    for (size_t i = 0; i < pattern_length; ++i) pattern.push_back(u"ab<#\u3042"[random() % 5]);
    size_t from = random() % (length + 3);
    std::u16string_view t = text, p = pattern;
    ASSERT_EQ(find_text(t, p, from), t.find(p, from)) << round;
    if (!pattern.empty()) {
      ASSERT_EQ(find_unit(t, pattern[0], from), t.find(pattern[0], from)) << round;
    }
  }
}

TEST(TextSearch, FindsAtBlockEdgesAndTheEnd) {
  std::u16string text(40, u'x');
  text[7] = u'<';
  text[8] = u'#';
  EXPECT_TRUE(holds_escape_mark(text));
  EXPECT_FALSE(holds_escape_mark(text, 8));
  EXPECT_EQ(find_unit(text, u'#'), 8u);
  text.back() = u'<';
  EXPECT_EQ(find_text(text, u"<#", 9), std::u16string::npos);  // "<" last: no room for "#"
  text += u"#";
  EXPECT_EQ(find_text(text, u"<#", 9), 39u);
  // A unit from 0x8000 matches only itself.
  EXPECT_EQ(find_unit(u"\u8000\uFFFF\u8001aaaaaaaa\uFFFF", u'\uFFFF', 2), 11u);
}

}  // namespace
}  // namespace vesk
