// The waits: SLEEP's steps end on a stop, hold while the stop form is
// paused and let a script thread be ended; the short pump writes the log
// once a minute on the main thread only.
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/runtime/waiting.h"
#include "run_support.h"

namespace vesk::test {
namespace {

using clock = std::chrono::steady_clock;

double seconds_since(clock::time_point start) {
  return std::chrono::duration<double>(clock::now() - start).count();
}

class LogHost : public RecordingHost {
 public:
  bool log_dirty() const override { return true; }
  void write_log() override { ++writes; }
  std::atomic<int> writes{0};
};

class Waiting : public RunTest {};

TEST_F(Waiting, SleepZeroAndFractionsReturnWithoutSteps) {
  auto start = clock::now();
  sleep_seconds(interpreter, 0, 0);
  sleep_seconds(interpreter, 0.005, 0);
  sleep_seconds(interpreter, -3, 0);  // a negative wait is none
  EXPECT_LT(seconds_since(start), 1.0);
}

TEST_F(Waiting, SleepCountsItsStepsAndEnds) {
  auto start = clock::now();
  sleep_seconds(interpreter, 0.25, 0);
  EXPECT_GE(seconds_since(start), 0.2);
}

TEST_F(Waiting, AStopEndsALongSleep) {
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    interpreter.request_stop();
  });
  auto start = clock::now();
  sleep_seconds(interpreter, 30, 0);
  stopper.join();
  EXPECT_LT(seconds_since(start), 10.0);
}

TEST_F(Waiting, AThreadToBeEndedLeavesItsSleep) {
  interpreter.set_thread_state(5, 2);
  auto start = clock::now();
  sleep_seconds(interpreter, 30, 5);
  EXPECT_LT(seconds_since(start), 10.0);
  // The main script's wait does not look at thread slots.
  start = clock::now();
  sleep_seconds(interpreter, 0.25, 0);
  EXPECT_GE(seconds_since(start), 0.2);
}

TEST_F(Waiting, APausedStopFormHoldsTheSleep) {
  host.pause_polls = 12;  // about twelve steps of 50 ms
  auto start = clock::now();
  sleep_seconds(interpreter, 0.1, 0);
  EXPECT_GE(seconds_since(start), 0.5);
}

TEST(WaitingLog, TheShortPumpWritesTheLogOncePerMinuteOnTheMainThreadOnly) {
  LogHost host;
  Interpreter interpreter(host);
  std::thread other([&] { short_pump(interpreter, 1); });
  other.join();
  EXPECT_EQ(host.writes, 0);
  auto minute = [] {
    return std::chrono::duration_cast<std::chrono::minutes>(std::chrono::system_clock::now().time_since_epoch()).count();
  };
  auto before = minute();
  short_pump(interpreter, 1);
  short_pump(interpreter, 1);
  if (minute() == before) {
    EXPECT_EQ(host.writes, 1);
  }
  EXPECT_GE(host.writes, 1);
}

TEST_F(Waiting, SleepInAScriptIsAStatement) {
  ASSERT_TRUE(run({"SLEEP(0)", "SLEEP(0.001)", "PRINT \"DONE\""}));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"DONE"}));
  EXPECT_TRUE(host.errors.empty());
}

}  // namespace
}  // namespace vesk::test
