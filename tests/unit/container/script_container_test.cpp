// The script container: what the writer stores reads back exactly, damaged
// or unknown containers are refused and emptied, and the writer's
// normalisation hides comments but keeps text blocks and builder comments.
#include "app/container/script_container.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/messages.h"
#include "support/utf.h"

namespace vesk {
namespace {

using Lines = std::vector<std::u16string>;

struct Reading {
  Lines lines;
  bool container = false;
  int beeps = 0;
  std::vector<std::u16string> shown;
};

Reading read(Lines stored, std::u16string_view path = u"C:\\S\\A.VSK") {
  Reading r;
  ContainerNotices notices{[&r] { ++r.beeps; }, [&r](const std::u16string& text) { r.shown.push_back(text); }};
  r.container = read_script_container(stored, path, notices);
  r.lines = std::move(stored);
  return r;
}

void expect_refused(const Lines& stored, MessageId id) {
  Reading r = read(stored, u"D:\\X.VSK");
  EXPECT_TRUE(r.container);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.beeps, 1);
  EXPECT_EQ(r.shown, (Lines{message(id, u"D:\\X.VSK")}));
}

bool holds_breaking_unit(const Lines& stored) {
  for (const std::u16string& line : stored)
    for (char16_t c : line)
      if (c == 0 || c == 10 || c == 13 || c == 26) return true;
  return false;
}

TEST(ScriptContainer, EveryUnitRoundTripsInEveryVersion) {
  std::u16string every_unit;
  for (unsigned c = 0; c <= 0xFFFF; ++c) every_unit.push_back(static_cast<char16_t>(c));
  Lines wide = {every_unit, u"", u"_<#00>_ _<#10>_ _<#13>_ _<#26>_", std::u16string(1, 0xDC00)};
  for (int start = 0; start <= 8; ++start) {
    Lines stored = encipher_lines(wide, 5, {start, static_cast<uint16_t>(start * 7919)});
    EXPECT_FALSE(holds_breaking_unit(stored));
    Reading r = read(stored);
    EXPECT_TRUE(r.container);
    EXPECT_EQ(r.lines, wide) << "start " << start;
  }
  // The 8-bit forms hold ANSI bytes; versions 1 and 2 have no start digit.
  Lines narrow = {u"PRINT \"a\x1A b\"", std::u16string(u"nul\0\n\r", 6), u"", u"~!@#$%^&*()_+<>"};
  for (int version = 1; version <= 4; ++version) {
    Lines stored = encipher_lines(narrow, version, {6, 0x1234});
    EXPECT_EQ(stored[0], u"VSK0" + std::u16string(1, static_cast<char16_t>(u'0' + version)));
    EXPECT_EQ(stored[1].back() == u'6', version >= 3) << utf16_to_utf8(stored[1]);
    EXPECT_FALSE(holds_breaking_unit(stored));
    EXPECT_EQ(read(stored).lines, narrow) << "version " << version;
  }
}

TEST(ScriptContainer, RandomScriptsRoundTripThroughTheWriter) {
  // Inside a text block the writer keeps every line as it is, so the whole
  // chain (normalising, key choice, enciphering, reading) must give it back.
  static const char16_t awkward[] = {0, 10, 13, 26, u'_', u'<', u'#', u'0', u'>', 0xD800, 0xDFFF, 0xFEFF, u'\t'};
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> length(0, 40), any(0, 0xFFFF);
  std::uniform_int_distribution<size_t> pick(0, std::size(awkward) + 2);
  for (int round = 0; round < 50; ++round) {
    Lines plain = {u"TEXTBLOCK T"};
    for (int n = 0; n < 20; ++n) {
      std::u16string line = u"x";  // never reads as ENDTEXTBLOCK
      for (int k = length(random); k > 0; --k) {
        size_t which = pick(random);
        line.push_back(which < std::size(awkward) ? awkward[which] : static_cast<char16_t>(any(random)));
      }
      plain.push_back(line);
    }
    plain.push_back(u"ENDTEXTBLOCK");
    Lines stored = encipher_script(plain, random);
    EXPECT_EQ(stored[0], u"VSK05");
    EXPECT_FALSE(holds_breaking_unit(stored));
    EXPECT_EQ(read(stored).lines, plain) << "round " << round;
  }
}

TEST(ScriptContainer, StoredRunsThatSpellATokenAreAvoided) {
  // Find the line that the key which the writer draws first from this
  // engine would store as a literal "_<#00>_", which reads back as one NUL.
  std::mt19937 engine(5);
  std::mt19937 replay = engine;
  std::uniform_int_distribution<int> start(0, 8), salt(0, 0xFFFF);
  ContainerKey first{start(replay), static_cast<uint16_t>(salt(replay))};
  const std::u16string target = u"_<#00>_";
  // Each column enciphers on its own: one pass over all units finds the
  // plain unit for every column.
  std::u16string crafted(target.size(), u'\0');
  size_t found = 0;
  for (unsigned c = 0; c <= 0xFFFF; ++c) {
    std::u16string trial(target.size(), static_cast<char16_t>(c));
    std::u16string stored = encipher_lines({u"TEXTBLOCK", trial}, 5, first)[3];
    if (stored.size() != trial.size()) continue;  // a token moved the columns
    for (size_t j = 0; j < target.size(); ++j)
      if (stored[j] == target[j]) {
        crafted[j] = trial[j];
        ++found;
      }
  }
  ASSERT_EQ(found, target.size());
  Lines plain = {u"TEXTBLOCK", crafted, u"ENDTEXTBLOCK"};
  Lines naive = encipher_lines(plain, 5, first);
  ASSERT_EQ(naive[3], target);
  EXPECT_NE(read(naive).lines, plain);

  Lines stored = encipher_script(plain, engine);
  EXPECT_NE(stored[1], naive[1]);
  EXPECT_EQ(read(stored).lines, plain);
}

TEST(ScriptContainer, ADamagedContainerIsRefusedAndEmptied) {
  Lines stored = encipher_lines({u"PRINT 1", u"PRINT 2"}, 5, {4, 0});
  auto with = [&stored](size_t line, std::u16string text) {
    Lines changed = stored;
    changed[line] = std::move(text);
    return changed;
  };
  std::u16string flipped = stored[3];
  flipped[0] = static_cast<char16_t>(flipped[0] ^ 0x01);
  expect_refused(with(3, flipped), MessageId::ContainerDamaged);
  std::u16string number = stored[1].substr(0, stored[1].size() - 1);
  expect_refused(with(1, number + u"1" + u"4"), MessageId::ContainerDamaged);
  expect_refused(with(1, number + u"9"), MessageId::ContainerDamaged);
  expect_refused(with(1, u""), MessageId::ContainerDamaged);
  expect_refused({u"VSK05"}, MessageId::ContainerDamaged);
  // The sum is compared modulo 65536: a number 65536 higher is accepted,
  // and its upper bits, the salt, make the text decipher differently.
  uint64_t sum = std::stoull(utf16_to_utf8(number));
  Reading salted = read(with(1, u16(std::to_string(sum + 65536)) + u"4"));
  EXPECT_EQ(salted.beeps, 0);
  ASSERT_EQ(salted.lines.size(), 2u);
  EXPECT_NE(salted.lines[0], u"PRINT 1");
  EXPECT_EQ(read(stored).lines, (Lines{u"PRINT 1", u"PRINT 2"}));
}

TEST(ScriptContainer, OnlyAFiveCharacterVsk0LineIsAHeader) {
  for (const char16_t* header : {u"VSK00", u"VSK06", u"VSK09", u"VSK0A", u" VSK07\t"})
    expect_refused({header, u"123", u"PRINT 1"}, MessageId::ContainerUnknownVersion);
  for (const char16_t* first : {u"VSK0", u"VSK055", u"VSK1A", u"vsk05"}) {
    Lines text = {first, u"PRINT 2"};
    Reading r = read(text);
    EXPECT_FALSE(r.container) << utf16_to_utf8(first);
    EXPECT_EQ(r.lines, text);
    EXPECT_EQ(r.beeps, 0);
    EXPECT_FALSE(is_container_header(first));
  }
  EXPECT_FALSE(read({}).container);
  EXPECT_TRUE(is_container_header(u"\u3000VSK01 "));
  Lines silent = {u"VSK08", u"1"};
  EXPECT_TRUE(read_script_container(silent, u"A.VSK", ContainerNotices{}));
  EXPECT_TRUE(silent.empty());
}

TEST(ScriptContainer, ATextThatIsAlreadyAContainerIsLeftAlone) {
  std::mt19937 random(1);
  Lines container = {u"VSK05", u"1234", u"// not a comment\t"};
  EXPECT_EQ(encipher_script(container, random), container);
  Lines old = {u" VSK02", u"99"};
  EXPECT_EQ(encipher_script(old, random), old);
  Lines unknown = {u"VSK09", u"PRINT 1"};
  EXPECT_EQ(read(encipher_script(unknown, random)).lines, unknown);
}

void expect_hidden_comment(const std::u16string& line) {
  ASSERT_GE(line.size(), 3u);
  EXPECT_LE(line.size(), 11u);
  EXPECT_EQ(line.substr(0, 2), u"//");
  for (char16_t c : line.substr(2)) EXPECT_TRUE(c >= u'A' && c <= u'Y') << utf16_to_utf8(line);
}

TEST(ScriptContainer, TheWriterHidesCommentsButKeepsBuilderComments) {
  std::mt19937 random(7);
  Lines plain = {
      u"// secret note",
      u"   //",
      u"\t// _ExeVersion 1.2.3.4",
      u"//_FILEDESCRIPTION Tool",
      u"// _productname  X",
      u"//  _LEGALCOPYRIGHT (c)",
      u"PRINT \"a//b\" // trailing note",
      u"x = 1//",
      u"\tPRINT\t\"tab\there\"\u3000+\u3000\"\u3000\" ",
      u"   ",
      u"PRINT \"open // quote",
  };
  Lines back = read(encipher_script(plain, random)).lines;
  Lines expected = {back[0],
                    back[1],
                    u"// _ExeVersion 1.2.3.4",
                    plain[3],
                    plain[4],
                    plain[5],
                    u"PRINT \"a//b\"",
                    u"x = 1",
                    u"PRINT \"tab\there\" + \"\u3000\"",
                    u"",
                    plain[10]};
  EXPECT_EQ(back, expected);
  expect_hidden_comment(back[0]);
  expect_hidden_comment(back[1]);

  // The hiding letters vary in number and text.
  Lines many = read(encipher_script(Lines(200, u"// note"), random)).lines;
  std::vector<bool> lengths(12, false);
  for (const std::u16string& line : many) lengths[line.size()] = true;
  for (size_t length = 3; length <= 11; ++length) EXPECT_TRUE(lengths[length]) << length;
}

TEST(ScriptContainer, TextBlocksAreKeptAsTheyAre) {
  std::mt19937 random(3);
  Lines plain = {
      u"  TextBlock Help  // a block",
      u"\t  // kept, with its blanks  ",
      u"PRINT \"x\" // kept too",
      u"\u3000indented\u3000",
      u" endTextBlock ; trailing",
      u"\t// hidden again",
      u"TEXTBLOCK",
      u"  textblock inner",
      u"ENDTEXTBLOCK// done",
      u"  PRINT 1  ",
  };
  Lines back = read(encipher_script(plain, random)).lines;
  ASSERT_EQ(back.size(), plain.size());
  for (int i : {0, 1, 2, 3, 4, 6, 7, 8}) EXPECT_EQ(back[i], plain[i]) << i;
  expect_hidden_comment(back[5]);
  EXPECT_EQ(back[9], u"PRINT 1");
}

class ContainerFile : public testing::Test {
 protected:
  void SetUp() override {
    m_root = std::filesystem::temp_directory_path() /
             ("vesk-container-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(m_root);
    ASSERT_TRUE(platform::create_directory(m_root.u16string()));
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }
  std::u16string path(std::u16string_view name) const { return m_root.u16string() + u"\\" + std::u16string(name); }
  std::string bytes(std::u16string_view name) const { return platform::read_file_bytes(path(name)).value_or("-"); }
  Lines read_file(std::u16string_view name) const {
    std::optional<TextFileLines> loaded = load_text_file(path(name));
    EXPECT_TRUE(loaded && loaded->encoding == TextEncoding::Utf16Le);
    return loaded ? read(loaded->lines).lines : Lines{};
  }

  std::filesystem::path m_root;
};

TEST_F(ContainerFile, WritingInPlaceKeepsThePlainTextAsOrg) {
  const std::string plain = "PRINT \"\xE3\x81\x82\" // note\r\n// gone\r\nPRINT 2\r\n";
  ASSERT_TRUE(platform::replace_file_bytes(path(u"Tool.vsk"), plain));
  ASSERT_TRUE(write_script_container(path(u"Tool.vsk"), path(u"TOOL.VSK")));
  EXPECT_EQ(bytes(u"Tool.ORG"), plain);
  Lines back = read_file(u"Tool.vsk");
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0], u"PRINT \"\u3042\"");
  EXPECT_EQ(back[2], u"PRINT 2");

