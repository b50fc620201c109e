// The value built-ins that are neither strings nor arrays: RANDOM, VARTYPE,
// ISUNICODE, GETTIME, SET8087CW, EVAL and ENCODE/DECODE.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <random>

#include "builtins/core/builtin_context.h"
#include "builtins/core/dispatch.h"
#include "engine/loader/line_normaliser.h"
#include "engine/values/conversion.h"
#include "engine/values/date_conversion.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

enum : int32_t { k_id_decode = 99 };
enum Code : int64_t { k_code_ansi = 1, k_code_bytearray = 2, k_code_url = 3, k_code_utf8 = 4, k_code_bytearrayw = 5 };

std::mt19937_64& random_engine() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return engine;
}

}  // namespace

// RANDOM(n)
Value builtin_random(BuiltinContext& ctx) {
  if (!ctx.given(0)) return Value::r8(std::uniform_real_distribution<double>(0.0, 1.0)(random_engine()));
  int64_t n = ctx.integer(0);
  if (n <= 1) return Value::i4(0);
  int64_t r = std::uniform_int_distribution<int64_t>(0, n - 1)(random_engine());
  return r <= INT32_MAX ? Value::i4(static_cast<int32_t>(r)) : Value::r8(static_cast<double>(r));
}

// VARTYPE(value, kind)
Value builtin_vartype(BuiltinContext& ctx) {
  const Value& value = ctx.value(0);
  if (!ctx.given(1)) return Value::i4(value.type_code());
  int64_t kind = ctx.integer(1);
  if (kind < 0 || kind > 65535) return ctx.fail(message(MessageId::DefinitionWrong, ctx.text(1)));
  // An integer taken as an interface pointer needs the COM bridge.
  if (kind == static_cast<int64_t>(VarType::Object))
    return ctx.fail(message(MessageId::NotAvailableHere, u"VARTYPE(..., VAR_DISPATCH)"));
  Converted<Value> converted = change_type(value, static_cast<VarType>(kind));
  if (!converted.ok()) return ctx.fail(message(MessageId::ConversionFailed, ctx.site.arguments[0]));
  return *converted;
}

// ISUNICODE(text)
Value builtin_isunicode(BuiltinContext& ctx) {
  std::u16string_view text = ctx.text(0);
  return ctx.boolean(platform::ansi_to_utf16(platform::utf16_to_ansi(text)) != text);
}

namespace {

Converted<double> local_now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  DateTime parts;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = std::min(local.tm_sec, 59);
  parts.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return date_from_parts(parts);
}

// yyyymmdd[hh[nn[ss]]] after "/", "-", ":" and blanks are removed.
Converted<double> read_date_digits(std::u16string_view text) {
  std::u16string digits;
  for (char16_t c : text) {
    if (c == u'/' || c == u'-' || c == u':' || is_blank(c)) continue;
    if (c < u'0' || c > u'9') return ConversionError::TypeMismatch;
    digits.push_back(c);
  }
  if (digits.size() < 8 || digits.size() > 14 || digits.size() % 2 != 0) return ConversionError::TypeMismatch;
  auto field = [&](size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n && i < digits.size(); ++i) v = v * 10 + (digits[i] - u'0');
    return v;
  };
  DateTime parts;
  parts.year = field(0, 4);
  parts.month = field(4, 2);
  parts.day = field(6, 2);
  parts.hour = field(8, 2);
  parts.minute = field(10, 2);
  parts.second = field(12, 2);
  return date_from_parts(parts);
}

}  // namespace

// GETTIME(days, date text): sets the frame's time stamp and answers the
// seconds from 2000-01-01 00:00:00 to it.
Value builtin_gettime(BuiltinContext& ctx) {
  bool dated = ctx.given(1) && !ctx.text(1).empty();
  Converted<double> base = dated ? read_date_digits(ctx.text(1)) : local_now();
  if (!base.ok()) return ctx.fail(message(MessageId::WrongDate, ctx.text(1)));
  double stamp = *base + ctx.number(0);
  // A moment outside the calendar names what put it there: the date, or
  // the days added to now.
  if (stamp < k_first_date || stamp > k_last_date)
    return ctx.fail(message(MessageId::WrongDate, dated ? ctx.text(1) : ctx.site.arguments[0]));
  ctx.frame.time_stamp = stamp;
  constexpr double k_day_2000 = 36526;  // 2000-01-01 as an OLE date
  return Value::r8(std::round((stamp - k_day_2000) * 86400.0));
}

// --- SET8087CW ---

namespace {

std::atomic<uint16_t> g_startup_word{0};
std::atomic<bool> g_word_changed{false};

// The exception masks (bits 0-5) stay set whatever a script asks, so that a
// floating-point fault can never stop the process.
constexpr uint16_t k_exception_masks = 0x3F;

#if defined(__i386__) || defined(__x86_64__)
uint16_t read_control_word() {
  uint16_t word = 0;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}
void write_control_word(uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }
#else
uint16_t read_control_word() { return 0x37F; }
void write_control_word(uint16_t) {}
#endif

}  // namespace

void save_startup_control_word() { g_startup_word = read_control_word(); }

bool control_word_changed() { return g_word_changed; }

// SET8087CW(word): answers the word in force before.
Value builtin_set8087cw(BuiltinContext& ctx) {
  uint16_t before = read_control_word();
  uint16_t word = ctx.integer(0) == 0 ? g_startup_word.load()
                                      : static_cast<uint16_t>(ctx.integer(0) & 0xFFFF) | k_exception_masks;
  write_control_word(word);
  g_word_changed = word != g_startup_word;
  return Value::i4(before);
}

// --- EVAL ---

