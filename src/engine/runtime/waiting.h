// The waits: every wait inside the interpreter keeps the program's own
// windows alive (the launcher bar, the stop form and its pause button,
// dialogs, hot keys, COM event sinks, the log window) by pumping messages
// while it waits.
#pragma once

#include <cstdint>

namespace vesk {

class Interpreter;

// [n] times: yield the rest of the time slice and handle the pending
// messages. Then, on the main thread only: latch the mouse buttons held
// down, and write the log file when it has unwritten lines and the minute
// changed since the last write.
void short_pump(Interpreter& interpreter, int n);

// [n] times: sleep 10 ms ten times and handle the pending messages (about
// 100 ms per repetition); then the short pump twice.
void long_pump(Interpreter& interpreter, int n);

// SLEEP: waits [seconds] in steps of about 50 ms, ending early when the run
// is asked to stop or the calling script thread ([thread_slot], 0 for the
// main script) is to end; the paused stop form holds the wait.
void sleep_seconds(Interpreter& interpreter, double seconds, int32_t thread_slot);

}  // namespace vesk
