// A body of plain statements and IFB, SELECT and loop blocks runs flat;
// with flat bodies off every body runs nested: both runners take the same
// statements in the same order, print the same lines and report the same
// errors at the same places.
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "flat_body_support.h"

namespace vesk::test {
namespace {

// ---------------------------------------------------------------------------
// Random nests of IFB, loop and SELECT blocks, run inline in the main script
// and as a procedure body.

// The inputs the nests branch on, A, B and C from 0 to 3, and X, which the
// nests themselves set; and the FOR variables, by their loop's label.
struct Inputs {
  int a = 0, b = 0, c = 0, x = 0;
  std::map<int, double> j;
  int of(char name) const { return name == 'A' ? a : name == 'B' ? b : name == 'C' ? c : x; }
};

// A number as PRINT shows it; the nests keep to numbers that binary
// fractions hold exactly.
std::string number_text(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

// [name] * [times] + [plus], or the number [plus] when there is no name.
struct Term {
  char name = 0;
  double times = 1, plus = 0;
  std::string text() const {
    if (!name) return number_text(plus);
    std::string t(1, name);
    if (times != 1) t += " * " + number_text(times);
    if (plus > 0) t += " + " + number_text(plus);
    if (plus < 0) t += " - " + number_text(-plus);
    return t;
  }
  double value(const Inputs& in) const { return name ? in.of(name) * times + plus : plus; }
};

Term number(double v) { return {0, 1, v}; }
Term named(char name, double times = 1, double plus = 0) { return {name, times, plus}; }

// The ranges of the FOR loops: negative and fractional steps, a step that
// passes the end without meeting it, none or one pass, bounds and steps
// read from the inputs, and an end read from X, which the body may change
// (the end is taken once).
struct Range {
  Term from, to, by;
  bool stepped = false;
};
const Range k_ranges[] = {
    {number(1), number(2), number(1), false},          {number(3), number(1), number(-1), true},
    {number(0), number(1), number(0.5), true},         {number(1), number(10), number(4), true},
    {number(2), number(-1), number(-1.5), true},       {number(0), number(0.6), number(0.25), true},
    {number(5), number(1), number(1), false},          {number(1), number(1), number(1), false},
    {named('A'), number(2), number(1), false},         {number(0), named('B'), number(1.5), true},
    {named('C'), number(0), number(-2), true},         {number(1), number(3), named('A', 1, 1), true},
    {named('X'), named('X', 1, 1), number(0.5), true}, {number(2), number(0), named('B', -1, -1), true},
};
constexpr int k_range_count = sizeof k_ranges / sizeof k_ranges[0];

const Term k_selectors[] = {named('A'), named('B'), named('X'), named('C', 0.5), named('A', 1, 1), named('B', 2, -1)};
constexpr int k_selector_count = sizeof k_selectors / sizeof k_selectors[0];

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

// A value of a CASE: a number term against a number selector, a
// condition against SELECT TRUE.
struct CaseValue {
  Term term;
  Condition condition;
};

struct Item {
  enum Kind { Say, SayX, SetX, AddX, Block, OneLine, Loop, EndAll, While, Repeat, Select, SetJ } kind = Say;
  int label = 0;
  int amount = 0;
  // Block: the IFB's and each ELSEIF's condition, one part each, and the
  // ELSE part last when there is one. OneLine: its condition; [amount] > 0
  // gives it an ELSE part "X = X + amount". Loop: parts[0] is the body of
  // a FOR over k_ranges[range]. While and Repeat: parts[0] runs at most
  // [amount] times, fewer when conditions[0] (if any) says so. SetJ: adds
  // 10 to the variable of the enclosing FOR loop [label].
  std::vector<Condition> conditions;
  std::vector<std::vector<Item>> parts;
  bool has_else = false;
  bool then_word = true;
  int range = 0;
  // Select: one part for each CASE, with its values, and for the DEFAULT
  // at [default_at] (-1 for none), which may come before some CASE.
  Term selector;
  bool select_true = false;
  std::vector<std::vector<CaseValue>> cases;
  int default_at = -1;
};

// What a nest has besides statements that run in place and IFB blocks.
enum class Extra {
  None,
  Loop,    // a FOR loop in some part
  EndAll,  // EXITEXIT inside some block: the run stops there
  Blocks,  // FOR, WHILE, REPEAT and SELECT blocks, in each other and in IFB parts
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
      Item first = m_extra == Extra::Blocks && below(2) == 0 ? compound(0) : block(0);
      top.insert(top.begin() + static_cast<long>(below(static_cast<int>(top.size()) + 1)), first);
      if (m_extra == Extra::None || m_extras > (m_extra == Extra::Blocks ? 1 : 0)) return top;
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
    if (m_extra == Extra::Blocks && depth < k_max_depth && roll >= 84) return compound(depth);
    if (m_extra == Extra::Blocks && !m_fors.empty() && roll >= 76 && roll < 84) {
      it.kind = Item::SetJ;
      it.label = m_fors[static_cast<size_t>(below(static_cast<int>(m_fors.size())))];
      return it;
    }
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

  // A loop of any kind, or a SELECT; no more than two loops inside one
  // another, so that the passes stay few.
  Item compound(int depth) {
    ++m_extras;
    Item it;
    it.label = ++m_labels;
    int kind = m_loops < 2 ? below(4) : 3;
    if (kind == 3) return select(depth, it);
    it.kind = kind == 0 ? Item::Loop : kind == 1 ? Item::While : Item::Repeat;
    if (kind == 0) it.range = below(k_range_count);
    else it.amount = kind == 1 ? below(4) : 1 + below(3);
    if (kind != 0 && below(3) == 0) it.conditions.push_back(condition());
    ++m_loops;
    if (kind == 0) m_fors.push_back(it.label);
    it.parts.push_back(part(depth + 1));
    if (kind == 0) m_fors.pop_back();
    --m_loops;
    return it;
  }

  Item select(int depth, Item& it) {
    it.kind = Item::Select;
    it.select_true = below(4) == 0;
    it.selector = k_selectors[below(k_selector_count)];
    int count = 1 + below(3);
    if (below(2) == 0) it.default_at = below(count + 1);
    for (int i = 0; i < count + (it.default_at >= 0 ? 1 : 0); ++i) {
      std::vector<CaseValue> values;
      int n = i == it.default_at ? 0 : below(3) == 0 ? 2 + below(2) : 1;
      for (int k = 0; k < n; ++k) values.push_back(case_value());
      it.cases.push_back(std::move(values));
      it.parts.push_back(part(depth + 1));
    }
    return it;
  }

  // Mostly whole numbers near the selectors' values; some halves, and some
  // terms read from the inputs.
  CaseValue case_value() {
    CaseValue v;
    v.condition = condition();
    int roll = below(10);
    if (roll < 6) v.term = number(below(5));
    else if (roll < 7) v.term = number(below(2) == 0 ? 0.5 : 1.5);
    else v.term = named("ABCX"[below(4)], 1 + below(2), below(3) - 1);
    return v;
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
  int m_loops = 0;          // loops open where the next item goes
  std::vector<int> m_fors;  // the labels of the FOR loops open there
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
      case Item::Loop: {
        const Range& r = k_ranges[it.range];
        std::string j = "J" + std::to_string(it.label);
        out.push_back("FOR " + j + " = " + r.from.text() + " TO " + r.to.text() +
                      (r.stepped ? " STEP " + r.by.text() : ""));
        out.push_back("PRINT \"P" + std::to_string(it.label) + " \" + " + j);
        emit(it.parts[0], out);
        out.push_back("NEXT");
        out.push_back("PRINT \"P" + std::to_string(it.label) + " out \" + " + j);
        break;
      }
      case Item::SetJ: {
        std::string j = "J" + std::to_string(it.label);
        out.push_back(j + " = " + j + " + 10");
        break;
      }
      case Item::While:
      case Item::Repeat: {
        bool w = it.kind == Item::While;
        std::string n = (w ? "W" : "R") + std::to_string(it.label);
        std::string ends = w ? n + " < " + std::to_string(it.amount) : n + " >= " + std::to_string(it.amount);
        if (!it.conditions.empty()) ends = "(" + ends + (w ? ") AND (" : ") OR (") + it.conditions[0].text() + ")";
        out.push_back(n + " = 0");
        out.push_back(w ? "WHILE " + ends : "REPEAT");
        out.push_back(n + " = " + n + " + 1");
        out.push_back("PRINT " + label);
        emit(it.parts[0], out);
        out.push_back(w ? "WEND" : "UNTIL " + ends);
        break;
      }
      case Item::Select:
        out.push_back("SELECT " + (it.select_true ? std::string("TRUE") : it.selector.text()));
        for (size_t i = 0; i < it.parts.size(); ++i) {
          if (static_cast<int>(i) == it.default_at) {
            out.push_back("DEFAULT");
          } else {
            std::string values;
            for (const CaseValue& v : it.cases[i])
              values += (values.empty() ? "" : ", ") + (it.select_true ? v.condition.text() : v.term.text());
            out.push_back("CASE " + values);
          }
          emit(it.parts[i], out);
        }
        out.push_back("SELEND");
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
      case Item::Loop: {
        // The end and the step are taken once, after the first value is
        // set; each pass goes on from the value it began with.
        const Range& r = k_ranges[it.range];
        double& j = in.j[it.label];
        j = r.from.value(in);
        double end = r.to.value(in), step = r.stepped ? r.by.value(in) : 1;
        while (step > 0 ? j <= end : j >= end) {
          double begun = j;
          out.push_back(label + " " + number_text(begun));
          if (!trace(it.parts[0], in, out)) return false;
          j = begun + step;
        }
        out.push_back(label + " out " + number_text(j));
        break;
      }
      case Item::SetJ: in.j[it.label] += 10; break;
      case Item::While:
      case Item::Repeat: {
        auto go_on = [&](int passes) {
          bool more = passes < it.amount;
          if (it.conditions.empty()) return more;
          return it.kind == Item::While ? more && it.conditions[0].holds(in) : more && !it.conditions[0].holds(in);
        };
        int passes = 0;
        if (it.kind == Item::While && !go_on(passes)) break;
        do {
          ++passes;
          out.push_back(label);
          if (!trace(it.parts[0], in, out)) return false;
        } while (go_on(passes));
        break;
      }
      case Item::Select: {
        // The first CASE with a value equal to the selector, else DEFAULT.
        int taken = it.default_at;
        double selector = it.selector.value(in);
        for (size_t i = 0; i < it.parts.size() && taken == it.default_at; ++i)
          for (const CaseValue& v : it.cases[i])
            if (it.select_true ? v.condition.holds(in) : v.term.value(in) == selector) {
              taken = static_cast<int>(i);
              break;
            }
        if (taken >= 0 && !trace(it.parts[static_cast<size_t>(taken)], in, out)) return false;
        break;
      }
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
        Inputs in{a, b, c, 0, {}};
        if (!trace(nest, in, out)) return out;
        out.push_back(std::to_string(in.x));
      }
  return out;
}

class FlatBodyNests : public FlatBody {
 protected:
  // Runs [nest] inline in the main script's loops with the nested runner
  // and as the flat body of P(A, B, C) called from the same loops.
  void run_both_ways(const std::vector<Item>& nest) {
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
      run_both_ways(NestMaker(seed + static_cast<uint32_t>(i), extra).make());
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

// FOR loops over every range of k_ranges, WHILE and REPEAT loops, SELECT
// blocks with several values to a CASE and DEFAULT anywhere, in each other
// and in IFB parts; FOR variables changed inside their loops.
TEST_F(FlatBodyNests, RandomNestsOfLoopsAndSelectBlocks) { run_many(31000u, 300, Extra::Blocks); }

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
