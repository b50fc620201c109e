// Include path resolution for CALL statements.
#include "engine/loader/include_path.h"

#include "support/text.h"

namespace vesk::loader {
namespace {

constexpr std::u16string_view k_extension = u".VSK";

// Where the argument list of an upper-cased target without ".VSK" begins:
// the first "(" behind the last "\" (a folder name may hold brackets).
// Quoted arguments may hold "\", so only the text before the first quote is
// searched; "/" is no boundary here because arguments may divide.
size_t argument_start(std::u16string_view name) {
  std::u16string_view unquoted = name.substr(0, name.find(u'"'));
  size_t slash = unquoted.find_last_of(u'\\');
  size_t from = slash == std::u16string_view::npos ? 0 : slash + 1;
  size_t open = name.find(u'(', from);
  return open;
}

std::u16string with_extension(std::u16string name) {
  if (name.find(k_extension) != std::u16string::npos) return name;
  size_t open = argument_start(name);
  if (open == std::u16string::npos) return name + std::u16string(k_extension);
  name.insert(open, k_extension);
  return name;
}

std::u16string parent_with_slash(std::u16string_view directory) {
  size_t slash = directory.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? std::u16string() : std::u16string(directory.substr(0, slash + 1));
}

}  // namespace

std::u16string resolve_include(std::u16string_view raw_name, std::u16string_view directory, bool main_file) {
  std::u16string name = with_extension(ascii_upper(raw_name));
  std::u16string dir(directory);
  bool dot = starts_with(name, u".\\") || (main_file && starts_with(name, u"./"));
  bool dot_dot = starts_with(name, u"..\\") || (main_file && starts_with(name, u"../"));
  if (dot_dot) return parent_with_slash(dir) + name.substr(3);
  if (dot) return dir + name.substr(1);
  std::u16string_view path_part = std::u16string_view(name).substr(0, argument_start(name));
  if (path_part.find(u'\\') == std::u16string_view::npos) return dir + u"\\" + name;
  return name;
}

CallTarget split_target(std::u16string_view target) {
  for (size_t at = target.find(k_extension); at != std::u16string_view::npos;
       at = target.find(k_extension, at + 1)) {
    size_t end = at + k_extension.size();
    if (end == target.size() || std::u16string_view(u"(, ;").find(target[end]) != std::u16string_view::npos)
      return {std::u16string(trim_blanks(target.substr(0, end))), std::u16string(target.substr(end))};
  }
  return {std::u16string(trim_blanks(target)), {}};
}

std::u16string file_procedure_name(std::u16string_view path) {
  size_t slash = path.find_last_of(u'\\');
  size_t split = slash == std::u16string_view::npos ? 0 : slash + 1;
  std::u16string folder(path.substr(0, split));
  for (char16_t& c : folder) {
    if (c == u'(') c = u'\uFF08';
    if (c == u')') c = u'\uFF09';
  }
  return ascii_upper(folder + std::u16string(path.substr(split)));
}

std::u16string directory_of(std::u16string_view path) {
  size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash));
}

}  // namespace vesk::loader
