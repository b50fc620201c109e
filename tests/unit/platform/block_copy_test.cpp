// memcpy and memmove as the program links them (its own on Windows): every
// length up to well past the short-block limit, at every alignment, and
// both over every overlap in both directions. Expected bytes come from the
// pattern's formula, never from a block copy.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Called through pointers the compiler cannot see through, so that the
// linked functions run rather than the compiler's own inline copies.
void* (*volatile g_memcpy)(void*, const void*, size_t) = std::memcpy;
void* (*volatile g_memmove)(void*, const void*, size_t) = std::memmove;

// A pattern that does not repeat every 256 bytes, so that a block landing
// a multiple of 256 bytes off is caught too.
unsigned char byte_at(size_t i) { return static_cast<unsigned char>((i * 131 + 7) ^ (i >> 8)); }

void fill(std::vector<unsigned char>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = byte_at(i);
}

// The buffer of [room] pattern bytes after [n] of them were copied from
// [from] to [to], worked out byte by byte.
std::vector<unsigned char> moved(size_t room, size_t from, size_t to, size_t n) {
  std::vector<unsigned char> expected(room);
  fill(expected);
  for (size_t i = 0; i < n; ++i) expected[to + i] = byte_at(from + i);
  return expected;
}

TEST(BlockCopy, EveryLengthAndAlignmentLeavesTheBytesAroundAlone) {
  for (size_t n = 0; n <= 100; ++n) {
    for (size_t from = 0; from < 16; ++from) {
      for (size_t to = 0; to < 16; ++to) {
        std::vector<unsigned char> source(n + 32);
        fill(source);
        std::vector<unsigned char> target(n + 32);
        std::vector<unsigned char> expected(n + 32);
        for (size_t i = 0; i < target.size(); ++i) target[i] = expected[i] = 0xEE;
        for (size_t i = 0; i < n; ++i) expected[to + i] = byte_at(from + i);
        void* answer = g_memcpy(target.data() + to, source.data() + from, n);
        EXPECT_EQ(answer, target.data() + to);
        ASSERT_EQ(target, expected) << "length " << n << " from " << from << " to " << to;
      }
    }
  }
}

TEST(BlockCopy, OverlappingBlocksInBothDirections) {
  const size_t room = 240;
#ifdef _WIN32
  // The Windows build's memcpy moves overlapping blocks too, as the
  // runtime's did; elsewhere that is memmove's alone.
  auto copies = {g_memmove, g_memcpy};
#else
  auto copies = {g_memmove};
#endif
  for (auto* copy : copies) {
    for (size_t n = 0; n <= 120; ++n) {
      for (size_t from = 40; from <= 80 && from + n <= room; ++from) {
        for (size_t to = 0; to <= 120 && to + n <= room; ++to) {
          std::vector<unsigned char> buffer(room);
          fill(buffer);
          void* answer = copy(buffer.data() + to, buffer.data() + from, n);
          EXPECT_EQ(answer, buffer.data() + to);
          ASSERT_EQ(buffer, moved(room, from, to, n)) << "length " << n << " from " << from << " to " << to;
        }
      }
    }
  }
}

TEST(BlockCopy, ALargeBlockMovesWholeEitherWay) {
  const size_t room = size_t{1} << 20;
  std::vector<unsigned char> buffer(room);
  fill(buffer);
  g_memmove(buffer.data() + 3, buffer.data() + 1000, 500000);
  EXPECT_EQ(buffer, moved(room, 1000, 3, 500000));
  fill(buffer);
  g_memmove(buffer.data() + 1001, buffer.data() + 3, 500000);
  EXPECT_EQ(buffer, moved(room, 3, 1001, 500000));
  fill(buffer);
  g_memcpy(buffer.data() + 600000, buffer.data() + 5, 400000);
  EXPECT_EQ(buffer, moved(room, 5, 600000, 400000));
}

}  // namespace
