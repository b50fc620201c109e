// The conversions checked row by row against the recorded OLE tables.
//
// The tables under tests/data/win32-tables record the OLE conversions of a
// Windows emulation in an English and a Japanese locale. Every row is run;
// a row whose recorded result our rules decide otherwise is checked against
// our own expectation instead, in these groups:
//
// - Boolean text: the recorded "-1"/"1"/"0" of flags 0 is not ours; a
//   Boolean's text is always "True" or "False" (the VARIANT_ALPHABOOL rows,
//   which pass as recorded).
// - Boolean results: the recorded VARIANT_TRUE (-1) is our TRUE, word 1.
// - Hex and octal words: "&HFFFFFFFF" and "&O37777777777" are recorded as an
//   overflow although "&H80000000" wraps to -2147483648; we wrap every
//   32-bit word, so both give -1. "-&H10" is recorded as 16 (the sign
//   dropped); we negate.
// - Rounding of long or extreme number text: the recording rounds a few
//   texts off the nearest double (DBL_MAX written out overflows, the
//   subnormal edges 2.5e-324 … 4.9e-324 give 0, a tie and a near tie round
//   the wrong way); we give the nearest double, ties to even.
// - The yen sign: the Japanese recording reads only the full-width U+FFE5;
//   Windows writes U+00A5, so we read both.
// - NaN to an integer kind: recorded as the largest value of the kind; we
//   report an overflow, as for infinities.
// - A date outside 100 … 9999 to text: recorded as an invalid argument; we
//   report that as an overflow, our one error for a value out of range.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/values/conversion.h"
#include "engine/values/date_conversion.h"
#include "support/utf.h"

namespace vesk {
namespace {

using Row = std::vector<std::string>;

std::string unescape_field(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out.push_back(field[i]);
      continue;
    }
    char next = field[++i];
    if (next == 'u') {
      char32_t code = static_cast<char32_t>(std::stoul(field.substr(i + 1, 4), nullptr, 16));
      out += utf16_to_utf8(std::u16string(1, static_cast<char16_t>(code)));
      i += 4;
    } else {
      out.push_back(next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    }
  }
  return out;
}

// The rows of a table, header dropped, fields unescaped.
std::vector<Row> load_table(const std::string& name) {
  std::ifstream file(std::string(VESK_TEST_DATA) + "/win32-tables/" + name, std::ios::binary);
  EXPECT_TRUE(file.good()) << name;
  std::vector<Row> rows;
  std::string line;
  std::getline(file, line);
  while (std::getline(file, line)) {
    Row row;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) row.push_back(unescape_field(field));
    while (row.size() < 8) row.emplace_back();
    rows.push_back(row);
  }
  return rows;
}

double parse_double(const std::string& text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

double double_from_bits(const std::string& hex) {
  uint64_t bits = std::stoull(hex, nullptr, 16);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A recorded hresult as our error; nothing for success.
std::optional<ConversionError> recorded_error(const std::string& name) {
  if (name == "S_OK") return std::nullopt;
  if (name == "DISP_E_OVERFLOW" || name == "E_INVALIDARG") return ConversionError::Overflow;
  return ConversionError::TypeMismatch;
}

// Counts the rows of one table and reports them at the end.
struct Tally {
  std::string table;
  int recorded = 0;
  int ours = 0;
  ~Tally() {
    std::cout << "[ table    ] " << table << ": " << recorded << " rows as recorded, " << ours
              << " by our own rule\n";
  }
};

template <class T>
std::string describe(const Converted<T>& result) {
  if (result.ok()) return "ok";
  return result.error() == ConversionError::Overflow ? "overflow" : "type mismatch";
}

ConversionLocale locale_of(const std::string& suffix) {
  return suffix == "ja" ? ConversionLocale::Japanese : ConversionLocale::English;
}

class ConversionTable : public testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Locales, ConversionTable, testing::Values("en", "ja"));

TEST_P(ConversionTable, DoubleToTextAndBack) {
  Tally tally{"ole-r8-to-bstr." + GetParam()};
  ConversionLocale locale = locale_of(GetParam());
  for (const Row& row : load_table(tally.table + ".tsv")) {
    double value = double_from_bits(row[1]);
    EXPECT_EQ(utf16_to_utf8(double_to_text(value)), row[4]) << row[0];
    Converted<double> back = text_to_double(u16(row[4]), locale);
    if (row[5].starts_with("ERROR")) {
      ConversionError error = row[5].ends_with("0A") ? ConversionError::Overflow : ConversionError::TypeMismatch;
      EXPECT_TRUE(!back.ok() && back.error() == error) << row[4] << ": " << describe(back);
    } else {
      EXPECT_TRUE(back.ok() && same_bits(*back, parse_double(row[5]))) << row[4] << " -> " << row[5];
    }
    ++tally.recorded;
  }
}

// Number texts whose result we decide otherwise (see the top of the file).
const std::map<std::string, double>& own_number_results(ConversionLocale locale) {
  static const std::map<std::string, double> common = {
      {"&HFFFFFFFF", -1},
      {"&O37777777777", -1},
      {"-&H10", -16},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"1.7976931348623158e308", std::numeric_limits<double>::max()},
      {"4.9e-324", std::numeric_limits<double>::denorm_min()},
      {"2.5e-324", std::numeric_limits<double>::denorm_min()},
      {"3e-324", std::numeric_limits<double>::denorm_min()},
      {"1.00000000000000011102230246251565404236316680908203125", 1.0},
      {"9007199254740993.0000001", 9007199254740994.0},
  };
  static const std::map<std::string, double> japanese = [] {
    std::map<std::string, double> all = common;
    all["\u00A510"] = 10;
    return all;
  }();
  return locale == ConversionLocale::Japanese ? japanese : common;
}

