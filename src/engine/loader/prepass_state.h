// The state of one pre-pass over the run text, shared by the files that
// make up the pass (physical lines, statement registration, one-line IF,
// OPTION and DEF_DLL).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/loader/program.h"
#include "engine/values/variable_store.h"
#include "support/messages.h"

namespace vesk::prepass {

class PrePass {
 public:
  PrePass(Program& program, VariableStore& store, LoadError& error)
      : m_program(program), m_store(store), m_error(error) {}

  // Runs the whole pass; false when an error was reported at once.
  bool run(const std::vector<std::u16string>& run_text);

 private:
  // prepass.cpp: the physical lines and the end of the pass.
  bool physical_line(const std::u16string& raw);
  void number_lines(const std::u16string& line, const std::u16string& shown);
  bool add_pieces(const std::u16string& line);
  bool end_of_pass();
  bool check_constructors();

  // register_statement.cpp: the per-statement pre-pass.
  bool append(std::u16string statement);
  void append_marker(std::u16string_view message);
  bool register_last();
  bool register_text_block(std::u16string& s, const std::u16string& w, const std::u16string& r);
  void register_module(const std::u16string& r);
  bool register_function(const std::u16string& w, const std::u16string& r);
  void register_fend();
  void register_public(const std::u16string& w, const std::u16string& r);
  void register_hashtbl(const std::u16string& list);
  // Replaces the last statement by an error marker holding [message]; a
  // marker outside any function also gets a check entry.
  void plant(std::u16string_view message);
  bool fail(std::u16string message, int32_t statement);
  std::u16string module_prefix() const { return m_module.empty() ? u"" : m_module + u"."; }
  bool at_module_level() const { return !m_module.empty() && !m_in_function; }
  int32_t last_index() const { return static_cast<int32_t>(m_program.code.size()) - 1; }

  // one_line_if.cpp
  bool expand_one_line_if(std::u16string_view text);

  // option_statement.cpp: false when an entry is wrong.
  bool apply_options(std::u16string_view list);
  bool apply_option(const std::vector<std::u16string>& entries, size_t& at);

  // prepass_def_dll.cpp: the error text of a declaration, or empty.
  std::u16string register_def_dll(std::u16string_view declaration);

  Program& m_program;
  VariableStore& m_store;
  LoadError& m_error;

  std::u16string m_module;
  std::u16string m_function;
  bool m_in_function = false;
  FunctionKind m_function_kind = FunctionKind::Procedure;
  bool m_result_seen = false;

  bool m_in_text_block = false;
  std::u16string m_text_block_name;  // empty for an unnamed block
  std::u16string m_text_block_text;

  int32_t m_line_counter = 0;
  int32_t m_line_offset = 1;
  int32_t m_file_counter = 0;
  bool m_header_seen = true;
  std::u16string m_line_entry;  // the line-list entry of the current line
};

}  // namespace vesk::prepass
