// Conversions between value kinds: the corners the tables do not spell out.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "engine/values/conversion.h"
#include "support/utf.h"

namespace vesk {
namespace {

constexpr ConversionLocale k_en = ConversionLocale::English;
constexpr ConversionLocale k_ja = ConversionLocale::Japanese;

template <class T>
bool fails_with(const Converted<T>& result, ConversionError error) {
  return !result.ok() && result.error() == error;
}

// Whole numbers print their digits directly: the same text as the
// general 15-digit form, up to where it turns to an exponent.
TEST(NumberText, WholeNumbersAsTheGeneralForm) {
  auto general = [](double v) {
    char buffer[64];
    auto printed = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15);
    std::string text(buffer, printed.ptr);
    for (char& c : text) c = c == 'e' ? 'E' : c;  // the exponent is written "E"
    return utf8_to_utf16(text);
  };
  for (double v : {1.0, -1.0, 9.0, 10.0, -10.0, 123456789.0, 999999999999999.0, -999999999999999.0, 1e15, -1e15,
                   4294967296.0, -2147483648.0, 1e16 + 2, 9007199254740993.0,
                   // either side of the 32-bit conversion's range, whole and not
                   2147483647.0, 2147483648.0, -2147483649.0, 2147483647.5, -2147483648.5, 0.5, -0.25,
                   1e14 + 0.5, 3e9 + 0.5})
    EXPECT_EQ(double_to_text(v), general(v)) << v;
  // Each count of digits, at both of its ends and between.
  for (double power = 1; power <= 1e15; power *= 10)
    for (double v : {power - 1, power, power + 1, power * 3 + 7, -power, -(power - 1)})
      if (v != 0) {
        EXPECT_EQ(double_to_text(v), general(v)) << v;
      }
  EXPECT_EQ(float_to_text(9999999.0f), u"9999999");
  EXPECT_EQ(float_to_text(1e7f), u"1E+07");
  EXPECT_EQ(float_to_text(-16.0f), u"-16");
}

TEST(NumberText, FifteenDigitsInTheShorterForm) {
  EXPECT_EQ(double_to_text(0.1 + 0.2), u"0.3");
  EXPECT_EQ(double_to_text(1e20), u"1E+20");
  EXPECT_EQ(double_to_text(-1.5e-7), u"-1.5E-07");
  EXPECT_EQ(double_to_text(1e14), u"100000000000000");
  EXPECT_EQ(double_to_text(1e15), u"1E+15");
  EXPECT_EQ(double_to_text(-0.0), u"0");
  EXPECT_EQ(double_to_text(std::numeric_limits<double>::quiet_NaN()), u"NAN");
  EXPECT_EQ(double_to_text(-std::numeric_limits<double>::quiet_NaN()), u"-NAN(IND)");
  EXPECT_EQ(double_to_text(-std::numeric_limits<double>::infinity()), u"-INF");
  EXPECT_EQ(float_to_text(0.1f), u"0.1");
  EXPECT_EQ(float_to_text(16777216.0f), u"1.677722E+07");
  EXPECT_EQ(currency_to_text(15000), u"1.5");
  EXPECT_EQ(currency_to_text(-1), u"-0.0001");
  EXPECT_EQ(currency_to_text(std::numeric_limits<int64_t>::min()), u"-922337203685477.5808");
}

TEST(NumberText, ReadsAffixesAroundTheNumber) {
  EXPECT_EQ(*text_to_double(u" 12 ", k_en), 12);
  EXPECT_EQ(*text_to_double(u"(1,000.5)", k_en), -1000.5);
  EXPECT_EQ(*text_to_double(u"5-", k_en), -5);
  EXPECT_EQ(*text_to_double(u"$ 10", k_en), 10);
  EXPECT_EQ(*text_to_double(u"\u00A5100", k_ja), 100);
  EXPECT_EQ(*text_to_double(u"\uFFE5100", k_ja), 100);
  EXPECT_TRUE(fails_with(text_to_double(u"$10", k_ja), ConversionError::TypeMismatch));
  for (const char16_t* bad : {u"1e", u"", u"e3", u"(5", u"5)", u"--5", u"1 2", u"0x10", u"\uFF11"})
    EXPECT_TRUE(fails_with(text_to_double(bad, k_en), ConversionError::TypeMismatch)) << utf16_to_utf8(bad);
  EXPECT_TRUE(fails_with(text_to_double(u"1e400", k_en), ConversionError::Overflow));
  EXPECT_TRUE(std::signbit(*text_to_double(u"-1e-400", k_en)));
}

TEST(NumberText, HexAndOctalAreThirtyTwoBitWords) {
  EXPECT_EQ(*text_to_double(u"&HFF", k_en), 255);
  EXPECT_EQ(*text_to_double(u"&hffff", k_en), 65535);
  EXPECT_EQ(*text_to_double(u"&H80000000", k_en), -2147483648.0);
  EXPECT_EQ(*text_to_double(u"&HFFFFFFFF", k_en), -1);
  EXPECT_EQ(*text_to_double(u"-&H10", k_en), -16);
  EXPECT_EQ(*text_to_double(u"&O777", k_en), 511);
  EXPECT_TRUE(fails_with(text_to_double(u"&H100000000", k_en), ConversionError::Overflow));
  EXPECT_TRUE(fails_with(text_to_double(u"&O8", k_en), ConversionError::TypeMismatch));
}

TEST(IntegerKinds, RoundHalvesToEvenAndReportOverflow) {
  EXPECT_EQ(*to_i4(Value::r8(2.5)), 2);
  EXPECT_EQ(*to_i4(Value::r8(3.5)), 4);
  EXPECT_EQ(*to_i4(Value::r8(-2.5)), -2);
  EXPECT_EQ(*to_i2(Value::r8(-32768.5)), -32768);
  EXPECT_TRUE(fails_with(to_i2(Value::r8(32767.5)), ConversionError::Overflow));
  EXPECT_TRUE(fails_with(to_i4(Value::r8(2147483647.5)), ConversionError::Overflow));
  EXPECT_TRUE(fails_with(to_i4(Value::r8(std::nan(""))), ConversionError::Overflow));
  EXPECT_TRUE(fails_with(to_ui1(Value::i4(-1)), ConversionError::Overflow));
  EXPECT_EQ(*to_i4(Value::currency(25000)), 2);
  EXPECT_EQ(*to_i4(Value::currency(-35000)), -4);
  EXPECT_EQ(*to_i1(Value::i2(-128)), -128);
  EXPECT_TRUE(fails_with(to_ui2(Value::i4(65536)), ConversionError::Overflow));
}

TEST(IntegerKinds, TextIsReadExactly) {
  EXPECT_EQ(*to_i4(Value::string(u"2.5")), 2);
  EXPECT_EQ(*to_i4(Value::string(u"2.5000000000000000001")), 3);
  EXPECT_EQ(*to_i4(Value::string(u"1e3")), 1000);
  EXPECT_TRUE(fails_with(to_i2(Value::string(u"32768")), ConversionError::Overflow));
  EXPECT_EQ(*to_i8(Value::string(u"9223372036854775807")), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(*to_i8(Value::string(u"-9223372036854775808")), std::numeric_limits<int64_t>::min());
  EXPECT_TRUE(fails_with(to_i8(Value::string(u"9223372036854775808")), ConversionError::Overflow));
  EXPECT_EQ(*to_ui8(Value::string(u"18446744073709551615")), std::numeric_limits<uint64_t>::max());
  EXPECT_TRUE(fails_with(to_ui8(Value::string(u"1e20")), ConversionError::Overflow));
  EXPECT_EQ(*to_i4(Value::string(u"1e-30")), 0);
  EXPECT_TRUE(fails_with(to_i4(Value::string(u"abc")), ConversionError::TypeMismatch));
}

TEST(Currency, ScalesExactly) {
  EXPECT_EQ(*to_currency(Value::string(u"0.00005")), 0);
  EXPECT_EQ(*to_currency(Value::string(u"0.00015")), 2);
  EXPECT_EQ(*to_currency(Value::string(u"-1.23456")), -12346);
  EXPECT_EQ(*to_currency(Value::r8(5.0000000000000002e-05)), 1);
  EXPECT_EQ(*to_currency(Value::i4(-3)), -30000);
  EXPECT_EQ(*to_currency(Value::boolean_word(-1)), -10000);
  EXPECT_TRUE(fails_with(to_currency(Value::r8(1e15)), ConversionError::Overflow));
  EXPECT_TRUE(fails_with(to_currency(Value::i8(std::numeric_limits<int64_t>::max())), ConversionError::Overflow));
  EXPECT_EQ(*to_double(Value::currency(12345678)), 1234.5678);
}

TEST(Booleans, NumbersTakeTheStoredWordAndTextIsTrueOrFalse) {
  EXPECT_EQ(*to_double(Value::boolean(true)), 1);
  EXPECT_EQ(*to_double(Value::boolean_word(-1)), -1);
  EXPECT_EQ(*to_ui1(Value::boolean_word(-1)), 255);
  EXPECT_EQ(*to_text(Value::boolean(true)), u"True");
  EXPECT_EQ(*to_text(Value::boolean_word(-1)), u"True");
  EXPECT_EQ(*to_text(Value::boolean(false)), u"False");
}

TEST(Booleans, ConversionToBooleanGivesTheInterpretersWords) {
  for (const char16_t* truthy : {u"True", u"tRUE", u"#TRUE#", u"-1", u"0.5", u"&H1"}) {
    Converted<Value> v = change_type(Value::string(truthy), VarType::Bool);
    ASSERT_TRUE(v.ok()) << utf16_to_utf8(truthy);
    EXPECT_EQ(v->bool_word(), 1) << utf16_to_utf8(truthy);
  }
  EXPECT_EQ(change_type(Value::string(u"#false#"), VarType::Bool)->bool_word(), 0);
  EXPECT_EQ(change_type(Value::r8(std::nan("")), VarType::Bool)->bool_word(), 1);
  for (const char16_t* bad : {u" True", u"yes", u"", u"\u771F"})
    EXPECT_TRUE(fails_with(to_bool(Value::string(bad)), ConversionError::TypeMismatch)) << utf16_to_utf8(bad);
  // A COM Boolean keeps its own word when it stays a Boolean.
  EXPECT_EQ(change_type(Value::boolean_word(-1), VarType::Bool)->bool_word(), -1);
}

TEST(ChangeType, EmptyNullAndTheKindsThatNeverConvert) {
  EXPECT_EQ(*to_text(Value::empty()), u"");
  EXPECT_EQ(*to_i4(Value::empty()), 0);
  EXPECT_EQ(*to_date(Value::empty()), 0);
  EXPECT_TRUE(change_type(Value::r8(1), VarType::Null)->is_null());
  EXPECT_TRUE(change_type(Value::null(), VarType::Empty)->is_empty());
  EXPECT_TRUE(fails_with(to_i4(Value::null()), ConversionError::TypeMismatch));
  EXPECT_TRUE(fails_with(to_text(Value::null()), ConversionError::TypeMismatch));
  EXPECT_TRUE(fails_with(to_text(Value::error(static_cast<int32_t>(0x80020004))), ConversionError::TypeMismatch));
  EXPECT_TRUE(fails_with(to_double(Value::nothing()), ConversionError::TypeMismatch));
  Value array = Value::array_of({Value::i4(1)});
  EXPECT_TRUE(fails_with(change_type(array, VarType::String), ConversionError::TypeMismatch));
  EXPECT_TRUE(fails_with(change_type(array, VarType::Empty), ConversionError::TypeMismatch));
  EXPECT_TRUE(fails_with(change_type(Value::i4(1), VarType::Object), ConversionError::TypeMismatch));
  EXPECT_TRUE(fails_with(change_type(Value::i4(1), VarType::Variant), ConversionError::TypeMismatch));
  EXPECT_TRUE(fails_with(change_type(Value::i4(1), static_cast<VarType>(13)), ConversionError::TypeMismatch));
  Converted<Value> same = change_type(array, array.type());
  ASSERT_TRUE(same.ok());
  EXPECT_EQ(&same->as_array(), &array.as_array());
}

TEST(ChangeType, EveryNumberKindReachesEveryOther) {
  const Value sources[] = {Value::i1(-7), Value::byte(7), Value::i2(-7), Value::word(7), Value::i4(-7),
                           Value::ui4(7), Value::i8(-7), Value::ui8(7), Value::r4(-7), Value::r8(7),
                           Value::currency(-70000), Value::date(7), Value::string(u"-7")};
  const VarType targets[] = {VarType::I1, VarType::UI1, VarType::I2, VarType::UI2, VarType::I4,
                             VarType::UI4, VarType::I8, VarType::UI8, VarType::R4, VarType::R8,
                             VarType::Currency, VarType::Date, VarType::String};
  for (const Value& source : sources) {
    double magnitude = std::fabs(*to_double(source));
    for (VarType target : targets) {
      if (source.is_string() && target == VarType::Date) continue;  // not date text
      Converted<Value> v = change_type(source, target);
      bool negative = *to_double(source) < 0;
      bool is_unsigned = target == VarType::UI1 || target == VarType::UI2 || target == VarType::UI4 ||
                         target == VarType::UI8;
      if (negative && is_unsigned) {
        EXPECT_TRUE(fails_with(v, ConversionError::Overflow)) << int(source.type()) << "->" << int(target);
        continue;
      }
      ASSERT_TRUE(v.ok()) << int(source.type()) << "->" << int(target);
      EXPECT_EQ(v->type(), target);
      if (target != VarType::Date && target != VarType::String) {
        EXPECT_EQ(std::fabs(*to_double(*v)), magnitude) << int(source.type()) << "->" << int(target);
      }
    }
  }
}

TEST(ChangeType, SingleAndNativeStrings) {
  EXPECT_TRUE(fails_with(to_float(Value::r8(1e39)), ConversionError::Overflow));
  EXPECT_TRUE(std::isinf(*to_float(Value::r8(std::numeric_limits<double>::infinity()))));
  EXPECT_EQ(*to_float(Value::string(u"0.1")), 0.1f);
  Converted<Value> ansi = change_type(Value::r8(1.5), VarType::AnsiString);
  ASSERT_TRUE(ansi.ok());
  EXPECT_EQ(ansi->as_ansi_string(), "1.5");
  EXPECT_EQ(*to_i4(Value::ansi_string(" 12 ")), 12);
  EXPECT_EQ(*to_text(Value::ui8(std::numeric_limits<uint64_t>::max())), u"18446744073709551615");
  EXPECT_EQ(*to_text(Value::i8(std::numeric_limits<int64_t>::min())), u"-9223372036854775808");
}

}  // namespace
}  // namespace vesk
