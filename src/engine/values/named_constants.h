// The named constants and the GET_ special names of the script language.
//
// A name that is no variable is looked up here by the variable store, and
// every name found here is a reserved word. The numeric constants yield a
// double (a few of them are read from the system at each use); the GET_
// special names yield a text. Names are compared exactly: the run text is
// upper case already. Neither table can be changed by a script.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// What constant_value gives for a name that is no constant.
inline constexpr double k_no_constant = -888888;

// The value of the numeric constant [name], or nothing when it is none.
std::optional<double> find_constant(std::u16string_view name);

// The value of the numeric constant [name], or k_no_constant.
double constant_value(std::u16string_view name);

// The text of the special name [name]; empty when it is none. Only names
// that begin with "GET_" are special, and EMPTYPARAM.
std::u16string special_text(std::u16string_view name);

bool is_special_name(std::u16string_view name);

// True when [name] is a numeric constant or a special name: the part of the
// reserved-word check that these tables own. Reads nothing from the system.
bool is_constant_or_special_name(std::u16string_view name);

// Sets the text of GET_VESK_NAME: the launcher's [caption], with ".EXE"
// appended when the script runs from a [built_executable]. "VESK" until the
// host sets it.
void set_launcher_caption(std::u16string_view caption, bool built_executable = false);

// The number that GET_VESK_VER makes of a [version] text: upper-cased, the
// letters A to I replaced by the digits 1 to 9, then the leading decimal
// number read ("1.2b3" gives 1.223); 0 when the text starts with no number.
double version_number(std::u16string_view version);

}  // namespace vesk
