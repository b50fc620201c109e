// The platform layer on Win32.
#include <algorithm>
#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "platform/platform.h"

namespace vesk::platform {
namespace {

std::wstring wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// A path for the file APIs. Win32 names end at a NUL, so a path that holds
// one would reach the file named by its first part: it becomes the empty
// path, which names no file.
std::wstring wide_path(std::u16string_view path) {
  if (path.find(u'\0') != std::u16string_view::npos) return {};
  return wide(path);
}
std::u16string narrow(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// Owns a kernel handle for the length of a scope.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE h) : m_handle(h) {}
  ~UniqueHandle() {
    if (valid()) CloseHandle(m_handle);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
  HANDLE get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

DWORD attributes(std::u16string_view path) { return GetFileAttributesW(wide_path(path).c_str()); }

// Drops a trailing "\" except from a drive's root ("C:\").
std::u16string without_trailing_separator(std::u16string dir) {
  if (dir.size() > 3 && dir.back() == u'\\') dir.pop_back();
  return dir;
}

// Calls a Win32 getter that fills a buffer of [size] units and returns the
// length it wrote, or the size it needs when the buffer is too small.
template <class Getter>
std::u16string folder_from(Getter getter) {
  std::vector<wchar_t> buf(MAX_PATH + 1);
  UINT n = getter(buf.data(), static_cast<UINT>(buf.size()));
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = getter(buf.data(), static_cast<UINT>(buf.size()));
  }
  if (n == 0 || n >= buf.size()) return {};
  return without_trailing_separator(narrow(std::wstring_view(buf.data(), n)));
}

}  // namespace

std::optional<std::string> read_file_bytes(std::u16string_view path) {
  UniqueHandle file(CreateFileW(wide_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD done = 0;
  size_t at = 0;
  while (at < bytes.size()) {
    if (!ReadFile(file.get(), bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &done, nullptr))
      return std::nullopt;
    if (done == 0) break;
    at += done;
  }
  bytes.resize(at);
  return bytes;
}

bool replace_file_bytes(std::u16string_view path, std::string_view bytes) {
  std::wstring target = wide_path(path);
  std::wstring temporary = target + L".vesk-new";
  // A read-only file stays as it is (Wine's MoveFileEx would replace it).
  DWORD old = GetFileAttributesW(target.c_str());
  if (old != INVALID_FILE_ATTRIBUTES && (old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return false;
  bool written = false;
  {
    UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    size_t at = 0;
    written = true;
    while (at < bytes.size()) {
      DWORD done = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20));
      if (!WriteFile(file.get(), bytes.data() + at, chunk, &done, nullptr) || done == 0) {
        written = false;
        break;
      }
      at += done;
    }
    if (written && !FlushFileBuffers(file.get())) written = false;
  }
  if (written && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(temporary.c_str());
  return false;
}

bool file_exists(std::u16string_view path) {
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool directory_exists(std::u16string_view path) {
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool create_directory(std::u16string_view path) {
  std::u16string full = absolute_path(path);
  while (full.size() > 3 && full.back() == u'\\') full.pop_back();
  if (directory_exists(full)) return true;
  size_t cut = full.find_last_of(u'\\');
  if (cut != std::u16string::npos && cut > 2) create_directory(full.substr(0, cut));
  return CreateDirectoryW(wide_path(full).c_str(), nullptr) || directory_exists(full);
}

bool delete_file(std::u16string_view path) { return DeleteFileW(wide_path(path).c_str()); }

bool set_read_only(std::u16string_view path, bool read_only) {
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  a = read_only ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~FILE_ATTRIBUTE_READONLY);
  return SetFileAttributesW(wide_path(path).c_str(), a);
}

namespace {
uint64_t ticks(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

class Win32HeldFile : public HeldFile {
 public:
  explicit Win32HeldFile(HANDLE h) : m_handle(h) {}

 private:
  UniqueHandle m_handle;
};
}  // namespace

std::vector<DirectoryEntry> list_directory(std::u16string_view folder, std::u16string_view pattern) {
  std::vector<DirectoryEntry> entries;
  std::u16string query(folder);
  if (!query.empty() && query.back() != u'\\' && query.back() != u'/') query += u'\\';
  query += pattern;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(wide_path(query).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    std::u16string name = narrow(data.cFileName);
    if (name == u"." || name == u"..") continue;
    DirectoryEntry entry;
    entry.name = name;
    entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entry.created = ticks(data.ftCreationTime);
    entry.accessed = ticks(data.ftLastAccessTime);
    entry.written = ticks(data.ftLastWriteTime);
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entries.push_back(std::move(entry));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

std::unique_ptr<HeldFile> hold_file(std::u16string_view path) {
  HANDLE h = CreateFileW(wide_path(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32HeldFile>(h);
}

int32_t file_time_dos(std::u16string_view path) {
  UniqueHandle file(CreateFileW(wide_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return -1;
  FILETIME written, local;
  WORD date = 0, time = 0;
  if (!GetFileTime(file.get(), nullptr, nullptr, &written) || !FileTimeToLocalFileTime(&written, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return -1;
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

std::u16string current_directory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::vector<wchar_t> buf(n + 1);
  GetCurrentDirectoryW(n + 1, buf.data());
  return without_trailing_separator(narrow(buf.data()));
}

bool set_current_directory(std::u16string_view path) { return SetCurrentDirectoryW(wide_path(path).c_str()); }

std::u16string absolute_path(std::u16string_view path) {
  std::wstring w = wide_path(path);
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::u16string(path);
  std::vector<wchar_t> buf(n + 1);
  GetFullPathNameW(w.c_str(), n + 1, buf.data(), nullptr);
  return narrow(buf.data());
}

unsigned ansi_code_page() { return GetACP(); }

std::u16string ansi_to_utf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return narrow(out);
}

std::string utf16_to_ansi(std::u16string_view text) {
  if (text.empty()) return {};
  std::wstring w = wide(text);
  int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void sleep_ms(unsigned milliseconds) { Sleep(milliseconds); }

uint64_t milliseconds_now() { return GetTickCount64(); }

// The process heap's low-fragmentation front end is on by default and
// keeps freed blocks for reuse.
void tune_heap() {}

bool system_language_is_japanese() { return PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_JAPANESE; }

bool mouse_button_down(int button) {
  static constexpr int k_keys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
  if (button < 0 || button > 2) return false;
  return (GetAsyncKeyState(k_keys[button]) & 0x8000) != 0;
}

Point cursor_position() {
  POINT p{};
  if (!GetCursorPos(&p)) return {0, 0};
  return {p.x, p.y};
}

int32_t screen_width() { return GetSystemMetrics(SM_CXSCREEN); }
int32_t screen_height() { return GetSystemMetrics(SM_CYSCREEN); }
int32_t monitor_count() { return std::max(1, GetSystemMetrics(SM_CMONITORS)); }

int32_t screen_colour_depth() {
  HDC screen = GetDC(nullptr);
  if (!screen) return 0;
  int32_t depth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(nullptr, screen);
  return depth;
}

std::u16string windows_directory() {
  return folder_from([](wchar_t* buf, UINT size) { return GetWindowsDirectoryW(buf, size); });
}

std::u16string system_directory() {
  return folder_from([](wchar_t* buf, UINT size) { return GetSystemDirectoryW(buf, size); });
}

std::u16string program_directory() {
  // GetModuleFileNameW truncates silently and returns the buffer size when
  // the path is longer; grow until it fits.
  std::vector<wchar_t> buf(MAX_PATH + 1);
  DWORD n = 0;
  while ((n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()))) >= buf.size()) {
    if (buf.size() > 32768) return {};
    buf.resize(buf.size() * 2);
  }
  std::u16string path = narrow(std::wstring_view(buf.data(), n));
  size_t slash = path.find_last_of(u'\\');
  if (slash == std::u16string::npos) return {};
  return without_trailing_separator(path.substr(0, slash + 1));
}

std::u16string app_data_directory() {
  wchar_t buf[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
  return without_trailing_separator(narrow(buf));
}

}  // namespace vesk::platform
