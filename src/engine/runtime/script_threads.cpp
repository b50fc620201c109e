// Script threads: each runs a function of the script on its own frame.
#include "engine/runtime/script_threads.h"

#include "engine/runtime/interpreter.h"
#include "engine/runtime/stack_guard.h"
#include "engine/runtime/thread_run.h"

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
    slot.state = 0;
    slot.frame = std::move(frame);
    slot.frame->slot = i + 1;
    CallFrame* f = slot.frame.get();
    slot.thread = std::thread([this, f, &slot] {
      StackGuard::start_thread(1u << 20);
      // The frame may have remembered the starting thread's state while
      // its parameters' defaults were evaluated there.
      f->run = &ThreadRun::current();
      m_interpreter.run_frame(*f);
      f->run = nullptr;  // this thread's state ends with it
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

void ScriptThreads::set_state(int32_t slot, int32_t state) {
  if (slot >= 1 && slot <= static_cast<int32_t>(m_slots.size())) m_slots[slot - 1].state = state;
}

int32_t ScriptThreads::state(int32_t slot) const {
  if (slot < 1 || slot > static_cast<int32_t>(m_slots.size())) return 0;
  return m_slots[slot - 1].state;
}

}  // namespace vesk
