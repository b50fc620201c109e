#include "engine/runtime/waiting.h"

#include <chrono>
#include <cmath>

#include "engine/runtime/interpreter.h"
#include "platform/platform.h"

namespace vesk {
namespace {

// Handles the calling thread's pending messages; the main thread also runs
// what script threads handed over.
void handle_messages(Interpreter& interpreter) {
  if (interpreter.on_gui_thread())
    interpreter.service_main_thread();
  else
    platform::pump_messages();
}

int64_t current_minute() {
  using namespace std::chrono;
  return duration_cast<minutes>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

void short_pump(Interpreter& interpreter, int n) {
  for (int i = 0; i < n; ++i) {
    platform::sleep_ms(0);
    handle_messages(interpreter);
  }
  if (!interpreter.on_gui_thread()) return;
  for (int button = 0; button < 3; ++button)
    if (platform::mouse_button_down(button)) interpreter.set_mouse_seen(button);
  RunOutput& output = interpreter.output();
  if (output.log_dirty()) {
    int64_t minute = current_minute();
    if (minute != interpreter.last_log_minute()) {
      interpreter.last_log_minute() = minute;
      output.write_log();
    }
  }
}

void long_pump(Interpreter& interpreter, int n) {
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 10; ++k) platform::sleep_ms(10);
    handle_messages(interpreter);
  }
  short_pump(interpreter, 2);
}

void sleep_seconds(Interpreter& interpreter, double seconds, int32_t thread_slot) {
  if (seconds == 0 || std::isnan(seconds)) {
    handle_messages(interpreter);
    return;
  }
  // Negative and overlong waits are bounded here: a negative wait is none,
  // and no wait is longer than the 32-bit millisecond range.
  double clamped = std::fmin(std::fmax(seconds, 0.0), 2147483.0);
  int64_t ms = static_cast<int64_t>(clamped * 1000);
  platform::sleep_ms(static_cast<unsigned>(ms % 100));
  if (ms < 10) {
    if (ms > 0) short_pump(interpreter, 1);
    return;
  }
  using clock = std::chrono::steady_clock;
  const int64_t steps = (ms / 100) * 2;
  const clock::time_point start = clock::now();
  const auto limit = std::chrono::duration<double>(clamped);
  RunOutput& output = interpreter.output();
  for (int64_t counter = 0; counter < steps;) {
    if (interpreter.cleanup_in_progress() || interpreter.stop_requested()) return;
    if (thread_slot > 0 && interpreter.thread_state(thread_slot) == 2) return;
    if (interpreter.event_sink_count() > 0) {
      for (int k = 0; k < 5; ++k) {
        platform::sleep_ms(10);
        short_pump(interpreter, 1);
      }
    } else {
      platform::sleep_ms(50);
      short_pump(interpreter, 1);
    }
    // While the stop form is paused neither the steps nor the time count.
    if (output.paused()) continue;
    if (clock::now() - start > limit) break;
    ++counter;
  }
  short_pump(interpreter, 1);
}

}  // namespace vesk
