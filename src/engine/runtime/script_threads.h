// The 64 slots of script threads started with THREAD.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <cstdint>
#include <thread>

#include "engine/runtime/call_frame.h"

namespace vesk {

class Interpreter;

class ScriptThreads {
 public:
  explicit ScriptThreads(Interpreter& interpreter) : m_interpreter(interpreter) {}
  ~ScriptThreads() { join_all(); }

  // Starts [frame] (parameters bound) on a free slot; the slot number, or
  // -1 when all 64 are taken.
  int start(std::unique_ptr<CallFrame> frame);
  // Waits for every thread to end.
  void join_all();
  bool any_running();
  // The suspension state of slot [slot] (1 to 64): 0 running, 1 suspended,
  // 2 to be ended. A slot without a thread reads as 0.
  void set_state(int32_t slot, int32_t state);
  int32_t state(int32_t slot) const;

 private:
  struct Slot {
    std::thread thread;
    std::unique_ptr<CallFrame> frame;
    std::atomic<bool> finished{false};
    std::atomic<int32_t> state{0};
    bool used = false;
  };

  void reclaim_finished();

  Interpreter& m_interpreter;
  std::mutex m_lock;
  std::array<Slot, 64> m_slots;
};

}  // namespace vesk
