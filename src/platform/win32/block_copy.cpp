// The C runtime's block copies, memcpy and memmove, for the Windows build:
// the program links these instead of msvcrt's. The interpreter copies short
// texts by the million (keys, names, the units of small strings), and the
// runtime's copy costs a call into the DLL and a string instruction per
// piece for each of them. Here a block of up to 32 bytes is copied by two
// overlapping moves of its first and last bytes, read before either is
// written (so also for overlapping blocks), and a longer one by 16-byte
// moves, backwards when the target overlaps the source behind it (in
// memcpy too).
//
// This file is built without the compiler's own knowledge of these calls
// (see CMakeLists.txt): it must not turn a loop here back into a memcpy.
#include <cstddef>
#include <cstdint>

namespace {

// A move of [Size] bytes through a register, whatever the alignment.
template <size_t Size>
struct Chunk {
  unsigned char bytes[Size];
};

template <size_t Size>
[[gnu::always_inline]] inline Chunk<Size> load(const unsigned char* from) {
  Chunk<Size> c;
  __builtin_memcpy(&c, from, Size);
  return c;
}

template <size_t Size>
[[gnu::always_inline]] inline void store(unsigned char* to, const Chunk<Size>& c) {
  __builtin_memcpy(to, &c, Size);
}

// [n] of at most 32 bytes: every load before the first store.
[[gnu::always_inline]] inline void copy_short(unsigned char* d, const unsigned char* s, size_t n) {
  if (n >= 16) {
    Chunk<16> head = load<16>(s), tail = load<16>(s + n - 16);
    store(d, head);
    store(d + n - 16, tail);
  } else if (n >= 8) {
    Chunk<8> head = load<8>(s), tail = load<8>(s + n - 8);
    store(d, head);
    store(d + n - 8, tail);
  } else if (n >= 4) {
    Chunk<4> head = load<4>(s), tail = load<4>(s + n - 4);
    store(d, head);
    store(d + n - 4, tail);
  } else if (n > 0) {
    unsigned char first = s[0], middle = s[n / 2], last = s[n - 1];
    d[0] = first;
    d[n / 2] = middle;
    d[n - 1] = last;
  }
}

// [n] of more than 32 bytes from the front; the last 16 bytes are read
// before the loop, so a target that overlaps the source ahead of it is
// copied as memmove requires.
void copy_forward(unsigned char* d, const unsigned char* s, size_t n) {
  Chunk<16> tail = load<16>(s + n - 16);
  unsigned char* last = d + n - 16;
  for (; d < last; d += 16, s += 16) store(d, load<16>(s));
  store(last, tail);
}

// The same from the back, for a target that overlaps the source behind it.
void copy_backward(unsigned char* d, const unsigned char* s, size_t n) {
  Chunk<16> head = load<16>(s);
  size_t at = n;
  while (at > 16) {
    at -= 16;
    store(d + at, load<16>(s + at));
  }
  store(d, head);
}

[[gnu::always_inline]] inline void* move_block(void* to, const void* from, size_t n) {
  auto* d = static_cast<unsigned char*>(to);
  auto* s = static_cast<const unsigned char*>(from);
  if (n <= 32) {
    copy_short(d, s, n);
  } else if (reinterpret_cast<uintptr_t>(d) - reinterpret_cast<uintptr_t>(s) >= n) {
    copy_forward(d, s, n);  // the target starts before the source or behind its end
  } else {
    copy_backward(d, s, n);
  }
  return to;
}

}  // namespace

extern "C" {

// Overlapping blocks are copied as memmove copies them: the runtime's
// memcpy allows them, and code written against it may rely on that.
void* memcpy(void* to, const void* from, size_t n) { return move_block(to, from, n); }

void* memmove(void* to, const void* from, size_t n) { return move_block(to, from, n); }

}  // extern "C"
