// The string built-ins: COPY, LENGTH, POS, CHKNUM, VAL, TRIM, CHR, ASC,
// CHGMOJ/REPLACE, BETWEENSTR, FORMAT, TOKEN and STRCONV.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "builtins/core/builtin_context.h"
#include "builtins/core/text_mapping.h"
#include "engine/values/conversion.h"
#include "engine/values/escapes.h"
#include "engine/values/named_constants.h"
#include "engine/values/numeric_text.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/text_search.h"
#include "support/unicode_case.h"
#include "support/utf.h"

namespace vesk {
namespace {

// The text searched in: upper-cased unless OPTION SAMESTR is in force.
std::u16string search_form(const BuiltinContext& ctx, std::u16string_view text) {
  return ctx.same_str() ? std::u16string(text) : unicode_upper(text);
}

// The occurrences of [sub] in [text] as the string built-ins look for
// them: without SAMESTR in the upper-cased text, which is not made (each
// unit upper-cases to one unit, so its positions are the text's). The
// search for the next one starts one unit after the previous match, so
// occurrences may overlap. The views must outlive the search.
class Occurrences {
 public:
  Occurrences(const BuiltinContext& ctx, std::u16string_view sub, std::u16string_view text)
      : m_text(text), m_sub(ctx.same_str() ? std::u16string(sub) : unicode_upper(sub)) {
    if (!ctx.same_str()) m_upper.emplace(m_text, m_sub);
  }
  Occurrences(const Occurrences&) = delete;
  Occurrences& operator=(const Occurrences&) = delete;

  // The first occurrence at or after [from], or npos.
  size_t next(size_t from) const {
    if (m_sub.empty()) return std::u16string_view::npos;
    return m_upper ? m_upper->find(from) : find_text(m_text, m_sub, from);
  }
  // The [n]-th occurrence (negative: counted from the end; 0 is the
  // first), or npos.
  size_t nth(int64_t n) const {
    if (n == 0) n = 1;
    if (n > 0) {
      size_t at = next(0);
      for (int64_t i = 1; i < n && at != std::u16string_view::npos; ++i) at = next(at + 1);
      return at;
    }
    std::vector<size_t> found;
    for (size_t at = next(0); at != std::u16string_view::npos; at = next(at + 1)) found.push_back(at);
    int64_t index = static_cast<int64_t>(found.size()) + n;
    return index < 0 ? std::u16string_view::npos : found[static_cast<size_t>(index)];
  }

