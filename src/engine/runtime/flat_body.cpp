// Building the flat form of a body: the blocks are followed with a stack
// of the open ones, so a body whose blocks do not nest as the block checks
// make them is left to the nested runner.
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

bool block_statement(StatementKind kind) {
  switch (kind) {
    case StatementKind::Ifb:
    case StatementKind::Else:
    case StatementKind::EndIf:
    case StatementKind::For:
    case StatementKind::Next:
    case StatementKind::While:
    case StatementKind::Wend:
    case StatementKind::Repeat:
    case StatementKind::Until:
    case StatementKind::Select:
    case StatementKind::Case:
    case StatementKind::Default:
    case StatementKind::SelEnd:
      return true;
    default:
      return false;
  }
}

// An open block: its closer, the next place where its current part ends
// (an ELSEIF, the ELSE, a CASE or DEFAULT, or the closer) and what closes
// it. A SELECT keeps the starts of its parts still to come.
struct OpenBlock {
  int32_t end = -1;
  int32_t next = -1;
  StatementKind closer = StatementKind::EndIf;
  std::vector<int32_t> parts;
};

// Fills [step] for the IFB or ELSEIF at [pc] and answers its block; an
// end of -1 when its offsets do not fit inside the body.
OpenBlock branch_step(const CompiledStatement& s, int32_t pc, int32_t count, FlatStep& step) {
  int32_t endif = s.offsets[2] > 0 ? pc + s.offsets[2] : -1;
  int32_t otherwise = s.offsets[1] > 0 ? pc + s.offsets[1] : -1;
  int32_t elseif = s.offsets[0] > 0 ? pc + s.offsets[0] : -1;
  if (endif < 0 || endif >= count || !s.expr) return {};
  if (otherwise >= endif || (elseif >= 0 && (elseif >= endif || (otherwise >= 0 && elseif >= otherwise))))
    return {};
  step.kind = FlatKind::Branch;
  step.then_next = pc + 1;
  if (elseif >= 0) {
    step.else_next = elseif;
    step.else_is_branch = true;
  } else {
    step.else_next = otherwise >= 0 ? otherwise + 1 : endif;
  }
  OpenBlock block;
  block.end = endif;
  block.next = endif;
  if (otherwise >= 0) block.next = std::min(block.next, otherwise);
  if (elseif >= 0) block.next = std::min(block.next, elseif);
  return block;
}

// The same for a loop statement: its closer must be of kind [closer].
OpenBlock loop_step(const CompiledStatement& s, StatementKind kind, int32_t pc, int32_t count, FlatBody& body,
                    FlatStep& step) {
  int32_t end = s.offsets[0] > 0 ? pc + s.offsets[0] : -1;
  if (end < 0 || end >= count || !s.expr) return {};
  if (kind == StatementKind::For && (!s.end_expr || !s.step_expr || !s.target_expr)) return {};
  OpenBlock block;
  block.end = block.next = end;
  switch (kind) {
    case StatementKind::For:
      step.kind = FlatKind::For;
      step.loop = body.for_loops++;
      block.closer = StatementKind::Next;
      break;
    case StatementKind::While:
      step.kind = FlatKind::While;
      block.closer = StatementKind::Wend;
      break;
    default:
      step.kind = FlatKind::Repeat;
      block.closer = StatementKind::Until;
      break;
  }
  step.then_next = pc + 1;
  step.else_next = end + 1;
  return block;
}

OpenBlock select_step(const CompiledStatement& s, int32_t pc, int32_t count, FlatStep& step) {
  int32_t end = s.end_offset > 0 ? pc + s.end_offset : -1;
  if (end < 0 || end >= count || !s.expr) return {};
  OpenBlock block;
  for (const SelectCase& c : s.cases) block.parts.push_back(c.offset);
  if (s.default_offset > 0) block.parts.push_back(s.default_offset);
  for (int32_t& part : block.parts) {
    if (part <= 0 || pc + part >= end) return {};
    part += pc;
  }
  std::sort(block.parts.begin(), block.parts.end(), std::greater<>());  // the next one last
  if (std::adjacent_find(block.parts.begin(), block.parts.end()) != block.parts.end()) return {};
  block.end = end;
  block.closer = StatementKind::SelEnd;
  block.next = block.parts.empty() ? end : block.parts.back();
  if (!block.parts.empty()) block.parts.pop_back();
  step.kind = FlatKind::Select;
  step.else_next = end + 1;
  return block;
}

FlatKind closer_kind(StatementKind closer) {
  switch (closer) {
    case StatementKind::Next: return FlatKind::Next;
    case StatementKind::Wend: return FlatKind::Wend;
    case StatementKind::Until: return FlatKind::Until;
    default: return FlatKind::Plain;
  }
}

}  // namespace

FlatBody flat_body(const Program& program, int32_t header, int32_t count,
                   const std::function<const CompiledStatement&(int32_t)>& compiled) {
  FlatBody body;
  body.steps.resize(static_cast<size_t>(std::max(count, 1)));
  std::vector<OpenBlock> open;
  std::vector<int32_t> heads;  // the statement of each open block
  for (int32_t pc = 1; pc < count; ++pc) {
    StatementKind kind = static_cast<StatementKind>(program.kinds[header + pc]);
    FlatStep& step = body.steps[pc];
    if (!block_statement(kind)) {
      if (!runs_in_place(kind)) return {};
      if (!open.empty() && (pc == open.back().end || pc == open.back().next)) return {};
      continue;
    }
    const CompiledStatement& s = compiled(header + pc);
    if (s.form == StatementForm::Marker) return {};
    step.statement = &s;
    if (!open.empty() && pc == open.back().end) {
      OpenBlock& block = open.back();
      if (kind != block.closer) return {};
      step.kind = closer_kind(kind);
      if (step.kind == FlatKind::Plain) {
        step.fall_to = pc + 1;
      } else {
        step.head = heads.back();
        step.loop = body.steps[heads.back()].loop;
      }
      open.pop_back();
      heads.pop_back();
      continue;
    }
    if (!open.empty() && pc == open.back().next) {
      // The end of a part of the open block: an ELSEIF or the ELSE of an
      // IFB, a CASE or the DEFAULT of a SELECT.
      OpenBlock& block = open.back();
      step.fall_to = block.end + 1;
      if (block.closer == StatementKind::EndIf && kind == StatementKind::Else) {
        block.next = block.end;
      } else if (block.closer == StatementKind::EndIf && kind == StatementKind::Ifb) {
        OpenBlock part = branch_step(s, pc, count, step);
        if (part.end != block.end) return {};
        block.next = part.next;
      } else if (block.closer == StatementKind::SelEnd &&
                 (kind == StatementKind::Case || kind == StatementKind::Default)) {
        block.next = block.parts.empty() ? block.end : block.parts.back();
        if (!block.parts.empty()) block.parts.pop_back();
      } else {
        return {};
      }
      continue;
    }
    OpenBlock block;
    switch (kind) {
      case StatementKind::Ifb: block = branch_step(s, pc, count, step); break;
      case StatementKind::For:
      case StatementKind::While:
      case StatementKind::Repeat: block = loop_step(s, kind, pc, count, body, step); break;
      case StatementKind::Select: block = select_step(s, pc, count, step); break;
      default: return {};  // a closer or part start out of its place
    }
    // A block lies inside the part it starts in.
    if (block.end < 0 || (!open.empty() && block.end >= open.back().next)) return {};
    open.push_back(std::move(block));
    heads.push_back(pc);
  }
  if (!open.empty()) return {};
  return body;
}

}  // namespace vesk
