// String values: one shared holder, copy on write, appends in place.
#include <gtest/gtest.h>

#include <string>

#include "engine/values/value.h"

namespace vesk {
namespace {

TEST(StringValue, KeepsANulAfterItsUnitsThroughEveryWrite) {
  Value v = Value::string(u"abc");
  EXPECT_EQ(v.string_c_str()[3], u'\0');
  v.append_string(u"de");
  EXPECT_EQ(v.as_string(), u"abcde");
  EXPECT_EQ(v.string_c_str()[5], u'\0');
  char16_t* units = nullptr;
  Value filled = Value::string_to_fill(2, units);
  units[0] = u'x';
  units[1] = u'y';
  EXPECT_EQ(std::u16string(filled.string_c_str()), u"xy");
  EXPECT_EQ(Value::string(u"").as_string(), u"");
}

TEST(StringValue, AnAppendToASharedTextLeavesTheOtherHolderAlone) {
  Value a = Value::string(u"one");
  Value b = a;
  EXPECT_TRUE(a.same_string_buffer(b));
  b.append_string(u"+two");
  EXPECT_EQ(a.as_string(), u"one");
  EXPECT_EQ(b.as_string(), u"one+two");
  EXPECT_FALSE(a.same_string_buffer(b));
}

TEST(StringValue, AppendsGrowTheBufferAndMayTakeTheirOwnText) {
  Value v = Value::string(u"ab");
  std::u16string expected = u"ab";
  for (int i = 0; i < 12; ++i) {
    // The tail is the value's own text: it must survive the buffer moving.
    std::u16string_view self = v.as_string();
    expected += expected;
    v.append_string(self);
    ASSERT_EQ(v.as_string(), expected) << i;
  }
  EXPECT_EQ(v.as_string().size(), size_t{2} << 12);
}

TEST(StringValue, AnAppendForgetsThatTheTextWasFreeOfEscapes) {
  Value v = Value::string(u"<");
  v.mark_string_escape_free();
  EXPECT_TRUE(v.string_escape_free());
  v.append_string(u"#CR>");
  EXPECT_FALSE(v.string_escape_free());
  // A shared holder is never marked: the mark belongs to one owner.
  Value shared = v;
  v.mark_string_escape_free();
  EXPECT_FALSE(v.string_escape_free());
}

}  // namespace
}  // namespace vesk
