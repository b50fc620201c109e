// DEF_DLL declarations in the pre-pass: the declared name is recorded with
// its declaration text, and every parameter type is checked.
#include "engine/loader/prepass.h"
#include "engine/loader/prepass_state.h"
#include "engine/loader/prepass_text.h"
#include "support/text.h"

namespace vesk {
namespace {

struct DllType {
  std::u16string_view name;
  int32_t code;
};

constexpr DllType k_dll_types[] = {
#define T(name, code) {name, code},
#include "engine/loader/def_dll_types.def"
#undef T
};

// Types that cannot be passed as arrays: strings, character buffers,
// characters, VOID and the OLE types.
bool array_allowed(int32_t code) {
  switch (code & ~256) {
    case 4: case 5: case 9: case 10: case 13: case 14: case 16: case 17: case 18: return false;
    default: return true;
  }
}

// "[ ]" (blanks between the brackets) is written "[]".
std::u16string tidy_brackets(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] != u'[') continue;
    size_t j = i + 1;
    while (j < text.size() && is_blank(text[j])) ++j;
    if (j < text.size() && text[j] == u']') i = j - 1;
  }
  return out;
}

// The parameter items of a declaration: the text after its "(" split at
// ",", ")", "{" and "}", braces being items of their own. The list ends at
// the first item that holds ":", "=" or ".".
std::vector<std::u16string> parameter_items(std::u16string_view declaration) {
  std::vector<std::u16string> items;
  size_t open = declaration.find(u'(');
  if (open == std::u16string_view::npos) return items;
  std::u16string item;
  auto take = [&]() {
    std::u16string_view t = trim_blanks(item);
    if (!t.empty()) items.emplace_back(t);
    item.clear();
  };
  for (size_t i = open + 1; i < declaration.size(); ++i) {
    char16_t c = declaration[i];
    if (c == u',' || c == u')' || c == u'{' || c == u'}') {
      take();
      if (!items.empty() && prepass::holds_any(items.back(), u":=.")) break;
      if (c == u'{' || c == u'}') items.emplace_back(1, c);
      continue;
    }
    item += c;
  }
  take();
  return items;
}

}  // namespace

int32_t dll_type_code(std::u16string_view type) {
  std::u16string text = ascii_upper(trim_blanks(type));
  int32_t by_reference = 0;
  if (starts_with(text, u"VAR ")) {
    by_reference = 256;
    text = std::u16string(trim_blanks(std::u16string_view(text).substr(4)));
  }
  if (ends_with(text, u"[]")) text = std::u16string(trim_blanks(std::u16string_view(text).substr(0, text.size() - 2)));
  for (const DllType& t : k_dll_types) {
    if (t.name == text) return t.code + by_reference;
  }
  return 0;
}

namespace prepass {

std::u16string PrePass::register_def_dll(std::u16string_view rest) {
  std::u16string declaration = tidy_brackets(trim_blanks(rest));
  std::u16string name(trim_blanks(std::u16string_view(declaration).substr(0, declaration.find_first_of(u"( :;"))));
  if (name.empty()) return message(MessageId::LoadDefDllWrong, declaration);
  // Calls are upper case after assembly; the declaration keeps the
  // function's exact name for the library lookup.
  std::u16string key = ascii_upper(name);
  if (m_program.dll_names.find(key) < 0) {
    m_program.dll_names.add(key);
    m_program.dll_declarations.push_back(declaration);
    m_store.dll_names().add(key);
  }
  for (const std::u16string& item : parameter_items(declaration)) {
    if (holds_any(item, u":=.")) break;
    int32_t code = dll_type_code(item);
    if (code == 0) return message(MessageId::LoadDefDllWrong, item);
    if (item.find(u"[]") != std::u16string::npos && !array_allowed(code))
      return message(MessageId::LoadDefDllNoArray, item);
  }
  return {};
}

}  // namespace prepass
}  // namespace vesk
