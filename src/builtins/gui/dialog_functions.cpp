// MSGBOX, INPUT, SLCTBOX, FUKIDASI/BALLOON, POPUPMENU, STOPFORM and
// LOGPRINT: the arguments are read here and the program's dialogs shown on
// the main thread. Without installed dialogs (vesk-cli) nobody can answer:
// MSGBOX, INPUT and SLCTBOX write their text to standard error and give the
// answer of a user who pressed Enter at once (the default button, the
// default text) or did not answer in time (SLCTBOX 0); POPUPMENU is closed
// without a choice (-1); the balloon, the stop form and the log window do
// nothing.
#include <cstdio>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/input.h"
#include "builtins/gui/script_dialogs.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

std::atomic<gui::ScriptDialogs*> g_dialogs{nullptr};

gui::DialogLook look_of(const BuiltinContext& ctx) {
  const ScriptOptions& options = ctx.interpreter.program().options;
  return {options.dialog_title, options.default_font_name, options.default_font_size, options.dialog_monitor};
}

void write_headless(std::u16string_view function, std::u16string_view text) {
  std::string bytes = utf16_to_utf8(function) + ": " + utf16_to_utf8(text) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

// Runs [show] on the main thread; a modal dialog ([modal]) has the
// script's input lock lifted while it is open. False when no dialogs are
// installed or the run is being cleaned up.
bool on_main(BuiltinContext& ctx, bool modal, const std::function<void(gui::ScriptDialogs&)>& show) {
  gui::ScriptDialogs* dialogs = g_dialogs.load();
  if (!dialogs) return false;
  Interpreter& interpreter = ctx.interpreter;
  return interpreter.on_main_thread([&] {
    if (modal) gui::set_input_lock(interpreter, false);
    show(*dialogs);
    if (modal && !interpreter.stop_requested()) gui::set_input_lock(interpreter, true);
  });
}

// An empty argument counts as -1.
int32_t coordinate(const BuiltinContext& ctx, int k) {
  if (!ctx.given(k) || trim_blanks(ctx.text(k)).empty()) return -1;
  return static_cast<int32_t>(ctx.integer(k));
}

// The texts of raw argument [k]: the elements of an array it names or
// evaluates to, else its one value.
std::optional<std::vector<std::u16string>> raw_texts(BuiltinContext& ctx, int k) {
  std::vector<std::u16string> out;
  {
    std::lock_guard lock(ctx.interpreter.store().global_lock());
    if (Variable* var = ctx.interpreter.store().find_variable(ctx.frame, raw_name(ctx, k)); var && var->is_array()) {
      for (const Value& v : var->values) out.push_back(argument_text(v));
      return out;
    }
  }
  EvalResult r = ctx.interpreter.evaluate_in(ctx.site.argument(k), ctx.frame);
  if (r.failed || ctx.frame.error) {
    ctx.failed = true;
    return std::nullopt;
  }
  if (r.value.is_array())
    for (const Value& v : r.value.as_array().elements) out.push_back(argument_text(v));
  else
    out.push_back(argument_text(r.value));
  return out;
}

bool reads_as_number(const std::u16string& text) {
  std::u16string_view t = trim_blanks(text);
  if (t.empty()) return false;
  if (t[0] == u'-' || t[0] == u'+') t.remove_prefix(1);
  bool digit = false;
  for (char16_t c : t) {
    if (c >= u'0' && c <= u'9') digit = true;
    else if (c != u'.') return false;
  }
  return digit;
}

int32_t to_int(const std::u16string& text) {
  try {
    return static_cast<int32_t>(std::stod(utf16_to_utf8(trim_blanks(text))));
  } catch (...) {
    return 0;
  }
}

int32_t first_button(int32_t buttons, int32_t focus) {
  static constexpr int32_t k_row[] = {4, 8, 1, 2, 16, 32, 64};
  if (buttons > 0 && focus > 0 && (buttons & focus)) return focus;
  if (buttons > 0)
    for (int32_t bit : k_row)
      if (buttons & bit) return bit;
  return 1;
}

}  // namespace

namespace gui {
void install_script_dialogs(ScriptDialogs* dialogs) { g_dialogs = dialogs; }
}  // namespace gui

// MSGBOX(message, buttons, x, y, focus, plain)
Value builtin_msgbox(BuiltinContext& ctx) {
  gui::MessageBoxRequest request;
  request.text = ctx.text(0);
  request.buttons = static_cast<int32_t>(ctx.integer(1));
  request.x = coordinate(ctx, 2);
  request.y = coordinate(ctx, 3);
  request.focus = static_cast<int32_t>(ctx.integer(4));
  request.plain = ctx.integer(5) != 0;
  gui::DialogLook look = look_of(ctx);
  int32_t answer = 2;  // closed
  if (g_dialogs.load()) {
    on_main(ctx, true, [&](gui::ScriptDialogs& d) { answer = d.message_box(ctx.interpreter, look, request); });
    return Value::i4(answer);
  }
  write_headless(u"MSGBOX", request.text);
  return Value::i4(first_button(request.buttons, request.focus));
}

