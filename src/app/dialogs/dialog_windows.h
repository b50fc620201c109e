// What the script dialogs' windows share on Windows: the host's facts they
// read (the launcher, the application title), fonts, placement, and the
// modal loop. Only the Windows build includes this header.
#pragma once

#include <windows.h>

#include <string>

#include "builtins/gui/script_dialogs.h"

namespace vesk::dialogs {

// Set by the host at start-up.
struct DialogEnvironment {
  HWND launcher = nullptr;
  std::u16string app_title = u"VESK";
  bool japanese = false;
};
DialogEnvironment& environment();

inline const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string window_text(HWND window);
// Registers a window class of this program with [proc], the arrow cursor
// and the dialog face colour; true when it is registered.
bool register_window_class(const wchar_t* name, WNDPROC proc);

// An owned GDI font.
class Font {
 public:
  Font() = default;
  Font(std::u16string_view name, int32_t points);
  explicit Font(HFONT adopted) : m_font(adopted) {}
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  Font(Font&& other) noexcept : m_font(other.m_font) { other.m_font = nullptr; }
  Font& operator=(Font&& other) noexcept;
  HFONT get() const { return m_font; }

 private:
  HFONT m_font = nullptr;
};

// The dialogs' font: the language's (a Japanese UI font, else "Times New
// Roman", 9 points), replaced by the script's font when it set one.
Font dialog_font(const gui::DialogLook& look);
// [font] underlined.
Font underlined(const Font& font);
// The title: the script's dialog title, else the application title.
std::u16string dialog_title(const gui::DialogLook& look);

// The pixel size of [text] in [font] (several lines allowed).
SIZE text_size(HFONT font, std::u16string_view text);

// Places [window] (its outer size already set): with a position, its
// top-left there, kept on a visible monitor; without, centred on the
// launcher's monitor.
void place_dialog(HWND window, bool positioned, int32_t x, int32_t y);
// Moves [rect] onto the work area of the monitor nearest to it.
RECT keep_on_monitor(RECT rect);

// Grows [window]'s outer size so that its client area is [width] x
// [height].
void set_client_size(HWND window, int32_t width, int32_t height);

// Shows [window] top-most and in front with the keyboard focus on
// [focus], and handles messages until [done] is set. Tab, Enter and Esc
// work as in a dialog.
void run_modal(HWND window, const bool& done, HWND focus);

// A child control of [parent].
HWND make_control(HWND parent, const wchar_t* klass, const std::u16string& text, DWORD style, int x, int y, int w,
                  int h, int id, HFONT font, DWORD ex_style = 0);

}  // namespace vesk::dialogs
