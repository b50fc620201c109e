// GETID, GETALLWIN, IDTOHND and HNDTOID: windows by title and class, as
// small integers.
#include <chrono>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/window_search.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"
#include "support/text.h"

namespace vesk {
namespace {

using gui::WindowState;

void sleep_and_pump(Interpreter& interpreter, unsigned ms, int rounds) {
  Sleep(ms);
  short_pump(interpreter, rounds);
}

// The window that a special name stands for; [special] false when the
// title is no special name.
HWND special_window(BuiltinContext& ctx, std::u16string_view title, bool& special) {
  special = true;
  if (title == u"GET_ACTIVE_WIN") return GetForegroundWindow();
  POINT cursor{};
  if (title == u"GET_FROMPOINT_WIN") return GetCursorPos(&cursor) ? gui::top_level_at(cursor) : nullptr;
  if (title == u"__GET_FROMPOINT_OBJ__") return GetCursorPos(&cursor) ? WindowFromPoint(cursor) : nullptr;
  // The host's own windows: none until the host registers them.
  if (title == u"__GET_LOGPRINT_WIN__" || title == u"__GET_STOPFORM_WIN__" || title == u"__GET_THISVESK_WIN__" ||
      title == u"__GET_FUKIDASI_WIN__" || title == u"__GET_FORM_WIN__" || title == u"__GET_SCHEDULE_WIN__")
    return gui::host_window(ctx.interpreter, title, ctx.frame.slot);
  special = false;
  return nullptr;
}

// The fallback search, which may shorten the title for the tries left.
HWND fallback_search(BuiltinContext& ctx, std::u16string& title, std::u16string_view klass, bool browser) {
  if (title.find(u"- 秀丸") != std::u16string::npos) {
    size_t slash;
    while ((slash = title.find(u'\\')) != std::u16string::npos) title.erase(0, slash + 1);
    return gui::find_top_window(ctx.interpreter, title, klass);
  }
  if (!browser) return nullptr;
  for (std::u16string_view name : {u"MICROSOFT INTERNET EXPLORER", u"WINDOWS INTERNET EXPLORER"})
    if (title.find(name) != std::u16string::npos) return gui::find_top_window(ctx.interpreter, name, klass);
  return nullptr;
}

bool thread_told_to_end(BuiltinContext& ctx) {
  return ctx.frame.slot > 0 && ctx.interpreter.thread_state(ctx.frame.slot) == 2;
}

}  // namespace

namespace gui {

int32_t get_id(BuiltinContext& ctx, std::u16string title, std::u16string_view klass, double seconds,
               std::u16string_view caption) {
  using clock = std::chrono::steady_clock;
  Interpreter& interpreter = ctx.interpreter;
  WindowState& state = gui::window_state(interpreter);
  gui::ThreadGuiRecord& record = state.record(ctx.frame.slot);
  if (title.empty()) title = gui::k_no_title_marker;
  record.last_getid_title = title;

  int64_t wait_ms = static_cast<int64_t>(seconds * 1000);
  if (seconds > 0 && wait_ms == 0) wait_ms = 1;
  bool unlimited = seconds < 0;

  const std::vector<std::u16string>& code = interpreter.program().code;
  int32_t at = ctx.frame.statement();
  bool browser = klass == u"IEFRAME" && at >= 0 && at < static_cast<int32_t>(code.size()) &&
                 starts_with(code[at], u"ACW(GETID");

  bool special = false;
  if (HWND w = special_window(ctx, title, special); special) return state.id_of(w);

  int64_t minimum_tries = 10;
  int64_t minimum_ms = 0;
  bool input_action = false;
  if (unlimited) {
    minimum_tries = 10;
  } else if (wait_ms == 0) {
    minimum_ms = 100;
    if (title != record.last_waited_title) {
      record.last_waited_title = title;
      input_action = state.input_action_pending;
      minimum_tries = input_action ? 40 : 20;
      minimum_ms = input_action ? 8000 : 800;
      if (input_action && ctx.frame.slot == 0) state.input_action_pending = false;
    }
  } else {
    minimum_tries = 1;
    minimum_ms = wait_ms;
  }

  HWND found = nullptr;
  int64_t tries = 0;
  const clock::time_point start = clock::now();
  for (;;) {
    if (!unlimited && tries >= minimum_tries &&
        clock::now() - start >= std::chrono::milliseconds(minimum_ms))
      break;
    if (interpreter.stop_requested() || thread_told_to_end(ctx)) return -1;
    found = gui::find_top_window(interpreter, title, klass);
    if (found && !caption.empty()) found = gui::find_child_by_caption(interpreter, found, caption);
    if (found || (minimum_tries == 1 && minimum_ms <= 10 && !unlimited)) break;
    sleep_and_pump(interpreter, 10, 10);
    sleep_and_pump(interpreter, 10, 10);
    ++tries;
    if (tries % 100 == 0 && (found = fallback_search(ctx, title, klass, browser))) break;
    if (unlimited && tries > 99999) tries = 1;
  }
  if (!found) found = fallback_search(ctx, title, klass, browser);
  if (!found) return -1;

  if (unlimited) sleep_and_pump(interpreter, 20, 1);
  if (tries > 0 && !IsWindowVisible(found))
    for (int round = 0; round < 41 && !IsWindowVisible(found); ++round) sleep_and_pump(interpreter, 20, 1);
  if (tries > 0 || state.input_action_pending) {
    sleep_and_pump(interpreter, 20, 1);
    gui::wait_window_idle(interpreter, found);
  }
  if (unlimited || wait_ms > 10)
    sleep_and_pump(interpreter, 2, 4);
  else
    short_pump(interpreter, 2);
  return state.id_of(found);
}

}  // namespace gui

// GETID(title, class, wait, child caption)
Value builtin_getid(BuiltinContext& ctx) {
  bool null_title = ctx.given(0) && ctx.value(0).type() == VarType::Null;
  std::u16string title = null_title ? std::u16string() : gui::system_upper(ctx.text(0));
  std::u16string klass = gui::system_upper(ctx.given(1) ? ctx.text(1) : std::u16string());
  std::u16string caption = gui::system_upper(ctx.given(3) ? ctx.text(3) : std::u16string());
  return Value::i4(gui::get_id(ctx, std::move(title), klass, ctx.given(2) ? ctx.number(2) : 0, caption));
}

// GETALLWIN(id): the windows into ALL_WIN_ID, the children of [id] when it
// names a window, else the top-level windows.
Value builtin_getallwin(BuiltinContext& ctx) {
  static const std::u16string k_array = u"ALL_WIN_ID";
  WindowState& state = gui::window_state(ctx.interpreter);
  VariableStore& store = ctx.interpreter.store();
  store.reset_array(ctx.frame, k_array);
  HWND parent = state.window_of(static_cast<int32_t>(ctx.integer(0)), true);
  std::vector<gui::Candidate> candidates = gui::collect_candidates(ctx.interpreter, parent);
  for (const gui::Candidate& c : candidates) store.append_array(ctx.frame, k_array, Value::i4(state.id_of(c.window)));
  return Value::i4(static_cast<int32_t>(candidates.size()));
}

// IDTOHND(id): the window handle as a number, 0 when none.
Value builtin_idtohnd(BuiltinContext& ctx) {
  HWND window = gui::window_state(ctx.interpreter).window_of(static_cast<int32_t>(ctx.integer(0)));
  return Value::i4(static_cast<int32_t>(reinterpret_cast<intptr_t>(window)));
}

// HNDTOID(handle): the window's ID, -1 when the value is no window.
Value builtin_hndtoid(BuiltinContext& ctx) {
  HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(ctx.integer(0)));
  if (!window || !IsWindow(window)) return Value::i4(-1);
  return Value::i4(gui::window_state(ctx.interpreter).id_of(window));
}

}  // namespace vesk
