// The error channel as the host sees it: log line, sound, dialog text, the
// abort question, and the run's end.
#include "run_support.h"

namespace vesk::test {

TEST_F(RunTest, AnErrorIsLoggedSoundedAndShownOnce) {
  ASSERT_TRUE(run({"PRINT 1", "X = 10 MOD 0", "PRINT 2"}));
  EXPECT_EQ(host.lines, std::vector<std::string>{"1"});
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "a type isn't correct. or overflow. | at line 2: X = 10 MOD 0");
  // The log line is the full text with two blanks for the line break.
  EXPECT_EQ(host.log, std::vector<std::string>{"a type isn't correct. or overflow.  at line 2: X = 10 MOD 0"});
  EXPECT_EQ(host.sounds, 1);
  EXPECT_TRUE(interpreter.error_shown());
}

TEST_F(RunTest, ALongMessageIsCutAndItsNumberedCodeHidden) {
  std::string long_name(300, 'A');
  ASSERT_TRUE(run({"X = NOSUCH_" + long_name + "()"}));
  ASSERT_EQ(host.errors.size(), 1u);
  // "SyntaxError-25" shows as a bare "SyntaxError".
  EXPECT_EQ(host.errors[0].substr(0, 12), "SyntaxError ");
  ASSERT_TRUE(run({"X = COPY(\"" + long_name + "\", \"" + long_name + "\")"}));
  ASSERT_EQ(host.errors.size(), 2u);
  std::string shown = host.errors[1].substr(0, host.errors[1].find(" | "));
  EXPECT_EQ(shown.size(), 255u + 4u);
  EXPECT_EQ(shown.substr(255), " ...");
  // After a cut the log has the two blanks of the cut's own line break too.
  EXPECT_NE(host.log[1].find(" ...    at line"), std::string::npos);
}

TEST_F(RunTest, ACaughtErrorReachesNeitherLogNorDialog) {
  ASSERT_TRUE(run({"TRY", "X = 10 MOD 0", "EXCEPT", "PRINT TRY_ERRMSG", "ENDTRY", "PRINT \"ON\""}));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"a type isn't correct. or overflow.", "ON"}));
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(host.sounds, 0);
}

TEST_F(RunTest, TheAbortQuestionLetsTheScriptGoOnWhenAnsweredNo) {
  ASSERT_TRUE(load({"PRINT 1"}));
  CallFrame frame;
  host.abort_answer = false;
  interpreter.report_with_abort_question(frame, u"cannot reach it");
  EXPECT_EQ(host.questions, std::vector<std::string>{"cannot reach it\rDo you want to abort?"
                                                     " [Yes/No]"});
  EXPECT_FALSE(interpreter.stopped());
  EXPECT_FALSE(frame.error);
  host.abort_answer = true;
  interpreter.report_with_abort_question(frame, u"again");
  EXPECT_TRUE(interpreter.stopped());
}

TEST_F(RunTest, WithOnlyFinallyPartsTheQuestionHasJustOk) {
  ASSERT_TRUE(load({"PRINT 1"}));
  CallFrame frame;
  frame.try_stack.push_back(TryRecord{});
  frame.try_stack.back().handler_offset = 1;
  frame.count = 3;
  host.abort_answer = false;  // OK stops whatever the answer
  interpreter.report_with_abort_question(frame, u"gone");
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0], "gone [OK]");
  EXPECT_TRUE(interpreter.stopped());
}

TEST_F(RunTest, CleanupStepsRunInTheirOrderAfterTheThreadsEnded) {
  std::vector<int> order;
  interpreter.set_cleanup_step(CleanupStep::DllLibraries, [&] { order.push_back(3); });
  interpreter.set_cleanup_step(CleanupStep::Balloons, [&] { order.push_back(1); });
  interpreter.set_cleanup_step(CleanupStep::LogFile, [&] { order.push_back(2); });
  ASSERT_TRUE(run({"PRINT 1"}));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(RunTest, RepeatedRunsStartFromTheGlobalsThePrepassLeft) {
  ASSERT_TRUE(load({"PRINT N", "N = N + 1", "A[0] = A[0] + 1", "PRINT A[0]", "H[\"K\"] = H[\"K\"] + 5",
                    "PRINT H[\"K\"]", "PUBLIC N = 10", "PUBLIC A[1]", "PUBLIC HASHTBL H"}));
  interpreter.reset_between_runs(true);
  for (int repetition = 0; repetition < 2; ++repetition) {
    if (repetition > 0) interpreter.reset_between_runs(false);
    interpreter.run_main({});
    interpreter.cleanup();
  }
  EXPECT_EQ(host.lines, (std::vector<std::string>{"10", "1", "5", "10", "1", "5"}));
}

// The main script's names take fixed slots in its frame; the next run's
// frame puts them elsewhere, and its reads must find them there.
TEST_F(RunTest, RepeatedRunsFindTheirOwnSlots) {
  ASSERT_TRUE(load({"IFB PARAM_STR[0] = \"A\" THEN", "X = 1", "Y = 2", "ELSE", "Y = 20", "X = 10", "ENDIF",
                    "FOR I = 1 TO 2", "X = X + 1", "NEXT", "PRINT X + Y * 100"}));
  interpreter.reset_between_runs(true);
  for (const char16_t* argument : {u"A", u"B", u"A"}) {
    interpreter.reset_between_runs(false);
    interpreter.run_main({argument});
    interpreter.cleanup();
  }
  EXPECT_EQ(host.lines, (std::vector<std::string>{"203", "2012", "203"}));
}

TEST_F(RunTest, TheMainScriptWaitsWhileTheStopFormIsPaused) {
  host.pause_polls = 3;
  ASSERT_TRUE(run({"PRINT 1"}));
  EXPECT_EQ(host.lines, std::vector<std::string>{"1"});
  EXPECT_EQ(host.pause_polls, 0);  // every paused answer was waited out
}

}  // namespace vesk::test