namespace {

// The position of the first ":=" outside string literals, or npos.
size_t assignment_mark(std::u16string_view line) {
  bool quoted = false;
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    if (line[i] == u'"') quoted = !quoted;
    else if (!quoted && line[i] == u':' && line[i + 1] == u'=') return i;
  }
  return std::u16string_view::npos;
}

}  // namespace

// EVAL(text): an assignment with ":=", otherwise an expression.
Value builtin_eval(BuiltinContext& ctx) {
  std::u16string line = loader::upper_outside_literals(trim_blanks(ctx.text(0)), true);
  if (loader::first_word(line) == u"THREAD" || loader::first_word(line) == u"CALL")
    return ctx.fail(message(MessageId::NotAvailableHere, u"EVAL: " + loader::first_word(line)));
  size_t assign = assignment_mark(line);
  if (assign == std::u16string::npos) {
    std::optional<Value> v = evaluate_text(ctx, line);
    return v ? *v : (ctx.failed = true, failed_result());
  }
  std::optional<Value> v = evaluate_text(ctx, trim_blanks(line.substr(assign + 2)));
  if (!v) return ctx.failed = true, failed_result();
  // The target's indices are evaluated after the value, as an assignment
  // statement does.
  CallSite site;
  site.arguments.push_back(std::u16string(trim_blanks(line.substr(0, assign))));
  BuiltinContext inner(ctx.interpreter, ctx.frame, site, ctx.args, ctx.id);
  std::optional<RawReference> ref = raw_reference(inner, 0);
  if (!ref) return ctx.failed = true, failed_result();
  if (!ctx.interpreter.store().write(ctx.frame, ref->name, ref->indices, *v)) return ctx.failed = true, failed_result();
  return *v;
}

// --- ENCODE / DECODE ---

namespace {

// The bytes a value holds: an array's elements as bytes, a native string's
// bytes, or the ANSI form of the text.
std::string bytes_of(const Value& value, std::u16string_view text) {
  if (value.is_ansi_string()) return value.as_ansi_string();
  if (!value.is_array()) return platform::utf16_to_ansi(text);
  std::string bytes;
  for (const Value& e : value.as_array().elements) bytes.push_back(static_cast<char>(to_ui1(e).value_or(0)));
  return bytes;
}

Value byte_array(std::string_view bytes) {
  Ref<ArrayData> data = make_ref<ArrayData>();
  data->element_type = VarType::UI1;
  data->dimensions.push_back({0, static_cast<int32_t>(bytes.size())});
  for (char b : bytes) data->elements.push_back(Value::byte(static_cast<uint8_t>(b)));
  return Value::array(std::move(data));
}

bool url_kept(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("!$'()*-.@_").find(static_cast<char>(c)) != std::string_view::npos;
}

std::u16string url_encode(std::string_view bytes) {
  static constexpr char k_hex[] = "0123456789abcdef";
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (url_kept(c)) out.push_back(ch);
    else if (c == ' ') out.push_back('+');
    else out += {'%', k_hex[c >> 4], k_hex[c & 15]};
  }
  return std::u16string(out.begin(), out.end());
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> url_decode(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '+') out.push_back(' ');
    else if (bytes[i] != '%') out.push_back(bytes[i]);
    else if (i + 1 < bytes.size() && bytes[i + 1] == '%') out.push_back('%'), ++i;
    else if (i + 2 < bytes.size() && hex_digit(bytes[i + 1]) >= 0 && hex_digit(bytes[i + 2]) >= 0)
      out.push_back(static_cast<char>(hex_digit(bytes[i + 1]) * 16 + hex_digit(bytes[i + 2]))), i += 2;
    else return std::nullopt;
  }
  return out;
}

std::u16string utf16le_text(std::string_view bytes) {
  std::u16string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  return out;
}

Value encode(BuiltinContext& ctx, int64_t code) {
  std::u16string_view text = ctx.text(0);
  switch (code) {
    case k_code_ansi: return Value::ansi_string(platform::utf16_to_ansi(text));
    case k_code_bytearray: return byte_array(bytes_of(ctx.value(0), text));
    case k_code_url: return Value::string(url_encode(platform::utf16_to_ansi(text)));
    case k_code_utf8: return Value::ansi_string(utf16_to_utf8(text));
    case k_code_bytearrayw: {
      std::string bytes;
      for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
      return byte_array(bytes);
    }
    default: return Value::string(text);
  }
}

Value decode(BuiltinContext& ctx, int64_t code) {
  const Value& value = ctx.value(0);
  std::u16string_view text = ctx.text(0);
  if (value.is_null() || (value.is_array() && value.as_array().elements.empty())) return Value::string(u"");
  switch (code) {
    case k_code_bytearray: return Value::string(platform::ansi_to_utf16(bytes_of(value, text)));
    case k_code_url: {
      std::optional<std::string> bytes = url_decode(bytes_of(value, text));
      if (!bytes) return ctx.fail(message(MessageId::UrlDecodeInvalid, text));
      return Value::string(platform::ansi_to_utf16(*bytes));
    }
    case k_code_utf8: return Value::string(utf8_to_utf16(bytes_of(value, text)));
    case k_code_bytearrayw: {
      if (!value.is_array()) return Value::string(text);
      return Value::string(utf16le_text(bytes_of(value, text)));
    }
    default: return Value::string(text);
  }
}

}  // namespace

// ENCODE(value, code) and DECODE(value, code)
Value builtin_encode(BuiltinContext& ctx) {
  int64_t code = ctx.integer(1);
  return ctx.id == k_id_decode ? decode(ctx, code) : encode(ctx, code);
}

}  // namespace vesk
