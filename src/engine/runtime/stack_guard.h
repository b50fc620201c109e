// Bounds recursion by the native stack: a call that would leave too little
// stack for the thread is refused and reported instead of crashing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

class StackGuard {
 public:
  // Marks the calling thread's stack top and the bytes it may use.
  static void start_thread(size_t usable_bytes);

  StackGuard();
  bool ok() const { return m_ok; }

 private:
  bool m_ok = true;
};

}  // namespace vesk
