// Turns raw script lines into the canonical run-text form: comments cut,
// "_" continuations joined, blanks folded, upper case outside literals.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace vesk::loader {

// The first word of a line: the text before the first ";" or blank,
// trimmed and upper-cased.
std::u16string first_word(std::u16string_view line);

// Removes a "//" comment that stands outside double quotes.
std::u16string_view cut_comment(std::u16string_view line);

// Upper-cases ASCII letters outside double-quoted literals. With
// [keep_members], a name right behind a "." keeps its case (COM members).
std::u16string upper_outside_literals(std::u16string_view line, bool keep_members);

// Finds "CALL " in any case (or "CALL" and a full-width blank when [full_width_counts])
// outside literals, at the start of the line or after a blank or ";".
// The search starts at [from], which must stand outside a literal. Returns
// the position of "CALL" or npos.
size_t find_call(std::u16string_view line, bool full_width_counts = false, size_t from = 0);

// Numbers MODULE and CLASS names from 0 in order of first appearance.
class ModuleNumbers {
 public:
  int number_of(const std::u16string& name);

 private:
  std::map<std::u16string, int> m_numbers;
};

// The state that lives for one assembly: the continuation buffer and the
// text-block flag; module numbers are shared with the caller.
class LineNormaliser {
 public:
  explicit LineNormaliser(ModuleNumbers& modules) : m_modules(modules) {}

  // Returns the canonical form of [raw]; an empty line when the line was
  // taken into the continuation buffer. Inside a text block the raw line is
  // returned unchanged.
  std::u16string normalise(std::u16string_view raw);

  bool in_text_block() const { return m_text_block; }
  bool continuing() const { return !m_continuation.empty(); }

 private:
  std::u16string canonical_form(std::u16string line, const std::u16string& word);

  ModuleNumbers& m_modules;
  std::u16string m_continuation;
  bool m_text_block = false;
};

}  // namespace vesk::loader