  // A second pass finds a container: neither it nor the copy changes.
  std::string stored = bytes(u"Tool.vsk");
  ASSERT_TRUE(write_script_container(path(u"Tool.vsk"), path(u"Tool.vsk")));
  EXPECT_EQ(bytes(u"Tool.vsk"), stored);
  EXPECT_EQ(bytes(u"Tool.ORG"), plain);
}

TEST_F(ContainerFile, WritingElsewhereLeavesTheInputAlone) {
  ASSERT_TRUE(platform::replace_file_bytes(path(u"a.vsk"), "PRINT 1"));
  ASSERT_TRUE(write_script_container(path(u"a.vsk"), path(u"b.vsk")));
  EXPECT_EQ(bytes(u"a.vsk"), "PRINT 1");
  EXPECT_FALSE(platform::file_exists(path(u"a.ORG")));
  EXPECT_EQ(read_file(u"b.vsk"), (Lines{u"PRINT 1"}));
  // A container is copied byte for byte.
  ASSERT_TRUE(write_script_container(path(u"b.vsk"), path(u"c.vsk")));
  EXPECT_EQ(bytes(u"c.vsk"), bytes(u"b.vsk"));
}

TEST_F(ContainerFile, FailuresLoseNothing) {
  EXPECT_FALSE(write_script_container(path(u"missing.vsk"), path(u"out.vsk")));
  EXPECT_FALSE(platform::file_exists(path(u"out.vsk")));
  // The plain text would be its own copy.
  ASSERT_TRUE(platform::replace_file_bytes(path(u"keep.org"), "PRINT 1"));
  EXPECT_FALSE(write_script_container(path(u"keep.org"), path(u"keep.org")));
  EXPECT_EQ(bytes(u"keep.org"), "PRINT 1");
  // The copy cannot be made: the input stays plain.
  ASSERT_TRUE(platform::replace_file_bytes(path(u"held.vsk"), "PRINT 2"));
  ASSERT_TRUE(platform::replace_file_bytes(path(u"held.ORG"), "older copy"));
  ASSERT_TRUE(platform::set_read_only(path(u"held.ORG"), true));
  EXPECT_FALSE(write_script_container(path(u"held.vsk"), path(u"held.vsk")));
  EXPECT_EQ(bytes(u"held.vsk"), "PRINT 2");
  EXPECT_EQ(bytes(u"held.ORG"), "older copy");
  platform::set_read_only(path(u"held.ORG"), false);
}

}  // namespace
}  // namespace vesk
