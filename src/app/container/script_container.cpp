// The script container's reader and writer, and the cipher they share.
//
// The stored form. Line 1 is the version ("VSK05" for everything this
// writer makes). Line 2 is a decimal number N followed, from version 3 on,
// by the start digit 0 to 8. Lines 3 onwards hold the script lines, one
// stored unit per plain character: a UTF-16 unit in versions 4 and 5, a byte
// of the ANSI text in versions 1 to 3 (there the low byte of each stored unit
// counts). An enciphered unit that would be NUL, LF, CR or 26 is stored as
// the seven-character token "_<#00>_", "_<#10>_", "_<#13>_" or "_<#26>_", so
// the stored lines never break or end early in any editor or reader.
//
// The checksum. The low bytes of every stored unit of lines 3 onwards
// (tokens as their seven characters) are added up modulo 65536; that sum is
// N modulo 65536. The bits of N above the low 16 are the salt (below).
//
// The cipher. A walk through the 32-byte table k_table starts at the start
// digit (0 for versions 1 and 2) and moves on by one entry per character over
// the whole script, wrapping at 32. Character [column] of script line [line]
// (both counted from 0, the line from line 3 of the file) with the table
// entry T under the walk is enciphered as
//     e = (c + T + (column mod 7) * 3 + (line mod 5) * 2) xor M
// where M = k_line_masks[line mod 5] xor salt, all modulo 65536 (versions 4
// and 5) or 256 (versions 1 to 3, with the low byte of M). Deciphering runs
// the same walk and undoes the steps: c = (e xor M) - offset.
//
// Why the salt: a run of stored units may happen to spell one of the tokens,
// and would then read back as the single unit that the token stands for. The
// writer deciphers what it made and, when that is not the text it started
// from, draws another start digit and salt, which changes every stored unit.
#include "app/container/script_container.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>

#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/unicode_case.h"

namespace vesk {
namespace {

using Lines = std::vector<std::u16string>;

constexpr int k_written_version = 5;
constexpr size_t k_first_script_line = 2;
constexpr int k_key_attempts = 64;

constexpr std::array<uint8_t, 32> k_table = {
    0x5A, 0x13, 0xC7, 0x2E, 0x91, 0x04, 0xB8, 0x6D, 0xF2, 0x39, 0x80, 0x1F, 0xA4, 0x57, 0xDB, 0x62,
    0x0E, 0x95, 0x3C, 0xE9, 0x71, 0x26, 0xCD, 0x48, 0xB3, 0x0A, 0x7F, 0xE4, 0x15, 0x9E, 0x63, 0xD0,
};
constexpr std::array<uint16_t, 5> k_line_masks = {0x2A5C, 0x9137, 0x4E81, 0xC6F2, 0x73AD};

struct Token {
  char16_t unit;
  std::u16string_view text;
};
constexpr Token k_tokens[] = {
    {0, u"_<#00>_"},
    {10, u"_<#10>_"},
    {13, u"_<#13>_"},
    {26, u"_<#26>_"},
};

// The comment lines that the executable builder reads; they survive.
constexpr std::u16string_view k_builder_words[] = {u"_EXEVERSION", u"_FILEDESCRIPTION", u"_PRODUCTNAME",
                                                   u"_LEGALCOPYRIGHT"};

// The walk through the table, shared by both directions.
class Cipher {
 public:
  explicit Cipher(ContainerKey key) : m_position(static_cast<size_t>(key.start) % k_table.size()), m_salt(key.salt) {}

  char16_t encipher(char16_t c, size_t line, size_t column) {
    return static_cast<char16_t>((c + next_offset(line, column)) ^ mask(line));
  }
  char16_t decipher(char16_t e, size_t line, size_t column) {
    return static_cast<char16_t>((e ^ mask(line)) - next_offset(line, column));
  }
  uint8_t encipher_byte(uint8_t c, size_t line, size_t column) {
    return static_cast<uint8_t>(((c + next_offset(line, column)) ^ mask(line)) & 0xFF);
  }
  uint8_t decipher_byte(uint8_t e, size_t line, size_t column) {
    return static_cast<uint8_t>(((e ^ mask(line)) - next_offset(line, column)) & 0xFF);
  }