 private:
  std::u16string_view m_text;
  std::u16string m_sub;
  std::optional<UpperCaseFinder> m_upper;
};

bool is_trim_blank(char16_t c, bool full_width) { return c <= u' ' || (full_width && c == k_full_width_blank); }

}  // namespace

// COPY(text, start, count)
Value builtin_copy(BuiltinContext& ctx) {
  std::u16string_view text = ctx.text(0);
  int64_t start = std::max<int64_t>(ctx.integer(1, 1), 1);
  if (start > static_cast<int64_t>(text.size())) return Value::string(u"");
  int64_t count = ctx.integer(2, static_cast<int64_t>(text.size()));
  if (count <= 0) return Value::string(u"");
  return Value::string(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

// LENGTH(raw expression)
Value builtin_length(BuiltinContext& ctx) {
  std::u16string source = raw_name(ctx, 0);
  VariableStore& store = ctx.interpreter.store();
  {
    std::lock_guard lock(store.global_lock());
    if (TSZHash* hash = store.find_hash(ctx.frame, source)) return Value::i4(hash->count());
    std::u16string_view base = std::u16string_view(source).substr(0, source.find(u'['));
    Variable* var = store.find_variable(ctx.frame, trim_blanks(base));
    if (!var) {
      static constexpr std::u16string_view k_lists[] = {u"EVENT_PRM", u"GETDIR_FILES", u"ALL_ITEM_LIST", u"ALL_WIN_ID",
                                                       u"ALL_OLE_ITEM", u"ALL_IMG_X", u"ALL_IMG_Y"};
      for (std::u16string_view list : k_lists)
        if (source == list) return Value::i4(0);
    } else if (var->is_array()) {
      // Each "[" opens one index group; "[i, j]" counts its commas too.
      std::optional<RawReference> ref = raw_reference(ctx, 0);
      if (!ref) return failed_result();
      size_t n = ref->indices.size();
      if (n < var->bounds.size()) return Value::i4(var->bounds[n] + 1);
    }
  }
  EvalResult r = ctx.interpreter.evaluate_in(ctx.site.argument(0), ctx.frame);
  if (r.failed || ctx.frame.error) {
    ctx.failed = true;
    return failed_result();
  }
  if (r.value.is_array()) {
    const ArrayData& a = r.value.as_array();
    return Value::i4(a.dimensions.empty() ? 0 : a.dimensions[0].count);
  }
  // A string's length is read off it: its text is not copied to be counted.
  if (r.value.is_string()) return Value::i4(static_cast<int32_t>(r.value.as_string().size()));
  return Value::i4(static_cast<int32_t>(argument_text(r.value).size()));
}

// POS(sub, text, n)
Value builtin_pos(BuiltinContext& ctx) {
  size_t at = Occurrences(ctx, ctx.text(0), ctx.text(1)).nth(ctx.integer(2, 1));
  return Value::i4(at == std::u16string::npos ? 0 : static_cast<int32_t>(at + 1));
}

// CHKNUM(value)
Value builtin_chknum(BuiltinContext& ctx) {
  return ctx.boolean(is_numeric_text(ctx.text(0), NumericTextMode{true, true}));
}

// VAL(text, flag)
Value builtin_val(BuiltinContext& ctx) {
  std::u16string text(ctx.text(0));
  if (!text.empty() && text.front() == k_full_width_blank) text.front() = u' ';
  if (!text.empty() && text.back() == k_full_width_blank) text.back() = u' ';
  std::erase(text, u',');
  text = unicode_upper(text);
  if (is_numeric_text(text, NumericTextMode{false, false})) return Value::r8(read_number(trim_blanks(text)));
  if (ctx.integer(1) != 0) {
    std::u16string_view word = trim_blanks(text);
    if (word == u"TRUE") return Value::r8(1);
    if (word == u"FALSE") return Value::r8(0);
    if (std::optional<double> c = find_constant(word)) return Value::r8(*c);
  }
  return Value::r8(k_no_constant);
}

// TRIM(text, flag): every control character and blank at the ends; with a
// non-zero flag the full-width blank too.
Value builtin_trim(BuiltinContext& ctx) {
  std::u16string_view text = ctx.text(0);
  bool full_width = ctx.integer(1) != 0;
  while (!text.empty() && is_trim_blank(text.front(), full_width)) text.remove_prefix(1);
  while (!text.empty() && is_trim_blank(text.back(), full_width)) text.remove_suffix(1);
  return Value::string(text);
}

// CHR(code): codes above U+FFFF give their surrogate pair, codes outside
// Unicode the empty text.
Value builtin_chr(BuiltinContext& ctx) {
  int64_t code = ctx.integer(0);
  if (code < 0 || code > 0x10FFFF) return Value::string(u"");
  if (code <= 0xFFFF) return Value::string(std::u16string(1, static_cast<char16_t>(code)));
  code -= 0x10000;
  std::u16string pair{static_cast<char16_t>(0xD800 + (code >> 10)), static_cast<char16_t>(0xDC00 + (code & 0x3FF))};
  return Value::string(pair);
}

// ASC(text)
Value builtin_asc(BuiltinContext& ctx) {
  std::u16string_view text = ctx.text(0);
  return Value::i4(text.empty() ? 0 : text[0]);
}

// CHGMOJ(text, old, new) and REPLACE: every occurrence; an empty old text
// changes nothing.
Value builtin_chgmoj(BuiltinContext& ctx) {
  std::u16string_view text = ctx.text(0);
  std::u16string_view old_text = ctx.text(1);
  std::u16string_view new_text = ctx.given(2) ? ctx.text(2) : std::u16string_view();
  if (old_text.empty()) return ctx.text_value(0);
  // Without SAMESTR the search is one over the upper-cased text (without
  // making it); its positions are positions in the text.
  std::u16string needle = search_form(ctx, old_text);
  UpperCaseFinder upper(text, needle);
  auto next = [&](size_t from) { return ctx.same_str() ? find_text(text, needle, from) : upper.find(from); };
  // The matches are counted first, so the result is written once, in place.
  // The first million positions are kept for the writing; past them (a
  // text of very many matches) the search is made again, so the positions
  // never take more memory than a few megabytes.
  constexpr size_t k_kept_positions = size_t{1} << 20;
  std::vector<size_t> found;
  size_t matches = 0;
  for (size_t at = next(0); at != std::u16string::npos; at = next(at + needle.size()), ++matches)
    if (found.size() < k_kept_positions) found.push_back(at);
  if (matches == 0) return ctx.text_value(0);  // nothing changes: the text as it came
  size_t kept = text.size() - matches * needle.size(), added = 0, length = 0;
  if (__builtin_mul_overflow(matches, new_text.size(), &added) || __builtin_add_overflow(kept, added, &length))
    throw std::bad_alloc();  // reported as the run being out of memory
  char16_t* out = nullptr;
  Value result = Value::string_to_fill(length, out);
  JoiningWriter writer(out);
  size_t from = 0;
  auto replace_at = [&](size_t at) {
    writer.write(text.substr(from, at - from));
    writer.write(new_text);
    from = at + needle.size();
  };
  for (size_t at : found) replace_at(at);
  if (matches > found.size())
    for (size_t at = next(from); at != std::u16string::npos; at = next(from)) replace_at(at);
  writer.write(text.substr(from));
  // Without an escape in the text and the new text, one can only form where they meet.
  if (ctx.text_value(0).string_escape_free() && !holds_escape_mark(new_text) && !writer.mark_formed())
    result.mark_string_escape_free();
  return result;
}

// BETWEENSTR(text, from, to, n)
Value builtin_betweenstr(BuiltinContext& ctx) {
  std::u16string_view text = ctx.text(0);
  std::u16string_view from = ctx.text(1);
  size_t start = 0;
  if (!from.empty()) {
    size_t at = Occurrences(ctx, from, text).nth(ctx.integer(3, 1));
    if (at == std::u16string::npos) return Value::string(u"");
    start = at + from.size();
  }
  std::u16string_view to = ctx.given(2) ? ctx.text(2) : std::u16string_view();
  size_t end = to.empty() ? text.size() : Occurrences(ctx, to, text).next(start);
  if (end == std::u16string::npos) return Value::string(u"");
  return Value::string(text.substr(start, end - start));
}

namespace {

// [x] with [decimals] digits after the point, as the pattern "0.00" writes
// it: the number's 15 significant digits (the digits PRINT shows) rounded
// half away from zero, so that 2.5 gives "3" and 1.005 gives "1.01" rather
// than what the binary fraction below them would round to.
std::u16string fixed_decimals(double x, int64_t decimals) {
  if (!std::isfinite(x)) return double_to_text(x);
  int places = static_cast<int>(std::min<int64_t>(decimals, 30));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(x));
  // buffer is d.dddddddddddddde±x: the value is 0.digits times 10^point.
  std::string digits = std::string(1, buffer[0]) + std::string(buffer + 2, 14);
  int point = std::atoi(std::strchr(buffer, 'e') + 1) + 1;
  int keep = point + places;
  if (keep < 0) {
    digits.clear();
  } else if (keep < static_cast<int>(digits.size())) {
    bool up = digits[static_cast<size_t>(keep)] >= '5';
    digits.resize(static_cast<size_t>(keep));
    for (size_t i = digits.size(); up && i > 0; --i) {
      up = digits[i - 1] == '9';
      digits[i - 1] = up ? '0' : static_cast<char>(digits[i - 1] + 1);
    }
    if (up) {
      digits.insert(0, 1, '1');
      ++point;
    }
  }
  auto digit = [&](int i) {
    return i >= 0 && i < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(i)] : '0';
  };
  std::string out;
  for (int i = 0; i < point; ++i) out.push_back(digit(i));
  if (out.empty()) out = "0";
  if (places > 0) out.push_back('.');
  for (int i = point; i < point + places; ++i) out.push_back(digit(i));
  // A result of only zeros carries no sign.
  if (x < 0 && out.find_first_not_of("0.") != std::string::npos) out.insert(0, 1, '-');
  return u16(out);
}

std::u16string hexadecimal(double x) {
  int64_t v = static_cast<int64_t>(std::trunc(x));
  uint64_t bits = (v < 0 && v >= INT32_MIN) ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%llX", static_cast<unsigned long long>(bits));
  return u16(buffer);
}

// The number text cut to [width], unless its integer part alone fills it.
std::u16string fit_number(std::u16string text, size_t width) {
  size_t integer_length = std::min(text.find(u'.'), text.size());
  if (integer_length >= width) return text.substr(0, integer_length);
  if (text.size() > width) text.resize(width);
  if (!text.empty() && text.back() == u'.') text.pop_back();
  return text;
}

}  // namespace

// FORMAT(value, width, decimals)
Value builtin_format(BuiltinContext& ctx) {
  size_t width = static_cast<size_t>(std::clamp<int64_t>(ctx.integer(1), 0, 1 << 20));
  const Value& value = ctx.value(0);
  if (!value.is_any_string() && ctx.args[0].numeric) {
    double x = ctx.number(0);
    std::u16string text;
    if (!ctx.given(2)) text = double_to_text(x);
    else if (ctx.integer(2) < 0) text = hexadecimal(x);
    else text = fixed_decimals(x, ctx.integer(2));
    if (width == 0) return Value::string(text);
    text = fit_number(std::move(text), width);
    if (text.size() < width) text.insert(0, width - text.size(), u' ');
    return Value::string(text);
  }
  std::u16string_view text = ctx.text(0);
  if (width == 0 || text.empty()) return Value::string(text);
  std::u16string out;
  while (out.size() < width) out += text;
  out.resize(width);
  return Value::string(out);
}

// TOKEN(delimiters, raw variable, skip flag, quote flag)
Value builtin_token(BuiltinContext& ctx) {
  std::optional<RawReference> ref = raw_reference(ctx, 1);
  if (!ref) return failed_result();
  Value current = ctx.interpreter.store().read(ctx.frame, ref->name, ref->indices);
  if (ctx.frame.error) return ctx.failed = true, failed_result();
  std::u16string source = argument_text(current);
  std::u16string_view delimiters = ctx.text(0);
  bool quotes = ctx.integer(3) != 0;
  bool quoted = false;
  size_t cut = source.size();
  for (size_t i = 0; i < source.size(); ++i) {
    if (quotes && source[i] == u'"') quoted = !quoted;
    if (!quoted && delimiters.find(source[i]) != std::u16string::npos) {
      cut = i;
      break;
    }
  }
  std::u16string token = source.substr(0, cut);
  size_t rest = std::min(cut + 1, source.size());
  if (ctx.integer(2) != 0)
    while (rest < source.size() && delimiters.find(source[rest]) != std::u16string::npos) ++rest;
  if (!ctx.interpreter.store().write(ctx.frame, ref->name, ref->indices, Value::string(source.substr(rest))))
    return ctx.failed = true, failed_result();
  return Value::string(std::move(token));
}

// STRCONV(text, flags)
Value builtin_strconv(BuiltinContext& ctx) {
  std::optional<std::u16string> mapped = map_text(ctx.text(0), static_cast<uint32_t>(ctx.integer(1)));
  return Value::string(mapped ? *mapped : ctx.text(0));
}

}  // namespace vesk
