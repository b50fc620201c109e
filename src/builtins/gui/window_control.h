// Bringing a window to the foreground: the one routine every window and
// input built-in, and the host's dialogs, use for it.
#pragma once

#include <windows.h>

namespace vesk::gui {

// Makes [window] the foreground window and raises it. Without [force] a
// window of a showing pop-up (an open menu, a tool window) is left alone.
void activate_window(HWND window, bool force = false);

}  // namespace vesk::gui
