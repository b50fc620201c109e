// The script dialogs' windows on Windows, one function per dialog; the host
// calls them from its ScriptDialogs on the main thread.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "builtins/gui/script_dialogs.h"

namespace vesk::dialogs {

// TFmsgDlg: the bit of the button pressed, 2 when closed without one.
int32_t show_message_box(const gui::DialogLook& look, const gui::MessageBoxRequest& request);
// TFInpBox: the text, or nothing when cancelled or closed.
std::optional<std::u16string> show_input_box(const gui::DialogLook& look, const gui::InputRequest& request);
// TFSectBox: the answer; 0 after the time-out, -1 when closed.
gui::SelectResult show_select_box(const gui::DialogLook& look, const gui::SelectRequest& request);

}  // namespace vesk::dialogs
