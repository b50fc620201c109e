// A test evaluation host that reads names straight from a variable store,
// for tests of declarations (CONST values, array bounds).
#pragma once

#include "engine/values/evaluator.h"
#include "engine/values/variable_store.h"

namespace vesk {

class StoreHost : public EvalHost {
 public:
  StoreHost(VariableStore& store, THensuFmt& frame) : m_store(store), m_frame(frame) {}
  const EvalOptions& options() const override { return m_options; }
  Value true_value() const override { return m_store.true_value(); }
  Value false_value() const override { return m_store.false_value(); }
  Value read_name(const NameRef& name, std::span<const Value> indices) override {
    return m_store.read(m_frame, name.name, indices);
  }
  bool is_module_name(const NameRef&) override { return true; }
  Value read_member(const NameRef&) override { return Value::i4(-999999); }
  Value call(const CallSite&, bool& failed) override { return failed = true, Value(); }
  size_t current_line() const override { return 0; }
  bool frame_failed() const override { return m_frame.error; }
  void report_expression_error() override {}

 private:
  VariableStore& m_store;
  THensuFmt& m_frame;
  EvalOptions m_options;
};

}  // namespace vesk
