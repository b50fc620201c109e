// Compiled expressions evaluated against a small host.
#include <gtest/gtest.h>

#include <map>

#include "engine/values/conversion.h"
#include "engine/values/evaluator.h"
#include "support/utf.h"

namespace vesk {
namespace {

// Variables in a map; calls recorded; F(x) answers x, SPLIT answers an array.
class TestHost : public EvalHost {
 public:
  const EvalOptions& options() const override { return m_options; }
  Value true_value() const override { return Value::boolean(true); }
  Value false_value() const override { return Value::boolean(false); }
  Value read_name(const NameRef& name, std::span<const Value>) override {
    if (name.name == u"EMPTY") return Value();
    if (name.name == u"TRUE") return true_value();
    if (name.name == u"FALSE") return false_value();
    auto it = m_vars.find(name.name);
    return it == m_vars.end() ? Value() : it->second;
  }
  bool is_module_name(const NameRef&) override { return true; }
  Value read_member(const NameRef&) override { return Value::i4(-999999); }
  Value call(const CallSite& site, bool& failed) override {
    m_calls.push_back(site.text);
    if (site.name == u"SPLIT") return Value::array_of({Value::string(u"a"), Value::string(u"b"), Value::string(u"c")});
    EvalResult arg = evaluate(site.argument(0), *this);
    failed = arg.failed;
    return arg.value;
  }
  size_t current_line() const override { return 0; }
  bool frame_failed() const override { return false; }
  void report_expression_error() override { ++m_errors; }

  EvalOptions m_options;
  std::map<std::u16string, Value> m_vars;
  std::vector<std::u16string> m_calls;
  int m_errors = 0;
};

class Expressions : public ::testing::Test {
 protected:
  EvalResult eval(std::u16string_view text, bool condition = false) {
    m_compiled.push_back(compile_expression(text));
    return evaluate(*m_compiled.back(), m_host, condition);
  }
  double number(std::u16string_view text) {
    EvalResult r = eval(text);
    EXPECT_FALSE(r.failed) << utf16_to_utf8(text);
    EXPECT_EQ(r.value.type(), VarType::R8) << utf16_to_utf8(text);
    return r.value.as_r8();
  }
  std::u16string text(std::u16string_view expression) {
    EvalResult r = eval(expression);
    EXPECT_FALSE(r.failed) << utf16_to_utf8(expression);
    EXPECT_TRUE(r.value.is_string()) << utf16_to_utf8(expression);
    return r.value.is_string() ? std::u16string(r.value.as_string()) : u"";
  }
  bool truth(std::u16string_view expression) {
    EvalResult r = eval(expression);
    EXPECT_FALSE(r.failed) << utf16_to_utf8(expression);
    EXPECT_EQ(r.value.type(), VarType::Bool) << utf16_to_utf8(expression);
    return r.value.bool_word() != 0;
  }
  void expect_error(std::u16string_view expression) {
    int before = m_host.m_errors;
    EvalResult r = eval(expression);
    EXPECT_TRUE(r.failed) << utf16_to_utf8(expression);
    EXPECT_EQ(r.value.type(), VarType::UI1) << utf16_to_utf8(expression);
    EXPECT_EQ(m_host.m_errors, before + 1) << utf16_to_utf8(expression);
  }

