// Reading text files in the four encodings that scripts, text files and the
// settings file may use, with the one rule that tells them apart.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// The encoding codes as scripts see them.
enum class TextEncoding : int {
  Ansi = 4,      // the system ANSI code page; written as ANSI when the text
                 // survives the code page, else as UTF-8 (the automatic choice)
  AnsiOnly = 8,  // written in the ANSI code page whatever it cannot hold
  Utf8 = 16,     // UTF-8 without byte-order mark
  Utf8Bom = 32,  // UTF-8 with mark EF BB BF
  Utf16Le = 64,  // UTF-16 little-endian with mark FF FE
};

struct DecodedText {
  std::u16string text;
  TextEncoding encoding;
};

// Decodes a file's [bytes]: a mark decides UTF-16 or UTF-8; otherwise the
// bytes are UTF-8 only when they are valid UTF-8 that reads differently from
// the ANSI code page (so pure ASCII counts as ANSI).
DecodedText decode_text_bytes(std::string_view bytes);

// Splits text at CR LF, LF or CR; a final line end adds no empty line.
std::vector<std::u16string> split_lines(std::u16string_view text);

// The bytes of [text] in [encoding], with the byte-order mark it has.
std::string encode_text_bytes(std::u16string_view text, TextEncoding encoding);

// The text survives a round trip through the ANSI code page unchanged.
bool fits_ansi(std::u16string_view text);

struct TextFileLines {
  std::vector<std::u16string> lines;
  TextEncoding encoding;
};

// Loads [path] as lines. A file that exists but cannot be read is tried ten
// times in all, 80 ms apart, keeping window messages flowing in between.
std::optional<TextFileLines> load_text_file(std::u16string_view path);

// Replaces [path] with [text] in [encoding] (the old file stays whole when
// the write fails); a failed write is tried ten times in all, 80 ms apart,
// keeping window messages flowing in between.
bool save_text_file(std::u16string_view path, std::u16string_view text, TextEncoding encoding);

}  // namespace vesk
