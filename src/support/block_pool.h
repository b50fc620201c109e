// A pool of small blocks for the holders that scripts make by the hundred
// thousand (string values): a freed block goes on a free list of its size
// and the next block of that size is taken from there, so making and
// dropping a short string costs a few instructions instead of a trip through
// the system's allocator, and the ends of long runs do not spend their time
// handing back blocks one by one. Blocks come out of slabs that are kept for
// the life of the process, as a pool's memory is: a script that held a
// million short strings at once keeps that memory for the next ones.
// Safe from any thread: a block may be freed on another thread than the one
// that took it.
#pragma once

#include <cstddef>

namespace vesk {

// Blocks up to this many bytes come from the pool; larger ones from the
// system's allocator (the same calls take both).
inline constexpr size_t k_max_pooled_block = 256;

// False when every block is the system's (under the address sanitizer).
bool small_blocks_pooled();

// A block of at least [bytes] bytes, aligned for any scalar; throws
// std::bad_alloc when there is no memory.
void* allocate_block(size_t bytes);

// Gives back a block from allocate_block() with the same [bytes].
void free_block(void* block, size_t bytes);

// Blocks of at least this many bytes are shown to the large-block advice.
inline constexpr size_t k_advised_block = size_t{2} << 20;
// Blocks of at least this many bytes are resized by the system's allocator
// even when advised: it moves their pages instead of copying them
// (platform::tune_heap maps blocks this large on their own).
inline constexpr size_t k_remapped_block = size_t{256} << 20;

// Called with every block of at least k_advised_block bytes that the
// system's allocator hands out, new or moved: the platform layer may tell
// the system how to back it (platform::tune_heap sets it, once at start).
using LargeBlockAdvice = void (*)(void* block, size_t bytes);
void set_large_block_advice(LargeBlockAdvice advice);

// The block moved to [new_bytes] (its first [old_bytes] kept, as far as
// they fit). A large block grows in place where the system can do so, so a
// text that keeps growing is not copied each time; only a block that is to
// be advised is made anew and copied into, below k_remapped_block (a text
// grows by half again each time, so its copies add up to about twice its
// length). Throws std::bad_alloc and leaves [block] as it was when there
// is no memory.
void* resize_block(void* block, size_t old_bytes, size_t new_bytes);

}  // namespace vesk
