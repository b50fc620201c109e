// Work that script threads hand to the main thread: PRINT lines, dialogs and
// sounds are performed there while the script thread waits for them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace vesk {

class MainThreadCalls {
 public:
  MainThreadCalls() = default;
  ~MainThreadCalls();  // drops posted work nobody ran
  MainThreadCalls(const MainThreadCalls&) = delete;
  MainThreadCalls& operator=(const MainThreadCalls&) = delete;

  // From a script thread: [call] runs on the main thread and this returns
  // once it ran. Returns false without running it when the hand-over is
  // closed (the end-of-run cleanup is in progress).
  bool run(std::function<void()> call);
  // From a script thread: [call] runs on the main thread later; this does
  // not wait. For work the thread must not wait for (it may hold locks the
  // main thread needs).
  void post(std::function<void()> call);
  // On the main thread: runs every call handed over so far. Cheap when
  // there is none: one flag read, inline.
  void service() {
    if (m_waiting.load(std::memory_order_acquire)) run_waiting();
  }
  // Closing drops what is waiting and releases its threads; opening starts
  // a run.
  void close();
  void open();

 private:
  void run_waiting();
  struct Request {
    std::function<void()> call;
    bool taken = false;  // the main thread is running it
    bool done = false;
    bool detached = false;  // posted: owned by the queue
  };

  std::mutex m_lock;
  std::condition_variable m_done;
  std::deque<Request*> m_queue;
  std::atomic<bool> m_waiting{false};
  bool m_closed = false;
};

}  // namespace vesk
