// OLE dates: the calendar, the text forms and the reading of date texts.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/values/conversion.h"
#include "support/utf.h"
#include "engine/values/date_conversion.h"

namespace vesk {
namespace {

constexpr ConversionLocale k_en = ConversionLocale::English;
constexpr ConversionLocale k_ja = ConversionLocale::Japanese;

DateTime make_date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  DateTime p;
  p.year = year;
  p.month = month;
  p.day = day;
  p.hour = hour;
  p.minute = minute;
  p.second = second;
  return p;
}

std::u16string text_of(double date, ConversionLocale locale) {
  Converted<std::u16string> text = date_to_text(date, locale);
  return text.ok() ? *text : u"<error>";
}

TEST(DateCalendar, EveryDayOfTheRangeRoundTrips) {
  for (double day = k_first_date; day <= k_last_date; day += 1) {
    Converted<DateTime> parts = date_to_parts(day);
    ASSERT_TRUE(parts.ok()) << day;
    Converted<double> back = date_from_parts(*parts);
    ASSERT_TRUE(back.ok() && *back == day) << day;
  }
  EXPECT_EQ(date_to_parts(k_first_date)->year, 100);
  EXPECT_EQ(date_to_parts(k_last_date)->year, 9999);
  EXPECT_EQ(date_to_parts(36526)->weekday, 6);   // 2000-01-01, a Saturday
  EXPECT_EQ(date_to_parts(-2)->weekday, 4);      // 1899-12-28, a Thursday
  EXPECT_TRUE(date_from_parts(make_date(2000, 2, 29)).ok());
  EXPECT_FALSE(date_from_parts(make_date(1900, 2, 29)).ok());
  EXPECT_EQ(date_from_parts(make_date(99, 12, 31)).error(), ConversionError::Overflow);
  EXPECT_EQ(date_from_parts(make_date(2000, 1, 1, 24)).error(), ConversionError::TypeMismatch);
}

TEST(DateCalendar, TimeCountsForwardOnEitherSideOfTheEpoch) {
  EXPECT_EQ(*date_from_parts(make_date(1899, 12, 29, 12)), -1.5);
  EXPECT_EQ(*date_from_parts(make_date(1899, 12, 30, 6)), 0.25);
  DateTime noon = *date_to_parts(-1.5);
  EXPECT_EQ(noon.day, 29);
  EXPECT_EQ(noon.hour, 12);
  // A time that rounds to midnight belongs to the next day.
  DateTime next = *date_to_parts(1.9999999);
  EXPECT_EQ(next.day, 1);
  EXPECT_EQ(next.hour, 0);
  EXPECT_EQ(date_to_parts(k_last_date + 0.9999999)->second, 59);
  EXPECT_EQ(date_to_parts(0.5 + 0.0016 / 86400, true)->millisecond, 2);
  EXPECT_FALSE(date_to_parts(std::nan("")).ok());
  EXPECT_FALSE(date_to_parts(k_last_date + 1).ok());
}

TEST(DateText, FormsOfTheTwoLocales) {
  EXPECT_EQ(text_of(36526.75, k_en), u"1/1/2000 6:00:00 PM");
  EXPECT_EQ(text_of(36526.75, k_ja), u"2000/1/1 18:00:00");
  EXPECT_EQ(text_of(0.5 / 24, k_en), u"12:30:00 AM");
  EXPECT_EQ(text_of(0.5 / 24, k_ja), u"0:30:00");
  EXPECT_EQ(text_of(1.9999999, k_en), u"1/1/1900");
  EXPECT_EQ(*to_text(Value::date(0), k_en), u"12:00:00 AM");
  EXPECT_EQ(to_text(Value::date(1e10), k_en).error(), ConversionError::Overflow);
}

TEST(DateText, WrittenTextReadsBack) {
  for (double date = -657434.25; date < k_last_date; date += 7777.123456) {
    for (ConversionLocale locale : {k_en, k_ja}) {
      std::u16string text = text_of(date, locale);
      Converted<double> back = text_to_date(text, locale, 2024);
      ASSERT_TRUE(back.ok()) << date;
      EXPECT_EQ(text_of(*back, locale), text);
      EXPECT_NEAR(*back, date, 0.5 / 86400) << date;
    }
  }
}

TEST(DateText, ReadsPartialAndNamedForms) {
  EXPECT_EQ(*text_to_date(u"1/2", k_en, 2024), *date_from_parts(make_date(2024, 1, 2)));
  EXPECT_EQ(*text_to_date(u"1/2", k_ja, 2024), *date_from_parts(make_date(2024, 1, 2)));
  EXPECT_EQ(*text_to_date(u"2/2000", k_en, 2024), *date_from_parts(make_date(2000, 2, 1)));
  EXPECT_EQ(*text_to_date(u"Feb 30", k_en, 2024), *date_from_parts(make_date(2030, 2, 1)));
  EXPECT_EQ(*text_to_date(u"jun 5", k_en, 2024), *date_from_parts(make_date(2024, 6, 5)));
  EXPECT_EQ(*text_to_date(u"3 PM", k_en, 2024), 0.625);
  EXPECT_EQ(*text_to_date(u"15:00 1/2/2000", k_en, 2024), *date_from_parts(make_date(2000, 1, 2, 15)));
  EXPECT_EQ(*text_to_date(u"2000/1/2 \u65E5\u66DC\u65E5", k_ja, 2024), 36527);
  for (const char16_t* bad : {u"1/2 12:30 2000", u"Jan Feb 2000", u"12:30:", u"1/2/3/4",
                              u"12:30 PM PM", u"PM 3:00", u"1:2:3:4", u"2000", u"Junee 5"})
    EXPECT_EQ(text_to_date(bad, k_en, 2024).error(), ConversionError::TypeMismatch) << utf16_to_utf8(bad);
  EXPECT_EQ(to_date(Value::r8(3e6)).error(), ConversionError::Overflow);
  EXPECT_EQ(*to_date(Value::string(u"12:30"), k_en), 12.5 / 24);
}

}  // namespace
}  // namespace vesk
