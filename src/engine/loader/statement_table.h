// The declaration pre-pass: turns the run text into the statement table and
// registers every definition and declaration before the first statement.
#pragma once

#include <string>
#include <vector>

#include "engine/loader/program.h"
#include "engine/values/variable_store.h"

namespace vesk {

// Fills [program] from [run_text] and declares the script's globals in
// [store]. False with [error] when the run cannot start.
bool build_statement_table(const std::vector<std::u16string>& run_text, Program& program, VariableStore& store,
                LoadError& error);

// An included file's procedure header: "PROCEDURE ... .VSK()".
bool is_included_file_header(std::u16string_view line);

}  // namespace vesk
