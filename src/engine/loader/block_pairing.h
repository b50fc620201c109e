// The pairing pass: kind codes for every statement, block openers compiled
// with the offsets of their middle and closing statements, and markers for
// blocks that do not pair.
#pragma once

#include "engine/loader/program.h"

namespace vesk {

void pair_blocks(Program& program);

}  // namespace vesk
