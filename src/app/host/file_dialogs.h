// The launcher's file dialogs and shortcut resolution. Windows only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vesk::host {

// The open dialog with its extra panel "Number of times:" (1 to 999999999).
// The chosen file and the count; a shortcut is resolved to its target and
// its own arguments, and a shortcut to a folder opens the dialog again
// inside that folder. Nothing when cancelled.
struct OpenChoice {
  std::u16string spec;  // path, the shortcut's arguments after a blank
  int32_t count = 1;
};
std::optional<OpenChoice> open_script_dialog(HWND owner);

// The save dialog; the chosen path with the extension ".VSK" forced.
std::optional<std::u16string> save_script_dialog(HWND owner);

// The target of the shortcut [path] and its arguments; nothing when
// [path] is no shortcut that resolves.
struct ShortcutTarget {
  std::u16string path, arguments;
};
std::optional<ShortcutTarget> resolve_shortcut(const std::u16string& path);

}  // namespace vesk::host
