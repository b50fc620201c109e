// Running small run texts through an interpreter with the core built-ins,
// recording what reaches the host.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builtins/core/dispatch.h"
#include "engine/runtime/interpreter.h"
#include "support/utf.h"

namespace vesk::test {

class RecordingHost : public RunOutput {
 public:
  RecordingHost() : RunOutput(true) {}
  void print_line(const std::u16string& text) override { lines.push_back(utf16_to_utf8(text)); }
  void show_error(const std::u16string& message, const std::u16string& location) override {
    errors.push_back(utf16_to_utf8(message) + " | " + utf16_to_utf8(location));
  }
  bool ask_abort(const std::u16string& text, bool ok_only) override {
    questions.push_back(utf16_to_utf8(text) + (ok_only ? " [OK]" : " [Yes/No]"));
    return abort_answer;
  }
  void log_error(const std::u16string& line) override { log.push_back(utf16_to_utf8(line)); }
  void play_error_sound() override { ++sounds; }
  bool paused() const override { return pause_polls > 0 && --pause_polls >= 0; }

  std::vector<std::string> lines, errors, questions, log;
  int sounds = 0;
  bool abort_answer = true;
  mutable int pause_polls = 0;
};

class RunTest : public ::testing::Test {
 protected:
  RunTest() : interpreter(host) { install_core_builtins(interpreter); }

  // Loads the main code [body] (run-text form: upper case) and any
  // functions in [functions], then runs it.
  bool run(const std::vector<std::string>& body, const std::vector<std::string>& functions = {}) {
    if (!load(body, functions)) return false;
    interpreter.run_main({});
    interpreter.cleanup();
    return true;
  }
  bool load(const std::vector<std::string>& body, const std::vector<std::string>& functions = {}) {
    std::vector<std::u16string> text{u"PROCEDURE __MAIN__()"};
    for (const std::string& line : body) text.push_back(utf8_to_utf16(line));
    text.push_back(u"FEND");
    for (const std::string& line : functions) text.push_back(utf8_to_utf16(line));
    LoadError error;
    bool ok = interpreter.load(text, error);
    if (!ok) load_error = utf16_to_utf8(error.message);
    return ok;
  }

  RecordingHost host;
  Interpreter interpreter;
  std::string load_error;
};

}  // namespace vesk::test
