// The rules behind the script dialogs that do not need a window: the
// message dialog's buttons and links, the selection dialog's kinds and
// results, the popup menu's items and the balloon's outline.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// --- The message dialog (MSGBOX) ---

inline constexpr size_t k_longest_message = 64000;

// [text] cut to 64000 characters, with "..." after a cut.
std::u16string cut_message(std::u16string_view text);

// The button bits of [buttons] in the row's order: Yes, No, OK, Cancel,
// Abort, Retry, Ignore. A set of 0 or less, or one without any known bit,
// is OK alone.
std::vector<int32_t> message_buttons(int32_t buttons);

// A link in the message: [line] and [column] in the lines of
// split_message_lines, [length] characters, [address] its text.
struct MessageLink {
  size_t line = 0, column = 0, length = 0;
  std::u16string address;
};

// The message's lines: every CR, LF or CR LF is one break.
std::vector<std::u16string> split_message_lines(std::u16string_view text);

// Every "http://" and "mailto:" address in [lines], each ending before the
// first blank, ideographic space, quote, ")", "]", "}", ">" or ",".
std::vector<MessageLink> find_links(const std::vector<std::u16string>& lines);

// --- The selection dialog (SLCTBOX) ---

enum class SelectKind { Buttons, CheckBoxes, Radios, DropDown, List };

inline constexpr int32_t k_select_text = 64, k_select_numbers = 128;

// The kind of [type]: check boxes before radio buttons, then drop-down,
// list, buttons.
SelectKind select_kind(int32_t type);

// What SLCTBOX returns: a number, or a text.
struct SelectAnswer {
  bool is_text = false;
  int64_t number = 0;
  std::u16string text;
};

// The answer for the chosen item indexes [chosen] (in item order) of
// [items]: a bit set, the texts joined by tabs (bit 64), or the indexes
// (bit 128: one index as a number, several joined by tabs).
SelectAnswer select_answer(int32_t type, const std::vector<std::u16string>& items,
                           const std::vector<size_t>& chosen);

// --- The popup menu (POPUPMENU) ---

struct PopupItem {
  std::u16string text;
  int32_t depth = 0;    // 0 for the menu itself, 1 inside the first sub-menu ...
  bool parent = false;  // opens a sub-menu; cannot be chosen
};

// The items of [text], split at carriage returns (a following line feed is
// dropped) and each passed through [expand] (the escape sequences). A line
// beginning with "{" opens a sub-menu under it; each "}" at its end closes
// one after it. At most 16 levels are tracked.
std::vector<PopupItem> parse_popup_items(std::u16string_view text,
                                         const std::function<std::u16string(std::u16string_view)>& expand);

// --- The balloon (FUKIDASI, BALLOON) ---

struct BalloonPoint {
  int32_t x, y;
};

struct BalloonShape {
  std::vector<BalloonPoint> outline;  // the window region, in order
  BalloonPoint label;                 // where the text goes
};

// The outline for a text of [width] x [height] pixels ([direction] 1 tail
// up, 2 down, 3 left, 4 right, anything else none).
BalloonShape balloon_shape(int32_t direction, int32_t text_width, int32_t text_height);

// The opacity for [transparency] 1 to 255 (above: 255, below: 0): 255
// minus it, never below 8.
int32_t balloon_opacity(int32_t transparency);

}  // namespace vesk
