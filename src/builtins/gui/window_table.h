// The window IDs of a run and the per-thread GUI records. Scripts never see
// window handles: GETID and its kin give small integers, positions in the
// run's table, which every other window built-in turns back into a window.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "builtins/core/builtin_context.h"

namespace vesk::gui {

// What the window built-ins keep per script thread (slot 0 is the main
// script, 1 to 64 the thread slots).
struct ThreadGuiRecord {
  std::u16string last_getid_title;  // ACW with ID 0 searches it again
  std::u16string last_waited_title;  // the default waiting policy compares it
  int32_t origin_x = 0, origin_y = 0;
  HWND origin_window = nullptr;
  int32_t origin_mode = 0;
  int32_t origin_option = 0;
  // The accessibility search position that CLK_CONTINUE goes on from: the
  // window searched, the host of the last hit, the hit's path of child
  // indexes joined with "," and the flags of that search.
  HWND acc_window = nullptr;
  HWND acc_hit_window = nullptr;
  std::u16string acc_path;
  uint32_t acc_flags = 0;
};

class WindowState : public BuiltinState {
 public:
  // The ID of [window]: -1 for none, else its existing ID or a new one.
  int32_t id_of(HWND window);
  // The window of [id]: 0 is the foreground window (none with
  // [no_foreground]); none for an unknown ID or a window that is gone.
  HWND window_of(int32_t id, bool no_foreground = false);
  // A value that may be an ID or a raw handle.
  HWND window_of_id_or_handle(int64_t value);
  int32_t size();

  ThreadGuiRecord& record(int32_t slot) { return m_records[static_cast<size_t>(slot) % m_records.size()]; }

  // Set by program starts, clicks, key strokes and close commands: a new
  // window may be about to appear. GETID's default wait reads and clears it.
  std::atomic<bool> input_action_pending{false};

  void end_of_run() override;

 private:
  std::mutex m_lock;
  std::vector<HWND> m_windows;
  std::unordered_map<HWND, int32_t> m_ids;
  std::array<ThreadGuiRecord, 65> m_records;
};

WindowState& window_state(Interpreter& interpreter);

// The program's own windows (the log window, the launcher, the stop form,
// balloons): never candidates of a search. The host registers them.
void register_own_window(HWND window, bool registered = true);
bool is_own_window(HWND window);

// The host's windows that special names stand for ("__GET_LOGPRINT_WIN__",
// "__GET_STOPFORM_WIN__", "__GET_THISVESK_WIN__", "__GET_FORM_WIN__",
// "__GET_SCHEDULE_WIN__", and the balloon of each thread slot under
// "__GET_FUKIDASI_WIN__" + slot). The host registers them.
void register_host_window(std::u16string_view name, HWND window);
// The window of [name] for a script thread in [slot]; for balloons: the
// slot's own, else the main script's, else the first of any slot.
HWND host_window(Interpreter& interpreter, std::u16string_view name, int32_t slot);

}  // namespace vesk::gui
