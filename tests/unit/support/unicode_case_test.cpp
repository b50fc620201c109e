// Upper-casing by the system's rules, checked against the recorded table.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "support/unicode_case.h"

namespace vesk {
namespace {

// Reads the CharUpperW rows of the recording: input unit -> output unit.
std::map<char16_t, char16_t> recorded_upper() {
  std::ifstream in(VESK_TEST_DATA "/win32-tables/char-upper.en.tsv");
  std::map<char16_t, char16_t> upper;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    if (line.substr(0, tab1) != "CharUpperW") continue;
    auto unit = [&](size_t from, size_t to) {
      return static_cast<char16_t>(std::stoul(line.substr(from + 2, to - from - 2), nullptr, 16));
    };
    upper[unit(tab1 + 1, tab2)] = unit(tab2 + 1, line.size());
  }
  return upper;
}

TEST(UnicodeCase, EveryBmpUnitMapsAsRecorded) {
  std::map<char16_t, char16_t> upper = recorded_upper();
  ASSERT_EQ(upper.size(), 1163u);
  int wrong = 0;
  for (uint32_t c = 0; c <= 0xFFFF; ++c) {
    auto it = upper.find(static_cast<char16_t>(c));
    char16_t expected = it == upper.end() ? static_cast<char16_t>(c) : it->second;
    if (unicode_upper(static_cast<char16_t>(c)) != expected && ++wrong <= 10)
      ADD_FAILURE() << std::hex << "U+" << c;
  }
  EXPECT_EQ(wrong, 0);
}

// The text form takes blocks of eight units at once: every unit, at every
// place in a block and in the tail, maps as the unit form maps it.
TEST(UnicodeCase, TextFormMapsEveryUnitAsTheUnitForm) {
  std::u16string all;
  for (uint32_t c = 0; c <= 0xFFFF; ++c) all.push_back(static_cast<char16_t>(c));
  for (size_t shift = 0; shift < 9; ++shift) {
    std::u16string_view text = std::u16string_view(all).substr(shift);
    std::u16string upper = unicode_upper(text);
    ASSERT_EQ(upper.size(), text.size());
    int wrong = 0;
    for (size_t i = 0; i < text.size(); ++i)
      if (upper[i] != unicode_upper(text[i]) && ++wrong <= 5) ADD_FAILURE() << std::hex << "U+" << int(text[i]);
    EXPECT_EQ(wrong, 0);
  }
  // ASCII only, with the letter bounds and a tail shorter than a block.
  EXPECT_EQ(unicode_upper(u"`az{@AZ[ 0129 abcdefghij"), u"`AZ{@AZ[ 0129 ABCDEFGHIJ");
  EXPECT_EQ(unicode_upper(u"abcdefg\u00e9"), u"ABCDEFG\u00C9");
}

TEST(UnicodeCase, OneWayMappingsStayAlone) {
  EXPECT_EQ(unicode_upper(u'\u0131'), u'\u0131');  // dotless i
  EXPECT_EQ(unicode_upper(u'\u00B5'), u'\u00B5');  // micro sign
  EXPECT_EQ(unicode_upper(u'\u017F'), u'\u017F');  // long s
  EXPECT_EQ(unicode_upper(u"stra\u00DFe \u00E9t\u00E9 \u0444"), u"STRA\u00DFE \u00C9T\u00C9 \u0424");
}

TEST(UnicodeCase, ComparisonsIgnoreCaseOnly) {
  EXPECT_TRUE(unicode_iequals(u"\u00E9cole", u"\u00C9COLE"));
  EXPECT_FALSE(unicode_iequals(u"\u0131", u"I"));
  EXPECT_FALSE(unicode_iequals(u"ab", u"abc"));
  EXPECT_EQ(unicode_icompare(u"apple", u"APPLE"), 0);
  EXPECT_LT(unicode_icompare(u"apple", u"Banana"), 0);
  EXPECT_GT(unicode_icompare(u"b", u"A"), 0);
  EXPECT_LT(unicode_icompare(u"ab", u"ABC"), 0);
}

}  // namespace
}  // namespace vesk
