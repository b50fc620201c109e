// The pairing pass: kind codes for every statement, block openers compiled
// with the offsets of their middle and closing statements, and markers for
// blocks that do not pair.
#pragma once

#include "engine/loader/program.h"

namespace vesk {

// Classifies every statement of [program] (filling its kind array) and
// rewrites each keyword statement into its compiled text:
//   IFB, ELSEIF   condition`next ELSEIF`ELSE`ENDIF
//   SELECT        selector`offset,case list`...`offset,DEFAULT`offset,SELEND
//   FOR           variable`start`end`step`NEXT
//   WHILE         condition`WEND
//   REPEAT        condition of the UNTIL`UNTIL
//   TRY           "0 or 1" handler-offset ENDTRY-offset-from-the-handler
// Offsets are counted from the opener (-1: absent). Every other keyword
// statement keeps only its operand, its kind saying which keyword it was.
// A statement that became an error marker has kind 0.
void classify_and_pair(Program& program);

// The kind code that the first word of [statement] gives.
StatementKind statement_kind(std::u16string_view statement);

}  // namespace vesk
