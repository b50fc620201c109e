// The numeric text test shared by the evaluator and the built-in dispatch.
#include "engine/values/numeric_text.h"

#include <cmath>

#include "engine/values/conversion.h"
#include "engine/values/expression.h"
#include "support/text.h"

namespace vesk {

bool is_numeric_text(std::u16string_view text, NumericTextMode mode) {
  if (!mode.keep_blanks) text = trim_blanks(text);
  if (text.size() > 64) return false;
  if (text.size() > 32 && text.substr(0, 32).find(u'.') == std::u16string_view::npos) return false;
  if (text.empty()) return false;
  if (text[0] == u'$') return text.size() > 1 && read_number(text) != k_unreadable_number;
  for (char16_t c : text)
    if (!((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'E' || c == u'e')) return false;
  if (text == u"e" || text == u"E" || text == u"-" || text == u"+" || text == u".") return false;
  if (mode.strict) {
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != u'E' && text[i] != u'e') continue;
      if (i + 1 >= text.size() || (text[i + 1] != u'+' && text[i + 1] != u'-')) return false;
    }
  }
  // The number reader takes the sentinel's own text as that number.
  return read_number(text) != k_unreadable_number || text == u"-2100000000";
}

bool is_numeric_value(const Value& value, NumericTextMode mode) {
  switch (value.type()) {
    case VarType::String:
      return is_numeric_text(value.as_string(), mode);
    case VarType::R8:
      return std::isfinite(value.as_r8());
    case VarType::R4:
      return std::isfinite(value.as_r4());
    case VarType::Bool:  // its text is "True" or "False"
    case VarType::Empty:
      return false;
    case VarType::Date:
    case VarType::AnsiString: {
      Converted<std::u16string> text = to_text(value);
      return text.ok() && is_numeric_text(*text, mode);
    }
    default:
      // Integers and currency always have numeric text; the other kinds
      // (Null, Error, objects, arrays) have none.
      return value.is_numeric_kind();
  }
}

}  // namespace vesk
