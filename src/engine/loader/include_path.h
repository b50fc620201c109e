// Resolving the file named by a CALL statement, and the names that an
// included file's procedure and its CALL lines use.
#pragma once

#include <string>
#include <string_view>

namespace vesk::loader {

// A CALL target split into the file's path and its argument list.
struct CallTarget {
  std::u16string path;       // directory and file name, with ".VSK"
  std::u16string arguments;  // "(1, 2)" or the like, possibly empty
};

// Upper-cases [name], adds ".VSK" when it has none and makes it absolute
// against [directory] (the including file's folder, or the current
// directory for the main file; [main_file] also accepts "./" and "../").
std::u16string resolve_include(std::u16string_view name, std::u16string_view directory, bool main_file);

// Splits a resolved target at the end of its ".VSK" file name.
CallTarget split_target(std::u16string_view target);

// The name of an included file's procedure: its folder with "(" and ")"
// turned full-width, then the file name (as [path], upper case).
std::u16string file_procedure_name(std::u16string_view path);

// The folder part of [path], up to but not including its last "\".
std::u16string directory_of(std::u16string_view path);

}  // namespace vesk::loader
