// Building the flat form of a function body: the IFB blocks are followed
// with a stack of the open ones, so a body whose blocks do not nest as the
// block checks make them is left to the nested runner.
#include "engine/runtime/flat_body.h"

#include <algorithm>

namespace vesk {
namespace {

bool runs_in_place(StatementKind kind) {
  switch (kind) {
    case StatementKind::Other:
    case StatementKind::Print:
    case StatementKind::Thread:
    case StatementKind::DefDll:
    case StatementKind::Dim:
    case StatementKind::HashTbl:
    case StatementKind::Exit:
    case StatementKind::Call:
    case StatementKind::ExitExit:
    case StatementKind::ComErrIgn:
    case StatementKind::ComErrRet:
    case StatementKind::Nop:
      return true;
    default:
      return false;
  }
}

// An open IFB: its ENDIF and the next place where its current part ends
// (an ELSEIF, the ELSE or the ENDIF).
struct OpenBlock {
  int32_t endif;
  int32_t next;
};

// Fills [step] for the IFB or ELSEIF at [pc] and answers its block; an
// endif of -1 when its offsets do not fit inside the body.
OpenBlock branch_step(const CompiledStatement& s, int32_t pc, int32_t count, FlatStep& step) {
  int32_t endif = s.offsets[2] > 0 ? pc + s.offsets[2] : -1;
  int32_t otherwise = s.offsets[1] > 0 ? pc + s.offsets[1] : -1;
  int32_t elseif = s.offsets[0] > 0 ? pc + s.offsets[0] : -1;
  if (endif < 0 || endif >= count || !s.expr) return {-1, -1};
  if (otherwise >= endif || (elseif >= 0 && (elseif >= endif || (otherwise >= 0 && elseif >= otherwise))))
    return {-1, -1};
  step.branch = true;
  step.then_next = pc + 1;
  if (elseif >= 0) {
    step.else_next = elseif;
    step.else_is_branch = true;
  } else {
    step.else_next = otherwise >= 0 ? otherwise + 1 : endif;
  }
  int32_t next = endif;
  if (otherwise >= 0) next = std::min(next, otherwise);
  if (elseif >= 0) next = std::min(next, elseif);
  return {endif, next};
}

}  // namespace

std::vector<FlatStep> flat_body(const Program& program, int32_t header, int32_t count,
                                const std::function<const CompiledStatement&(int32_t)>& compiled) {
  std::vector<FlatStep> steps(static_cast<size_t>(std::max(count, 1)));
  std::vector<OpenBlock> open;
  for (int32_t pc = 1; pc < count; ++pc) {
    StatementKind kind = static_cast<StatementKind>(program.kinds[header + pc]);
    const CompiledStatement& s = compiled(header + pc);
    FlatStep& step = steps[pc];
    step.statement = &s;
    bool block_kind = kind == StatementKind::Ifb || kind == StatementKind::Else || kind == StatementKind::EndIf;
    if (block_kind && s.form == StatementForm::Marker) return {};
    if (!open.empty() && pc == open.back().endif) {
      if (kind != StatementKind::EndIf) return {};
      step.fall_to = pc + 1;
      open.pop_back();
      continue;
    }
    if (!open.empty() && pc == open.back().next) {
      // The end of a part of the open block: its ELSEIF or its ELSE.
      OpenBlock& block = open.back();
      step.fall_to = block.endif + 1;
      if (kind == StatementKind::Else) {
        block.next = block.endif;
      } else if (kind == StatementKind::Ifb) {
        OpenBlock part = branch_step(s, pc, count, step);
        if (part.endif != block.endif) return {};
        block.next = part.next;
      } else {
        return {};
      }
      continue;
    }
    if (kind == StatementKind::Ifb) {
      OpenBlock block = branch_step(s, pc, count, step);
      // A block lies inside the part it starts in.
      if (block.endif < 0 || (!open.empty() && block.endif >= open.back().next)) return {};
      open.push_back(block);
      continue;
    }
    if (!runs_in_place(kind)) return {};
  }
  if (!open.empty()) return {};
  return steps;
}

}  // namespace vesk
