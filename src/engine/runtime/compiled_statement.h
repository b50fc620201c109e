// Statements compiled once into their executable form: the block texts of
// the pairing pass read into numbers and compiled expressions, plain
// statements split into target and expression.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/values/expression.h"

namespace vesk {

enum class StatementForm : uint8_t {
  Nothing,     // empty text, no-operation, ENDTRY and the other closers
  Marker,      // an error marker reached at run time
  Assign,      // NAME = expression (cached kind 1)
  MemberPut,   // OBJ.MEMBER = expression (2)
  MemberCall,  // OBJ.METHOD(...) (3)
  CallStatement,  // F(...) (4)
  ThreadAssign,   // NAME = THREAD F(...)
  Ifb,
  Else,
  For,
  While,
  Repeat,
  Select,
  Try,
  Finally,
  Except,
  Print,
  Thread,
  DefDll,
  Dim,
  HashTbl,
  Break,
  Continue,
  Exit,
  Call,
  ExitExit,
  With,
  EndWith,
  ComErrIgn,
  ComErrRet,
};

struct SelectCase {
  int32_t offset = -1;
  std::vector<std::unique_ptr<CompiledExpression>> values;
  std::vector<uint8_t> empty_word;  // the case value is the word EMPTY
  // A case value that is a whole-number literal below 10^15, as its
  // evaluation gives it under every rounding (Empty for any other value).
  std::vector<Value> constants;
};

struct CompiledStatement {
  StatementForm form = StatementForm::Nothing;
  std::u16string text;      // the statement's text (operand for keywords)
  std::u16string target;    // assignment target as written; FOR variable
  std::u16string name_head; // a dotted name's part before its first "."
  int32_t dots = 0;         // number of "." in the name part
  std::unique_ptr<CompiledExpression> target_expr;  // target as a Name node
  std::unique_ptr<CompiledExpression> expr;         // condition, value, operand
  std::unique_ptr<CompiledExpression> end_expr;     // FOR end
  std::unique_ptr<CompiledExpression> step_expr;    // FOR step
  int32_t offsets[3] = {-1, -1, -1};  // IFB: elseif, else, endif; loops: [0] closer
  std::vector<SelectCase> cases;      // SELECT: the CASE parts in order
  // SELECT whose case values are all whole-number literals: each value
  // with its CASE's offset, in the order they are compared.
  std::vector<std::pair<double, int32_t>> number_cases;
  int32_t default_offset = -1;
  int32_t end_offset = -1;
  int32_t number = 0;  // BREAK/CONTINUE count; TRY handler kind 1 = EXCEPT
  // Assign of the form NAME = NAME + operand: a string may be appended in
  // place.
  bool append_to_target = false;
  // Assign to a name without "." or index: a number plan's result may be
  // stored straight into a local's slot.
  bool plain_target = false;
  // ... and its expression has a number plan or is a lone name: the
  // executor tries the number assignment first.
  bool number_assign = false;
  // ... and that plan is a chain from the target itself ("N = N + 1"):
  // the target's slot is found once, for the read and the write.
  bool self_chain = false;
  // ... or a plan without calls that reads the target at this step
  // ("T = T + I * 2"): the slot that step reads is the one written.
  int32_t target_step = -1;
  // The number plan of the target's one index: NAME[index] = expression.
  std::unique_ptr<const FastPlan, FastPlanDeleter> target_index;
  // ... and the expression has a number plan without calls or is a lone
  // name: the executor tries to store a number into the element first.
  bool element_number_assign = false;
};

// Compiles statement [text] of kind [kind] (a StatementKind code).
std::unique_ptr<CompiledStatement> compile_statement(std::u16string_view text, int32_t kind);

// The position of the first "=" outside quotes and parentheses (and
// brackets), or npos.
size_t assignment_position(std::u16string_view text);

// True when [text] holds a "." outside quotes, brackets and parentheses: a
// member call or target rather than a plain one.
bool has_dot_outside(std::u16string_view text);

}  // namespace vesk
