// STRCONV on Windows: the system's own locale string mapping. This file is
// the library's one Windows-only edge; on other systems it is empty.
#ifdef _WIN32
#include <windows.h>

#include "builtins/core/text_mapping.h"

namespace vesk {

std::optional<std::u16string> map_text(std::u16string_view text, uint32_t flags) {
  if (text.empty()) return std::u16string();
  const auto* source = reinterpret_cast<const wchar_t*>(text.data());
  int length = static_cast<int>(text.size());
  int needed = LCMapStringW(LOCALE_SYSTEM_DEFAULT, flags, source, length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::u16string out(static_cast<size_t>(needed), u'\0');
  int written = LCMapStringW(LOCALE_SYSTEM_DEFAULT, flags, source, length, reinterpret_cast<wchar_t*>(out.data()), needed);
  if (written <= 0) return std::nullopt;
  out.resize(static_cast<size_t>(written));
  return out;
}

}  // namespace vesk
#endif
