// The built-in dispatch: the name table, the preparation of the argument
// set, the numeric group's arguments, the exception guard and the timing of
// calls on the main thread.
#include "builtins/core/dispatch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <unordered_map>

#include "builtins/core/builtin_context.h"
#include "engine/runtime/thread_run.h"
#include "engine/values/conversion.h"
#include "engine/values/numeric_text.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"
#include "support/whole_number.h"

namespace vesk {
namespace {

// Argument positions of the table: the first three, and every later one.
constexpr uint8_t P0 = 0, P1 = 1, P2 = 2, P3 = 4, P4 = 8;

using BuiltinFunction = Value (*)(BuiltinContext&);

struct BuiltinInfo {
  const char16_t* name;
  int minimum;
  int maximum;
  uint8_t raw;
  uint8_t text;
  BuiltinFunction function;
};

constexpr BuiltinInfo k_builtins[] = {
#define B(id, name, minimum, maximum, raw, text, entry) {u## #name, minimum, maximum, raw, text, builtin_##entry},
#include "builtins/core/builtin_table.def"
#undef B
};
constexpr int32_t k_builtin_count = static_cast<int32_t>(std::size(k_builtins));
static_assert(k_builtin_count == 133);

enum : int32_t { k_id_clkitem = 23, k_id_sckey = 25, k_id_vartype = 109 };

bool in_numeric_group(int32_t id) { return (id >= 0 && id <= 11) || (id >= 88 && id <= 91); }

uint8_t position_bit(int k) { return k == 0 ? P1 : k == 1 ? P2 : k == 2 ? P3 : P4; }

const std::unordered_map<std::u16string_view, int32_t>& name_list() {
  static const std::unordered_map<std::u16string_view, int32_t> names = [] {
    std::unordered_map<std::u16string_view, int32_t> m;
    for (int32_t i = 0; i < k_builtin_count; ++i) m.emplace(k_builtins[i].name, i);
    return m;
  }();
  return names;
}

std::atomic<int32_t> g_gap_ms{0};
std::atomic<int64_t> g_last_end_ms{-1};

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void record_gap() {
  int64_t last = g_last_end_ms.load();
  int64_t gap = last < 0 ? 0 : now_ms() - last;
  g_gap_ms = static_cast<int32_t>(std::clamp<int64_t>(gap, 0, 999));
}

int64_t truncate_to_integer(double number) {
  if (std::isnan(number)) return 0;
  if (number >= 9.2233720368547758e18) return INT64_MAX;
  if (number <= -9.2233720368547758e18) return INT64_MIN;
  return static_cast<int64_t>(number);
}

// Fills the number fields when [arg]'s text reads as a number (trimmed,
// strict exponent).
void read_number_fields(PreparedArgument& arg) {
  arg.numeric = is_numeric_text(arg.text(), NumericTextMode{false, true});
  if (!arg.numeric) return;
  double n = read_number(trim_blanks(arg.text()));
  arg.number = n;
  arg.integer = truncate_to_integer(n);
}

// Prepares position [k]; false when the call must end (the error is
// reported).
bool prepare_position(BuiltinContext& ctx, const BuiltinInfo& info, int k, PreparedArgument& arg) {
  const std::u16string& source = ctx.site.arguments[k];
  if (info.raw & position_bit(k)) {
    arg.text_value = Value::string(source);
    return true;
  }
  std::optional<Value> v;
  if (ctx.id == k_id_sckey && k >= 1 && source.size() == 1) {
    // A bare key letter names its key constant.
    v = evaluate_text(ctx, u"VK_" + source);
  } else {
    EvalResult r = ctx.interpreter.evaluate_in(ctx.site.argument(k), ctx.frame);
    if (!r.failed && !ctx.frame.error) v = std::move(r.value);
  }
  if (!v) return false;
  if (ctx.id == k_id_vartype && k == 0) {
    arg.value = std::move(*v);
    return true;
  }
  // OPTIMIZATION: a whole number below 2^31 prints all its digits, which
  // read back as the number itself: its number fields are taken from it,
  // not from reading its text again.
  int32_t whole = 0;
  if (v->is(VarType::R8) && truncate_to_int32(v->as_r8(), whole) && whole == v->as_r8()) {
    arg.text_value = Value::string(double_to_text(whole));
    arg.numeric = true;
    arg.number = whole;
    arg.integer = whole;
    if (k < 2) arg.value = std::move(*v);
    return true;
  }
  arg.text_value = v->is_string() ? *v : Value::string(argument_text(*v));
  if (k < 2) arg.value = std::move(*v);
  read_number_fields(arg);
  if (arg.numeric || (info.text & position_bit(k))) return true;
  if (ctx.id == k_id_clkitem && k == 2 && arg.text().empty()) return true;
  ctx.fail(message(MessageId::DefinitionWrong, arg.text()));
  return false;
}

bool prepare_arguments(BuiltinContext& ctx, const BuiltinInfo& info, PreparedArguments& args) {
  int given = static_cast<int>(ctx.site.arguments.size());
  int prepared = std::min(given, k_max_builtin_arguments);
  for (int k = 0; k < prepared; ++k) {
    if (ctx.interpreter.stop_pending() || ctx.interpreter.stopped()) return false;
    if (!prepare_position(ctx, info, k, args.add())) return false;
  }
  if (given > info.maximum || given > k_max_builtin_arguments) {
    ctx.fail(message(MessageId::TooManyArguments));
    return false;
  }
  if (given < info.minimum) {
    ctx.fail(message(MessageId::TooFewArguments, info.name));
    return false;
  }
  return true;
}

// The numeric group evaluates up to three arguments to doubles; later ones
// are ignored.
Value call_numeric(BuiltinContext& ctx) {
  std::array<double, 3> numbers{0, 0, 0};
  int given = std::min<int>(static_cast<int>(ctx.site.arguments.size()), 3);
  for (int k = 0; k < given; ++k) {
    EvalResult r = ctx.interpreter.evaluate_in(ctx.site.argument(k), ctx.frame);
    if (r.failed || ctx.frame.error) {
      ctx.failed = true;
      return failed_result();
    }
    Converted<double> d = r.value.is_array() ? Converted<double>(ConversionError::TypeMismatch) : to_double(r.value);
    if (!d.ok()) return ctx.fail(message(MessageId::IsNonNumeric, ctx.site.arguments[k]));
    numbers[k] = *d;
  }
  return run_numeric_group(ctx, numbers, given);
}

// Runs built-in [id] behind the exception guard: a failure while the
// arguments are prepared is "SyntaxError-20", one inside the function
// "SyntaxError-21".
Value guarded_call(BuiltinContext& ctx, const BuiltinInfo& info) {
  PreparedArguments& args = const_cast<PreparedArguments&>(ctx.args);
  try {
    if (!prepare_arguments(ctx, info, args)) {
      ctx.failed = true;
      return failed_result();
    }
  } catch (...) {
    return ctx.fail(u"SyntaxError-20");
  }
  try {
    return info.function(ctx);
  } catch (...) {
    return ctx.fail(u"SyntaxError-21");
  }
}

}  // namespace

Value BuiltinContext::fail(std::u16string text) {
  failed = true;
  interpreter.report_error(frame, std::move(text));
  return failed_result();
}

std::u16string argument_text(const Value& value) {
  switch (value.type()) {
    case VarType::Bool:
      return u16(std::to_string(value.bool_word()));
    case VarType::Null:
      return std::u16string();
    case VarType::Object:
      return u16(std::to_string(value.is_nothing() ? 0u : value.as_object()->identity()));
    case VarType::Error:
      return u"ERROR";
    default:
      if (value.is_array()) return std::u16string();
      return to_text(value).value_or(std::u16string());
  }
}

std::optional<Value> evaluate_text(BuiltinContext& ctx, std::u16string_view text) {
  std::unique_ptr<CompiledExpression> compiled = compile_expression(text);
  EvalResult r = ctx.interpreter.evaluate_in(*compiled, ctx.frame);
  if (r.failed || ctx.frame.error) return std::nullopt;
  return std::move(r.value);
}

int32_t builtin_id(std::u16string_view name) {
  auto it = name_list().find(name);
  return it == name_list().end() ? -1 : it->second;
}

std::optional<Value> call_builtin(Interpreter& interpreter, const CallSite& call, CallFrame& frame, bool& failed) {
  std::u16string_view name = call.name;
  if (starts_with(name, u"GLOBAL.")) name.remove_prefix(7);
  // OPTIMIZATION: the site keeps the ID that its name looks up to.
  int32_t id = call.builtin.load(std::memory_order_relaxed);
  if (id == -2) {
    id = builtin_id(name);
    call.builtin.store(id, std::memory_order_relaxed);
  }
  if (id < 0) return std::nullopt;
  if (frame.error || interpreter.stopped() || interpreter.stop_pending()) {
    failed = true;
    return failed_result();
  }
  const BuiltinInfo& info = k_builtins[id];
  PreparedArguments args;
  BuiltinContext ctx(interpreter, frame, call, args, id);
  Value result;
  if (in_numeric_group(id)) {
    try {
      result = call_numeric(ctx);
    } catch (...) {
      result = ctx.fail(u"SyntaxError-21");
    }
  } else if (info.function == builtin_not_available) {
    result = ctx.fail(message(MessageId::NotAvailableHere, std::u16string(name)));
  } else {
    bool main_thread = frame.slot == 0;
    if (main_thread) record_gap();
    result = guarded_call(ctx, info);
    if (main_thread) g_last_end_ms = now_ms();
  }
  if (ctx.failed) failed = true;
  return result;
}

namespace {

// The core library as the engine sees it.
class CoreLibrary final : public BuiltinLibrary {
 public:
  std::optional<Value> call(Interpreter& interpreter, const CallSite& site, CallFrame& frame,
                            bool& failed) override {
    return call_builtin(interpreter, site, frame, failed);
  }
  std::optional<ArgumentBounds> bounds(std::u16string_view name) const override {
    int32_t id = builtin_id(name);
    if (id < 0) return std::nullopt;
    const BuiltinInfo& info = k_builtins[id];
    ArgumentBounds b{info.minimum, info.maximum};
    for (int k = 0; k < 4; ++k)
      if (info.raw & position_bit(k)) b.raw_mask |= static_cast<uint8_t>(1u << k);
    return b;
  }
  bool control_word_changed() const override { return vesk::control_word_changed(); }
};

}  // namespace

void install_core_builtins(Interpreter& interpreter) {
  static CoreLibrary library;
  save_startup_control_word();
  interpreter.set_library(&library);
}

Value builtin_not_available(BuiltinContext& ctx) { return ctx.fail(message(MessageId::NotAvailableHere, ctx.site.name)); }

Value builtin_numeric(BuiltinContext& ctx) { return call_numeric(ctx); }

void set_byte_string_mark(BuiltinContext& ctx) { thread_run(ctx.frame).byte_string_mark = true; }

int32_t builtin_call_gap_ms() { return g_gap_ms; }

}  // namespace vesk
