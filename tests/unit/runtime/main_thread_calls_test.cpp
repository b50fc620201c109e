// The hand-over of work from script threads to the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/runtime/main_thread_calls.h"

namespace vesk::test {

TEST(MainThreadCallsTest, EveryCallRunsOnTheServingThreadBeforeItsCallerGoesOn) {
  MainThreadCalls calls;
  std::thread::id main = std::this_thread::get_id();
  std::atomic<int> done{0};
  std::atomic<int> wrong_thread{0};
  std::atomic<int> not_yet_run{0};
  constexpr int k_threads = 8, k_calls = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < k_threads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < k_calls; ++i) {
        bool ran = false;
        calls.run([&] {
          if (std::this_thread::get_id() != main) ++wrong_thread;
          ran = true;
        });
        if (!ran) ++not_yet_run;
      }
      ++done;
    });
  }
  while (done < k_threads) calls.service();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong_thread, 0);
  EXPECT_EQ(not_yet_run, 0);
}

TEST(MainThreadCallsTest, ClosingReleasesWaitersAndDropsTheirWork) {
  MainThreadCalls calls;
  std::atomic<bool> answered{false};
  std::atomic<bool> result{true};
  bool ran = false;
  std::thread waiter([&] {
    result = calls.run([&] { ran = true; });
    answered = true;
  });
  // Nobody serves: closing must let the waiter go.
  while (!answered) {
    calls.close();
    std::this_thread::yield();
  }
  waiter.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(ran);
  // Closed, new work is refused at once; opened again, it is taken.
  EXPECT_FALSE(calls.run([] {}));
  calls.open();
  int posted = 0;
  calls.post([&] { ++posted; });
  calls.service();
  EXPECT_EQ(posted, 1);
}

}  // namespace vesk::test
