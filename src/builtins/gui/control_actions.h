// What CLKITEM's families share: the request, the CLK_ bits, and the ways a
// control is made to see a user's action (posted clicks, the key pair that
// announces a selection change, focus without a click).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/control_families.h"

namespace vesk::gui {

inline constexpr uint32_t k_clk_partial = 256;
inline constexpr uint32_t k_clk_back = 512;
inline constexpr uint32_t k_clk_mouse_move = 1024;
inline constexpr uint32_t k_clk_left = 2048;
inline constexpr uint32_t k_clk_right = 4096;
inline constexpr uint32_t k_clk_double = 8192;
inline constexpr uint32_t k_clk_of_this = 16384;
inline constexpr uint32_t k_clk_from_last = 65536;
inline constexpr uint32_t k_clk_continue = 16777216;
inline constexpr uint32_t k_clk_name_only = 0x10000000;
inline constexpr uint32_t k_clk_name_variants = 0x10000000 | 0x20000000;
inline constexpr uint32_t k_clk_value = 0x40000000;
inline constexpr uint32_t k_clk_every_family = 0x80FF;
inline constexpr uint32_t k_clk_default = 33023;
inline constexpr uint32_t k_clk_click_flags = k_clk_left | k_clk_right | k_clk_double;

// One CLKITEM search.
struct ItemRequest {
  BuiltinContext& ctx;
  HWND window;
  std::u16string name;        // upper-cased, trimmed unless partial
  std::u16string normalized;  // the name normalised as a caption
  uint32_t type;
  int32_t wanted;    // the check state asked for: 0, 1 or 2
  int32_t position;  // from 1; below 1 the first that matches
  bool include_disabled;
  int32_t state = 0;        // the state read for a CHK_ type
  bool found_only = false;  // a CHK_ type answers TRUE: the item exists

  Interpreter& interpreter() const { return ctx.interpreter; }
  bool partial() const { return type & k_clk_partial; }
  bool back() const { return type & k_clk_back; }
  bool check_only() const { return type & k_check_only; }
  bool clicks() const { return type & k_clk_click_flags; }
  bool mouse_move() const { return type & k_clk_mouse_move; }
  bool mouse() const { return clicks() || mouse_move(); }
  // Whether a match numbered [count] (from 1) is the one asked for.
  bool counts(int32_t count) const { return position < 1 || position == count; }
};

// A position argument (or [fallback] when not given), held to a range
// whose negation cannot overflow.
inline int32_t position_argument(const BuiltinContext& ctx, int k, int32_t fallback) {
  constexpr int64_t k_limit = 100000000;
  return static_cast<int32_t>(std::clamp<int64_t>(ctx.integer(k, fallback), -k_limit, k_limit));
}

// A window ID argument; a number outside the IDs' range names no window.
inline int32_t window_argument(const BuiltinContext& ctx, int k) {
  int64_t id = ctx.integer(k);
  return id < INT32_MIN || id > INT32_MAX ? -1 : static_cast<int32_t>(id);
}

// Handles the message queue [rounds] times after sleeping [ms].
void pause_serviced(Interpreter& interpreter, DWORD ms, int rounds);

// Posts the mouse messages of a click with the buttons of [type] at the
// client point [at] of [control], the process at real-time priority.
void post_click(HWND control, POINT at, uint32_t type);

// Puts the cursor on the client point [at] of [control].
void move_cursor(HWND control, POINT at);

// Gives [control] of [window] the keyboard focus without clicking it.
void focus_control(HWND window, HWND control);

// Sends [key] to [control] as a key-down and key-up message pair.
void send_key_pair(HWND control, WPARAM key);

// Sends the owner of [control] the notification [code] from it, the record
// in the owner's process.
void notify_owner(HWND control, HWND owner, int code);

// Makes the owner of [control] see that entry [index] became selected: the
// pair of arrow keys that leaves the selection where it is.
void nudge_selection(ItemRequest& request, HWND control, int32_t index);

// The families, in the order CLKITEM tries them; true when the item was
// found and handled.
bool click_button(ItemRequest& request);
bool click_list(ItemRequest& request);
bool click_tab(ItemRequest& request);
bool click_menu(ItemRequest& request);
bool click_tree(ItemRequest& request);
bool click_list_view(ItemRequest& request);
bool click_tool_bar(ItemRequest& request);
bool click_accessible(ItemRequest& request);

// The check state of [button]: 0, 1 or 2.
int32_t button_state(HWND button);

// Runs CLKITEM on [window]; the result (TRUE, FALSE or a state).
Value run_clkitem(BuiltinContext& ctx, HWND window, std::u16string_view name, uint32_t type, int64_t check,
                  int32_t position);

}  // namespace vesk::gui