 private:
  // The amount added to character [column] of [line]; moves the walk on.
  unsigned next_offset(size_t line, size_t column) {
    unsigned offset = k_table[m_position] + static_cast<unsigned>((column % 7) * 3 + (line % 5) * 2);
    m_position = (m_position + 1) % k_table.size();
    return offset;
  }
  unsigned mask(size_t line) const { return k_line_masks[line % 5] ^ m_salt; }

  size_t m_position;
  uint16_t m_salt;
};

void append_stored(std::u16string& out, char16_t unit) {
  for (const Token& token : k_tokens)
    if (token.unit == unit) {
      out += token.text;
      return;
    }
  out.push_back(unit);
}

// The enciphered unit that starts at [at] of [stored]; [at] moves past it.
char16_t take_stored(std::u16string_view stored, size_t& at) {
  if (stored[at] == u'_')
    for (const Token& token : k_tokens)
      if (stored.substr(at, token.text.size()) == token.text) {
        at += token.text.size();
        return token.unit;
      }
  return stored[at++];
}

uint16_t stored_checksum(const Lines& lines) {
  uint32_t sum = 0;
  for (size_t i = k_first_script_line; i < lines.size(); ++i)
    for (char16_t c : lines[i]) sum = (sum + (c & 0xFFu)) & 0xFFFFu;
  return static_cast<uint16_t>(sum);
}

// The version of a header-shaped first line: 1 to 5, 0 for a five-character
// line beginning with "VSK0" that is no known version, -1 for anything else.
int header_version(std::u16string_view first_line) {
  std::u16string_view line = trim_blanks(first_line);
  if (line.size() != 5 || !starts_with(line, u"VSK0")) return -1;
  return (line[4] >= u'1' && line[4] <= u'5') ? line[4] - u'0' : 0;
}

struct KeyLine {
  uint16_t checksum;
  ContainerKey key;
};

// Reads line 2; nothing when it is not a number (with its start digit).
std::optional<KeyLine> parse_key_line(std::u16string_view line, int version) {
  line = trim_blanks(line);
  ContainerKey key;
  if (version >= 3) {
    if (line.empty() || line.back() < u'0' || line.back() > u'8') return std::nullopt;
    key.start = line.back() - u'0';
    line.remove_suffix(1);
  }
  // Eighteen digits cannot overflow; a longer number is no line this writer made.
  if (line.empty() || line.size() > 18) return std::nullopt;
  uint64_t number = 0;
  for (char16_t c : line) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = number * 10 + static_cast<uint64_t>(c - u'0');
  }
  key.salt = static_cast<uint16_t>((number >> 16) & 0xFFFF);
  return KeyLine{static_cast<uint16_t>(number & 0xFFFF), key};
}

std::u16string key_line(uint16_t checksum, ContainerKey key, int version) {
  uint64_t number = (static_cast<uint64_t>(key.salt) << 16) | checksum;
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + number % 10));
    number /= 10;
  } while (number != 0);
  if (version >= 3) text.push_back(static_cast<char16_t>(u'0' + key.start));
  return text;
}

std::u16string encipher_line(std::u16string_view plain, size_t line, int version, Cipher& cipher) {
  std::u16string stored;
  if (version >= 4) {
    for (size_t column = 0; column < plain.size(); ++column)
      append_stored(stored, cipher.encipher(plain[column], line, column));
    return stored;
  }
  std::string bytes = platform::utf16_to_ansi(plain);
  for (size_t column = 0; column < bytes.size(); ++column)
    append_stored(stored, cipher.encipher_byte(static_cast<uint8_t>(bytes[column]), line, column));
  return stored;
}

