// The declaration pre-pass: turns the run text into the statement table and
// registers every definition and declaration before the first statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/loader/program.h"
#include "engine/values/variable_store.h"

namespace vesk {

// Fills [program] from [run_text] (the assembled lines) and declares the
// script's globals, constants, text blocks and hash tables in [store]; both
// are emptied first. Most syntax errors become error markers in the code
// list; an error that stops the run at once answers false with [error].
bool preprocess(const std::vector<std::u16string>& run_text, Program& program, VariableStore& store,
                LoadError& error);

// An included file's procedure header: "PROCEDURE ... .VSK()".
bool is_file_header(std::u16string_view line);

// The code of a DEF_DLL type name (any case): 0 for an unknown name, 256
// added for a leading "VAR "; a trailing "[]" (an array) is not part of
// the code.
int32_t dll_type_code(std::u16string_view type);

}  // namespace vesk
