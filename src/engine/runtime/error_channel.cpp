// The error channel and TRY at run time: reporting with location, catching
// by EXCEPT through the call chain, FINALLY parts.
#include <algorithm>

#include "engine/runtime/interpreter.h"
#include "support/text.h"
#include "support/unicode_case.h"

namespace vesk {
namespace {

constexpr size_t k_message_limit = 255;

// "SyntaxError-45" is shown as "SyntaxError".
std::u16string hide_error_numbers(std::u16string text) {
  std::u16string upper = ascii_upper(text);
  for (size_t at = upper.find(u"SYNTAXERROR-"); at != std::u16string::npos; at = upper.find(u"SYNTAXERROR-", at + 1)) {
    size_t dash = at + 11;
    text[dash] = u' ';
    for (size_t i = dash + 1; i < text.size() && i <= dash + 3 && text[i] >= u'0' && text[i] <= u'9'; ++i)
      text[i] = u' ';
  }
  return std::u16string(trim_blanks(text));
}

}  // namespace

void Interpreter::report_error(CallFrame& frame, std::u16string text, bool force, bool catchable) {
  if ((m_stopped && !force) || m_stop_pending > 0) {
    frame.error = true;
    return;
  }
  text = std::u16string(trim_blanks(text));
  std::u16string location = location_text(m_program, frame.count > 0 ? frame.statement() : -1);
  frame.try_errmsg = text;
  frame.try_errline = location;
  frame.error = true;
  if (catchable) {
    if (catch_error(frame)) return;
    if (frame.except_count > 0) {
      // An EXCEPT of a calling frame takes it when the call returns.
      frame.handler_error = true;
      frame.error = false;
      run_pending_finally(frame);
      frame.error = true;
      frame.exit = true;
      return;
    }
  }
  if (text.size() > k_message_limit) text = text.substr(0, k_message_limit) + u" ...";
  // FIXME: the log file buffer and the error sound take the text here once
  // the log window and sound exist.
  m_stopped = true;
  m_error_shown = true;
  std::lock_guard lock(m_output_lock);
  m_output.show_error(hide_error_numbers(text), hide_error_numbers(location));
}

void Interpreter::run_try(CallFrame& frame, const CompiledStatement& s) {
  TryRecord record;
  record.pc = frame.pc;
  record.except = s.number == 1;
  record.handler_offset = s.offsets[0];
  record.end_offset = s.offsets[1];
  frame.try_stack.push_back(record);
  frame.handler_error = false;
  if (record.except) ++frame.except_count;
}

void Interpreter::run_finally_statement(CallFrame& frame) {
  if (frame.try_stack.empty()) return;
  TryRecord record = frame.try_stack.back();
  frame.try_stack.pop_back();
  if (record.except) report_error(frame, u"SyntaxError-27");
  // The FINALLY part then runs as ordinary statements.
}

void Interpreter::run_except_statement(CallFrame& frame) {
  if (frame.try_stack.empty()) return;
  TryRecord record = frame.try_stack.back();
  frame.try_stack.pop_back();
  if (!record.except) return report_error(frame, u"SyntaxError-28");
  --frame.except_count;
  // The handler is skipped: continue at the ENDTRY.
  frame.pc = record.pc + record.handler_offset + record.end_offset - 1;
}

// Runs the handler part of [record] up to its ENDTRY.
void Interpreter::run_handler(CallFrame& frame, const TryRecord& record) {
  int32_t handler = record.pc + record.handler_offset;
  int32_t end = handler + record.end_offset;
  frame.pc = handler + 1;
  frame.handler_error = false;
  frame.error = false;
  while (frame.pc < end && !frame.pending() && !m_stopped && !frame.error) {
    if (m_stop_pending > 0 && !m_program.options.opt_finally) break;
    int32_t saved_pending = m_stop_pending;
    if (m_program.options.opt_finally) m_stop_pending = 0;
    execute_one(frame);
    if (m_program.options.opt_finally) m_stop_pending = std::max<int32_t>(saved_pending, m_stop_pending);
  }
}

bool Interpreter::catch_error(CallFrame& frame) {
  int32_t saved = frame.pc;
  while (!frame.try_stack.empty()) {
    TryRecord record = frame.try_stack.back();
    frame.try_stack.pop_back();
    if (record.except) --frame.except_count;
    run_handler(frame, record);
    if (record.except) {
      // Execution goes on behind the ENDTRY.
      if (!frame.error) frame.pc = record.pc + record.handler_offset + record.end_offset - 1;
      return true;
    }
  }
  frame.pc = saved;
  frame.error = true;
  return false;
}

void Interpreter::run_pending_finally(CallFrame& frame) {
  int32_t saved = frame.pc;
  bool exit = frame.exit;
  while (!frame.try_stack.empty()) {
    TryRecord record = frame.try_stack.back();
    frame.try_stack.pop_back();
    if (record.except) {
      --frame.except_count;
      continue;
    }
    frame.exit = false;
    run_handler(frame, record);
  }
  frame.exit = exit;
  frame.pc = saved;
}

}  // namespace vesk
