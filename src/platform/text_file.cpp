// Text file loading with encoding detection and the read retries.
#include "platform/text_file.h"

#include "platform/platform.h"
#include "support/utf.h"

namespace vesk {

DecodedText decode_text_bytes(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    text.reserve((bytes.size() - 2) / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return {std::move(text), TextEncoding::Utf16Le};
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
    return {utf8_to_utf16(bytes.substr(3)), TextEncoding::Utf8Bom};
  std::u16string ansi = platform::ansi_to_utf16(bytes);
  if (std::optional<std::u16string> utf8 = utf8_to_utf16_strict(bytes); utf8 && *utf8 != ansi)
    return {std::move(*utf8), TextEncoding::Utf8};
  return {std::move(ansi), TextEncoding::Ansi};
}

std::vector<std::u16string> split_lines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

namespace {

constexpr int k_tries = 10;
constexpr unsigned k_pause_ms = 80;

// Another program may hold the file for a moment (an editor saving it).
void pause_between_tries() {
  for (unsigned waited = 0; waited < k_pause_ms; waited += 10) {
    platform::pump_messages();
    platform::sleep_ms(10);
  }
}

}  // namespace

bool fits_ansi(std::u16string_view text) { return platform::ansi_to_utf16(platform::utf16_to_ansi(text)) == text; }

std::string encode_text_bytes(std::u16string_view text, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf16Le: {
      std::string bytes = "\xFF\xFE";
      bytes.reserve(2 + text.size() * 2);
      for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
      }
      return bytes;
    }
    case TextEncoding::Utf8Bom: return "\xEF\xBB\xBF" + utf16_to_utf8(text);
    case TextEncoding::Utf8: return utf16_to_utf8(text);
    case TextEncoding::AnsiOnly: return platform::utf16_to_ansi(text);
    case TextEncoding::Ansi: break;
  }
  std::string ansi = platform::utf16_to_ansi(text);
  if (platform::ansi_to_utf16(ansi) == text) return ansi;
  return utf16_to_utf8(text);
}

bool save_text_file(std::u16string_view path, std::u16string_view text, TextEncoding encoding) {
  std::string bytes = encode_text_bytes(text, encoding);
  for (int attempt = 1; attempt <= k_tries; ++attempt) {
    if (platform::replace_file_bytes(path, bytes)) return true;
    if (attempt < k_tries) pause_between_tries();
  }
  return false;
}

std::optional<TextFileLines> load_text_file(std::u16string_view path) {
  for (int attempt = 1; attempt <= k_tries; ++attempt) {
    if (std::optional<std::string> bytes = platform::read_file_bytes(path)) {
      DecodedText decoded = decode_text_bytes(*bytes);
      return TextFileLines{split_lines(decoded.text), decoded.encoding};
    }
    if (!platform::file_exists(path) || attempt == k_tries) break;
    pause_between_tries();
  }
  return std::nullopt;
}

}  // namespace vesk
