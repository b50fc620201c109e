// The text-file built-ins FOPEN, FCLOSE, FGET, FPUT and FDELLINE: a file is
// opened into memory as a list of lines, read and edited there by line and
// column, and written back when it is closed.
//
// Choices of this build:
// - FCLOSE(id, TRUE) closes without writing back: the edits are dropped.
// - The end-of-run cleanup writes back every slot still open for writing,
//   as FCLOSE would: a script stopped half-way keeps what it wrote.
// - FGET of a line past the end gives Empty; of a column past the end, "".
// - Reading a column enclosed in double quotes turns each doubled quote
//   inside into one; FPUT with quote mode 2 also encloses a text that holds
//   the separator, so that reading the column gives the text back.
// - Writing back replaces the file in one step (a temporary file beside it
//   is moved over it), also for an exclusive file, whose hold is let go
//   just before: a failed write leaves the old file whole.
#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

#include "builtins/core/builtin_context.h"
#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

// Open-mode bits.
enum : int64_t {
  k_exists = 1,
  k_read = 2,
  k_write = 4,
  k_write_ansi = 8,
  k_write_utf8 = 16,
  k_write_utf8_bom = 32,
  k_write_utf16 = 64,
  k_no_cr = 128,
  k_tab = 256,
  k_exclusive = 512,
  k_any_write = k_write | k_write_ansi | k_write_utf8 | k_write_utf8_bom | k_write_utf16,
};
constexpr int64_t k_line_count = -1, k_all_text = -2, k_insert = -1;
constexpr int k_quote_ignored = 3, k_quote_enclose = 2;
constexpr int32_t k_slots = 64;
// FPUT pads with empty lines up to the line it is given: a line number
// beyond this many lines is refused instead of exhausting memory.
constexpr int64_t k_max_lines = 16 * 1024 * 1024;

struct FileSlot {
  int32_t write_encoding = 0;  // 0: read-only
  bool no_cr = false;
  bool exclusive = false;
  bool tab = false;
  std::u16string path;  // empty: the slot is free
  int64_t cached_line = -1;
  int64_t cached_column = 0;
  bool cached_quotes = false;
  std::u16string cached_rest;
  std::vector<std::u16string> lines;
  std::unique_ptr<platform::HeldFile> held;
  bool made_by_hold = false;  // the hold created the file: dropping the edits removes it

  bool open() const { return !path.empty(); }
  char16_t separator() const { return tab ? u'\t' : u','; }
  void drop_cache() {
    cached_line = -1;
    cached_column = 0;
    cached_rest.clear();
  }
};

// The length of the lines joined by CR LF (after the last one too with
// [final_break]).
size_t joined_length(const std::vector<std::u16string>& lines, bool final_break) {
  size_t length = 0;
  for (const std::u16string& line : lines) length += line.size() + 2;
  return lines.empty() || final_break ? length : length - 2;
}

// The lines joined into [out], which holds joined_length() units.
void join_into(const std::vector<std::u16string>& lines, bool final_break, char16_t* out) {
  for (size_t i = 0; i < lines.size(); ++i) {
    out = std::copy(lines[i].begin(), lines[i].end(), out);
    if (i + 1 < lines.size() || final_break) *out++ = u'\r', *out++ = u'\n';
  }
}

std::u16string joined(const std::vector<std::u16string>& lines, bool final_break) {
  std::u16string text(joined_length(lines, final_break), u'\0');
  join_into(lines, final_break, text.data());
  return text;
}

// The same as a string value: a whole file's text is made once, in its
// holder, not built up and then copied into it.
Value joined_value(const std::vector<std::u16string>& lines) {
  char16_t* units = nullptr;
  Value text = Value::string_to_fill(joined_length(lines, false), units);
  join_into(lines, false, units);
  return text;
}

// Writes the slot's lines back in its encoding; false when every try failed.
bool write_back(FileSlot& slot) {
  slot.held.reset();
  return save_text_file(slot.path, joined(slot.lines, !slot.no_cr), static_cast<TextEncoding>(slot.write_encoding));
}

