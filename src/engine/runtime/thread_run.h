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
// OPTIMIZATION: each function's frames are a list chained through the
// frames themselves, so taking and giving back is two pointer moves.
class FramePool {
 public:
  static constexpr int32_t k_kept_per_function = 64;

  FramePool() = default;
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;
  ~FramePool() { clear(); }

  // A kept frame of [function] from load [generation], or null.
  [[gnu::always_inline]] CallFrame* take(int32_t function, uint64_t generation) {
    if (generation != m_generation || static_cast<size_t>(function) >= m_kept.size()) return nullptr;
    Kept& kept = m_kept[function];
    CallFrame* frame = kept.first;
    if (frame) {
      kept.first = frame->next_kept;
      --kept.count;
    }
    return frame;
  }
  // Keeps [frame], already recycled, for [function] of load [generation],
  // one of [functions]; false when the pool holds enough of them (the
  // caller keeps the frame then).
  [[gnu::always_inline]] bool full(int32_t function, uint64_t generation, size_t functions) {
    if (generation != m_generation || m_kept.size() < functions) [[unlikely]] start(generation, functions);
    return m_kept[function].count >= k_kept_per_function;
  }
  [[gnu::always_inline]] void keep(int32_t function, CallFrame* frame) {
    Kept& kept = m_kept[function];
    frame->next_kept = kept.first;
    kept.first = frame;
    ++kept.count;
  }

 private:
  struct Kept {
    CallFrame* first = nullptr;
    int32_t count = 0;
  };
  void start(uint64_t generation, size_t functions) {
    if (generation != m_generation) clear();
    m_generation = generation;
    m_kept.resize(functions);
  }
  void clear() {
    for (Kept& kept : m_kept) {
      while (CallFrame* frame = kept.first) {
        kept.first = frame->next_kept;
        delete frame;
      }
    }
    m_kept.clear();
  }

  uint64_t m_generation = 0;
  std::vector<Kept> m_kept;
};

struct ThreadRun {
  // Calls that would take the stack below this address are refused; 0
  // when the thread set no bound.
  uintptr_t stack_floor = 0;
  FramePool frame_pool;
  // Set by COPYB and CHRB so that "+" of two native strings concatenates;
  // cleared at the start of each top-level evaluation of a statement.
  bool byte_string_mark = false;
  // Above 0 while a call that a number function's run abandoned is made
  // again in frames: the calls inside it run in frames too.
  int32_t number_runs_held = 0;

  // The calling thread's own.
  static ThreadRun& current();
};

// Holds the number function runs of [run]'s thread while it lives.
struct HeldNumberRuns {
  explicit HeldNumberRuns(ThreadRun& run) : m_run(run) { ++m_run.number_runs_held; }
  ~HeldNumberRuns() { --m_run.number_runs_held; }
  HeldNumberRuns(const HeldNumberRuns&) = delete;
  HeldNumberRuns& operator=(const HeldNumberRuns&) = delete;

 private:
  ThreadRun& m_run;
};

// The ThreadRun of [frame]'s thread, remembered in the frame from its first use.
inline ThreadRun& thread_run(CallFrame& frame) {
  if (!frame.run) frame.run = &ThreadRun::current();
  return *frame.run;
}

}  // namespace vesk
