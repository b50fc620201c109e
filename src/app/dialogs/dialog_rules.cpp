// Buttons, links, selection answers, popup items and balloon outlines.
#include "app/dialogs/dialog_rules.h"

#include <algorithm>

namespace vesk {

std::u16string cut_message(std::u16string_view text) {
  if (text.size() <= k_longest_message) return std::u16string(text);
  return std::u16string(text.substr(0, k_longest_message)) + u"...";
}

std::vector<int32_t> message_buttons(int32_t buttons) {
  static constexpr int32_t k_row[] = {4, 8, 1, 2, 16, 32, 64};
  std::vector<int32_t> row;
  if (buttons > 0)
    for (int32_t bit : k_row)
      if (buttons & bit) row.push_back(bit);
  if (row.empty()) row.push_back(1);
  return row;
}

std::vector<std::u16string> split_message_lines(std::u16string_view text) {
  std::vector<std::u16string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

std::vector<MessageLink> find_links(const std::vector<std::u16string>& lines) {
  static constexpr std::u16string_view k_enders = u" \u3000\"')]}>,\t";
  std::vector<MessageLink> links;
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::u16string& line = lines[n];
    size_t from = 0;
    while (true) {
      size_t http = line.find(u"http://", from), mail = line.find(u"mailto:", from);
      size_t at = std::min(http, mail);
      if (at == std::u16string::npos) break;
      size_t end = line.find_first_of(k_enders, at);
      if (end == std::u16string::npos) end = line.size();
      links.push_back({n, at, end - at, line.substr(at, end - at)});
      from = end;
    }
  }
  return links;
}

SelectKind select_kind(int32_t type) {
  if (type & 2) return SelectKind::CheckBoxes;
  if (type & 4) return SelectKind::Radios;
  if (type & 8) return SelectKind::DropDown;
  if (type & 16) return SelectKind::List;
  return SelectKind::Buttons;
}

SelectAnswer select_answer(int32_t type, const std::vector<std::u16string>& items,
                           const std::vector<size_t>& chosen) {
  SelectAnswer answer;
  if (type & k_select_text) {
    answer.is_text = true;
    for (size_t i : chosen) {
      if (i >= items.size()) continue;
      if (!answer.text.empty()) answer.text += u'\t';
      answer.text += items[i];
    }
    return answer;
  }
  if (type & k_select_numbers) {
    if (chosen.size() == 1) {
      answer.number = static_cast<int64_t>(chosen[0]);
      return answer;
    }
    answer.is_text = true;
    for (size_t i : chosen) {
      if (!answer.text.empty()) answer.text += u'\t';
      std::string digits = std::to_string(i);
      answer.text.append(digits.begin(), digits.end());
    }
    return answer;
  }
  for (size_t i : chosen)
    if (i < 31) answer.number |= int64_t{1} << i;
  return answer;
}

std::vector<PopupItem> parse_popup_items(std::u16string_view text,
                                         const std::function<std::u16string(std::u16string_view)>& expand) {
  constexpr int32_t k_levels = 16;
  std::vector<PopupItem> items;
  int32_t depth = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\r', start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view piece = text.substr(start, end - start);
    start = end + 1;
    if (start < text.size() && text[start] == u'\n') ++start;
    if (piece.empty() && end == text.size()) break;
    bool opens = !piece.empty() && piece.front() == u'{';
    if (opens) piece.remove_prefix(1);
    int32_t closes = 0;
    while (!piece.empty() && piece.back() == u'}') {
      piece.remove_suffix(1);
      ++closes;
    }
    PopupItem item{expand ? expand(piece) : std::u16string(piece), depth, opens && depth < k_levels};
    items.push_back(std::move(item));
    if (items.back().parent) ++depth;
    depth = std::max(0, depth - closes);
    if (end == text.size()) break;
  }
  return items;
}

BalloonShape balloon_shape(int32_t direction, int32_t label_width, int32_t label_height) {
  const int32_t w = label_width + 20, h = label_height + 20, k = h / 3;
  switch (direction) {
    case 1:
      return {{{0, 10}, {k, 10}, {k, 0}, {k + 10, 10}, {w, 10}, {w, h}, {0, h}}, {10, 15}};
    case 2:
      return {{{0, 0}, {w, 0}, {w, h - 10}, {k + 10, h - 10}, {k, h}, {k, h - 10}, {0, h - 10}}, {10, 5}};
    case 3:
      return {{{10, 0}, {w, 0}, {w, h}, {10, h}, {10, k + 10}, {0, k}, {10, k}}, {15, 10}};
    case 4:
      return {{{0, 0}, {w - 10, 0}, {w - 10, k}, {w, k}, {w - 10, k + 10}, {w - 10, h}, {0, h}}, {5, 10}};
    default:
      return {{{0, 0}, {w, 0}, {w, h}, {0, h}}, {10, 10}};
  }
}

int32_t balloon_opacity(int32_t transparency) {
  int32_t t = std::clamp(transparency, 0, 255);
  return std::max(8, 255 - t);
}

}  // namespace vesk
