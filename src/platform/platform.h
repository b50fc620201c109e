// The platform layer: the few operating-system services the portable core
// needs. One implementation talks to Win32 (platform/win32), the other to a
// POSIX system (platform/portable). Paths are Windows paths in both: on a
// POSIX system "\" and "/" both separate folders, a leading drive ("C:") is
// the root, and every component is found case-insensitively, so a script
// written on Windows runs unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::platform {

// Reads the whole file once; nothing when it cannot be opened or read.
// Callers that need the retry rule use support/text_file.h.
std::optional<std::string> read_file_bytes(std::u16string_view path);

bool file_exists(std::u16string_view path);
bool directory_exists(std::u16string_view path);

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

// The system's default language is Japanese (primary language 17).
bool system_language_is_japanese();

}  // namespace vesk::platform
