// Size classes of 16 bytes, each a free list threaded through its free
// blocks, filled from slabs of 64 KB. One spin lock guards them all: it is
// held for a handful of instructions, and the interpreter's threads rarely
// make strings at the same moment.
#include "support/block_pool.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdlib>
#include <new>
#include <thread>

namespace vesk {
namespace {

// Under the address sanitizer every block is the system's, so that a use
// after free is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool k_pooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool k_pooled = false;
#else
constexpr bool k_pooled = true;
#endif
#else
constexpr bool k_pooled = true;
#endif

constexpr size_t k_granule = 16;
constexpr size_t k_classes = k_max_pooled_block / k_granule;
constexpr size_t k_slab_bytes = 64 * 1024;
// Once this many slabs are in use and there is a large-block advice, the
// next slabs are large blocks of twice k_advised_block (so that at least
// one whole 2 MB page falls inside each): a script that holds hundreds of
// thousands of short strings has most of them on 2 MB pages where the
// system offers them.
constexpr int k_small_slabs = 32;
constexpr size_t k_large_slab_bytes = 2 * k_advised_block;

struct FreeBlock {
  FreeBlock* next;
};

struct Pool {
  std::atomic_flag busy = ATOMIC_FLAG_INIT;
  FreeBlock* free[k_classes] = {};
  char* slab_next = nullptr;  // the unused rest of the newest slab
  char* slab_end = nullptr;
  std::atomic<int> slabs{0};  // taken so far
};

// Never destroyed: values may be freed while the process ends.
Pool& pool() {
  static Pool* p = new Pool;
  return *p;
}

class PoolLock {
 public:
  explicit PoolLock(Pool& p) : m_pool(p) {
    for (int spins = 0; m_pool.busy.test_and_set(std::memory_order_acquire); ++spins)
      if (spins > 64) std::this_thread::yield();
  }
  ~PoolLock() { m_pool.busy.clear(std::memory_order_release); }
  PoolLock(const PoolLock&) = delete;
  PoolLock& operator=(const PoolLock&) = delete;

 private:
  Pool& m_pool;
};

size_t class_of(size_t bytes) { return (bytes + k_granule - 1) / k_granule - 1; }

bool from_system(size_t bytes) { return !k_pooled || bytes > k_max_pooled_block || bytes == 0; }

std::atomic<LargeBlockAdvice> g_advice{nullptr};

void* advised(void* block, size_t bytes) {
  if (block && bytes >= k_advised_block) {
    if (LargeBlockAdvice advice = g_advice.load(std::memory_order_relaxed)) advice(block, bytes);
  }
  return block;
}

}  // namespace

bool small_blocks_pooled() { return k_pooled; }

void set_large_block_advice(LargeBlockAdvice advice) { g_advice.store(advice, std::memory_order_relaxed); }

void* allocate_block(size_t bytes) {
  if (from_system(bytes)) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (!block) throw std::bad_alloc();
    return advised(block, bytes);
  }
  size_t c = class_of(bytes);
  size_t size = (c + 1) * k_granule;
  Pool& p = pool();
  {
    PoolLock lock(p);
    if (FreeBlock* block = p.free[c]) {
      p.free[c] = block->next;
      block->~FreeBlock();
      return block;
    }
    if (static_cast<size_t>(p.slab_end - p.slab_next) >= size) {
      void* block = p.slab_next;
      p.slab_next += size;
      return block;
    }
  }
  // A new slab, taken outside the lock. What was left of the old one is
  // too small for this block; it goes to the free lists it fits.
  bool large = p.slabs.load(std::memory_order_relaxed) >= k_small_slabs && g_advice.load(std::memory_order_relaxed);
  size_t slab_bytes = large ? k_large_slab_bytes : k_slab_bytes;
  char* slab = static_cast<char*>(advised(std::malloc(slab_bytes), slab_bytes));
  if (!slab) throw std::bad_alloc();
  PoolLock lock(p);
  if (static_cast<size_t>(p.slab_end - p.slab_next) >= size) {
    // Another thread made a slab meanwhile: this one is not needed.
    std::free(slab);
    void* block = p.slab_next;
    p.slab_next += size;
    return block;
  }
  while (p.slab_end - p.slab_next >= static_cast<std::ptrdiff_t>(k_granule)) {
    size_t rest = static_cast<size_t>(p.slab_end - p.slab_next);
    size_t fit = rest >= k_max_pooled_block ? k_classes - 1 : rest / k_granule - 1;
    p.free[fit] = new (p.slab_next) FreeBlock{p.free[fit]};
    p.slab_next += (fit + 1) * k_granule;
  }
  p.slab_next = slab + size;
  p.slab_end = slab + slab_bytes;
  p.slabs.fetch_add(1, std::memory_order_relaxed);
  return slab;
}

void free_block(void* block, size_t bytes) {
  if (!block) return;
  if (from_system(bytes)) {
    std::free(block);
    return;
  }
  size_t c = class_of(bytes);
  Pool& p = pool();
  PoolLock lock(p);
  p.free[c] = new (block) FreeBlock{p.free[c]};
}

void* resize_block(void* block, size_t old_bytes, size_t new_bytes) {
  // An advised block is made before the old one's bytes are copied into
  // it: realloc would copy them into pages not yet advised. A block mapped
  // on its own is left to realloc, which moves its pages without a copy.
  bool advise_first = new_bytes >= k_advised_block && old_bytes < k_remapped_block &&
                      g_advice.load(std::memory_order_relaxed);
  if (from_system(old_bytes) && from_system(new_bytes) && !advise_first) {
    void* moved = std::realloc(block, new_bytes == 0 ? 1 : new_bytes);
    if (!moved) throw std::bad_alloc();
    return moved;
  }
  void* moved = allocate_block(new_bytes);
  std::memcpy(moved, block, std::min(old_bytes, new_bytes));
  free_block(block, old_bytes);
  return moved;
}

}  // namespace vesk
