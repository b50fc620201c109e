// What the dialog built-ins (MSGBOX, INPUT, SLCTBOX, FUKIDASI/BALLOON,
// POPUPMENU, STOPFORM, LOGPRINT) ask of the program that shows them. The
// host installs its windows; a program that installs nothing (vesk-cli)
// gets the headless answers of dialog_functions.cpp. Every call arrives on
// the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk {
class Interpreter;
}

namespace vesk::gui {

// What the script chose for its dialogs (OPTION DLGTITLE, DEFAULTFONT,
// DLGMONITOR); empty or 0 means the program's own.
struct DialogLook {
  std::u16string title;
  std::u16string font_name;
  int32_t font_size = 0;
  int32_t monitor = -1;
};

struct MessageBoxRequest {
  std::u16string text;
  int32_t buttons = 0;
  int32_t x = -1, y = -1;  // -1: centred
  int32_t focus = 0;
  bool plain = false;
};

struct InputRequest {
  std::u16string message, initial;
  bool password = false;
  bool positioned = false;
  int32_t x = 0, y = 0;
};

struct SelectRequest {
  int32_t type = 0;
  double timeout_seconds = 0;
  bool positioned = false;
  int32_t x = 0, y = 0;
  std::u16string message;
  std::vector<std::u16string> items;
};

struct SelectResult {
  bool is_text = false;
  int64_t number = 0;
  std::u16string text;
};

struct BalloonRequest {
  std::u16string text;  // empty: hide
  int32_t x = 0, y = 0, direction = 0, size = 0;
  std::u16string font;
  int32_t text_colour = 0, background = 0, transparency = 0;
};

class ScriptDialogs {
 public:
  virtual ~ScriptDialogs() = default;
  virtual int32_t message_box(Interpreter& interpreter, const DialogLook& look, const MessageBoxRequest& request) = 0;
  // Nothing when the dialog was cancelled or closed.
  virtual std::optional<std::u16string> input_box(Interpreter& interpreter, const DialogLook& look,
                                                  const InputRequest& request) = 0;
  virtual SelectResult select_box(Interpreter& interpreter, const DialogLook& look, const SelectRequest& request) = 0;
  // The balloon of script thread [slot] (0: the main script).
  virtual void balloon(Interpreter& interpreter, const DialogLook& look, int32_t slot,
                       const BalloonRequest& request) = 0;
  // The 0-based item chosen, -1 without a choice, -999999 on a failure.
  virtual int32_t popup_menu(Interpreter& interpreter, const std::u16string& items, int32_t x, int32_t y) = 0;
  // STOPFORM and LOGPRINT with their [count] arguments.
  virtual void stop_form(Interpreter& interpreter, bool show, int32_t x, int32_t y, int count) = 0;
  virtual void log_print(Interpreter& interpreter, bool show, int32_t x, int32_t y, int32_t width, int32_t height,
                         int count) = 0;
};

// The process's dialogs; nothing installed means the headless answers.
void install_script_dialogs(ScriptDialogs* dialogs);

}  // namespace vesk::gui
