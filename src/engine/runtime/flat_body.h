// A body as one flat list of jumps. A body made of plain statements and
// IFB, SELECT, FOR, WHILE and REPEAT blocks runs in a single loop: where
// each statement goes next is worked out once from the blocks' offsets,
// instead of each block recursing into a run of its own part. The order of
// statements run, and what runs before each, is the nested runner's.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/loader/program.h"
#include "engine/runtime/compiled_statement.h"

namespace vesk {

enum class FlatKind : uint8_t {
  Plain,   // runs as it is (also a closer landed on, as the nested runner runs it)
  Branch,  // IFB or ELSEIF: its condition picks [then_next] or [else_next]
  Select,  // SELECT: jumps to the part its selector picks
  For,     // the head of a loop: [then_next] is the body, [else_next] behind the closer
  While,
  Repeat,
  // A loop's closer, reached from the end of its body: back to [head]
  // without the checks of a statement, as a nested loop's next pass.
  Next,
  Wend,
  Until,
};

// One statement of a flat body; positions are relative to the header.
struct FlatStep {
  // Of a block statement; a plain one is compiled when it first runs.
  const CompiledStatement* statement = nullptr;
  FlatKind kind = FlatKind::Plain;
  // A Branch whose [else_next] is the ELSEIF that comes next, which runs
  // as a branch; otherwise it is a place that may be a closer.
  bool else_is_branch = false;
  int32_t then_next = -1;
  int32_t else_next = -1;
  // For ELSE, ELSEIF, CASE, DEFAULT, ENDIF and SELEND reached from the
  // statement before them (the end of a part): the statement after the
  // block. A closer is never run itself then. -1 for every other statement.
  int32_t fall_to = -1;
  int32_t head = -1;  // of a loop's closer: its loop statement
  int32_t loop = -1;  // of a FOR and its NEXT: the number of its state
};

struct FlatBody {
  std::vector<FlatStep> steps;
  int32_t for_loops = 0;  // FOR statements, each with a state while it runs
  bool empty() const { return steps.empty(); }
};

// The flat form of the body whose header is statement [header], [count]
// statements up to its FEND; empty when some statement of it needs the
// nested runner (TRY, WITH, BREAK, CONTINUE, a block that does not nest
// as the block checks make it, or a block statement that did not compile).
FlatBody flat_body(const Program& program, int32_t header, int32_t count,
                   const std::function<const CompiledStatement&(int32_t)>& compiled);

// Moves [pc] past the closers it stands on.
[[gnu::always_inline]] inline int32_t past_closers(const FlatStep* steps, int32_t pc, int32_t count) {
  while (pc < count && steps[pc].fall_to >= 0) pc = steps[pc].fall_to;
  return pc;
}

}  // namespace vesk
