// The platform layer: the few operating-system services the portable core
// needs. One implementation talks to Win32 (platform/win32), the other to a
// POSIX system (platform/portable). Paths are Windows paths in both: on a
// POSIX system "\" and "/" both separate folders, a leading drive ("C:") is
// the root, and every component is found case-insensitively, so a script
// written on Windows runs unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::platform {

// Reads the whole file once; nothing when it cannot be opened or read.
// Callers that need the retry rule use support/text_file.h.
std::optional<std::string> read_file_bytes(std::u16string_view path);

bool file_exists(std::u16string_view path);
// Replaces the file at [path] with [bytes]: written to a temporary file
// beside it first and then moved over it, so a failed write (a full disk,
// a crash) leaves the old file whole. False when it could not be written.
bool replace_file_bytes(std::u16string_view path, std::string_view bytes);
bool directory_exists(std::u16string_view path);
// Creates the folder [path] and any missing folder above it; true when the
// folder exists afterwards.
bool create_directory(std::u16string_view path);
bool delete_file(std::u16string_view path);
// Sets or clears the file's read-only attribute (on a POSIX system: every
// write permission bit). A read-only file is never replaced.
bool set_read_only(std::u16string_view path, bool read_only);

// One entry of a folder listing. The times are 100 ns ticks since 1601
// (UTC), as the file system keeps them.
struct DirectoryEntry {
  std::u16string name;  // as the file system spells it
  bool folder = false;
  bool hidden = false;  // the hidden attribute; on a POSIX system a leading "."
  uint64_t created = 0, accessed = 0, written = 0, size = 0;
};
// The entries of [folder] whose names match [pattern] ("*" and "?" as
// wildcards, letters compared without case); "." and ".." are left out.
std::vector<DirectoryEntry> list_directory(std::u16string_view folder, std::u16string_view pattern);

// A file held open so that no other program can open it, until the object
// goes. Nothing when the file cannot be opened that way.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
};
std::unique_ptr<HeldFile> hold_file(std::u16string_view path);

// The file's last-write time in local time, packed as a DOS date-time (date
// in the high 16 bits, time in the low 16 bits); -1 when it cannot be read.
int32_t file_time_dos(std::u16string_view path);

// The process's current directory as a Windows path without a trailing "\".
std::u16string current_directory();
bool set_current_directory(std::u16string_view path);

// Turns [path] into an absolute Windows path (relative paths are taken
// against the current directory); "." and ".." components are resolved.
std::u16string absolute_path(std::u16string_view path);

// The ANSI code page: the system code page on Windows; 932 on a POSIX system
// whose locale language is Japanese, otherwise 1252.
unsigned ansi_code_page();
std::u16string ansi_to_utf16(std::string_view bytes);
std::string utf16_to_ansi(std::u16string_view text);

// Keeps the host's window messages flowing during a wait (nothing to do on a
// system without the host's windows).
void pump_messages();
void sleep_ms(unsigned milliseconds);
// A monotonic clock in milliseconds, cheap enough to read every few
// statements (on Windows a read of the tick count, not of the
// performance counter, which Wine serves by a call into the system).
uint64_t milliseconds_now();

// Called once at start: the heap keeps large blocks (the buffers of long
// texts) for reuse instead of mapping and unmapping them each time, and
// where the system offers 2 MB pages, such blocks ask for them.
void tune_heap();

// The system's default language is Japanese (primary language 17).
bool system_language_is_japanese();

// The screen. On a system without the host's screen every answer is 0.
struct Point {
  int32_t x, y;
};
// The mouse button is held down now: 0 left, 1 right, 2 middle.
bool mouse_button_down(int button);
// The mouse cursor's position in screen pixels.
Point cursor_position();
// The primary screen's size in pixels.
int32_t screen_width();
int32_t screen_height();
// The number of display monitors (1 where there is no display).
int32_t monitor_count();
// Bits per pixel times the number of colour planes of the screen.
int32_t screen_colour_depth();

// Folders the scripts can ask for, as Windows paths without a trailing "\"
// (a drive's root keeps it).
// On a POSIX system there is no Windows or system folder: both are empty.
std::u16string windows_directory();
std::u16string system_directory();
// The folder that holds the program file.
std::u16string program_directory();
// The user's folder for roaming application data (on a POSIX system the
// user's configuration folder, $XDG_CONFIG_HOME or ~/.config).
std::u16string app_data_directory();

}  // namespace vesk::platform