class FileTable : public BuiltinState {
 public:
  std::mutex lock;
  std::array<FileSlot, k_slots> slots;

  // The slot of a script's file ID, or null.
  FileSlot* slot_of(int64_t id) {
    if (id < 1 || id > k_slots || !slots[id - 1].open()) return nullptr;
    return &slots[id - 1];
  }

  void end_of_run() override {
    std::lock_guard guard(lock);
    for (FileSlot& slot : slots) {
      if (slot.open() && slot.write_encoding != 0) write_back(slot);
      slot = FileSlot();
    }
  }
};

FileTable& file_table(BuiltinContext& ctx) { return ctx.interpreter.builtin_state<FileTable>(BuiltinStateSlot::Files); }

// A message to report once the file lock is let go: a report may wait for
// the main thread, which may itself wait for the lock.
struct Outcome {
  Outcome(Value result, std::u16string error = {}, bool recoverable = false)
      : result(std::move(result)), error(std::move(error)), recoverable(recoverable) {}
  Value result;
  std::u16string error;
  bool recoverable;
};

Value finish(BuiltinContext& ctx, Outcome outcome) {
  if (outcome.error.empty()) return outcome.result;
  if (!outcome.recoverable) return ctx.fail(std::move(outcome.error));
  ctx.interpreter.report_with_abort_question(ctx.frame, std::move(outcome.error));
  return outcome.result;
}

Outcome wrong_id() { return {Value(), message(MessageId::FileIdWrong), true}; }

// The pieces of a line between separators outside double quotes (with
// quote mode 3 quotes do not count), each as written.
class ColumnScanner {
 public:
  ColumnScanner(std::u16string_view text, char16_t separator, bool quotes)
      : m_text(text), m_separator(separator), m_quotes(quotes) {}

  bool done() const { return m_done; }
  // The next piece; afterwards rest() is the text after its separator.
  std::u16string_view next() {
    bool quoted = false;
    size_t start = m_at;
    for (; m_at < m_text.size(); ++m_at) {
      char16_t c = m_text[m_at];
      if (m_quotes && c == u'"') quoted = !quoted;
      if (c == m_separator && !quoted) {
        std::u16string_view piece = m_text.substr(start, m_at - start);
        ++m_at;
        return piece;
      }
    }
    m_done = true;
    return m_text.substr(start);
  }
  std::u16string_view rest() const { return m_text.substr(m_at); }

 private:
  std::u16string_view m_text;
  char16_t m_separator;
  bool m_quotes;
  size_t m_at = 0;
  bool m_done = false;
};

// A piece as FGET gives it: trimmed, and without its enclosing quotes.
std::u16string column_text(std::u16string_view piece, bool quotes) {
  piece = trim_blanks(piece);
  if (!quotes || piece.size() < 2 || piece.front() != u'"' || piece.back() != u'"') return std::u16string(piece);
  std::u16string text;
  std::u16string_view inner = piece.substr(1, piece.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    text += inner[i];
    if (inner[i] == u'"' && i + 1 < inner.size() && inner[i + 1] == u'"') ++i;
  }
  return text;
}

std::u16string read_column(FileSlot& slot, int64_t line, int64_t column, bool quotes) {
  const std::u16string& text = slot.lines[line - 1];
  std::u16string rest;
  int64_t at = 0;  // the columns behind [rest]
  if (slot.cached_line == line && slot.cached_column < column && slot.cached_quotes == quotes) {
    rest = slot.cached_rest;
    at = slot.cached_column;
  } else {
    rest = text;
  }
  ColumnScanner scanner(rest, slot.separator(), quotes);
  std::u16string_view piece;
  bool found = false;
  while (at < column && !scanner.done()) {
    piece = scanner.next();
    ++at;
    found = at == column;
  }
  if (!found) {
    slot.drop_cache();
    return {};
  }
  std::u16string result = column_text(piece, quotes);
  // Reading past the last column leaves nothing to go on from.
  std::u16string after = scanner.done() ? std::u16string() : std::u16string(scanner.rest());
  bool ended = scanner.done();
  slot.cached_line = ended ? -1 : line;
  slot.cached_column = column;
  slot.cached_quotes = quotes;
  slot.cached_rest = std::move(after);
  return result;
}

