// A function body as one flat list of jumps. A body made only of plain
// statements and IFB blocks runs in a single loop: where each statement
// goes next is worked out once from the blocks' offsets, instead of each
// block recursing into a run of its own part. The order of statements run,
// and what runs before each, is the nested runner's.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/loader/program.h"
#include "engine/runtime/compiled_statement.h"

namespace vesk {

// One statement of a flat body; positions are relative to the header.
struct FlatStep {
  const CompiledStatement* statement = nullptr;
  // IFB or ELSEIF: its condition picks [then_next] or [else_next].
  bool branch = false;
  // [else_next] is the ELSEIF that comes next, which runs as a branch;
  // otherwise it is a place that may be a closer (see [fall_to]).
  bool else_is_branch = false;
  int32_t then_next = -1;
  int32_t else_next = -1;
  // For ELSE, ELSEIF and ENDIF reached from the statement before them (the
  // end of a part): the statement after the block's ENDIF. A closer is
  // never run itself. -1 for every other statement.
  int32_t fall_to = -1;
};

// The flat form of the body of the function whose header is statement
// [header], [count] statements up to its FEND; empty when some statement
// of it needs the nested runner (a loop, SELECT, TRY, WITH, BREAK,
// CONTINUE or a block that does not nest as it should).
std::vector<FlatStep> flat_body(const Program& program, int32_t header, int32_t count,
                                const std::function<const CompiledStatement&(int32_t)>& compiled);

// Moves [pc] past the closers it stands on.
[[gnu::always_inline]] inline int32_t past_closers(const FlatStep* steps, int32_t pc, int32_t count) {
  while (pc < count && steps[pc].fall_to >= 0) pc = steps[pc].fall_to;
  return pc;
}

}  // namespace vesk
