// The error channel and TRY at run time: reporting with location, catching
// by EXCEPT through the call chain, FINALLY parts.
#include <algorithm>

#include "engine/runtime/interpreter.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"
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

// Trims [text] and stores it with its location as the frame's TRY_ERRMSG
// and TRY_ERRLINE; answers the location.
std::u16string Interpreter::record_error(CallFrame& frame, std::u16string& text) {
  text = std::u16string(trim_blanks(text));
  std::u16string location = location_text(m_program, frame.count > 0 ? frame.statement() : -1);
  frame.try_errmsg = text;
  frame.try_errline = location;
  return location;
}

void Interpreter::report_error(CallFrame& frame, std::u16string text, bool force, bool catchable) {
  if ((m_stopped && !force) || m_stop_pending > 0) {
    frame.error = true;
    return;
  }
  std::u16string location = record_error(frame, text);
  frame.error = true;
  if (catchable && taken_by_try(frame)) return;
  show_error_now(frame, std::move(text), location);
}

// A TRY of this frame takes the error, or an EXCEPT of a calling frame will
// when the call returns.
bool Interpreter::taken_by_try(CallFrame& frame) {
  if (catch_error(frame)) return true;
  if (frame.except_count == 0) return false;
  frame.handler_error = true;
  frame.error = false;
  run_pending_finally(frame);
  frame.error = true;
  frame.exit = true;
  return true;
}

void Interpreter::report_load_error(const LoadError& error) {
  CallFrame none;
  show_error_now(none, std::u16string(trim_blanks(error.message)), location_text(m_program, error.statement));
}

void Interpreter::report_with_abort_question(CallFrame& frame, std::u16string text) {
  if (m_stopped || m_stop_pending > 0) {
    frame.error = true;
    return;
  }
  std::u16string location = record_error(frame, text);
  bool had_try = !frame.try_stack.empty();
  frame.error = true;
  if (taken_by_try(frame)) return;
  // With TRY records only FINALLY parts ran: the script stops after OK.
  bool abort = true;
  on_main_thread([&] {
    abort = had_try ? (m_output.ask_abort(text, true), true)
                    : m_output.ask_abort(text + u"\r" + message(MessageId::AskAbort), false);
  });
  if (abort) {
    m_stopped = true;
    return;
  }
  frame.error = false;  // No: the script goes on
}

// Shows an error nobody took: the log file, the error sound, the dialog.
void Interpreter::show_error_now(CallFrame& frame, std::u16string text, const std::u16string& location) {
  if (m_com_error_code != 0 && ascii_upper(text).find(u"COM_ERR") != std::u16string::npos)
    text = message(MessageId::ComErrorExplained, u16(std::to_string(m_com_error_code.load())));
  bool cut = text.size() > k_message_limit;
  if (cut) text = text.substr(0, k_message_limit) + u" ...";
  // The full text is the message, "\r" (two after a cut message) and the
  // location; the log file has two blanks for each "\r".
  std::u16string full = text + (cut ? u"\r\r" : u"\r") + location;
  std::u16string log_line;
  for (char16_t c : full) c == u'\r' ? log_line += u"  " : log_line += c;
  std::u16string shown_text = hide_error_numbers(text);
  std::u16string shown_location = hide_error_numbers(location);
  m_stopped = true;
  m_error_shown = true;
  auto show = [this, log_line, shown_text, shown_location] {
    m_output.log_error(log_line);
    m_output.play_error_sound();
    m_output.show_error(shown_text, shown_location);
  };
  // A thread's error shows through the main thread, which owns the dialogs.
  // The thread does not wait for it: it may hold the globals' lock, which
  // the main thread needs to reach its next statement.
  if (frame.slot == 0) show();
  else m_main_calls.post(show);
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
