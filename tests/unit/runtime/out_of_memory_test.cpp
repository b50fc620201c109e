// A statement whose allocation fails ends with "Out of memory" at its line,
// and the run stops cleanly. The address space of a child process is
// limited so that a large array cannot be had (Linux, not under the
// sanitizers, which reserve address space of their own).
#include "run_support.h"
#include "support/messages.h"

#if defined(__SANITIZE_ADDRESS__)
#define VESK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(__linux__) && !defined(VESK_ADDRESS_SANITIZER)
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vesk::test {
namespace {

// The process's mapped size now, from /proc.
size_t mapped_bytes() {
  std::ifstream status("/proc/self/statm");
  size_t pages = 0;
  status >> pages;
  return pages * 4096;
}

class OutOfMemory : public RunTest {
 protected:
  // In the child: limits the address space, runs, writes what the host got.
  void run_limited(bool japanese) {
    set_message_language_japanese(japanese);
    size_t allowed = mapped_bytes() + (size_t{256} << 20);
    rlimit limit{allowed, allowed};
    setrlimit(RLIMIT_AS, &limit);
    run({"PRINT \"before\"", "DIM A[50000000]", "PRINT \"not reached\""});
    for (const std::string& line : host.lines) std::fprintf(stderr, "line: %s\n", line.c_str());
    for (const std::string& error : host.errors) std::fprintf(stderr, "error: %s\n", error.c_str());
    std::exit(0);
  }
};

TEST_F(OutOfMemory, AFailedAllocationIsReportedAtItsLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(run_limited(false), ::testing::ExitedWithCode(0),
              "line: before\nerror: Out of memory \\| at line 2: DIM A\\[50000000\\]\n$");
  EXPECT_EXIT(run_limited(true), ::testing::ExitedWithCode(0), "error: メモリが足りません \\| 2行目: DIM A");
}

}  // namespace
}  // namespace vesk::test
#endif
