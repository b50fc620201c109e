// Number plans answer as the general evaluation does, and give up where it
// would have to decide more than arithmetic over local doubles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../store_host.h"
#include "engine/values/fast_expression.h"
#include "support/utf.h"

namespace vesk {
namespace {

class FastPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set(u"A", Value::r8(7.5));
    set(u"B", Value::r8(-2));
    set(u"Z", Value::r8(0));
    set(u"BIG", Value::r8(1e300));
    set(u"THIRD", Value::r8(1.0 / 3));
    set(u"S", Value::string(u"12"));
    set(u"I", Value::i4(3));
    m_store.declare_variable(m_frame, u"ARR", {3});
    Variable& arr = m_frame.variables[m_frame.variable_names.find(u"ARR")];
    for (int i = 0; i < 3; ++i) arr.values[i] = Value::r8(10 + i);  // ARR[3] stays Empty
  }
  void set(std::u16string_view name, Value v) {
    m_store.declare_variable(m_frame, std::u16string(name), {});
    m_frame.variables[m_frame.variable_names.find(name)].values[0] = v;
  }
  // Points every name of the plan at its slot, as a first general read does.
  static void aim(const FastPlan& plan, const THensuFmt& frame) {
    for (const FastStep& step : plan.steps)
      if (step.name) step.name->slot_hint.store(frame.variable_names.find(step.name->name));
  }
  // Runs [text] both ways; answers the outcome of the plan, and checks that
  // an answer it gives is the general evaluation's, bit for bit.
  FastOutcome both_ways(const char* text) {
    auto compiled = compile_expression(utf8_to_utf16(text));
    if (!compiled->fast) return FastOutcome::GaveUp;
    aim(*compiled->fast, m_frame);
    double number = 0;
    bool truth = false;
    FastOutcome outcome = run_fast_plan(*compiled->fast, m_frame, number, truth);
    StoreHost host(m_store, m_frame);
    EvalResult general = evaluate(*compiled, host);
    if (outcome == FastOutcome::Number) {
      EXPECT_FALSE(general.failed) << text;
      EXPECT_TRUE(general.value.is(VarType::R8)) << text;
      double rounded = round_result(number), expected = general.value.as_r8();
      EXPECT_TRUE(std::memcmp(&rounded, &expected, sizeof rounded) == 0 ||
                  (std::isnan(rounded) && std::isnan(expected)))
          << text << ": " << rounded << " against " << expected;
    } else if (outcome == FastOutcome::Truth) {
      Value want = truth ? m_store.true_value() : m_store.false_value();
      EXPECT_EQ(general.value.type(), want.type()) << text;
      EXPECT_EQ(general.value.as_i8(), want.as_i8()) << text;
    }
    return outcome;
  }

  VariableStore m_store;
  THensuFmt m_frame;
};

TEST_F(FastPlanTest, ArithmeticAndComparisonsAnswerAsTheGeneralEvaluation) {
  for (const char* text : {"A + B * 2 - 1", "-(A - B) / 4", "A / Z", "A MOD B", "-A MOD 4", "7 MOD -1",
                           "BIG * BIG", "-BIG * BIG - BIG * BIG", "THIRD * 3", "THIRD + 0.1", "A * (B + (Z - 1))",
                           "2.5 MOD 1", "3.5 MOD 2", "ARR[1] + 1", "ARR[A - 6.6] * 2", "ARR[-0.5] - ARR[2.9]",
                           "ARR[ARR[0] - 9] + 0",
                           // literal right operands fold into their operator
                           "A - 1 - 2", "10 - A", "1 + 2", "A / 0", "A - (1)", "A MOD 3 * 2", "ARR[A - 6] / 2",
                           "A - 1", "A * 0.1", "A MOD 4", "ARR[A - 7]",
                           // a name and literal operators run on one number
                           "A MOD 4 MOD 3", "A * 2 + 1 - 0.5", "B / 3 * 3", "THIRD * 3 - 1"})
    EXPECT_EQ(both_ways(text), FastOutcome::Number) << text;
  for (const char* text : {"A < B", "A >= 7.5", "A <> 7.5", "B * 2 = -4", "BIG * BIG > BIG", "A / Z <= 0", "2 < A",
                           "A MOD 3 = 1", "A < 2", "A = 7.5", "A * 2 + 1 < 16", "B MOD 2 = 0", "THIRD * 3 = 1",
                           // a name against a literal, each comparison
                           "B <= -2", "B > -3", "Z = 0", "Z <> 0", "A >= 8", "THIRD < 0.3333333333333333"})
    EXPECT_EQ(both_ways(text), FastOutcome::Truth) << text;
}

TEST_F(FastPlanTest, GivesUpBeforeAnythingElse) {
  // Another kind of value, MOD by zero, no such local, a lone name, and
  // what is no arithmetic: each is left to the general evaluation.
  for (const char* text : {"S + 1", "I * 2", "A MOD Z", "A MOD 0", "A MOD 0 + 1", "A + 1 MOD 0", "I + 1 < 2", "NOPE + 1", "A", "(A < B) + 1", "A < B < 1",
                           "A AND 1", "NOT A", "\"x\" + A", "F(A) + 1", "M[1] + 1", "X.Y + 1",
                           "ARR[3] + 1", "ARR[4] + 1", "ARR[-1] + 1", "ARR[1, 0] + 1", "ARR[1][0] + 1", "A[0] + 1"})
    EXPECT_EQ(both_ways(text), FastOutcome::GaveUp) << text;
  // A hint that points at another name's slot is not taken.
  auto compiled = compile_expression(u"A + 1");
  compiled->fast->steps[0].name->slot_hint.store(m_frame.variable_names.find(u"B"));
  double number = 0;
  bool truth = false;
  EXPECT_EQ(run_fast_plan(*compiled->fast, m_frame, number, truth), FastOutcome::GaveUp);
  // Nor is any read while an error is pending in the frame.
  aim(*compiled->fast, m_frame);
  m_frame.error = true;
  EXPECT_EQ(run_fast_plan(*compiled->fast, m_frame, number, truth), FastOutcome::GaveUp);
}

}  // namespace
}  // namespace vesk
