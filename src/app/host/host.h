// The host: the process's one launcher, stop form, log window and
// interpreter, the start-up in its order, the run sequence and the exit.
// Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/host/command_line.h"
#include "app/host/script_spec.h"

namespace vesk::host {

class Host;

// Creates the host for [line] and runs the program's message loop until
// the launcher closes; answers the process's exit code.
int run_host(const CommandLine& line);

}  // namespace vesk::host