TEST_P(ConversionTable, TextToDouble) {
  Tally tally{"ole-bstr-to-r8." + GetParam()};
  ConversionLocale locale = locale_of(GetParam());
  const auto& own = own_number_results(locale);
  for (const Row& row : load_table(tally.table + ".tsv")) {
    Converted<double> got = text_to_double(u16(row[0]), locale);
    if (auto it = own.find(row[0]); it != own.end()) {
      EXPECT_TRUE(got.ok() && same_bits(*got, it->second)) << row[0] << ": " << describe(got);
      ++tally.ours;
      continue;
    }
    if (std::optional<ConversionError> error = recorded_error(row[3])) {
      EXPECT_TRUE(!got.ok() && got.error() == *error) << row[0] << ": " << describe(got);
    } else {
      EXPECT_TRUE(got.ok() && same_bits(*got, double_from_bits(row[5]))) << row[0] << ": " << describe(got);
    }
    ++tally.recorded;
  }
}

// The source value of a row of the ole-bool and ole-other tables.
Value source_value(const std::string& type, const std::string& text, ConversionLocale) {
  if (type == "VT_BOOL") return Value::boolean_word(static_cast<int16_t>(std::stoi(text)));
  if (type == "VT_I4") return Value::i4(static_cast<int32_t>(std::stol(text)));
  if (type == "VT_I2") return Value::i2(static_cast<int16_t>(std::stoi(text)));
  if (type == "VT_UI1") return Value::byte(static_cast<uint8_t>(std::stoi(text)));
  if (type == "VT_R4") return Value::r4(static_cast<float>(parse_double(text)));
  if (type == "VT_R8") return Value::r8(parse_double(text));
  if (type == "VT_DATE") return Value::date(parse_double(text));
  if (type == "VT_CY") {
    std::string digits = text;
    digits.erase(digits.find('.'), 1);
    return Value::currency(std::stoll(digits));
  }
  return Value::string(u16(text));
}

VarType target_type(const std::string& type) {
  static const std::map<std::string, VarType> k_types = {
      {"VT_BSTR", VarType::String}, {"VT_BOOL", VarType::Bool}, {"VT_R8", VarType::R8},
      {"VT_I4", VarType::I4},       {"VT_I2", VarType::I2},     {"VT_UI1", VarType::UI1},
      {"VT_CY", VarType::Currency}, {"VT_DATE", VarType::Date},
  };
  return k_types.at(type);
}

// Checks [got] against the recorded result [row]; [locale] renders dates.
void expect_recorded(const Row& row, const Converted<Value>& got, ConversionLocale locale) {
  std::string label = row[0] + " " + row[1] + " -> " + row[2];
  if (std::optional<ConversionError> error = recorded_error(row[5])) {
    EXPECT_TRUE(!got.ok() && got.error() == *error) << label << ": " << describe(got);
    return;
  }
  ASSERT_TRUE(got.ok()) << label << ": " << describe(got);
  const Value& v = *got;
  switch (v.type()) {
    case VarType::String:
      EXPECT_EQ(utf16_to_utf8(v.as_string()), row[6]) << label;
      break;
    case VarType::Bool:
      EXPECT_EQ(v.bool_word(), row[6] == "-1" ? 1 : 0) << label;
      break;
    case VarType::R8:
      EXPECT_TRUE(same_bits(v.as_r8(), double_from_bits(row[7]))) << label << ": " << v.as_r8();
      break;
    case VarType::Currency:
      EXPECT_EQ(v.as_i8(), std::stoll(row[7])) << label;
      break;
    case VarType::Date: {
      EXPECT_TRUE(same_bits(v.as_r8(), parse_double(row[6]))) << label << ": " << v.as_r8();
      Converted<std::u16string> text = date_to_text(v.as_r8(), locale);
      EXPECT_TRUE(text.ok() && utf16_to_utf8(*text) == row[7]) << label;
      break;
    }
    default:
      EXPECT_EQ(std::to_string(v.as_i8()), row[6]) << label;
  }
}

