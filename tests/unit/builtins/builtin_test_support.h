// A small harness for the built-in tests: an interpreter with the core
// built-ins, a frame, and the messages its errors show.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builtins/core/dispatch.h"
#include "engine/runtime/thread_run.h"
#include "engine/values/conversion.h"
#include "support/utf.h"

namespace vesk::test {

class CapturedOutput : public RunOutput {
 public:
  void print_line(const std::u16string& text) override { lines.push_back(utf16_to_utf8(text)); }
  void show_error(const std::u16string& message, const std::u16string&) override {
    errors.push_back(utf16_to_utf8(message));
  }
  std::vector<std::string> lines, errors;
};

class BuiltinTest : public ::testing::Test {
 protected:
  BuiltinTest() : interpreter(output) { install_core_builtins(interpreter); }

  // Evaluates [expression] (upper-case run text) in the test's frame.
  EvalResult eval(const std::string& expression) {
    std::unique_ptr<CompiledExpression> e = compile_expression(utf8_to_utf16(expression));
    return interpreter.evaluate_in(*e, frame);
  }
  // The text form of the value of [expression].
  std::string text(const std::string& expression) {
    EvalResult r = eval(expression);
    if (r.failed) return "<failed>";
    return utf16_to_utf8(to_text(r.value).value_or(u"<no text>"));
  }
  // Runs "NAME = expression" through the store.
  void set(const std::string& name, const Value& value) {
    interpreter.store().write(frame, utf8_to_utf16(name), {}, value);
  }
  void dim(const std::string& name, int32_t last) {
    interpreter.store().declare_variable(frame, utf8_to_utf16(name), {last});
  }
  std::string error() const { return output.errors.empty() ? "" : output.errors.back(); }

  CapturedOutput output;
  Interpreter interpreter;
  CallFrame frame;
};

}  // namespace vesk::test
