// Script specs: ".VSK" completion, the path prefixes, parameters and the
// repeat count.
#include "app/host/script_spec.h"

#include "support/text.h"

namespace vesk::host {
namespace {

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

std::u16string_view trim_line(std::u16string_view text) {
  while (!text.empty() && (is_blank(text.front()) || text.front() == u'\r' || text.front() == u'\n'))
    text.remove_prefix(1);
  while (!text.empty() && (is_blank(text.back()) || text.back() == u'\r' || text.back() == u'\n'))
    text.remove_suffix(1);
  return text;
}

std::u16string join(std::u16string_view folder, std::u16string_view rest) {
  std::u16string out(folder);
  if (!out.empty() && !is_separator(out.back())) out += u'\\';
  out += rest;
  return out;
}

// "-R3" or "-r12": the repeat count; -1 when [param] is no such word.
int32_t repeat_count(std::u16string_view param) {
  if (param.size() < 3 || param[0] != u'-' || (param[1] != u'r' && param[1] != u'R')) return -1;
  int64_t n = 0;
  for (char16_t c : param.substr(2)) {
    if (c < u'0' || c > u'9') return -1;
    n = n * 10 + (c - u'0');
    if (n > 999999999) return -1;
  }
  return static_cast<int32_t>(n);
}

// Blank-separated words; a double-quoted part stays one word, its quotes
// removed.
std::vector<std::u16string> split_blank_words(std::u16string_view text) {
  std::vector<std::u16string> words;
  std::u16string word;
  bool quoted = false, any = false;
  for (char16_t c : text) {
    if (c == u'"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && is_blank(c)) {
      if (any) words.push_back(std::move(word));
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(std::move(word));
  return words;
}

std::vector<std::u16string> split_at_returns(std::u16string_view text) {
  std::vector<std::u16string> words;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\r', start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view word = trim_line(text.substr(start, end - start));
    if (!word.empty()) words.emplace_back(word);
    start = end + 1;
  }
  return words;
}

std::u16string resolve(std::u16string_view path, const SpecFolders& folders) {
  if (is_absolute_path(path)) return std::u16string(path);
  const std::u16string& prefix_base = folders.prefixes_from_current ? folders.current : folders.program;
  if (path.size() >= 2 && path[0] == u'.' && is_separator(path[1])) return join(prefix_base, path.substr(2));
  if (path.size() >= 3 && path[0] == u'.' && path[1] == u'.' && is_separator(path[2]))
    return join(folder_of(prefix_base), path.substr(3));
  return join(folders.current, path);
}

}  // namespace

bool is_absolute_path(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':') return true;
  return !path.empty() && is_separator(path[0]);
}

std::u16string file_name_of(std::u16string_view path) {
  size_t cut = path.find_last_of(u"\\/");
  return std::u16string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

std::u16string folder_of(std::u16string_view path) {
  while (!path.empty() && is_separator(path.back()) && path.size() > 3) path.remove_suffix(1);
  size_t cut = path.find_last_of(u"\\/");
  if (cut == std::u16string_view::npos) return std::u16string();
  if (cut == 2 && path[1] == u':') return std::u16string(path.substr(0, 3));  // "C:\"
  return std::u16string(path.substr(0, cut));
}

std::u16string spec_path_text(std::u16string_view spec) {
  std::u16string text(spec);
  size_t at = ascii_upper(text).find(u".VSK");
  if (at == std::u16string::npos) {
    text = std::u16string(trim_line(text)) + u".VSK";
    at = ascii_upper(text).find(u".VSK");
  }
  return std::u16string(trim_line(std::u16string_view(text).substr(0, at + 4)));
}

ScriptSpec parse_script_spec(std::u16string_view spec, SpecSeparator separator, const SpecFolders& folders) {
  ScriptSpec out;
  std::u16string path = spec_path_text(spec);
  out.path = resolve(path, folders);
  size_t at = ascii_upper(spec).find(u".VSK");
  if (at == std::u16string_view::npos) return out;  // completed: the whole spec is the path
  std::u16string_view rest = trim_line(spec.substr(at + 4));
  std::vector<std::u16string> words =
      separator == SpecSeparator::Blank ? split_blank_words(rest) : split_at_returns(rest);
  for (std::u16string& word : words) {
    int32_t count = repeat_count(word);
    if (count >= 0)
      out.repeat = count;
    else
      out.params.push_back(std::move(word));
  }
  return out;
}

}  // namespace vesk::host
