// The block-wise search answers as std::u16string_view::find does.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

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

// The upper-cased search looks for the units that upper-case to the
// pattern's first and compares the rest there: every match is found with
// the text's own positions, exactly as a search over the whole upper-cased
// text, for letters with one, two and three lower forms and for a unit that
// nothing upper-cases to.
TEST(UpperCaseFinder, AnswersAsASearchOfTheWholeUpperCasedText) {
  std::mt19937 random(11);
  const std::u16string alphabet = u"ab\u00e9\u00c9xX\u03c3\u03c2\u03a3\u0131iI<";
  const std::u16string patterns[] = {u"AB\u00c9", u"\u03a3A", u"\u00c9", u"XI", u"I\u03a3X", u"<A", u"\u0131X"};
  for (int round = 0; round < 14; ++round) {
    std::u16string text;
    size_t length = 5000 + random() % 3000;
    for (size_t i = 0; i < length; ++i) text.push_back(alphabet[random() % alphabet.size()]);
    std::u16string pattern = patterns[round % std::size(patterns)];
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
  // A pattern whose first unit is no unit's upper case is found nowhere.
  EXPECT_EQ(UpperCaseFinder(u"abc", u"a").find(0), std::u16string::npos);
  // The match may end at the text's last unit.
  EXPECT_EQ(UpperCaseFinder(u"xxab", u"AB").find(0), 2u);
}

TEST(FindAnyUnit, FindsTheFirstOfOneToFiveUnits) {
  const std::u16string text = u"abcdefghijklmnopqrstuvwxyz0123456789";
  const char16_t units[] = {u'9', u'7', u'q', u'x', u'k'};
  for (size_t count = 1; count <= 5; ++count)
    for (size_t from = 0; from <= text.size(); ++from) {
      size_t expected = text.find_first_of(std::u16string_view(units, count), from);
      ASSERT_EQ(find_any_unit(text, units, count, from), expected) << count << " from " << from;
    }
}

TEST(UnicodeUpperPreimage, ListsExactlyTheUnitsThatUpperCaseToAUnit) {
  std::vector<std::vector<char16_t>> expected(0x10000);
  for (uint32_t c = 0; c < 0x10000; ++c) expected[unicode_upper(static_cast<char16_t>(c))].push_back(c);
  int wrong = 0;
  for (uint32_t u = 0; u < 0x10000; ++u) {
    char16_t out[8];
    size_t count = unicode_upper_preimage(static_cast<char16_t>(u), out, 8);
    std::vector<char16_t> got(out, out + std::min<size_t>(count, 8));
    if ((count != expected[u].size() || got != expected[u]) && ++wrong <= 5) ADD_FAILURE() << std::hex << "U+" << u;
  }
}

}  // namespace
}  // namespace vesk
