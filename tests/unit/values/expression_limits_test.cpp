// The bounds on how deep an expression may nest and how many operators it
// may hold: at the bound it compiles and evaluates, past it it fails to
// compile, and far past it neither the parser nor the tree's destruction
// runs out of stack.
#include <gtest/gtest.h>

#include <string>

#include "engine/values/evaluator.h"

namespace vesk {
namespace {

// Every name reads as 1; no calls.
class OnesHost : public EvalHost {
 public:
  const EvalOptions& options() const override { return m_options; }
  Value true_value() const override { return Value::boolean(true); }
  Value false_value() const override { return Value::boolean(false); }
  Value read_name(const NameRef&, std::span<const Value>) override { return Value::r8(1); }
  bool is_module_name(const NameRef&) override { return true; }
  Value read_member(const NameRef&) override { return Value(); }
  Value call(const CallSite&, bool& failed) override { return failed = true, Value(); }
  size_t current_line() const override { return 0; }
  bool frame_failed() const override { return false; }
  void report_expression_error() override {}

  EvalOptions m_options;
};

std::u16string repeat(std::u16string_view part, size_t n) {
  std::u16string out;
  for (size_t i = 0; i < n; ++i) out += part;
  return out;
}

std::u16string parens(size_t n) { return repeat(u"(", n) + u"1" + repeat(u")", n); }
std::u16string sum(size_t operators) { return u"1" + repeat(u"+1", operators); }
std::u16string indices(size_t n) { return repeat(u"A[", n) + u"0" + repeat(u"]", n); }

double value_of(std::u16string_view text) {
  std::unique_ptr<CompiledExpression> e = compile_expression(text);
  EXPECT_TRUE(e->ok);
  OnesHost host;
  EvalResult r = evaluate(*e, host);
  EXPECT_FALSE(r.failed);
  return r.value.as_r8();
}

TEST(ExpressionLimits, NestingUpToTheBoundCompiles) {
  EXPECT_EQ(value_of(parens(127)), 1);
  EXPECT_EQ(value_of(repeat(u"-", 127) + u"1"), -1);
  EXPECT_EQ(value_of(repeat(u"+", 127) + u"1"), 1);
  EXPECT_EQ(value_of(indices(126)), 1);
  EXPECT_TRUE(compile_expression(repeat(u"!", 127) + u"1")->ok);
  EXPECT_TRUE(compile_expression(u"-(!(+A[(1)]))")->ok);
}

TEST(ExpressionLimits, NestingPastTheBoundFails) {
  EXPECT_FALSE(compile_expression(parens(129))->ok);
  EXPECT_FALSE(compile_expression(repeat(u"-", 129) + u"1")->ok);
  EXPECT_FALSE(compile_expression(repeat(u"!", 129) + u"1")->ok);
  EXPECT_FALSE(compile_expression(indices(129))->ok);
  // Mixed kinds count together.
  EXPECT_FALSE(compile_expression(repeat(u"-(", 65) + u"1" + repeat(u")", 65))->ok);
}

TEST(ExpressionLimits, OperatorsUpToTheBoundCompile) {
  EXPECT_EQ(value_of(sum(1000)), 1001);
  EXPECT_FALSE(compile_expression(sum(1001))->ok);
  // The count is per expression: each index is one of its own.
  EXPECT_EQ(value_of(u"A[" + sum(900) + u"] + " + sum(90)), 92);
}

TEST(ExpressionLimits, FarPastTheBoundsNothingOverflows) {
  for (const std::u16string& text : {parens(200000), sum(200000), repeat(u"!", 200000) + u"1",
                                     repeat(u"-", 200000) + u"1", indices(20000)})
    EXPECT_FALSE(compile_expression(text)->ok);
}

}  // namespace
}  // namespace vesk