// Converts the source of [row]; text to a date reads in a fixed year.
Converted<Value> convert_row(const Row& row, ConversionLocale locale) {
  Value source = source_value(row[0], row[1], locale);
  VarType target = target_type(row[2]);
  if (source.is_string() && target == VarType::Date) {
    Converted<double> date = text_to_date(source.as_string(), locale, 2024);
    if (!date) return date.error();
    return Value::date(*date);
  }
  return change_type(source, target, locale);
}

TEST_P(ConversionTable, BooleanConversions) {
  Tally tally{"ole-bool." + GetParam()};
  ConversionLocale locale = locale_of(GetParam());
  for (const Row& row : load_table(tally.table + ".tsv")) {
    Converted<Value> got = convert_row(row, locale);
    if (row[0] == "VT_BOOL" && row[2] == "VT_BSTR" && row[3] == "0") {
      bool truth = row[1] != "0";
      EXPECT_TRUE(got.ok() && got->as_string() == (truth ? u"True" : u"False")) << row[1];
      ++tally.ours;
      continue;
    }
    expect_recorded(row, got, locale);
    ++tally.recorded;
  }
}

TEST_P(ConversionTable, OtherConversions) {
  Tally tally{"ole-other." + GetParam()};
  ConversionLocale locale = locale_of(GetParam());
  for (const Row& row : load_table(tally.table + ".tsv")) {
    Converted<Value> got = convert_row(row, locale);
    if (row[0] == "VT_R8" && row[1] == "nan" && row[2] != "VT_BOOL") {
      EXPECT_TRUE(!got.ok() && got.error() == ConversionError::Overflow) << row[2];
      ++tally.ours;
      continue;
    }
    expect_recorded(row, got, locale);
    ++tally.recorded;
  }
}

// The recorded locale fields against what the conversions write and read.
std::map<std::string, std::string> load_locale(const std::string& suffix) {
  std::map<std::string, std::string> fields;
  for (const Row& row : load_table("locale." + suffix + ".tsv")) {
    std::string key = row[0];
    if (size_t comma = key.find(", "); comma != std::string::npos) key = key.substr(comma + 2, key.size() - comma - 3);
    fields[key] = row[1];
  }
  return fields;
}

// Renders the short-date or time [pattern] of the locale table for 22
// November 2000, 13:05:09.
std::string render_pattern(const std::string& pattern, const std::map<std::string, std::string>& locale) {
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    auto take = [&](const char* token) {
      size_t n = std::strlen(token);
      if (pattern.compare(i, n, token) != 0) return false;
      i += n;
      return true;
    };
    if (take("yyyy")) out += "2000";
    else if (take("M")) out += "11";
    else if (take("d")) out += "22";
    else if (take("h")) out += "1";
    else if (take("H")) out += "13";
    else if (take("mm")) out += "05";
    else if (take("ss")) out += "09";
    else if (take("tt")) out += locale.at("LOCALE_S2359");
    else out += pattern[i++];
  }
  return out;
}

TEST_P(ConversionTable, LocaleFieldsAgree) {
  ConversionLocale locale = locale_of(GetParam());
  std::map<std::string, std::string> fields = load_locale(GetParam());
  EXPECT_EQ(fields["LOCALE_SDECIMAL"], ".");
  EXPECT_EQ(fields["LOCALE_STHOUSAND"], ",");
  Converted<double> amount = text_to_double(u16(fields["LOCALE_SCURRENCY"] + "1,234.5"), locale);
  EXPECT_TRUE(amount.ok() && *amount == 1234.5);
  Converted<double> afternoon = text_to_date(u16("3:00 " + fields["LOCALE_S2359"]), locale, 2024);
  EXPECT_TRUE(afternoon.ok() && *afternoon == 0.625);
  DateTime moment;
  moment.year = 2000;
  moment.month = 11;
  moment.day = 22;
  moment.hour = 13;
  moment.minute = 5;
  moment.second = 9;
  Converted<std::u16string> text = date_to_text(*date_from_parts(moment), locale);
  ASSERT_TRUE(text.ok());
  EXPECT_EQ(utf16_to_utf8(*text), render_pattern(fields["LOCALE_SSHORTDATE"], fields) + " " +
                                      render_pattern(fields["LOCALE_STIMEFORMAT"], fields));
}

}  // namespace
}  // namespace vesk
