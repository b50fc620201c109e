// Finding windows: the candidate windows with their exclusions, the title
// and class rules and the order of the passes that pick one.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace vesk {
class Interpreter;
class BuiltinContext;
}

namespace vesk::gui {

// The title that stands for "no title" in a search for a class alone.
inline constexpr std::u16string_view k_no_title_marker = u"_DF_NONE_TITLE_";

struct Candidate {
  HWND window;
  std::u16string title;  // trimmed, upper-cased, at most 255 characters
  std::u16string klass;  // the same for the class name
};

// The top-level windows ([parent] null) or all descendants of [parent] that
// a search may find, in the system's order (top-level: Z order).
std::vector<Candidate> collect_candidates(Interpreter& interpreter, HWND parent);

// Upper-casing as the system does it for window titles.
std::u16string system_upper(std::u16string_view text);
// The title rules: equal, or contained, directly or after both are turned
// into half-width characters.
bool title_equal(std::u16string_view window_title, std::u16string_view searched);
bool title_contains(std::u16string_view window_title, std::u16string_view searched);

// The window whose title and class match (both upper-cased): the passes
// from "foreground exact" to "any partial", then the class-alone rules.
// With a [process] id: that process's first suitable window.
HWND find_top_window(Interpreter& interpreter, std::u16string_view title, std::u16string_view klass,
                     DWORD process = 0);
HWND find_child_by_caption(Interpreter& interpreter, HWND window, std::u16string_view caption);

// The top-level window under [point]; with [stop_at_mdi_child] the climb
// also stops at an MDI child.
HWND top_level_at(POINT point, bool stop_at_mdi_child = false);

// GETID's search with its waiting policy: [title], [klass] and [caption]
// upper-cased ([title] empty: the no-title marker), [seconds] of waiting (0:
// the default policy, negative: no limit). The window's ID, or -1.
int32_t get_id(BuiltinContext& ctx, std::u16string title, std::u16string_view klass, double seconds,
               std::u16string_view caption);

// Waits until [window]'s thread is ready for input; true when it stayed
// busy (a time-out or a failed send).
bool wait_window_idle(Interpreter& interpreter, HWND window);

}  // namespace vesk::gui