  TestHost m_host;
  std::vector<std::unique_ptr<CompiledExpression>> m_compiled;
};

TEST_F(Expressions, PlusAddsNumbersAndJoinsText) {
  EXPECT_EQ(text(u"\"1\" + 2"), u"12");
  EXPECT_EQ(number(u"1 + 2"), 3);
  EXPECT_EQ(number(u"\"10\" - 3"), 7);
  EXPECT_EQ(text(u"\"a\" + \"b\" + 1"), u"ab1");
  EXPECT_EQ(number(u"1 + TRUE"), 2);
  EXPECT_EQ(text(u"\"say \"\"hi\"\"\""), u"say \"hi\"");
}

TEST_F(Expressions, DivisionAndRemainder) {
  EXPECT_EQ(number(u"10 / 0"), 0);
  EXPECT_EQ(number(u"7 / 2"), 3.5);
  expect_error(u"10 MOD 0");
  EXPECT_EQ(number(u"-7 MOD 3"), -1);
  EXPECT_EQ(number(u"7 MOD -3"), 1);
  // Operands round to the nearest integer, ties to even.
  EXPECT_EQ(number(u"2.5 MOD 2"), 0);
  EXPECT_EQ(number(u"3.5 MOD 3"), 1);
  expect_error(u"\"x\" * 2");
}

TEST_F(Expressions, PrecedenceAndAssociativity) {
  EXPECT_EQ(number(u"1 + 2 * 3"), 7);
  EXPECT_EQ(number(u"(1 + 2) * 3"), 9);
  EXPECT_EQ(number(u"10 - 2 - 3"), 5);
  EXPECT_EQ(number(u"24 / 4 / 2"), 3);
  EXPECT_EQ(number(u"-2 * -3"), 6);
  EXPECT_EQ(number(u"- (1 + 2)"), -3);
  EXPECT_EQ(number(u"1 OR 2 AND 0"), 1);
  EXPECT_EQ(number(u"6 XOR 3 AND 1"), 7);
  EXPECT_EQ(number(u"2 * 3 = 6 AND 1"), 1);
  EXPECT_EQ(number(u"3 AND 5"), 1);
  EXPECT_EQ(number(u"TRUE OR FALSE"), 1);
}

TEST_F(Expressions, NotAndComparisons) {
  EXPECT_TRUE(truth(u"!0"));
  EXPECT_FALSE(truth(u"!5"));
  EXPECT_TRUE(truth(u"! EMPTY"));
  EXPECT_TRUE(truth(u"\"abc\" = \"ABC\""));
  EXPECT_TRUE(truth(u"2 >= 2"));
  EXPECT_TRUE(truth(u"1 <> 2"));
  // A string on either side compares texts.
  EXPECT_TRUE(truth(u"10 < \"9\""));
  EXPECT_TRUE(truth(u"\"a<#TAB>b\" = \"A\tB\""));
  m_host.m_options.same_str = true;
  EXPECT_FALSE(truth(u"\"abc\" = \"ABC\""));
}

TEST_F(Expressions, EmptyRules) {
  m_host.m_vars[u"ZERO"] = Value::r8(0);
  m_host.m_vars[u"BLANK"] = Value::string(u"");
  EXPECT_TRUE(truth(u"X = EMPTY"));
  EXPECT_FALSE(truth(u"ZERO = EMPTY"));
  EXPECT_FALSE(truth(u"BLANK = EMPTY"));
  EXPECT_TRUE(truth(u"X = Y"));
  EXPECT_TRUE(truth(u"X = 0"));
  EXPECT_EQ(number(u"EMPTY + 1"), 1);
  EXPECT_EQ(text(u"EMPTY + \"a\""), u"a");
}

TEST_F(Expressions, FinalResultIsRoundedOnlyAtTheEnd) {
  EXPECT_EQ(number(u"0.1 + 0.2"), 0.3);
  EXPECT_FALSE(truth(u"0.1 + 0.2 = 0.3"));
  m_host.m_options.round_value = true;
  EXPECT_EQ(number(u"0.1 + 0.2"), 0.1 + 0.2);
  EXPECT_EQ(round_result(0.000244140625), 0.00024414063);
  EXPECT_EQ(round_result(-0.000244140625), -0.00024414063);
  EXPECT_EQ(round_result(9.999999999996), 10.0);
  EXPECT_EQ(round_result(1.23456789012345), 1.23456789012);
}

TEST_F(Expressions, NumberLiterals) {
  EXPECT_EQ(number(u"$FF"), 255);
  EXPECT_EQ(number(u"$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(number(u"1E+3"), 1000);
  EXPECT_EQ(number(u"1.5e3"), 1500);
  EXPECT_EQ(number(u"2.5E-1"), 0.25);
  EXPECT_EQ(number(u"10 - 1E+1"), 0);
  EXPECT_EQ(read_number(u"123456789012345678901234567890123"), k_unreadable_number);
  EXPECT_EQ(read_number(u"1234567890123456789012345678901.5"), 1234567890123456789012345678901.5);
  EXPECT_EQ(read_number(std::u16string(65, u'1')), k_unreadable_number);
  EXPECT_EQ(read_number(u"$"), k_unreadable_number);
  EXPECT_EQ(read_number(u"1E"), k_unreadable_number);
}

TEST_F(Expressions, ShortCircuitNeedsTheOptionAndACondition) {
  m_host.m_vars[u"A"] = Value::r8(0);
  eval(u"A <> 0 AND F(10 / A) > 1", true);
  EXPECT_EQ(m_host.m_calls.size(), 1u);  // no option: the right side runs
  m_host.m_options.short_circuit = true;
  m_host.m_calls.clear();
  EXPECT_EQ(eval(u"A <> 0 AND F(10 / A) > 1", true).value.bool_word(), 0);
  EXPECT_TRUE(m_host.m_calls.empty());
  EXPECT_EQ(eval(u"1 OR F(1)", true).value.bool_word(), 1);
  EXPECT_TRUE(m_host.m_calls.empty());
  eval(u"A <> 0 AND F(1) OR F(2)", true);  // an OR keeps AND from cutting
  EXPECT_EQ(m_host.m_calls.size(), 2u);
  m_host.m_calls.clear();
  eval(u"1 OR F(1)", false);
  EXPECT_EQ(m_host.m_calls.size(), 1u);
  m_host.m_calls.clear();
  eval(u"(1 OR F(1)) AND 1", true);  // inside brackets nothing is cut
  EXPECT_EQ(m_host.m_calls.size(), 1u);
}

TEST_F(Expressions, MalformedTextGivesTheExpressionError) {
  expect_error(u"\"abc");
  expect_error(u"(1 + 2");
  expect_error(u"1 +");
  expect_error(u"1 2");
  expect_error(u"1, 2");
  EXPECT_TRUE(eval(u"").value.is_empty());
}

TEST_F(Expressions, TrailingIndexOnAnArrayResult) {
  EXPECT_EQ(text(u"SPLIT(S)[2]"), u"c");
  expect_error(u"SPLIT(S)[3]");
  expect_error(u"F(1)[0]");
}

TEST_F(Expressions, EscapesExpandInTheResult) {
  EXPECT_EQ(text(u"\"a<#CR>b<#DBL>\""), u"a\r\nb\"");
  m_host.m_options.special_char = true;
  EXPECT_EQ(text(u"\"a<#CR>b<#_TAB>\""), u"a<#CR>b\t");
}

TEST(SplitArguments, RespectsQuotesAndBrackets) {
  EXPECT_EQ(split_arguments(u" a , \"b,c\", f(1, 2), x[1, 2] "),
            (std::vector<std::u16string>{u"a", u"\"b,c\"", u"f(1, 2)", u"x[1, 2]"}));
  EXPECT_EQ(split_arguments(u"a,,b"), (std::vector<std::u16string>{u"a", u"", u"b"}));
  EXPECT_TRUE(split_arguments(u"  ").empty());
}

}  // namespace
}  // namespace vesk
