// What a script that nests without bound gets at run time: blocks nested
// deeper than the stack allows, and recursion that passes through built-in
// arguments, stop with their errors instead of overflowing the stack.
//
// The deep cases run in a script thread, whose stack budget (1 MB) fits the
// stack of every test program; the main script's 6 MB assume the 8 MB
// stack that vesk-cli and the host are linked with.
#include "run_support.h"

namespace vesk::test {
namespace {

class NestingLimits : public RunTest {
 protected:
  // [depth] FOR loops inside one another around a PRINT, in procedure P.
  static std::vector<std::string> nested_loops(int depth) {
    std::vector<std::string> body{"PROCEDURE P()"};
    for (int i = 0; i < depth; ++i) body.push_back("FOR I" + std::to_string(i) + " = 1 TO 1");
    body.push_back("PRINT \"inside\"");
    for (int i = 0; i < depth; ++i) body.push_back("NEXT");
    body.push_back("PRINT \"after\"");
    body.push_back("FEND");
    return body;
  }
  // Runs P in a thread while the main script waits for it to end the run.
  bool run_in_thread(const std::vector<std::string>& functions) {
    return run({"THREAD P()", "WHILE TRUE", "SLEEP(0.01)", "WEND"}, functions);
  }
  bool first_error_starts(const std::string& text) const {
    return !host.errors.empty() && host.errors[0].rfind(text, 0) == 0;
  }
};

TEST_F(NestingLimits, LoopsNestedAsDeepAsScriptsGoRun) {
  ASSERT_TRUE(run({"P()"}, nested_loops(300)));
  EXPECT_EQ(host.errors, std::vector<std::string>{});
  EXPECT_EQ(host.lines, (std::vector<std::string>{"inside", "after"}));
}

TEST_F(NestingLimits, LoopsNestedPastTheStackStopTheRun) {
  ASSERT_TRUE(run_in_thread(nested_loops(4000)));
  EXPECT_TRUE(first_error_starts("The blocks nest too deep (out of stack) | at line ")) << host.errors.size();
  EXPECT_EQ(host.lines, std::vector<std::string>{});
}

TEST_F(NestingLimits, RecursionThroughBuiltinArgumentsIsStopped) {
  ASSERT_TRUE(run_in_thread({"PROCEDURE P()", "PRINT F(1)", "FEND", "FUNCTION F(N)", "RESULT = LENGTH(F(N + 1))",
                             "FEND"}));
  EXPECT_TRUE(first_error_starts("The calls nest too deep (out of stack): "));
  EXPECT_EQ(host.lines, std::vector<std::string>{});
}

}  // namespace
}  // namespace vesk::test
