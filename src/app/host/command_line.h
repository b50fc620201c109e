// The host's command line: which launch mode the process runs in, and the
// script spec it was given.
#pragma once

#include <string>
#include <vector>

namespace vesk::host {

enum class LaunchMode {
  Bar = 0,          // no arguments: the launcher bar
  HandOverRun = 1,  // "/k": a running launcher loads and runs the script
  RunOnce = 2,      // a script: run it, then exit
  HandOverLoad = 3, // "/l": a running launcher only loads the script
  Record = 5,       // "/rec": record at once
  Encipher = 9,     // "/a": write the enciphered container and exit
  BuildStep = 99,   // "/_exe_bild": the executable builder's combined script
};

struct CommandLine {
  LaunchMode mode = LaunchMode::Bar;
  // The arguments after the switch, joined by carriage returns.
  std::u16string spec;
  // Modes 9 and 99: the output path or folder (the third argument).
  std::u16string second_argument;
  bool no_task_bar = false;  // "/NI"
  bool embedded_only = false; // "/kumikomi": no further set-up
  // Errors go to the log and standard error instead of a dialog, and the
  // exit code says that the run failed.
  bool unattended = false;
  bool help = false;          // "--help", "-h" or "/?"
  // The script named is the web recorder's temporary one: an error ending
  // its run gives the exit code 9.
  bool web_recorder_script = false;
};

// The marker the restart path appends; it ends the scan.
inline constexpr char16_t k_reboot_marker[] = u"VESK_REBOOT_$2";

// Reads [args] (without the program's own name). Only the first argument
// is tested for a switch, exactly as written; "/unattended" (any case) may
// stand in front of it.
CommandLine parse_command_line(const std::vector<std::u16string>& args);

}  // namespace vesk::host
