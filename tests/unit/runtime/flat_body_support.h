// The fixtures of the flat body tests: runs of one script with flat bodies
// on and off, and the error each way reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime/compiled_statement.h"
#include "engine/runtime/flat_body.h"
#include "run_support.h"

namespace vesk::test {

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

inline std::string listing(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "  " + line + "\n";
  return text;
}

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
  // have inline, plus the main script's lines in front of P. [message]
  // and [at], when given, are the error's message and the index in
  // [block] of the statement it is reported at.
  void expect_same_error(const std::vector<std::string>& block, const std::string& message = "", int at = -1) {
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
    if (!message.empty()) {
      EXPECT_EQ(in_main.message, message);
    }
    if (at >= 0) {
      EXPECT_EQ(in_main.line - 2, at) << inline_run.errors[0];
    }
  }
};

}  // namespace vesk::test
