// The synchronous hand-over from script threads to the main thread.
#include "engine/runtime/main_thread_calls.h"

namespace vesk {

bool MainThreadCalls::run(std::function<void()> call) {
  Request request{std::move(call)};
  std::unique_lock lock(m_lock);
  if (m_closed) return false;
  m_queue.push_back(&request);
  m_waiting = true;
  // A request the main thread has taken is waited for even after closing:
  // it refers to this frame.
  m_done.wait(lock, [&] { return request.done || (m_closed && !request.taken); });
  if (!request.done) {
    // Closed before the main thread reached it: take it back out.
    std::erase(m_queue, &request);
    return false;
  }
  return true;
}

void MainThreadCalls::post(std::function<void()> call) {
  auto request = std::make_unique<Request>();
  request->call = std::move(call);
  request->detached = true;
  std::lock_guard lock(m_lock);
  if (m_closed) return;
  m_queue.push_back(request.release());
  m_waiting = true;
}

void MainThreadCalls::run_waiting() {
  std::unique_lock lock(m_lock);
  while (!m_queue.empty()) {
    Request* request = m_queue.front();
    m_queue.pop_front();
    request->taken = true;
    // The call runs unlocked: it may itself take other locks, and further
    // threads may queue meanwhile.
    lock.unlock();
    request->call();
    lock.lock();
    if (request->detached) {
      delete request;
      continue;
    }
    request->done = true;
    m_done.notify_all();
  }
  m_waiting = false;
}

void MainThreadCalls::close() {
  std::lock_guard lock(m_lock);
  m_closed = true;
  // Posted work nobody will run any more goes; waiting threads are released.
  std::erase_if(m_queue, [](Request* r) {
    if (!r->detached) return false;
    delete r;
    return true;
  });
  m_done.notify_all();
}

MainThreadCalls::~MainThreadCalls() { close(); }

void MainThreadCalls::open() {
  std::lock_guard lock(m_lock);
  m_closed = false;
}

}  // namespace vesk
