// The byte built-ins: CHRB, LENGTHB, COPYB, POSB, ASCB and BYTETYPE, on the
// text's form in the ANSI code page.
#include <algorithm>

#include "builtins/core/builtin_context.h"
#include "platform/platform.h"
#include "support/unicode_case.h"

namespace vesk {
namespace {

// The ANSI form of [text] and the byte offset where each character starts;
// a character's bytes are those of the character on its own, which holds
// for the single- and double-byte code pages.
struct AnsiForm {
  std::string bytes;
  std::vector<size_t> starts;
  bool multi_byte = false;
};

AnsiForm ansi_form(std::u16string_view text) {
  AnsiForm form;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t n = (i + 1 < text.size() && text[i] >= 0xD800 && text[i] < 0xDC00) ? 2 : 1;
    std::string b = platform::utf16_to_ansi(text.substr(i, n));
    i += n - 1;
    form.starts.push_back(form.bytes.size());
    if (b.size() > 1) form.multi_byte = true;
    form.bytes += b;
  }
  return form;
}

}  // namespace

// CHRB(code)
Value builtin_chrb(BuiltinContext& ctx) {
  set_byte_string_mark(ctx);
  return Value::ansi_string(std::string(1, static_cast<char>(ctx.integer(0) & 0xFF)));
}

// LENGTHB(text)
Value builtin_lengthb(BuiltinContext& ctx) {
  return Value::i4(static_cast<int32_t>(platform::utf16_to_ansi(ctx.text(0)).size()));
}

// COPYB(text, start, count)
Value builtin_copyb(BuiltinContext& ctx) {
  set_byte_string_mark(ctx);
  std::string bytes = platform::utf16_to_ansi(ctx.text(0));
  int64_t start = std::max<int64_t>(ctx.integer(1, 1), 1);
  int64_t count = ctx.integer(2, static_cast<int64_t>(bytes.size()));
  if (start > static_cast<int64_t>(bytes.size()) || count <= 0) return Value::ansi_string("");
  return Value::ansi_string(bytes.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

// POSB(sub, text, n)
Value builtin_posb(BuiltinContext& ctx) {
  auto form = [&](std::u16string_view t) { return ctx.same_str() ? ansi_form(t) : ansi_form(unicode_upper(t)); };
  AnsiForm sub = form(ctx.text(0)), text = form(ctx.text(1));
  if (sub.bytes.empty()) return Value::i4(0);
  // A match of a multi-byte text must start where a character starts.
  bool plain = !sub.multi_byte && !text.multi_byte;
  std::vector<size_t> found;
  for (size_t at = text.bytes.find(sub.bytes); at != std::string::npos; at = text.bytes.find(sub.bytes, at + 1)) {
    if (plain || std::binary_search(text.starts.begin(), text.starts.end(), at)) found.push_back(at);
  }
  int64_t n = ctx.integer(2, 1);
  if (n == 0) n = 1;
  int64_t count = static_cast<int64_t>(found.size());
  int64_t index = n > 0 ? n - 1 : count + n;
  if (index < 0 || index >= count) return Value::i4(0);
  return Value::i4(static_cast<int32_t>(found[static_cast<size_t>(index)] + 1));
}

// ASCB(text)
Value builtin_ascb(BuiltinContext& ctx) {
  std::string bytes = platform::utf16_to_ansi(ctx.text(0));
  return Value::i4(bytes.empty() ? 0 : static_cast<uint8_t>(bytes[0]));
}

// BYTETYPE(text, position): 0 single byte, 1 lead byte, 2 trail byte, -1
// outside.
Value builtin_bytetype(BuiltinContext& ctx) {
  AnsiForm form = ansi_form(ctx.text(0));
  int64_t position = ctx.integer(1);
  if (position < 1 || position > static_cast<int64_t>(form.bytes.size())) return Value::i4(-1);
  size_t at = static_cast<size_t>(position - 1);
  auto it = std::upper_bound(form.starts.begin(), form.starts.end(), at);
  size_t start = *(it - 1);
  size_t end = it == form.starts.end() ? form.bytes.size() : *it;
  if (end - start == 1) return Value::i4(0);
  return Value::i4(at == start ? 1 : 2);
}

}  // namespace vesk
