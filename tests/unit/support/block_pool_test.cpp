// The block pool: blocks of every size class never overlap, come back for
// reuse, and may be freed on another thread than the one that took them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "support/block_pool.h"

namespace vesk {
namespace {

struct Taken {
  unsigned char* block;
  size_t bytes;
  unsigned char mark;
};

// Fills each block with its own mark, then checks every mark: a block
// handed out twice, or one that overlaps its neighbour, shows as a wrong mark.
bool marks_hold(const std::vector<Taken>& taken) {
  for (const Taken& t : taken) std::memset(t.block, t.mark, t.bytes);
  for (const Taken& t : taken)
    for (size_t i = 0; i < t.bytes; ++i)
      if (t.block[i] != t.mark) return false;
  return true;
}

TEST(BlockPool, BlocksOfEverySizeAreDistinctAndAligned) {
  std::vector<Taken> taken;
  for (int round = 0; round < 3; ++round) {
    for (size_t bytes = 1; bytes <= k_max_pooled_block + 64; bytes += 7)
      taken.push_back({static_cast<unsigned char*>(allocate_block(bytes)), bytes,
                       static_cast<unsigned char>(taken.size())});
  }
  for (const Taken& t : taken) EXPECT_EQ(reinterpret_cast<uintptr_t>(t.block) % alignof(double), 0u);
  EXPECT_TRUE(marks_hold(taken));
  // Every second block goes back and is taken again; the rest keep their marks.
  std::vector<Taken> kept;
  for (size_t i = 0; i < taken.size(); ++i) {
    if (i % 2) free_block(taken[i].block, taken[i].bytes);
    else kept.push_back(taken[i]);
  }
  for (size_t i = 1; i < taken.size(); i += 2)
    kept.push_back({static_cast<unsigned char*>(allocate_block(taken[i].bytes)), taken[i].bytes,
                    static_cast<unsigned char>(200 + i % 50)});
  EXPECT_TRUE(marks_hold(kept));
  for (const Taken& t : kept) free_block(t.block, t.bytes);
}

TEST(BlockPool, AResizedBlockKeepsItsBytesFromSmallToLargeAndBack) {
  size_t bytes = 40;
  auto* block = static_cast<unsigned char*>(allocate_block(bytes));
  for (size_t i = 0; i < bytes; ++i) block[i] = static_cast<unsigned char>(i);
  for (size_t next : {size_t{200}, size_t{5000}, size_t{300000}, size_t{64}}) {
    block = static_cast<unsigned char*>(resize_block(block, bytes, next));
    for (size_t i = 0; i < std::min<size_t>(40, next); ++i) ASSERT_EQ(block[i], i) << next;
    std::memset(block + 40, 0xAB, next - 40);
    bytes = next;
  }
  free_block(block, bytes);
}

TEST(BlockPool, ThreadsTakeAndFreeEachOthersBlocks) {
  constexpr int k_threads = 4, k_blocks = 20000;
  std::vector<std::vector<Taken>> made(k_threads);
  std::vector<std::thread> threads;
  for (int t = 0; t < k_threads; ++t) {
    threads.emplace_back([t, &made] {
      for (int i = 0; i < k_blocks; ++i) {
        size_t bytes = 8 + static_cast<size_t>((i * 37 + t) % 240);
        made[t].push_back({static_cast<unsigned char*>(allocate_block(bytes)), bytes, static_cast<unsigned char>(t)});
      }
    });
  }
  for (std::thread& th : threads) th.join();
  std::vector<Taken> all;
  for (const auto& list : made) all.insert(all.end(), list.begin(), list.end());
  EXPECT_TRUE(marks_hold(all));
  // Each thread frees the blocks another one took, while taking new ones.
  threads.clear();
  std::vector<std::vector<Taken>> again(k_threads);
  for (int t = 0; t < k_threads; ++t) {
    threads.emplace_back([t, &made, &again] {
      for (const Taken& b : made[(t + 1) % k_threads]) {
        free_block(b.block, b.bytes);
        again[t].push_back({static_cast<unsigned char*>(allocate_block(b.bytes)), b.bytes,
                            static_cast<unsigned char>(100 + t)});
      }
    });
  }
  for (std::thread& th : threads) th.join();
  all.clear();
  for (const auto& list : again) all.insert(all.end(), list.begin(), list.end());
  EXPECT_TRUE(marks_hold(all));
  for (const Taken& b : all) free_block(b.block, b.bytes);
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

std::vector<std::pair<void*, size_t>> g_advised;
void record_advice(void* block, size_t bytes) { g_advised.emplace_back(block, bytes); }

// The advice sees every large block as the system hands it out, before
// anything is written to it: a grown block's old bytes are copied after.
TEST(BlockPool, LargeBlocksAreAdvisedBeforeTheirBytesAreCopiedIn) {
  set_large_block_advice(record_advice);
  g_advised.clear();
  size_t bytes = 1000;
  auto* block = static_cast<unsigned char*>(allocate_block(bytes));
  for (size_t i = 0; i < bytes; ++i) block[i] = static_cast<unsigned char>(i * 7);
  EXPECT_TRUE(g_advised.empty());
  for (size_t next : {k_advised_block + 1, 3 * k_advised_block, k_advised_block - 1}) {
    block = static_cast<unsigned char*>(resize_block(block, bytes, next));
    for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(block[i], static_cast<unsigned char>(i * 7)) << next;
    bytes = next;
  }
  ASSERT_EQ(g_advised.size(), 2u);
  EXPECT_EQ(g_advised[0].second, k_advised_block + 1);
  EXPECT_EQ(g_advised[1].second, 3 * k_advised_block);
  free_block(block, bytes);
  set_large_block_advice(nullptr);
}

// Once the pool has many slabs and an advice is set, new slabs are large
// blocks, advised as such, and their blocks are as distinct as any.
TEST(BlockPool, ManySmallBlocksComeFromAdvisedSlabs) {
  if (!small_blocks_pooled()) GTEST_SKIP() << "every block is the system's in this build";
  set_large_block_advice(record_advice);
  g_advised.clear();
  std::vector<Taken> taken;
  for (int i = 0; i < 200000 && g_advised.size() < 2; ++i)
    taken.push_back({static_cast<unsigned char*>(allocate_block(250)), 250, static_cast<unsigned char>(i)});
  set_large_block_advice(nullptr);
  ASSERT_EQ(g_advised.size(), 2u);
  for (const auto& [block, bytes] : g_advised) EXPECT_EQ(bytes, 2 * k_advised_block);
  EXPECT_TRUE(marks_hold(taken));
  for (const Taken& t : taken) free_block(t.block, t.bytes);
}

}  // namespace
}  // namespace vesk
