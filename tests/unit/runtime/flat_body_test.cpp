// A body of plain statements and IFB, SELECT and loop blocks runs flat;
// with flat bodies off every body runs nested: both runners take the same
// statements in the same order, print the same lines and report the same
// errors at the same places.
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/runtime/compiled_statement.h"
#include "engine/runtime/flat_body.h"
#include "run_support.h"

namespace vesk::test {
namespace {

class FlatBody : public RunTest {
 protected:
  struct Outcome {
    std::vector<std::string> lines, errors;
  };

  // Runs a fresh load of [body] and [functions]; the host's records start
  // empty for it. [flat] false runs every body nested.
  Outcome outcome_of(const std::vector<std::string>& body, const std::vector<std::string>& functions = {},
                     bool flat = true) {
    interpreter.set_flat_bodies(flat);
    host.lines.clear();
    host.errors.clear();
    EXPECT_TRUE(run(body, functions)) << load_error;
    return {host.lines, host.errors};
  }

  // Whether function [name] of the loaded script has a flat body; the
  // cases below check it, so that they compare the two runners and not the
  // nested one with itself.
  bool runs_flat(const std::u16string& name) {
    const Program& program = interpreter.program();
    int32_t function = program.find_function(name);
    if (function < 0) return false;
    int32_t header = program.functions[function].header;
    int32_t count = 1;
    while (header + count < static_cast<int32_t>(program.code.size()) &&
           program.kinds[header + count] != static_cast<int32_t>(StatementKind::Fend))
      ++count;
    std::vector<std::unique_ptr<CompiledStatement>> made(static_cast<size_t>(count));
    auto compiled = [&](int32_t statement) -> const CompiledStatement& {
      std::unique_ptr<CompiledStatement>& s = made[static_cast<size_t>(statement - header)];
      if (!s) s = compile_statement(program.code[statement], program.kinds[statement]);
      return *s;
    };
    return !flat_body(program, header, count, compiled).empty();
  }
};

std::string listing(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "  " + line + "\n";
  return text;
}

// ---------------------------------------------------------------------------
// Random IFB nests, run inline in the main script and as a procedure body.

// The inputs the nests branch on, A, B and C from 0 to 3, and X, which the
// nests themselves set.
struct Inputs {
  int a = 0, b = 0, c = 0, x = 0;
  int of(char name) const { return name == 'A' ? a : name == 'B' ? b : name == 'C' ? c : x; }
};

struct Comparison {
  char name = 'A';
  int op = 0;  // =, <>, <, >, <=, >=
  int k = 0;
  std::string text() const {
    static const char* const ops[] = {"=", "<>", "<", ">", "<=", ">="};
    return std::string(1, name) + " " + ops[op] + " " + std::to_string(k);
  }
  bool holds(const Inputs& in) const {
    int v = in.of(name);
    switch (op) {
      case 0: return v == k;
      case 1: return v != k;
      case 2: return v < k;
      case 3: return v > k;
      case 4: return v <= k;
      default: return v >= k;
    }
  }
};

struct Condition {
  Comparison first, second;
  int join = 0;  // 0 alone, 1 AND, 2 OR
  std::string text() const {
    if (join == 0) return first.text();
    return "(" + first.text() + (join == 1 ? ") AND (" : ") OR (") + second.text() + ")";
  }
  bool holds(const Inputs& in) const {
    if (join == 0) return first.holds(in);
    return join == 1 ? first.holds(in) && second.holds(in) : first.holds(in) || second.holds(in);
  }
};

struct Item {
  enum Kind { Say, SayX, SetX, AddX, Block, OneLine, Loop, EndAll } kind = Say;
  int label = 0;
  int amount = 0;
  // Block: the IFB's and each ELSEIF's condition, one part each, and the
  // ELSE part last when there is one. OneLine: its condition; [amount] > 0
  // gives it an ELSE part "X = X + amount". Loop: parts[0] runs twice.
  std::vector<Condition> conditions;
  std::vector<std::vector<Item>> parts;
  bool has_else = false;
  bool then_word = true;
};

// What a nest has besides statements that run in place and IFB blocks.
enum class Extra {
  None,
  Loop,    // a FOR loop in some part
  EndAll,  // EXITEXIT inside some block: the run stops there
};

class NestMaker {
 public:
  NestMaker(uint32_t seed, Extra extra) : m_rng(seed), m_extra(extra) {}

