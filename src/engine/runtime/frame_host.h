// The evaluation host of one frame: how expressions reach the variable
// store, the call path and the run's options.
#pragma once

#include "engine/runtime/interpreter.h"

namespace vesk {

class FrameHost : public EvalHost {
 public:
  FrameHost(Interpreter& interpreter, CallFrame& frame);

  const EvalOptions& options() const override { return m_options; }
  Value true_value() const override;
  Value false_value() const override;
  Value read_name(const NameRef& name, std::span<const Value> indices) override;
  THensuFmt* local_frame() override { return &m_frame; }
  bool is_module_name(const NameRef& name) override;
  Value read_member(const NameRef& name) override;
  Value call(const CallSite& call, bool& failed) override;
  size_t current_line() const override;
  bool frame_failed() const override;
  void report_expression_error() override;
  bool control_word_changed() const override;
  bool byte_string_mark() const override;

 private:
  Interpreter& m_interpreter;
  CallFrame& m_frame;
  EvalOptions m_options;
};

}  // namespace vesk
