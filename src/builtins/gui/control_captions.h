// The caption rule of the control functions: how a button, menu or window
// caption is normalised, and when a searched name matches a caption. It
// needs no window system, so the recorder and the tests share it.
#pragma once

#include <string>
#include <string_view>

#include "builtins/core/text_mapping.h"
#include "support/text.h"

namespace vesk::gui {

// [caption] without its accelerator text (from the first tab on), its
// trailing ":", "." and blanks, a final mnemonic group "(X)" or "(&X)", and
// every "&". A trimmed caption of at most 2 characters stays as it is.
inline std::u16string normalize_caption(std::u16string_view caption) {
  if (size_t tab = caption.find(u'\t'); tab != std::u16string_view::npos) caption = caption.substr(0, tab);
  std::u16string_view text = trim_blanks(caption);
  if (text.size() <= 2) return std::u16string(text);
  while (!text.empty() && (text.back() == u':' || text.back() == u'.' || is_blank(text.back()))) text.remove_suffix(1);
  if (text.size() > 3 && text.back() == u')') {
    size_t n = text.size();
    if (n >= 4 && text[n - 4] == u'(' && text[n - 3] == u'&')
      text.remove_suffix(4);
    else if (text[n - 3] == u'(')
      text.remove_suffix(3);
  }
  std::u16string result;
  result.reserve(text.size());
  for (char16_t c : text)
    if (c != u'&') result.push_back(c);
  return std::u16string(trim_blanks(result));
}

// [text] in half-width characters.
inline std::u16string half_width_text(std::u16string_view text) {
  return map_text(text, k_map_halfwidth).value_or(std::u16string(text));
}

// Whether the searched [name] matches [caption] (both upper-cased, and for
// button and menu captions both normalised). Without [partial] the caption
// must equal the name, trimmed or not; with it the name may stand anywhere
// in the caption. Either test is tried again on the half-width forms.
inline bool caption_matches(std::u16string_view name, std::u16string_view caption, bool partial) {
  if (name == caption) return true;
  if (!partial && trim_blanks(caption) == name) return true;
  if (partial && !name.empty() && caption.find(name) != std::u16string_view::npos) return true;
  std::u16string half_name = half_width_text(name);
  std::u16string half_caption = half_width_text(caption);
  if (half_name == half_caption) return true;
  return partial && !half_name.empty() && half_caption.find(half_name) != std::u16string::npos;
}

}  // namespace vesk::gui
