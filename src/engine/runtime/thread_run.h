// What one thread of a run keeps for itself: the stack floor of the call
// guard, the pool of finished calls' frames and the byte-string mark. The
// frames of a thread reach it through a pointer they pass on to the frames
// they call: mingw's thread-local storage is emulated, a function call on
// every access, and these are read on every call.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/runtime/call_frame.h"

namespace vesk {

// The frames that finished calls gave back, per function: a call of a
// function reuses a frame with its names and slots in place instead of
// building one. Frames of another load are never reused.
struct FramePool {
  static constexpr size_t k_kept_per_function = 64;
  uint64_t generation = 0;
  std::vector<std::vector<std::unique_ptr<CallFrame>>> free;
};

struct ThreadRun {
  // Calls that would take the stack below this address are refused; 0
  // when the thread set no bound.
  uintptr_t stack_floor = 0;
  FramePool frame_pool;
  // Set by COPYB and CHRB so that "+" of two native strings concatenates;
  // cleared at the start of each top-level evaluation of a statement.
  bool byte_string_mark = false;

  // The calling thread's own.
  static ThreadRun& current();
};

// The ThreadRun of [frame]'s thread, remembered in the frame from its first use.
inline ThreadRun& thread_run(CallFrame& frame) {
  if (!frame.run) frame.run = &ThreadRun::current();
  return *frame.run;
}

}  // namespace vesk