// The line rebuilt with [text] as its [column]-th column.
std::u16string with_column(std::u16string_view line, int64_t column, std::u16string_view text, char16_t separator,
                           int quote_mode) {
  std::vector<std::u16string_view> pieces;
  if (!line.empty()) {
    ColumnScanner scanner(line, separator, quote_mode != k_quote_ignored);
    while (!scanner.done()) pieces.push_back(scanner.next());
  }
  std::u16string value(text);
  if (quote_mode == k_quote_enclose &&
      (value.find(u'"') != std::u16string::npos || value.find(separator) != std::u16string::npos)) {
    std::u16string quoted = u"\"";
    for (char16_t c : value) {
      quoted += c;
      if (c == u'"') quoted += c;
    }
    value = quoted + u"\"";
  }
  if (pieces.size() < static_cast<size_t>(column)) pieces.resize(static_cast<size_t>(column));
  std::u16string rebuilt;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) rebuilt += separator;
    rebuilt += i + 1 == static_cast<size_t>(column) ? std::u16string_view(value) : pieces[i];
  }
  return rebuilt;
}

std::u16string normalised_path(std::u16string_view path) {
  return platform::absolute_path(replace_all(std::u16string(path), u'/', u'\\'));
}

bool too_many(BuiltinContext& ctx) {
  if (ctx.args.count() <= 2) return false;
  ctx.fail(message(MessageId::FileTooManyArguments));
  return true;
}

Outcome open_file(BuiltinContext& ctx) {
  std::u16string_view written = ctx.text(0);
  int64_t mode = ctx.integer(1, k_read);
  if ((mode & k_exists) && !(mode & (k_read | k_any_write))) {
    bool folder = !written.empty() && (written.back() == u'\\' || written.back() == u'/');
    std::u16string path = normalised_path(written);
    return {ctx.boolean(folder ? platform::directory_exists(path) : platform::file_exists(path))};
  }
  if (written.empty()) return {Value::i4(-1)};
  FileTable& table = file_table(ctx);
  std::lock_guard guard(table.lock);
  int32_t index = 0;
  while (index < k_slots && table.slots[index].open()) ++index;
  if (index == k_slots) return {Value::i4(0), message(MessageId::FileOpenExceeded, u"64")};
  if (mode == 0) mode = k_read;
  if (!(mode & (k_read | k_exclusive | k_any_write))) return {Value::i4(-1), message(MessageId::FileOpenMode), true};
  std::u16string path = normalised_path(written);
  FileSlot slot;
  slot.path = path;
  TextEncoding detected = TextEncoding::Ansi;
  if (platform::file_exists(path)) {
    std::optional<TextFileLines> loaded = load_text_file(path);
    if (!loaded) return {Value::i4(-1)};
    slot.lines = std::move(loaded->lines);
    detected = loaded->encoding;
  } else if (!(mode & k_any_write)) {
    return {Value::i4(-1)};
  }
  if (mode & k_any_write) {
    slot.write_encoding = static_cast<int32_t>(detected);
    if (mode & k_write_utf16) slot.write_encoding = 64;
    else if (mode & k_write_utf8_bom) slot.write_encoding = 32;
    else if (mode & k_write_utf8) slot.write_encoding = 16;
    else if (mode & k_write_ansi) slot.write_encoding = 8;
  }
  slot.no_cr = mode & k_no_cr;
  slot.tab = mode & k_tab;
  slot.exclusive = mode & k_exclusive;
  if (slot.exclusive) {
    slot.made_by_hold = !platform::file_exists(path);
    slot.held = platform::hold_file(path);
    if (!slot.held) return {Value::i4(-1)};
  }
  table.slots[index] = std::move(slot);
  return {Value::i4(index + 1)};
}

