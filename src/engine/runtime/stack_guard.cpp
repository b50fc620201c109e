// The stack guard of script calls.
#include "engine/runtime/stack_guard.h"

namespace vesk {
namespace {

thread_local uintptr_t t_top = 0;
thread_local size_t t_usable = 0;

uintptr_t here() {
  volatile char marker = 0;
  return reinterpret_cast<uintptr_t>(&marker);
}

}  // namespace

void StackGuard::start_thread(size_t usable_bytes) {
  t_top = here();
  t_usable = usable_bytes;
}

StackGuard::StackGuard() {
  if (t_top == 0) return;
  uintptr_t now = here();
  size_t used = t_top > now ? t_top - now : now - t_top;
  m_ok = used < t_usable;
}

}  // namespace vesk