  // The top part: one to three items, a block among them; with the extra
  // somewhere when one is asked for.
  std::vector<Item> make() {
    for (;;) {
      m_extras = 0;
      std::vector<Item> top = part(0, 1);
      top.insert(top.begin() + static_cast<long>(below(static_cast<int>(top.size()) + 1)), block(0));
      if (m_extra == Extra::None || m_extras > 0) return top;
    }
  }

 private:
  static constexpr int k_max_depth = 4;

  int below(int n) { return static_cast<int>(m_rng() % static_cast<uint32_t>(n)); }

  Comparison comparison() {
    Comparison c;
    c.name = "AABBCCX"[below(7)];
    c.op = below(6);
    // Order comparisons against the middle of 0..3 hold about half the time.
    c.k = c.op < 2 ? below(4) : 1 + below(2);
    return c;
  }
  Condition condition() {
    Condition c;
    c.first = comparison();
    c.join = below(4) == 0 ? (below(3) == 0 ? 1 : 2) : 0;
    if (c.join) c.second = comparison();
    return c;
  }

  std::vector<Item> part(int depth, int max_items = 3) {
    std::vector<Item> items;
    int n = below(5) == 0 ? 0 : 1 + below(max_items);
    for (int i = 0; i < n; ++i) items.push_back(item(depth));
    return items;
  }

  Item item(int depth) {
    int roll = below(100);
    Item it;
    if (depth < k_max_depth && roll < 28) return block(depth);
    if (m_extra == Extra::Loop && depth < k_max_depth && roll >= 92) {
      ++m_extras;
      it.kind = Item::Loop;
      it.label = ++m_labels;
      it.parts.push_back(part(depth + 1));
      return it;
    }
    // Deeper down, so that most inputs get past it.
    if (m_extra == Extra::EndAll && depth >= 2 && roll >= 96) {
      ++m_extras;
      it.kind = Item::EndAll;
      return it;
    }
    if (roll < 60) {
      it.kind = Item::Say;
      it.label = ++m_labels;
    } else if (roll < 66) {
      it.kind = Item::SayX;
    } else if (roll < 72) {
      it.kind = Item::SetX;
      it.amount = below(4);
    } else if (roll < 82) {
      it.kind = Item::AddX;
      it.amount = 1 + below(2);
    } else {
      it.kind = Item::OneLine;
      it.label = ++m_labels;
      it.conditions.push_back(condition());
      it.amount = below(2) == 0 ? 0 : 1 + below(2);
    }
    return it;
  }

  Item block(int depth) {
    Item it;
    it.kind = Item::Block;
    it.then_word = below(3) != 0;
    int elseifs = below(3) == 0 ? 0 : below(3);
    it.has_else = below(2) == 0;
    for (int i = 0; i <= elseifs; ++i) {
      it.conditions.push_back(condition());
      it.parts.push_back(part(depth + 1));
    }
    if (it.has_else) it.parts.push_back(part(depth + 1));
    return it;
  }