std::u16string decipher_line(std::u16string_view stored, size_t line, int version, Cipher& cipher) {
  std::u16string plain;
  std::string bytes;
  size_t at = 0;
  for (size_t column = 0; at < stored.size(); ++column) {
    char16_t unit = take_stored(stored, at);
    if (version >= 4)
      plain.push_back(cipher.decipher(unit, line, column));
    else
      bytes.push_back(static_cast<char>(cipher.decipher_byte(static_cast<uint8_t>(unit & 0xFF), line, column)));
  }
  return version >= 4 ? plain : platform::ansi_to_utf16(bytes);
}

Lines decipher_body(const Lines& stored, int version, ContainerKey key) {
  Cipher cipher(key);
  Lines plain;
  plain.reserve(stored.size() > k_first_script_line ? stored.size() - k_first_script_line : 0);
  for (size_t i = k_first_script_line; i < stored.size(); ++i)
    plain.push_back(decipher_line(stored[i], i - k_first_script_line, version, cipher));
  return plain;
}

void refuse(Lines& lines, std::u16string_view path, const ContainerNotices& notices, MessageId id) {
  lines.clear();
  if (notices.beep) notices.beep();
  if (notices.show) notices.show(message(id, path));
}

// Normalisation before enciphering.

// The position of the first "//" outside double quotes, or npos.
size_t comment_start(std::u16string_view line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'"')
      quoted = !quoted;
    else if (!quoted && line[i] == u'/' && i + 1 < line.size() && line[i + 1] == u'/')
      return i;
  }
  return std::u16string_view::npos;
}

std::u16string_view without_comment(std::u16string_view line) { return line.substr(0, comment_start(line)); }

// Turns tabs and full-width blanks outside string literals into blanks.
std::u16string plain_blanks(std::u16string_view line) {
  std::u16string out(line);
  bool quoted = false;
  for (char16_t& c : out) {
    if (c == u'"')
      quoted = !quoted;
    else if (!quoted && (c == u'\t' || c == k_full_width_blank))
      c = u' ';
  }
  return out;
}

// The statement's first word: the text before the first ";" or blank,
// upper-cased, after the comment is cut.
std::u16string first_word(std::u16string_view line) {
  std::u16string_view code = trim_blanks(without_comment(line));
  size_t end = 0;
  while (end < code.size() && code[end] != u';' && !is_blank(code[end])) ++end;
  return ascii_upper(code.substr(0, end));
}

bool is_builder_comment(std::u16string_view line) {
  std::u16string upper = ascii_upper(line);
  return std::any_of(std::begin(k_builder_words), std::end(k_builder_words),
                     [&](std::u16string_view word) { return upper.find(word) != std::u16string::npos; });
}

// A whole-line comment loses its text but keeps its line, so that the line
// numbers of error messages still match the plain script.
std::u16string random_comment(std::mt19937& random) {
  std::uniform_int_distribution<int> length(1, 9);
  std::uniform_int_distribution<int> letter(0, 24);
  std::u16string text = u"//";
  for (int n = length(random); n > 0; --n) text.push_back(static_cast<char16_t>(u'A' + letter(random)));
  return text;
}

Lines normalise(const Lines& plain, std::mt19937& random) {
  Lines out;
  out.reserve(plain.size());
  bool in_text_block = false;
  for (const std::u16string& line : plain) {
    std::u16string word = first_word(line);
    if (in_text_block || word == u"TEXTBLOCK") {
      out.push_back(line);
      in_text_block = word != u"ENDTEXTBLOCK";
      continue;
    }
    std::u16string_view trimmed = trim_blanks(line);
    if (starts_with(trimmed, u"//")) {
      out.push_back(is_builder_comment(trimmed) ? std::u16string(trimmed) : random_comment(random));
      continue;
    }
    std::u16string code = plain_blanks(without_comment(line));
    out.emplace_back(trim_blanks(code));
  }
  return out;
}

// Writing the file.

std::string utf16_file_bytes(const Lines& lines) {
  std::string bytes = "\xFF\xFE";
  auto put = [&bytes](char16_t c) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  };
  for (const std::u16string& line : lines) {
    for (char16_t c : line) put(c);
    put(u'\r');
    put(u'\n');
  }
  return bytes;
}

