// Measures what compiling an expression once buys: the same expression
// evaluated a million times from its compiled tree, against compiling it
// anew for every evaluation (what the first evaluation of a line costs).
#include <chrono>
#include <cstdio>
#include <map>

#include "engine/values/evaluator.h"
#include "support/utf.h"

namespace {

using namespace vesk;

// Variables in a small map, as a frame of a few locals would hold them.
class BenchHost : public EvalHost {
 public:
  BenchHost() {
    m_vars[u"A"] = Value::r8(3);
    m_vars[u"B"] = Value::r8(4.5);
    m_vars[u"S"] = Value::string(u"text");
  }
  const EvalOptions& options() const override { return m_options; }
  Value true_value() const override { return Value::boolean(true); }
  Value false_value() const override { return Value::boolean(false); }
  Value read_name(const NameRef& name, std::span<const Value>) override { return m_vars[name.name]; }
  bool is_module_name(const NameRef&) override { return true; }
  Value read_member(const NameRef&) override { return Value(); }
  Value call(const CallSite&, bool& failed) override { return failed = true, Value(); }
  size_t current_line() const override { return 0; }
  bool frame_failed() const override { return false; }
  void report_expression_error() override {}

 private:
  EvalOptions m_options;
  std::map<std::u16string, Value> m_vars;
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::u16string text = u"(A + B * 2 - 1) / 3 > 2 AND S + \"!\" <> \"x\" OR A MOD 2 = 1";
  BenchHost host;
  double check = 0;

  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    std::unique_ptr<CompiledExpression> e = compile_expression(text);
    check += evaluate(*e, host).value.as_r8();
  }
  double first = seconds_since(start);

  std::unique_ptr<CompiledExpression> compiled = compile_expression(text);
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) check += evaluate(*compiled, host).value.as_r8();
  double repeated = seconds_since(start);

  std::printf("expression: %s\n", utf16_to_utf8(text).c_str());
  std::printf("evaluations: %d (checksum %.0f)\n", n, check);
  std::printf("first evaluation (parse + run): %8.1f ns each\n", first * 1e9 / n);
  std::printf("compiled evaluation:            %8.1f ns each\n", repeated * 1e9 / n);
  std::printf("compiling once is %.1f times faster\n", first / repeated);
  return 0;
}
