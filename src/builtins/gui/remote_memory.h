// A block of memory inside the process that owns a control: common controls
// answer item questions only with records in their own address space, so
// the record is written there, the control asked with the block's address,
// and the answer read back.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk::gui {

class RemoteBlock {
 public:
  static constexpr size_t k_size = 4096;
  // Item texts live at this offset; a text holds at most k_text_limit
  // characters.
  static constexpr size_t k_text_offset = 512;
  static constexpr int k_text_limit = 256;

  // Allocates the block in the process of [control].
  explicit RemoteBlock(HWND control);
  ~RemoteBlock();
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  bool ok() const { return m_base != nullptr; }
  // The address of [offset] as the target process sees it.
  uintptr_t address(size_t offset = 0) const { return reinterpret_cast<uintptr_t>(m_base) + offset; }
  LPARAM lparam(size_t offset = 0) const { return static_cast<LPARAM>(address(offset)); }

  bool write(size_t offset, const void* data, size_t size);
  bool read(size_t offset, void* data, size_t size) const;
  template <typename T>
  bool write(const T& record, size_t offset = 0) {
    return write(offset, &record, sizeof record);
  }
  template <typename T>
  bool read(T& record, size_t offset = 0) const {
    return read(offset, &record, sizeof record);
  }
  // Empties the text area, so a control that writes nothing leaves "".
  void clear_text();
  // The zero-terminated text at the text offset.
  std::u16string text() const;

 private:
  HANDLE m_process = nullptr;
  void* m_base = nullptr;
};

// Whether the process of [window] has the same pointer size as ours: only
// then do our item records mean the same thing there.
bool same_bitness(HWND window);

// Sends [message] to [window], giving up after 1000 ms or when it hangs;
// 0 then.
LRESULT send_item_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The text a control holds now (WM_GETTEXT, also across processes), at
// most [limit] characters.
std::u16string sent_text(HWND control, LRESULT limit);

}  // namespace vesk::gui
