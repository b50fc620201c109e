#include "builtins/gui/remote_memory.h"

#include <algorithm>
#include <vector>

namespace vesk::gui {

RemoteBlock::RemoteBlock(HWND control) {
  DWORD process = 0;
  GetWindowThreadProcessId(control, &process);
  if (!process) return;
  m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE,
                          process);
  if (!m_process) return;
  m_base = VirtualAllocEx(m_process, nullptr, k_size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

RemoteBlock::~RemoteBlock() {
  if (m_base) VirtualFreeEx(m_process, m_base, 0, MEM_RELEASE);
  if (m_process) CloseHandle(m_process);
}

bool RemoteBlock::write(size_t offset, const void* data, size_t size) {
  if (!m_base || offset > k_size || size > k_size - offset) return false;
  SIZE_T done = 0;
  return WriteProcessMemory(m_process, static_cast<char*>(m_base) + offset, data, size, &done) && done == size;
}

bool RemoteBlock::read(size_t offset, void* data, size_t size) const {
  if (!m_base || offset > k_size || size > k_size - offset) return false;
  SIZE_T done = 0;
  return ReadProcessMemory(m_process, static_cast<char*>(m_base) + offset, data, size, &done) && done == size;
}

void RemoteBlock::clear_text() {
  std::vector<char16_t> zero(static_cast<size_t>(k_text_limit) + 1, 0);
  write(k_text_offset, zero.data(), zero.size() * sizeof(char16_t));
}

std::u16string RemoteBlock::text() const {
  std::vector<char16_t> buffer(static_cast<size_t>(k_text_limit) + 1, 0);
  if (!read(k_text_offset, buffer.data(), buffer.size() * sizeof(char16_t))) return {};
  buffer.back() = 0;
  return std::u16string(buffer.data());
}

bool same_bitness(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  if (!h) return true;
  BOOL target_wow = FALSE, own_wow = FALSE;
  IsWow64Process(h, &target_wow);
  IsWow64Process(GetCurrentProcess(), &own_wow);
  CloseHandle(h);
  if (sizeof(void*) == 8) return !target_wow;
  // A 32-bit program: on a 32-bit system every process is like us; on a
  // 64-bit one only the other emulated processes are.
  return !own_wow || target_wow;
}

LRESULT send_item_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 1000, &answer)) return 0;
  return static_cast<LRESULT>(answer);
}

std::u16string sent_text(HWND control, LRESULT limit) {
  LRESULT length = send_item_message(control, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  length = std::min(length, limit);
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  LRESULT got =
      send_item_message(control, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(buffer.data()));
  if (got <= 0) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), static_cast<size_t>(std::min(got, length)));
}

}  // namespace vesk::gui
