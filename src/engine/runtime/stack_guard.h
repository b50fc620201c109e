// Bounds recursion by the native stack: a call that would leave too little
// stack for the thread is refused and reported instead of crashing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/runtime/thread_run.h"

namespace vesk {

class StackGuard {
 public:
  // Marks the calling thread's stack top and the bytes it may use.
  static void start_thread(size_t usable_bytes);

  // Whether the stack still has room, by the bound of [frame]'s thread.
  explicit StackGuard(CallFrame& frame) : StackGuard(thread_run(frame)) {}
  // The same by the bound of [run], the thread's state already at hand.
  [[gnu::always_inline]] explicit StackGuard(const ThreadRun& run) {
    uintptr_t floor = run.stack_floor;
    m_ok = floor == 0 || reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) > floor;
  }
  bool ok() const { return m_ok; }

 private:
  bool m_ok = true;
};

}  // namespace vesk