// [path] with its extension (if any) replaced by [extension].
std::u16string with_extension(std::u16string_view path, std::u16string_view extension) {
  size_t name = path.find_last_of(u"\\/");
  name = name == std::u16string_view::npos ? 0 : name + 1;
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos || dot < name) dot = path.size();
  return std::u16string(path.substr(0, dot)) + std::u16string(extension);
}

bool same_file(std::u16string_view a, std::u16string_view b) {
  return unicode_iequals(platform::absolute_path(a), platform::absolute_path(b));
}

std::mt19937 seeded_engine() {
  auto now = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    std::seed_seq seed{device(), device(), now};
    return std::mt19937(seed);
  } catch (...) {
    // Without a random device the clock alone seeds the engine.
    return std::mt19937(now);
  }
}

}  // namespace

bool is_container_header(std::u16string_view first_line) { return header_version(first_line) > 0; }

bool read_script_container(Lines& lines, std::u16string_view path, const ContainerNotices& notices) {
  if (lines.empty()) return false;
  int version = header_version(lines[0]);
  if (version < 0) return false;
  if (version == 0) {
    refuse(lines, path, notices, MessageId::ContainerUnknownVersion);
    return true;
  }
  std::optional<KeyLine> key = lines.size() > 1 ? parse_key_line(lines[1], version) : std::nullopt;
  if (!key || key->checksum != stored_checksum(lines)) {
    refuse(lines, path, notices, MessageId::ContainerDamaged);
    return true;
  }
  lines = decipher_body(lines, version, key->key);
  return true;
}

Lines encipher_lines(const Lines& lines, int version, ContainerKey key) {
  version = std::clamp(version, 1, 5);
  key.start = version >= 3 ? std::clamp(key.start, 0, 8) : 0;
  Cipher cipher(key);
  Lines stored;
  stored.reserve(lines.size() + k_first_script_line);
  stored.push_back(u"VSK0" + std::u16string(1, static_cast<char16_t>(u'0' + version)));
  stored.emplace_back();
  for (size_t i = 0; i < lines.size(); ++i) stored.push_back(encipher_line(lines[i], i, version, cipher));
  stored[1] = key_line(stored_checksum(stored), key, version);
  return stored;
}

Lines encipher_script(const Lines& plain, std::mt19937& random) {
  if (!plain.empty() && is_container_header(plain[0])) return plain;
  Lines lines = normalise(plain, random);
  std::uniform_int_distribution<int> start(0, 8);
  std::uniform_int_distribution<int> salt(0, 0xFFFF);
  for (int attempt = 0; attempt < k_key_attempts; ++attempt) {
    ContainerKey key{start(random), static_cast<uint16_t>(salt(random))};
    Lines stored = encipher_lines(lines, k_written_version, key);
    if (decipher_body(stored, k_written_version, key) == lines) return stored;
  }
  return {};
}

bool write_script_container(std::u16string_view input_path, std::u16string_view output_path) {
  std::optional<TextFileLines> input = load_text_file(input_path);
  if (!input) return false;
  bool in_place = same_file(input_path, output_path);
  if (!input->lines.empty() && is_container_header(input->lines[0])) {
    // Copied byte for byte: an 8-bit container would not survive a trip
    // through UTF-16 text.
    if (in_place) return true;
    std::optional<std::string> bytes = platform::read_file_bytes(input_path);
    return bytes && platform::replace_file_bytes(output_path, *bytes);
  }
  std::mt19937 random = seeded_engine();
  Lines stored = encipher_script(input->lines, random);
  if (stored.empty()) return false;
  if (in_place) {
    // The copy must exist before the plain text is overwritten, and must not
    // be the input itself.
    std::u16string copy = with_extension(input_path, u".ORG");
    std::optional<std::string> bytes = platform::read_file_bytes(input_path);
    if (same_file(copy, input_path) || !bytes || !platform::replace_file_bytes(copy, *bytes)) return false;
  }
  return platform::replace_file_bytes(output_path, utf16_file_bytes(stored));
}

}  // namespace vesk
