// The platform layer on Win32.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace vesk::platform {
namespace {

std::wstring wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
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

DWORD attributes(std::u16string_view path) { return GetFileAttributesW(wide(path).c_str()); }

}  // namespace

std::optional<std::string> read_file_bytes(std::u16string_view path) {
  UniqueHandle file(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
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

bool file_exists(std::u16string_view path) {
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool directory_exists(std::u16string_view path) {
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int32_t file_time_dos(std::u16string_view path) {
  UniqueHandle file(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
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
  std::u16string dir = narrow(buf.data());
  if (dir.size() > 3 && dir.back() == u'\\') dir.pop_back();
  return dir;
}

bool set_current_directory(std::u16string_view path) { return SetCurrentDirectoryW(wide(path).c_str()); }

std::u16string absolute_path(std::u16string_view path) {
  std::wstring w = wide(path);
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

bool system_language_is_japanese() { return PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_JAPANESE; }

}  // namespace vesk::platform
