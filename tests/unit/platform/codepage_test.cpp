// The ANSI code pages 1252 and 932 checked against the tables recorded from
// Win32 (tests/data/win32-tables/acp-*.tsv). Natively this tests the portable
// conversions; on Windows (in practice Wine) the same rows check the system's
// conversions through the platform layer, which only speak the process's
// ANSI code page, so there a code page other than that one is skipped.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#ifndef _WIN32
#include "platform/portable/codepage.h"
#endif

namespace vesk::platform {
namespace {

bool can_convert(unsigned code_page) {
#ifdef _WIN32
  return ansi_code_page() == code_page;
#else
  return code_page == 1252 || code_page == 932;
#endif
}

std::u16string decode(unsigned code_page, std::string_view bytes) {
#ifdef _WIN32
  (void)code_page;
  return ansi_to_utf16(bytes);
#else
  return decode_code_page(code_page, bytes);
#endif
}

std::string encode(unsigned code_page, std::u16string_view text) {
#ifdef _WIN32
  (void)code_page;
  return utf16_to_ansi(text);
#else
  return encode_code_page(code_page, text);
#endif
}

using Row = std::vector<std::string>;

// The rows of a table file for [code_page] (its first column), header left out.
std::vector<Row> load_rows(const char* name, unsigned code_page) {
  std::ifstream in(std::string(VESK_TEST_DATA) + "/win32-tables/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  std::vector<Row> rows;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    Row row;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) row.push_back(field);
    if (!row.empty() && row[0] == std::to_string(code_page)) rows.push_back(row);
  }
  return rows;
}

// "U+30FB U+0000" -> u"\u30FB\0".
std::u16string units(const std::string& field) {
  std::u16string out;
  std::istringstream parts(field);
  for (std::string part; parts >> part;)
    out.push_back(static_cast<char16_t>(std::stoul(part.substr(2), nullptr, 16)));
  return out;
}

// "8140" -> "\x81\x40".
std::string bytes(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

class CodePage : public testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    if (!can_convert(cp())) GTEST_SKIP() << "the process's ANSI code page is " << ansi_code_page();
  }
  unsigned cp() const { return GetParam(); }
};

TEST_P(CodePage, RoundTripRowsDecodeAndEncode) {
  std::vector<Row> rows = load_rows("acp-roundtrip.tsv", cp());
  EXPECT_EQ(rows.size(), cp() == 932 ? 9402u : 256u);
  for (const Row& row : rows) {
    EXPECT_EQ(decode(cp(), bytes(row[2])), units(row[1])) << row[2];
    EXPECT_EQ(encode(cp(), units(row[1])), bytes(row[2])) << row[1];
  }
}

TEST_P(CodePage, BestFitRowsEncodeToTheirFit) {
  std::vector<Row> rows = load_rows("acp-bestfit.tsv", cp());
  EXPECT_EQ(rows.size(), cp() == 932 ? 83u : 441u);
  for (const Row& row : rows) {
    EXPECT_EQ(encode(cp(), units(row[1])), bytes(row[2])) << row[1];
    EXPECT_EQ(decode(cp(), bytes(row[2])), units(row[3])) << row[2];
  }
}

TEST_P(CodePage, DuplicateAndInvalidSequencesDecodeAsRecorded) {
  for (const Row& row : load_rows("acp-decode-extra.tsv", cp())) {
    EXPECT_EQ(decode(cp(), bytes(row[1])), units(row[2])) << row[1];
    EXPECT_EQ(encode(cp(), units(row[2])), bytes(row[3])) << row[1];
  }
}

// Every other unit, surrogates included, becomes the default char.
TEST_P(CodePage, UnlistedUnitsBecomeTheDefaultChar) {
  std::vector<bool> listed(0x10000);
  for (const char* name : {"acp-roundtrip.tsv", "acp-bestfit.tsv"})
    for (const Row& row : load_rows(name, cp())) listed[units(row[1])[0]] = true;
  std::u16string wrong;
  for (char32_t unit = 0; unit < 0x10000; ++unit) {
    std::u16string text(1, static_cast<char16_t>(unit));
    if (!listed[unit] && encode(cp(), text) != "?") wrong += text;
  }
  EXPECT_EQ(wrong.size(), 0u) << "first: U+" << std::hex << static_cast<unsigned>(wrong.empty() ? 0 : wrong[0]);
}

TEST_P(CodePage, CharacterOutsideTheBmpBecomesTwoDefaultChars) {
  EXPECT_EQ(encode(cp(), u"a\U0001F600b"), "a??b");
  EXPECT_EQ(encode(cp(), std::u16string(1, char16_t(0xDC00))), "?");
}

INSTANTIATE_TEST_SUITE_P(Tables, CodePage, testing::Values(1252u, 932u),
                         [](const testing::TestParamInfo<unsigned>& info) {
                           return "Cp" + std::to_string(info.param);
                         });

TEST(CodePage1252, EuroSignIsByte80) {
  if (!can_convert(1252)) GTEST_SKIP() << "the process's ANSI code page is " << ansi_code_page();
  EXPECT_EQ(decode(1252, "\x80 5"), u"\u20AC 5");
  EXPECT_EQ(encode(1252, u"\u20AC\u00E9"), "\x80\xE9");
  EXPECT_EQ(encode(1252, u"\u0100"), "A");
}

TEST(CodePage932, DoubleByteCodesInText) {
  if (!can_convert(932)) GTEST_SKIP() << "the process's ANSI code page is " << ansi_code_page();
  EXPECT_EQ(decode(932, "A\x81\x40" "B\x82\xA0\xB1"), u"A\u3000B\u3042\uFF71");
  EXPECT_EQ(encode(932, u"A\u3000B\u3042\uFF71"), "A\x81\x40" "B\x82\xA0\xB1");
  EXPECT_EQ(encode(932, u"caf\u00E9"), "cafe");
}

TEST(CodePage932, BrokenLeadBytesDecodeToTheMiddleDot) {
  if (!can_convert(932)) GTEST_SKIP() << "the process's ANSI code page is " << ansi_code_page();
  EXPECT_EQ(decode(932, "ab\x81"), u"ab\u30FB");
  EXPECT_EQ(decode(932, "\x81\x20" "c"), u"\u30FB" "c");
  EXPECT_EQ(decode(932, std::string_view("\x81\0c", 3)), std::u16string(u"\u30FB\0c", 3));
  EXPECT_EQ(decode(932, "\x9F\xFD\xE0"), u"\u30FB\u30FB");
}

}  // namespace
}  // namespace vesk::platform