  std::mt19937 m_rng;
  Extra m_extra;
  int m_extras = 0;
  int m_labels = 0;
};

void emit(const std::vector<Item>& items, std::vector<std::string>& out) {
  for (const Item& it : items) {
    std::string label = "\"P" + std::to_string(it.label) + "\"";
    switch (it.kind) {
      case Item::Say: out.push_back("PRINT " + label); break;
      case Item::SayX: out.push_back("PRINT X"); break;
      case Item::SetX: out.push_back("X = " + std::to_string(it.amount)); break;
      case Item::AddX: out.push_back("X = X + " + std::to_string(it.amount)); break;
      case Item::EndAll: out.push_back("EXITEXIT"); break;
      case Item::OneLine:
        out.push_back("IF " + it.conditions[0].text() + " THEN PRINT " + label +
                      (it.amount > 0 ? " ELSE X = X + " + std::to_string(it.amount) : ""));
        break;
      case Item::Loop:
        out.push_back("FOR J" + std::to_string(it.label) + " = 1 TO 2");
        out.push_back("PRINT " + label);
        emit(it.parts[0], out);
        out.push_back("NEXT");
        break;
      case Item::Block:
        for (size_t i = 0; i < it.conditions.size(); ++i) {
          out.push_back((i == 0 ? "IFB " : "ELSEIF ") + it.conditions[i].text() + (it.then_word ? " THEN" : ""));
          emit(it.parts[i], out);
        }
        if (it.has_else) {
          out.push_back("ELSE");
          emit(it.parts.back(), out);
        }
        out.push_back("ENDIF");
        break;
    }
  }
}

// What the nest prints for [in], worked out here; false once it reached
// EXITEXIT.
bool trace(const std::vector<Item>& items, Inputs& in, std::vector<std::string>& out) {
  for (const Item& it : items) {
    std::string label = "P" + std::to_string(it.label);
    switch (it.kind) {
      case Item::Say: out.push_back(label); break;
      case Item::SayX: out.push_back(std::to_string(in.x)); break;
      case Item::SetX: in.x = it.amount; break;
      case Item::AddX: in.x += it.amount; break;
      case Item::EndAll: return false;
      case Item::OneLine:
        if (it.conditions[0].holds(in)) out.push_back(label);
        else in.x += it.amount;
        break;
      case Item::Loop:
        for (int pass = 0; pass < 2; ++pass) {
          out.push_back(label);
          if (!trace(it.parts[0], in, out)) return false;
        }
        break;
      case Item::Block: {
        size_t taken = it.parts.size();  // none
        for (size_t i = 0; i < it.conditions.size() && taken == it.parts.size(); ++i)
          if (it.conditions[i].holds(in)) taken = i;
        if (taken == it.parts.size() && it.has_else) taken = it.parts.size() - 1;
        if (taken < it.parts.size() && !trace(it.parts[taken], in, out)) return false;
        break;
      }
    }
  }
  return true;
}

// The inputs come from three loops; each pass prints them first.
const std::vector<std::string> k_loop_heads{"FOR A = 0 TO 3", "FOR B = 0 TO 3", "FOR C = 0 TO 3",
                                            "PRINT A * 100 + B * 10 + C"};
const std::vector<std::string> k_loop_ends{"NEXT", "NEXT", "NEXT"};

// The nest as its own lines: X starts at 0 and is printed at the end.
std::vector<std::string> nest_lines(const std::vector<Item>& nest) {
  std::vector<std::string> lines{"X = 0"};
  emit(nest, lines);
  lines.push_back("PRINT X");
  return lines;
}

std::vector<std::string> expected_trace(const std::vector<Item>& nest) {
  std::vector<std::string> out;
  for (int a = 0; a <= 3; ++a)
    for (int b = 0; b <= 3; ++b)
      for (int c = 0; c <= 3; ++c) {
        out.push_back(std::to_string(a * 100 + b * 10 + c));
        Inputs in{a, b, c, 0};
        if (!trace(nest, in, out)) return out;
        out.push_back(std::to_string(in.x));
      }
  return out;
}

class FlatBodyNests : public FlatBody {
 protected:
  // Runs [nest] inline in the main script's loops with the nested runner
  // and as the flat body of P(A, B, C) called from the same loops.
  void run_both_ways(const std::vector<Item>& nest, Extra) {
    std::vector<std::string> block = nest_lines(nest);
    std::vector<std::string> inline_body = k_loop_heads;
    inline_body.insert(inline_body.end(), block.begin(), block.end());
    inline_body.insert(inline_body.end(), k_loop_ends.begin(), k_loop_ends.end());
    std::vector<std::string> call_body = k_loop_heads;
    call_body.push_back("P(A, B, C)");
    call_body.insert(call_body.end(), k_loop_ends.begin(), k_loop_ends.end());
    std::vector<std::string> procedure{"PROCEDURE P(A, B, C)"};
    procedure.insert(procedure.end(), block.begin(), block.end());
    procedure.push_back("FEND");

    SCOPED_TRACE(listing(block));
    Outcome inline_run = outcome_of(inline_body, {}, false);
    Outcome called = outcome_of(call_body, procedure);
    ASSERT_TRUE(runs_flat(u"P"));
    EXPECT_EQ(inline_run.errors, std::vector<std::string>{});
    EXPECT_EQ(called.errors, std::vector<std::string>{});
    // The trace worked out here holds the inline run to what the nest
    // means, so that a nest both runners get wrong alike does not pass.
    std::vector<std::string> expected = expected_trace(nest);
    EXPECT_EQ(inline_run.lines, expected);
    EXPECT_EQ(called.lines, inline_run.lines);
  }

