// The check pass that runs between loading a script and running it: every
// function and procedure is walked in a throw-away frame, the first error
// marker that the pre-pass planted is reported, and the static rules are
// applied (loop depth of BREAK and CONTINUE, WITH pairing, assignment
// targets, declared names, argument counts).
#pragma once

#include "engine/loader/program.h"

namespace vesk {

class Interpreter;

// Checks the script that [interpreter] has loaded. Answers false with the
// first error and the statement it belongs to in [error]. The interpreter's
// globals are left as they were.
bool check_blocks(Interpreter& interpreter, LoadError& error);

}  // namespace vesk
