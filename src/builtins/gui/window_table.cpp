#include "builtins/gui/window_table.h"

#include <unordered_set>

#include "support/utf.h"

namespace vesk::gui {

int32_t WindowState::id_of(HWND window) {
  if (!window) return -1;
  std::lock_guard guard(m_lock);
  auto [it, added] = m_ids.try_emplace(window, static_cast<int32_t>(m_windows.size() + 1));
  if (added) m_windows.push_back(window);
  return it->second;
}

HWND WindowState::window_of(int32_t id, bool no_foreground) {
  if (id == 0) return no_foreground ? nullptr : GetForegroundWindow();
  HWND window;
  {
    std::lock_guard guard(m_lock);
    if (id < 0 || id > static_cast<int32_t>(m_windows.size())) return nullptr;
    window = m_windows[id - 1];
  }
  return IsWindow(window) ? window : nullptr;
}

HWND WindowState::window_of_id_or_handle(int64_t value) {
  if (value == -1) return nullptr;
  if (value <= size()) return window_of(static_cast<int32_t>(value));
  HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(value));
  return IsWindow(window) ? window : nullptr;
}

int32_t WindowState::size() {
  std::lock_guard guard(m_lock);
  return static_cast<int32_t>(m_windows.size());
}

void WindowState::end_of_run() {
  std::lock_guard guard(m_lock);
  m_windows.clear();
  m_ids.clear();
  for (ThreadGuiRecord& record : m_records) record = ThreadGuiRecord();
  input_action_pending = false;
}

WindowState& window_state(Interpreter& interpreter) {
  return interpreter.builtin_state<WindowState>(BuiltinStateSlot::Windows);
}

namespace {
struct OwnWindows {
  std::mutex lock;
  std::unordered_set<HWND> windows;
};
OwnWindows& own_windows() {
  static OwnWindows own;
  return own;
}
}  // namespace

void register_own_window(HWND window, bool registered) {
  OwnWindows& own = own_windows();
  std::lock_guard guard(own.lock);
  if (registered)
    own.windows.insert(window);
  else
    own.windows.erase(window);
}

bool is_own_window(HWND window) {
  OwnWindows& own = own_windows();
  std::lock_guard guard(own.lock);
  return own.windows.count(window) > 0;
}

namespace {
struct HostWindows {
  std::mutex lock;
  std::unordered_map<std::u16string, HWND> windows;
};
HostWindows& host_windows() {
  static HostWindows host;
  return host;
}
HWND named_window(const std::u16string& name) {
  HostWindows& host = host_windows();
  std::lock_guard guard(host.lock);
  auto it = host.windows.find(name);
  return it != host.windows.end() && IsWindow(it->second) ? it->second : nullptr;
}
}  // namespace

void register_host_window(std::u16string_view name, HWND window) {
  HostWindows& host = host_windows();
  std::lock_guard guard(host.lock);
  host.windows[std::u16string(name)] = window;
}

HWND host_window(Interpreter&, std::u16string_view name, int32_t slot) {
  static constexpr std::u16string_view k_balloon = u"__GET_FUKIDASI_WIN__";
  if (name != k_balloon) return named_window(std::u16string(name));
  auto balloon = [](int32_t s) { return named_window(std::u16string(k_balloon) + utf8_to_utf16(std::to_string(s))); };
  if (HWND own = balloon(slot)) return own;
  if (HWND main = balloon(0)) return main;
  for (int32_t s = 1; s <= 64; ++s)
    if (HWND any = balloon(s)) return any;
  return nullptr;
}

}  // namespace vesk::gui
