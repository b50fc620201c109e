// The evaluation host of the block checks: a throw-away frame per function,
// and the checks of names, calls and assignment targets that expressions and
// statements meet. Expressions run in the evaluator's pre-check mode, where
// names and calls yield 1 once this host has judged them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/runtime/interpreter.h"

namespace vesk {

// A parameter of a function header as the checks see it.
struct CheckedParameter {
  std::u16string name;  // without "VAR ", brackets and default
  bool by_var = false;
  bool has_default = false;
  int32_t dimensions = 0;  // the "[]" pairs of an array parameter
};

// The parameters of a header, and the first fault of the list (empty when
// it is sound).
struct ParameterList {
  std::vector<CheckedParameter> parameters;
  std::u16string error;
};

// Reads the parameter list of the header statement [header]. An included
// file's header has none.
ParameterList read_parameters(std::u16string_view header);

// The throw-away frame of one function: its local names, loop depth and WITH
// stack. It is no engine frame, so the store reports nothing for it.
struct CheckFrame : CallFrame {
  CheckFrame() { call_frame = false; }
  int32_t loop_depth = 0;
};

class CheckHost : public EvalHost {
 public:
  explicit CheckHost(Interpreter& interpreter);

  // Starts a fresh frame for a function of [module] (empty outside modules).
  void begin_function(std::u16string module);
  CheckFrame& frame() { return *m_frame; }
  const Program& program() const { return m_interpreter.program(); }
  // The statement's compiled form, shared with the run that follows.
  const CompiledStatement& compiled(int32_t statement);

  // The first error met, or [fallback] when a check failed without a
  // message of its own.
  bool has_error() const { return m_error.has_value(); }
  std::u16string error_or(std::u16string fallback) const { return m_error ? *m_error : std::move(fallback); }
  // Records [message] unless an error is recorded already; answers false.
  bool fail(std::u16string message);

  // Evaluates [expression] in the pre-check mode into [out]; false when it
  // is malformed or a name or call in it is wrong.
  bool value(const CompiledExpression& expression, Value* out = nullptr);
  // The left side of an assignment or a FOR variable: [text] as written,
  // [target] compiled; an undeclared plain name becomes a local.
  bool assignment_target(std::u16string_view text, const CompiledExpression& target);
  // A call statement (F(...)) and a member call statement (OBJ.M(...)).
  bool call_statement(const CompiledStatement& s);
  bool member_call_statement(const CompiledStatement& s);
  // The call of a THREAD start, and the operand of a CALL statement.
  bool thread_call(const CompiledExpression& call);
  bool include_call(std::u16string_view operand);

  void declare_local(const std::u16string& name, int32_t dimensions);
  void declare_hash(const std::u16string& name);
  bool is_local(std::u16string_view name) const;

  // The evaluator's side.
  const EvalOptions& options() const override { return m_options; }
  Value true_value() const override;
  Value false_value() const override;
  Value read_name(const NameRef&, std::span<const Value>) override { return Value::r8(1); }
  bool is_module_name(const NameRef&) override { return false; }
  Value read_member(const NameRef&) override { return Value::r8(1); }
  Value call(const CallSite&, bool&) override { return Value::r8(1); }
  bool pre_check() const override { return true; }
  bool check_name(const NameRef& name) override;
  bool check_call(const CallSite& call) override;
  size_t current_line() const override { return 0; }
  bool frame_failed() const override { return false; }
  void report_expression_error() override {}

 private:
  bool name_read(const NameRef& name);
  bool dotted_read(const NameRef& name);
  bool call_check(const CallSite& call);
  bool user_call(int32_t function, const CallSite& call);
  bool array_argument(const CheckedParameter& parameter, const CallSite& call, size_t k);
  bool builtin_call(const std::u16string& name, const ArgumentBounds& bounds, const CallSite& call);
  bool plain_arguments(const CallSite& call);
  bool plain_target(std::u16string_view text, const CompiledExpression& target);
  bool member_target(std::u16string_view text, const CompiledExpression& target);
  bool com_head(std::u16string_view upper_name);
  bool module_member_exists(const std::u16string& qualified);

  bool is_declared(std::u16string_view name);
  bool is_function(std::u16string_view name);
  bool is_constant(std::u16string_view name);
  bool is_variable(std::u16string_view name);
  // The dimensions of the declared array [name] (local, then global); 0
  // for anything else.
  int32_t array_dimensions(std::u16string_view name);
  bool is_hash(std::u16string_view name);
  const ParameterList& parameters(int32_t function);
  std::u16string diagnose(std::u16string_view text) const;

  Interpreter& m_interpreter;
  EvalOptions m_options;
  std::unique_ptr<CheckFrame> m_frame;
  std::optional<std::u16string> m_error;
  std::map<int32_t, ParameterList> m_parameters;
};

}  // namespace vesk