  void run_many(uint32_t seed, int count, Extra extra) {
    for (int i = 0; i < count; ++i) {
      SCOPED_TRACE("nest " + std::to_string(i) + " of seed " + std::to_string(seed));
      run_both_ways(NestMaker(seed + static_cast<uint32_t>(i), extra).make(), extra);
      if (HasFailure()) return;  // one listing is enough to go on
    }
  }
};

TEST_F(FlatBodyNests, RandomIfbNestsPrintTheSameInAProcedureAsInline) { run_many(20240611u, 300, Extra::None); }

TEST_F(FlatBodyNests, RandomNestsWithALoopInside) { run_many(7001u, 40, Extra::Loop); }

// EXITEXIT stops the run from inside the procedure's blocks at the same
// statement as inline: nothing after it prints, in the procedure or in the
// loops that called it.
TEST_F(FlatBodyNests, RandomNestsThatEndTheRunStopAtTheSameStatement) { run_many(9100u, 60, Extra::EndAll); }

// ---------------------------------------------------------------------------

TEST_F(FlatBody, ExitInsideNestedBlocksEndsTheFunctionWithTheResultSoFar) {
  std::vector<std::string> f{"FUNCTION F(N)",
                             "RESULT = \"start\"",
                             "IFB N >= 1 THEN",
                             "RESULT = \"a\"",
                             "IFB N = 1 THEN",
                             "EXIT",
                             "ELSEIF N = 2 THEN",
                             "RESULT = \"b\"",
                             "IFB N > 0 THEN",
                             "RESULT = \"c\"",
                             "EXIT",
                             "RESULT = \"x1\"",
                             "ENDIF",
                             "RESULT = \"x2\"",
                             "ELSE",
                             "RESULT = \"d\"",
                             "IF N = 3 THEN EXIT ELSE RESULT = \"e\"",
                             "PRINT \"past the one-line IF\"",
                             "ENDIF",
                             "PRINT \"past the inner block\"",
                             "ENDIF",
                             "PRINT \"end\"",
                             "RESULT = RESULT + \"!\"",
                             "FEND"};
  // Each call after the first takes the frame the one before gave back.
  Outcome out = outcome_of({"FOR I = 0 TO 4", "PRINT F(I)", "NEXT", "PRINT F(2) + F(0)"}, f);
  ASSERT_TRUE(runs_flat(u"F"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines, (std::vector<std::string>{"end", "start!", "a", "c", "d", "past the one-line IF",
                                                 "past the inner block", "end", "e!", "end", "cstart!"}));
}

// ---------------------------------------------------------------------------
// Errors inside a flat body's nested parts.

class FlatBodyErrors : public FlatBody {
 protected:
  struct Place {
    int line = -1;
    std::string message, source;
  };
  // "message | at line N: source"
  static Place place_of(const std::string& error) {
    Place p;
    size_t bar = error.find(" | at line ");
    if (bar == std::string::npos) return p;
    p.message = error.substr(0, bar);
    size_t number = bar + 11;
    size_t colon = error.find(": ", number);
    p.line = std::stoi(error.substr(number, colon - number));
    p.source = error.substr(colon + 2);
    return p;
  }

  // Runs [block], which reads A, with A = 2 three ways: inline in the
  // main script with the nested runner, as the flat body of P(A), and as
  // P's body run nested. The block's lines have the numbers in P they
  // have inline, plus the main script's lines in front of P.
  void expect_same_error(const std::vector<std::string>& block) {
    SCOPED_TRACE(listing(block));
    std::vector<std::string> inline_body{"A = 2"};
    inline_body.insert(inline_body.end(), block.begin(), block.end());
    inline_body.push_back("PRINT \"after\"");
    Outcome inline_run = outcome_of(inline_body, {}, false);

    std::vector<std::string> call_body{"P(2)", "PRINT \"after\""};
    std::vector<std::string> procedure{"PROCEDURE P(A)"};
    procedure.insert(procedure.end(), block.begin(), block.end());
    procedure.push_back("FEND");
    Outcome flat_run = outcome_of(call_body, procedure);
    ASSERT_TRUE(runs_flat(u"P"));
    Outcome nested_run = outcome_of(call_body, procedure, false);

    ASSERT_EQ(inline_run.errors.size(), 1u);
    EXPECT_EQ(flat_run.errors, nested_run.errors);
    ASSERT_EQ(flat_run.errors.size(), 1u);
    EXPECT_EQ(flat_run.lines, inline_run.lines);
    EXPECT_EQ(flat_run.lines, nested_run.lines);

    // Inline, block line j is run-text line 2 + j; in P it is line
    // call_body.size() + 2 + j.
    Place in_main = place_of(inline_run.errors[0]);
    Place in_flat = place_of(flat_run.errors[0]);
    ASSERT_GE(in_main.line, 0) << inline_run.errors[0];
    ASSERT_GE(in_flat.line, 0) << flat_run.errors[0];
    EXPECT_EQ(in_flat.message, in_main.message);
    EXPECT_EQ(in_flat.source, in_main.source);
    EXPECT_EQ(in_flat.line - static_cast<int>(call_body.size()) - 2, in_main.line - 2);
  }
};

TEST_F(FlatBodyErrors, AnUndefinedFunctionInAnElseifPartsInnerBlock) {
  expect_same_error({"IFB A = 1 THEN", "PRINT \"one\"", "ELSEIF A = 2 THEN", "PRINT \"two\"", "IFB A > 0 THEN",
                     "X = NOSUCH(A)", "PRINT \"not here\"", "ENDIF", "PRINT \"nor here\"", "ELSE", "PRINT \"else\"",
                     "ENDIF", "PRINT \"end\""});
}

TEST_F(FlatBodyErrors, AFailingElseifConditionAfterAFalseOne) {
  expect_same_error({"IFB A = 1 THEN", "PRINT \"one\"", "ELSEIF A MOD 0 = 1 THEN", "PRINT \"not here\"", "ELSE",
                     "PRINT \"nor here\"", "ENDIF", "PRINT \"end\""});
  expect_same_error({"PRINT \"start\"", "IFB A = 1 THEN", "PRINT \"one\"", "ELSEIF A = 3 THEN", "PRINT \"three\"",
                     "ELSEIF NOSUCH(A) > 0", "PRINT \"not here\"", "ENDIF", "PRINT \"end\""});
}

TEST_F(FlatBodyErrors, AFailingConditionOfABlockInsideAnElsePart) {
  expect_same_error({"IFB A = 1 THEN", "PRINT \"one\"", "ELSE", "PRINT \"else\"", "IFB A > 1 THEN",
                     "IFB A / \"Z\" > 0 THEN", "PRINT \"not here\"", "ENDIF", "PRINT \"nor here\"", "ENDIF", "ENDIF"});
}

TEST_F(FlatBodyErrors, AnUndefinedVariableInAOneLineIfsElse) {
  expect_same_error({"IFB A > 0 THEN", "IF A = 1 THEN PRINT \"one\" ELSE PRINT Q", "PRINT \"not here\"", "ENDIF"});
}

TEST_F(FlatBodyErrors, AnErrorTakenByTheCallersTryEndsTheBodyAlike) {
  std::vector<std::string> body{"TRY", "P(2)", "EXCEPT", "PRINT TRY_ERRMSG", "PRINT TRY_ERRLINE", "ENDTRY",
                                "PRINT \"on\""};
  std::vector<std::string> block{"PROCEDURE P(A)", "IFB A = 1 THEN", "PRINT \"one\"", "ELSEIF A = 2 THEN",
                                 "PRINT \"two\"", "X = NOSUCH(A)", "PRINT \"not here\"", "ENDIF", "PRINT \"nor here\""};
  block.push_back("FEND");
  Outcome flat_run = outcome_of(body, block);
  ASSERT_TRUE(runs_flat(u"P"));
  Outcome nested_run = outcome_of(body, block, false);
  EXPECT_EQ(flat_run.errors, std::vector<std::string>{});
  EXPECT_EQ(flat_run.lines, nested_run.lines);
  ASSERT_EQ(flat_run.lines.size(), 4u) << listing(flat_run.lines);
  EXPECT_EQ(flat_run.lines[0], "two");
  EXPECT_EQ(flat_run.lines[1], "SyntaxError-25");
  EXPECT_EQ(flat_run.lines[3], "on");
}

// ---------------------------------------------------------------------------
// Recursion through flat bodies.

TEST_F(FlatBody, RecursionThroughIfbAndElseifGivesTheRightValues) {
  Outcome out = outcome_of({"PRINT FIB(15)", "PRINT FIB(20)", "PRINT FIB(1)", "PRINT FIB(0)", "PRINT FIBE(15)"},
                           {"FUNCTION FIB(N)", "IFB N < 2 THEN", "RESULT = N", "ELSE",
                            "RESULT = FIB(N - 1) + FIB(N - 2)", "ENDIF", "FEND",
                            // The same through an ELSEIF chain, the calls one per statement.
                            "FUNCTION FIBE(N)", "IFB N = 0 THEN", "RESULT = 0", "ELSEIF N = 1 THEN", "RESULT = 1",
                            "ELSE", "A = FIBE(N - 1)", "B = FIBE(N - 2)", "RESULT = A + B", "ENDIF", "FEND"});
  ASSERT_TRUE(runs_flat(u"FIB"));
  ASSERT_TRUE(runs_flat(u"FIBE"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines, (std::vector<std::string>{"610", "6765", "1", "0", "610"}));
}

TEST_F(FlatBody, EndlessRecursionThroughAnElseifReportsTheCallsTooDeep) {
  // In a script thread, whose stack budget fits every test program.
  std::vector<std::string> body{"THREAD P()", "WHILE TRUE", "SLEEP(0.01)", "WEND"};
  Outcome out = outcome_of(body, {"PROCEDURE P()", "PRINT R(0)", "FEND", "FUNCTION R(N)", "IFB N < 0 THEN",
                                  "RESULT = 0", "ELSEIF N >= 0 THEN", "RESULT = R(N + 1)", "ENDIF", "FEND"});
  ASSERT_TRUE(runs_flat(u"R"));
  // "RESULT = R(N + 1)" is function line 7: run-text line 4 + 1 + 7.
  EXPECT_EQ(out.errors, std::vector<std::string>{"The calls nest too deep (out of stack): R | at line 12: "
                                                 "RESULT = R(N + 1)"});
  EXPECT_EQ(out.lines, std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// Calls of functions with plain parameters.

TEST_F(FlatBody, MissingAndEmptyArgumentsAreEmptyOnEveryCall) {
  // VARTYPE: 0 for Empty, 5 for a number. Every call after the first takes
  // the frame given back by the one before, with the values it was passed.
  Outcome out = outcome_of({"PRINT F(1, 2, 3)", "PRINT F(1)", "PRINT F(1, 2, 3)", "PRINT F(1, , 3)", "PRINT F(, 2)",
                            "PRINT F(1, 2, 3)", "PRINT F(, , 3)", "PRINT F(4, 5)"},
                           {"FUNCTION F(A, B, C)", "IFB VARTYPE(C) = 0 THEN", "C = 0", "ELSE", "C = C * 100", "ENDIF",
                            "RESULT = VARTYPE(A) * 1000 + VARTYPE(B) * 100 + C", "FEND"});
  ASSERT_TRUE(runs_flat(u"F"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines, (std::vector<std::string>{"5800", "5000", "5800", "5300", "500", "5800", "300", "5500"}));
}

TEST_F(FlatBody, ARecycledFrameHasNoneOfTheLocalsOfTheCallBefore) {
  // G(1) declares L and the array D; G(2) declares them again with DIM,
  // which keeps what a name already holds: they must come as new.
  Outcome out = outcome_of({"PRINT G(1)", "PRINT G(2)", "PRINT G(1)", "TRY", "PRINT G(3)", "EXCEPT",
                            "PRINT TRY_ERRMSG", "ENDTRY", "PRINT G(2)"},
                           {"FUNCTION G(N)", "IFB N = 1 THEN", "L = 42", "DIM D[3]", "D[1] = 7",
                            "RESULT = L * 10 + D[1]", "ELSEIF N = 2 THEN", "DIM L", "DIM D[3]",
                            "RESULT = VARTYPE(L) * 10 + VARTYPE(D[1])", "ELSE", "RESULT = L", "ENDIF", "FEND"});
  ASSERT_TRUE(runs_flat(u"G"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines, (std::vector<std::string>{"427", "0", "427", "It isn't defined: L", "0"}));
}

TEST_F(FlatBody, ACallOfItselfLeavesTheCallersParametersAndLocals) {
  Outcome out = outcome_of(
      {"PRINT S(3, 0)", "PRINT S(3, 0)", "PRINT T(3)"},
      {"FUNCTION S(N, M)", "IFB N > 0 THEN", "K = N * 10", "RESULT = S(N - 1, M + 1) + N",
       "PRINT N * 10000 + M * 100 + K", "ELSE", "RESULT = M", "ENDIF", "FEND",
       // The call of itself in an ELSEIF condition.
       "FUNCTION T(N)", "IFB N = 0 THEN", "RESULT = 0", "ELSEIF T(N - 1) >= 0 THEN", "PRINT N", "RESULT = N * 2",
       "ENDIF", "FEND"});
  ASSERT_TRUE(runs_flat(u"S"));
  ASSERT_TRUE(runs_flat(u"T"));
  EXPECT_EQ(out.errors, std::vector<std::string>{});
  EXPECT_EQ(out.lines, (std::vector<std::string>{"10210", "20120", "30030", "9", "10210", "20120", "30030", "9", "1",
                                                 "2", "3", "6"}));
}

}  // namespace
}  // namespace vesk::test
