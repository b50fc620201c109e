// The stack guard of script calls, and the thread's own run state.
#include "engine/runtime/stack_guard.h"

namespace vesk {

ThreadRun& ThreadRun::current() {
  thread_local ThreadRun run;
  return run;
}

// The stack grows downwards on every platform the program runs on.
void StackGuard::start_thread(size_t usable_bytes) {
  uintptr_t top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  ThreadRun::current().stack_floor = top > usable_bytes ? top - usable_bytes : 1;
}

}  // namespace vesk
