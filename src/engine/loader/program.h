// The statement table and the registries that the pre-pass builds from the
// run text, and that the checks and the executor read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/values/frame.h"

namespace vesk {

// Kind codes of statements, given by their first word.
enum class StatementKind : int32_t {
  Other = 0,
  Ifb = 12,  // IFB and ELSEIF
  EndIf = 13,
  Else = 14,
  For = 15,
  Next = 16,
  While = 17,
  Wend = 18,
  Repeat = 19,
  Until = 21,
  Select = 22,
  SelEnd = 23,
  Case = 24,
  Default = 25,
  Try = 26,
  Finally = 27,
  Except = 28,
  EndTry = 29,
  Print = 31,
  Thread = 32,
  DefDll = 33,
  Dim = 34,
  HashTbl = 35,
  Break = 36,
  Continue = 37,
  Exit = 38,
  Call = 39,
  ExitExit = 41,
  With = 42,
  EndWith = 43,
  ComErrIgn = 44,
  ComErrRet = 45,
  Fend = 49,
  Nop = 51,
};

inline constexpr char16_t k_error_marker[] = u"__VESK_ERROR_ARI__";
inline constexpr char16_t k_nop_statement[] = u"__DF_VESK_SYNTAX_NOP__";
inline constexpr char16_t k_field_separator = u'`';

enum class FunctionKind : int32_t { Function = 1, Procedure = 2 };

// A FUNCTION or PROCEDURE (members as "MODULE.NAME"), or a check entry
// ("CLASS " + module name) that lets the checks reach a module's markers.
struct FunctionEntry {
  FunctionKind kind = FunctionKind::Procedure;
  int32_t header = 0;  // statement number of the header
};

// The OPTION settings of the script.
struct ScriptOptions {
  bool explicit_names = false;  // EXPLICIT
  bool same_str = false;
  bool opt_public = false;
  bool opt_finally = false;
  bool special_char = false;
  bool short_circuit = false;
  bool round_value = false;
  bool old_busy = false;
  bool old_bool = false;
  std::u16string dialog_title;
  int32_t dialog_monitor = -1;
  int32_t log_file_mode = -1;  // -1: not set by the script
  std::u16string log_path;
  bool clear_log = false;      // LOGFILE with bit 4, or a LOGPATH: drop the lines collected so far
  int32_t log_lines = -1;      // -1: not set by the script
  std::u16string saved_log_lines;
  std::u16string default_font_name;
  int32_t default_font_size = 0;
  std::u16string saved_font;   // "host name,host size,name,size"
  bool position_set = false;
  int32_t position_x = 0;
  int32_t position_y = 0;
};

struct Program {
  std::vector<std::u16string> code;   // statement texts; openers hold their compiled text
  std::vector<std::u16string> lines;  // "number,source line" per statement
  std::vector<int32_t> kinds;         // StatementKind per statement

  NameIndex function_names;           // in order of definition
  std::vector<FunctionEntry> functions;
  std::vector<FunctionEntry> check_entries;  // module-level markers
  std::vector<std::u16string> check_entry_names;

  NameIndex module_names;             // MODULE and CLASS names
  std::vector<int32_t> module_numbers;

  NameIndex dll_names;                // DEF_DLL names and declaration texts
  std::vector<std::u16string> dll_declarations;

  ScriptOptions options;

  void clear() { *this = Program(); }
  int32_t find_function(std::u16string_view name) const { return function_names.find(name); }
  bool is_module(std::u16string_view name) const { return module_names.find(name) >= 0; }
};

// An error that stops the run before it starts, with the statement it
// belongs to (-1 when there is none).
struct LoadError {
  std::u16string message;
  int32_t statement = -1;
};

// The location text of statement [statement]: "at line N: text" (Japanese
// "N行目: text"), with the included file's path and ": " in front when the
// statement comes from an included file. [embedded] shows only file names.
std::u16string location_text(const Program& program, int32_t statement, bool embedded = false);

}  // namespace vesk