// Runs [work] on the slot of the file ID in the first argument, under the
// file lock; a wrong ID is reported.
Outcome on_slot(BuiltinContext& ctx, Outcome (*work)(BuiltinContext&, FileSlot*)) {
  FileTable& table = file_table(ctx);
  std::lock_guard guard(table.lock);
  FileSlot* slot = table.slot_of(ctx.integer(0));
  if (!slot) return wrong_id();
  return work(ctx, slot);
}

Outcome close_file(BuiltinContext& ctx, FileSlot* slot) {
  bool discard = ctx.integer(1) != 0;
  Outcome outcome{ctx.true_value()};
  if (slot->write_encoding != 0 && !discard && !write_back(*slot))
    outcome = {ctx.false_value(), message(MessageId::FileWriteFailed, slot->path)};
  if (discard && slot->made_by_hold) {
    slot->held.reset();
    platform::delete_file(slot->path);
  }
  *slot = FileSlot();
  return outcome;
}

Outcome get_from_file(BuiltinContext& ctx, FileSlot* slot) {
  int64_t line = ctx.integer(1);
  if (line == k_line_count) return {Value::i4(static_cast<int32_t>(slot->lines.size()))};
  if (line == k_all_text) return {joined_value(slot->lines)};
  if (line < 1 || line > static_cast<int64_t>(slot->lines.size())) return {Value()};
  int64_t column = ctx.integer(2);
  if (column <= 0) return {Value::string(slot->lines[line - 1])};
  return {Value::string(read_column(*slot, line, column, ctx.integer(3) != k_quote_ignored))};
}

Outcome put_into_file(BuiltinContext& ctx, FileSlot* slot) {
  if (slot->write_encoding == 0) return {Value(), message(MessageId::FileNotWritable, slot->path)};
  slot->drop_cache();
  std::vector<std::u16string>& lines = slot->lines;
  std::u16string_view text = ctx.text(1);
  int64_t line = ctx.integer(2);
  int64_t column = ctx.integer(3);
  int quote_mode = static_cast<int>(ctx.integer(4));
  if (line == k_all_text) {
    lines = split_lines(text);
    return {Value()};
  }
  if (line <= 0) {
    lines.push_back(column >= 1 ? with_column(u"", column, text, slot->separator(), quote_mode) : std::u16string(text));
    return {Value()};
  }
  if (line > k_max_lines) return {Value(), message(MessageId::FileLineTooFar, ctx.text(2))};
  size_t at = static_cast<size_t>(line - 1);
  if (column == k_insert) {
    if (lines.size() < at) lines.resize(at);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::u16string(text));
    return {Value()};
  }
  if (lines.size() <= at) lines.resize(at + 1);
  lines[at] = column >= 1 ? with_column(lines[at], column, text, slot->separator(), quote_mode) : std::u16string(text);
  return {Value()};
}

Outcome delete_line(BuiltinContext& ctx, FileSlot* slot) {
  int64_t line = ctx.integer(1);
  slot->drop_cache();
  if (line >= 1 && line <= static_cast<int64_t>(slot->lines.size()))
    slot->lines.erase(slot->lines.begin() + static_cast<std::ptrdiff_t>(line - 1));
  return {Value()};
}

}  // namespace

Value builtin_fopen(BuiltinContext& ctx) {
  if (too_many(ctx)) return failed_result();
  return finish(ctx, open_file(ctx));
}

Value builtin_fclose(BuiltinContext& ctx) {
  if (too_many(ctx)) return failed_result();
  return finish(ctx, on_slot(ctx, close_file));
}

Value builtin_fget(BuiltinContext& ctx) { return finish(ctx, on_slot(ctx, get_from_file)); }

Value builtin_fput(BuiltinContext& ctx) { return finish(ctx, on_slot(ctx, put_into_file)); }

Value builtin_fdelline(BuiltinContext& ctx) {
  if (too_many(ctx)) return failed_result();
  return finish(ctx, on_slot(ctx, delete_line));
}

}  // namespace vesk
