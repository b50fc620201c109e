// The block-wise search answers as std::u16string_view::find does.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/text_search.h"
#include "support/unicode_case.h"

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

// The upper-cased search is made a block of 65,536 units at a time: every
// match is found, also one that straddles a block's edge, with the text's
// own positions, exactly as a search over the whole upper-cased text.
TEST(UpperCaseFinder, AnswersAsASearchOfTheWholeUpperCasedText) {
  std::mt19937 random(11);
  for (int round = 0; round < 6; ++round) {
    std::u16string text;
    size_t length = 65536 * 2 + random() % 3000;
    for (size_t i = 0; i < length; ++i) text.push_back(u"ab\u00e9\u00c9x"[random() % 5]);
    std::u16string pattern = round < 3 ? u"AB\u00c9" : std::u16string(200 + random() % 70000, u'X');
    if (round >= 3) {
      // A long run of x that ends past the first block's edge.
      for (size_t i = 65536 - 150; i < 65536 + pattern.size(); ++i) text[i] = u'x';
    } else {
      text.replace(65536 - 1, 3, u"aB\u00e9");  // straddles the edge by one unit
      text.replace(65536 - 2, 3, u"Ab\u00c9");
    }
    std::u16string whole = unicode_upper(text);
    UpperCaseFinder finder(text, pattern);
    size_t from = 0, found = 0;
    for (;;) {
      size_t expected = std::u16string_view(whole).find(pattern, from);
      ASSERT_EQ(finder.find(from), expected) << round << " from " << from;
      if (expected == std::u16string::npos) break;
      ++found;
      from = expected + (round % 2 == 0 ? pattern.size() : 1);
    }
    EXPECT_GT(found, 0u) << round;
    // A start past the end, and a search that goes back to the start.
    EXPECT_EQ(finder.find(text.size() + 1), std::u16string::npos);
    EXPECT_EQ(finder.find(0), std::u16string_view(whole).find(pattern));
  }
}

}  // namespace
}  // namespace vesk