// INPUT(message, default, password, x, y)
Value builtin_input(BuiltinContext& ctx) {
  gui::InputRequest request;
  request.message = ctx.text(0);
  request.initial = ctx.text(1);
  request.password = ctx.given(2) && ctx.integer(2) != 0;
  request.positioned = ctx.args.count() >= 5;
  request.x = static_cast<int32_t>(ctx.integer(3));
  request.y = static_cast<int32_t>(ctx.integer(4));
  gui::DialogLook look = look_of(ctx);
  if (g_dialogs.load()) {
    std::optional<std::u16string> answer;
    on_main(ctx, true, [&](gui::ScriptDialogs& d) { answer = d.input_box(ctx.interpreter, look, request); });
    return answer ? Value::string(std::move(*answer)) : Value::empty();
  }
  write_headless(u"INPUT", request.message);
  return Value::string(request.initial);
}

// SLCTBOX(type, time-out, [x, y,] message, item ...): the third and later
// arguments are taken as written; an array among them gives its elements.
Value builtin_slctbox(BuiltinContext& ctx) {
  gui::SelectRequest request;
  request.type = static_cast<int32_t>(ctx.integer(0));
  request.timeout_seconds = ctx.number(1);
  std::vector<std::u16string> rest;
  for (int k = 2; k < ctx.args.count(); ++k) {
    std::optional<std::vector<std::u16string>> texts = raw_texts(ctx, k);
    if (!texts) return failed_result();
    rest.insert(rest.end(), texts->begin(), texts->end());
  }
  size_t next = 0;
  if (rest.size() >= 2 && reads_as_number(rest[0]) && reads_as_number(rest[1])) {
    request.positioned = true;
    request.x = to_int(rest[0]);
    request.y = to_int(rest[1]);
    next = 2;
  }
  if (next < rest.size()) request.message = rest[next++];
  size_t limit = (request.type & (64 | 128)) ? rest.size() : 31;
  for (; next < rest.size() && request.items.size() < limit; ++next) request.items.push_back(rest[next]);
  gui::DialogLook look = look_of(ctx);
  if (!g_dialogs.load()) {
    write_headless(u"SLCTBOX", request.message);
    return Value::i4(0);
  }
  gui::SelectResult result{false, -1, {}};
  on_main(ctx, true, [&](gui::ScriptDialogs& d) { result = d.select_box(ctx.interpreter, look, request); });
  if (result.is_text) return Value::string(std::move(result.text));
  return Value::i4(static_cast<int32_t>(result.number));
}

// FUKIDASI / BALLOON(text, x, y, direction, size, font, text colour,
// background colour, transparency)
Value builtin_fukidasi(BuiltinContext& ctx) {
  gui::BalloonRequest request;
  request.text = ctx.text(0);
  request.x = static_cast<int32_t>(ctx.integer(1));
  request.y = static_cast<int32_t>(ctx.integer(2));
  request.direction = static_cast<int32_t>(ctx.integer(3));
  request.size = static_cast<int32_t>(ctx.integer(4));
  request.font = ctx.given(5) ? ctx.text(5) : std::u16string();
  request.text_colour = static_cast<int32_t>(ctx.integer(6));
  request.background = static_cast<int32_t>(ctx.integer(7));
  request.transparency = static_cast<int32_t>(ctx.integer(8));
  gui::DialogLook look = look_of(ctx);
  int32_t slot = ctx.frame.slot;
  on_main(ctx, false, [&](gui::ScriptDialogs& d) { d.balloon(ctx.interpreter, look, slot, request); });
  return Value::empty();
}

// POPUPMENU(items, x, y): [items] is one text of lines, or an array whose
// elements are the lines.
Value builtin_popupmenu(BuiltinContext& ctx) {
  std::optional<std::vector<std::u16string>> texts = raw_texts(ctx, 0);
  if (!texts) return failed_result();
  std::u16string items;
  for (const std::u16string& t : *texts) {
    if (!items.empty()) items += u'\r';
    items += t;
  }
  int32_t x = ctx.given(1) ? static_cast<int32_t>(ctx.integer(1)) : -1;
  int32_t y = ctx.given(2) ? static_cast<int32_t>(ctx.integer(2)) : -1;
  int32_t chosen = -1;
  on_main(ctx, true, [&](gui::ScriptDialogs& d) { chosen = d.popup_menu(ctx.interpreter, items, x, y); });
  return Value::i4(chosen);
}

// STOPFORM(show, x, y)
Value builtin_stopform(BuiltinContext& ctx) {
  bool show = ctx.number(0) != 0;
  int32_t x = static_cast<int32_t>(ctx.integer(1)), y = static_cast<int32_t>(ctx.integer(2));
  int count = ctx.args.count();
  on_main(ctx, false, [&](gui::ScriptDialogs& d) { d.stop_form(ctx.interpreter, show, x, y, count); });
  return Value::empty();
}

// LOGPRINT(show, x, y, width, height)
Value builtin_logprint(BuiltinContext& ctx) {
  bool show = ctx.number(0) != 0;
  int32_t x = static_cast<int32_t>(ctx.integer(1)), y = static_cast<int32_t>(ctx.integer(2));
  int32_t w = static_cast<int32_t>(ctx.integer(3)), h = static_cast<int32_t>(ctx.integer(4));
  int count = ctx.args.count();
  on_main(ctx, false, [&](gui::ScriptDialogs& d) { d.log_print(ctx.interpreter, show, x, y, w, h, count); });
  return Value::empty();
}

}  // namespace vesk
