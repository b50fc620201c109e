// The script container: the enciphered form in which scripts are handed out
// so that an editor does not show their text. Script loading reads every
// file through the reader; the "/a" switch and the executable builder write
// containers through the writer.
//
// A container is a list of lines: "VSK01" to "VSK05" (the version), a line
// with the checksum (and, from version 3 on, the start digit as its last
// character), then the enciphered script lines. The cipher itself is
// described in script_container.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// What the reader does when it refuses a file: [beep] sounds, [show]
// displays the message (it names the file). Either may be left empty.
struct ContainerNotices {
  std::function<void()> beep;
  std::function<void(const std::u16string&)> show;
};

// True when [first_line], trimmed, is one of "VSK01" to "VSK05".
bool is_container_header(std::u16string_view first_line);

// Deciphers [lines] in place when they are a container read from [path]:
// the two header lines go and the plain script lines take their place.
// A container of an unknown version (a five-character first line beginning
// with "VSK0") or with a wrong checksum is refused: the notices fire and
// [lines] is emptied. Answers true for every container, refused or not;
// any other text stays as it is and the answer is false.
bool read_script_container(std::vector<std::u16string>& lines, std::u16string_view path,
                           const ContainerNotices& notices);

// Normalises the plain script [plain] (comments, blanks; text blocks stay
// as they are) and enciphers it as a version-5 container, header lines
// first, with a start digit and salt drawn from [random]. A text that
// already starts with a container header comes back unchanged. Empty only
// for a text built so that no key can store it unambiguously.
std::vector<std::u16string> encipher_script(const std::vector<std::u16string>& plain, std::mt19937& random);

// Enciphers the script file [input_path] into a container saved as UTF-16
// with byte-order mark at [output_path]. When both name the same file, the
// plain input is first copied to the same name with the extension ".ORG".
// A file that already is a container is copied as it is. False when a file
// could not be read or written; the input is then left untouched.
bool write_script_container(std::u16string_view input_path, std::u16string_view output_path);

// The key of one container: where the walk through the substitution table
// starts (0 to 8) and the salt that the checksum line carries above its low
// 16 bits.
struct ContainerKey {
  int start = 0;
  uint16_t salt = 0;
};

// Enciphers [lines] exactly as they are into a container of [version]
// (1 to 5) with [key], header lines first. Versions 1 to 3 hold the ANSI
// bytes of the text, and versions 1 and 2 have no start digit (their walk
// starts at 0). The writer uses version 5; the older forms exist so that
// their reading can be checked.
std::vector<std::u16string> encipher_lines(const std::vector<std::u16string>& lines, int version,
                                           ContainerKey key);

}  // namespace vesk
