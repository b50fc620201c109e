// Script threads: each runs a function of the script on its own frame.
#include "engine/runtime/script_threads.h"

#include "engine/runtime/interpreter.h"
#include "engine/runtime/stack_guard.h"

namespace vesk {

void ScriptThreads::reclaim_finished() {
  for (Slot& slot : m_slots) {
    if (slot.used && slot.finished) {
      if (slot.thread.joinable()) slot.thread.join();
      slot.frame.reset();
      slot.used = false;
      slot.finished = false;
    }
  }
}

int ScriptThreads::start(std::unique_ptr<CallFrame> frame) {
  std::lock_guard lock(m_lock);
  reclaim_finished();
  for (int i = 0; i < static_cast<int>(m_slots.size()); ++i) {
    Slot& slot = m_slots[i];
    if (slot.used) continue;
    slot.used = true;
    slot.finished = false;
    slot.frame = std::move(frame);
    slot.frame->slot = i + 1;
    CallFrame* f = slot.frame.get();
    slot.thread = std::thread([this, f, &slot] {
      StackGuard::start_thread(1u << 20);
      m_interpreter.run_frame(*f);
      slot.finished = true;
    });
    return i;
  }
  return -1;
}

bool ScriptThreads::any_running() {
  std::lock_guard lock(m_lock);
  for (Slot& slot : m_slots)
    if (slot.used && !slot.finished) return true;
  return false;
}

void ScriptThreads::join_all() {
  std::lock_guard lock(m_lock);
  for (Slot& slot : m_slots) {
    if (slot.thread.joinable()) slot.thread.join();
    slot.frame.reset();
    slot.used = false;
    slot.finished = false;
  }
}

}  // namespace vesk
