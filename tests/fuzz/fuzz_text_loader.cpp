// Fuzzes the text-file loader: encoding detection, decoding, line splitting,
// and the encoder, whose UTF-16 form must give back every text it holds.
#include <cstdlib>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "platform/text_file.h"

using namespace vesk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes = fuzz::bytes_of(data, size);
  DecodedText decoded = decode_text_bytes(bytes);
  std::vector<std::u16string> lines = split_lines(decoded.text);
  (void)fits_ansi(decoded.text);

  // The detected encoding writes the text back in some form; UTF-16 with
  // its mark keeps every code unit.
  (void)encode_text_bytes(decoded.text, decoded.encoding);
  DecodedText again = decode_text_bytes(encode_text_bytes(decoded.text, TextEncoding::Utf16Le));
  if (again.text != decoded.text || again.encoding != TextEncoding::Utf16Le) std::abort();

  // The file path reads the same lines as the bytes do.
  static const std::u16string path = fuzz::private_file(u"LOADED.TXT");
  if (platform::replace_file_bytes(path, bytes)) {
    std::optional<TextFileLines> file = load_text_file(path);
    if (!file || file->lines != lines || file->encoding != decoded.encoding) std::abort();
  }
  return 0;
}
