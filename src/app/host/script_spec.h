// A script spec: the path of a script and its parameters in one text, as
// the command line, dropped files, the open dialog, the launch menu and the
// schedules give it ("C:\x\job.vsk a "b c" -R3").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::host {

// How the parameters after the path are separated.
enum class SpecSeparator {
  CarriageReturn,  // the command line: one argument each, quotes kept
  Blank,           // everything else: blanks, double-quoted parts kept together
};

// Where relative paths start.
struct SpecFolders {
  std::u16string program;  // ".\" and "..\" start here (or at its parent)
  std::u16string current;  // every other relative path
  // The hand-over to a running launcher: the prefixes, too, are taken
  // against [current].
  bool prefixes_from_current = false;
};

struct ScriptSpec {
  std::u16string path;  // full path of the script
  std::vector<std::u16string> params;
  int32_t repeat = 0;   // 0: not given (once)
};

// The path part of [spec]: ".VSK" put on the whole spec when it holds none
// (any case), then the text up to and including the first ".VSK", trimmed.
std::u16string spec_path_text(std::u16string_view spec);

// Splits [spec] into the resolved path, the parameters and the "-R" repeat
// count.
ScriptSpec parse_script_spec(std::u16string_view spec, SpecSeparator separator, const SpecFolders& folders);

// The last component of [path].
std::u16string file_name_of(std::u16string_view path);
// [path] without its last component (and the separator before it).
std::u16string folder_of(std::u16string_view path);
// True for "C:\...", "C:/...", "\\server\..." and "\..." paths.
bool is_absolute_path(std::u16string_view path);

}  // namespace vesk::host
