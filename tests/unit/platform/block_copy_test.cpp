// memcpy and memmove as the program links them (its own on Windows): every
// length up to well past the short-block limit, at every alignment, and
// memmove over every overlap in both directions, against a byte-by-byte copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Called through pointers the compiler cannot see through, so that the
// linked functions run rather than the compiler's own inline copies.
void* (*volatile g_memcpy)(void*, const void*, size_t) = std::memcpy;
void* (*volatile g_memmove)(void*, const void*, size_t) = std::memmove;

std::vector<unsigned char> pattern(size_t n) {
  std::vector<unsigned char> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + 7);
  return bytes;
}

TEST(BlockCopy, EveryLengthAndAlignmentLeavesTheBytesAroundAlone) {
  for (size_t n = 0; n <= 100; ++n) {
    for (size_t from = 0; from < 16; ++from) {
      for (size_t to = 0; to < 16; ++to) {
        std::vector<unsigned char> source = pattern(n + 32);
        std::vector<unsigned char> target(n + 32, 0xEE);
        std::vector<unsigned char> expected = target;
        for (size_t i = 0; i < n; ++i) expected[to + i] = source[from + i];
        void* answer = g_memcpy(target.data() + to, source.data() + from, n);
        EXPECT_EQ(answer, target.data() + to);
        ASSERT_EQ(target, expected) << "length " << n << " from " << from << " to " << to;
      }
    }
  }
}

TEST(BlockCopy, MoveOverEveryOverlapInBothDirections) {
  const size_t room = 200;
  for (size_t n = 0; n <= 120; ++n) {
    for (size_t from = 40; from <= 80; ++from) {
      for (size_t to = 0; to <= 120 && to + n <= room; ++to) {
        if (from + n > room) continue;
        std::vector<unsigned char> buffer = pattern(room);
        std::vector<unsigned char> expected = buffer;
        std::vector<unsigned char> moved(buffer.begin() + from, buffer.begin() + from + n);
        for (size_t i = 0; i < n; ++i) expected[to + i] = moved[i];
        void* answer = g_memmove(buffer.data() + to, buffer.data() + from, n);
        EXPECT_EQ(answer, buffer.data() + to);
        ASSERT_EQ(buffer, expected) << "length " << n << " from " << from << " to " << to;
      }
    }
  }
}

TEST(BlockCopy, ALargeBlockMovesWhole) {
  std::vector<unsigned char> buffer = pattern(1 << 20);
  std::vector<unsigned char> expected = buffer;
  std::vector<unsigned char> reference(buffer.begin() + 1000, buffer.begin() + 501000);
  std::copy(reference.begin(), reference.end(), expected.begin() + 3);
  g_memmove(buffer.data() + 3, buffer.data() + 1000, 500000);
  EXPECT_EQ(buffer, expected);
  std::vector<unsigned char> back = pattern(1 << 20);
  std::vector<unsigned char> back_expected = back;
  std::vector<unsigned char> part(back.begin() + 3, back.begin() + 500003);
  std::copy(part.begin(), part.end(), back_expected.begin() + 1001);
  g_memmove(back.data() + 1001, back.data() + 3, 500000);
  EXPECT_EQ(back, back_expected);
}

}  // namespace
