// UTF-8 and UTF-16 conversion.
#include <gtest/gtest.h>

#include "support/utf.h"

namespace vesk {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
  std::u16string text = u"a\u00E9\u3042\U0001F600";
  std::string bytes = utf16_to_utf8(text);
  EXPECT_EQ(bytes, "a\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80");
  EXPECT_EQ(utf8_to_utf16_strict(bytes), text);
}

TEST(Utf, StrictRejectsWhatWindowsWouldNotGiveBack) {
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE3\x81", "\xF4\x90\x80\x80", "\x80", "\xFF"})
    EXPECT_FALSE(utf8_to_utf16_strict(bad).has_value()) << bad;
  EXPECT_EQ(utf8_to_utf16("a\xFF" "b"), u"a\uFFFDb");
}

TEST(Utf, LoneSurrogateBecomesReplacement) {
  std::u16string lone(1, char16_t(0xD800));
  EXPECT_EQ(utf16_to_utf8(lone), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vesk
