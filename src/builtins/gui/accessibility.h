// The accessibility search: finding objects of a window's accessible tree by
// name and role, and acting on them (click, read, write, list, check
// state); and what the object under a screen point is.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {
class BuiltinContext;
}

namespace vesk::gui {

enum class AccAction {
  Click,    // select or run the default action, or click with the mouse
  List,     // every match's name into the request's list
  Text,     // the text of the n-th text object
  SetText,  // set the value of the n-th editable object
  Check,    // the check state of the named check-able object
};

struct AccRequest {
  HWND window = nullptr;
  uint32_t flags = 0;    // CLK_, ITM_ or text-family bits
  std::u16string name;   // upper-cased; empty matches any (text actions)
  int32_t position = 0;  // n-th match from 1; 0 the first
  int32_t mode = 0;      // SetText: 0 appends, otherwise replaces
  AccAction action = AccAction::Click;
  bool static_text = false;    // Text: static (else editable) objects
  bool clickable_list = true;  // List: the clickable roles (else text roles)
  std::u16string new_text;

  std::vector<std::u16string> listed;
  std::u16string text;
  int32_t state = -1;
};

// Searches the accessible tree of the request's window (or, in a browser
// frame, of its page hosts); true when a match was found and handled. The
// search position for CLK_CONTINUE is kept per script thread.
bool acc_search(BuiltinContext& ctx, AccRequest& request);

// The default action of [control]'s own accessible object; false when it
// has none.
bool accessible_default_action(HWND control);
// The check state (0, 1, 2) that [control]'s own accessible object reports.
int32_t accessible_check_state(HWND control);

// The check state that accessible state bits stand for.
int32_t check_state_of(uint32_t state_bits);

// What is known of the accessible object at a screen point.
struct AccPointInfo {
  std::u16string name, value, role_text, state_text, description, location, help;
  int32_t role = 0;
  uint32_t state = 0;
  HWND window = nullptr;  // the window that holds the object
};
bool accessible_at_point(POINT screen, AccPointInfo& info);

}  // namespace vesk::gui
