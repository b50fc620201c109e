// The array built-ins: SPLIT, JOIN, SLICE, CALCARRAY, QSORT, SHIFTARRAY,
// RESIZE, SETCLEAR and SAFEARRAY.
#include <algorithm>
#include <cmath>
#include <new>

#include "builtins/core/builtin_context.h"
#include "engine/runtime/frame_host.h"
#include "engine/values/conversion.h"
#include "engine/values/escapes.h"
#include "support/messages.h"
#include "support/text_search.h"

namespace vesk {
namespace {

// The array that a raw argument names for writing: a script array, or a
// variable that holds a variant array. The global lock is held meanwhile.
class ArrayTarget {
 public:
  ArrayTarget(BuiltinContext& ctx, int k)
      : m_lock(ctx.interpreter.store().global_lock()),
        m_var(ctx.interpreter.store().find_variable(ctx.frame, raw_name(ctx, k))) {}

  bool found() const { return m_var && (m_var->is_array() || m_var->values[0].is_array()); }
  bool script_array() const { return m_var->is_array(); }
  Variable& variable() { return *m_var; }
  // The elements in row-major order, for writing.
  std::vector<Value>& elements() {
    return m_var->is_array() ? m_var->values : m_var->values[0].mutable_array().elements;
  }
  // Only one-dimensional arrays can change their size or order.
  bool one_dimensional() const {
    return m_var->is_array() ? m_var->bounds.size() == 1 : m_var->values[0].as_array().dimensions.size() == 1;
  }

 private:
  std::lock_guard<std::recursive_mutex> m_lock;
  Variable* m_var;
};

bool check_target(BuiltinContext& ctx, ArrayTarget& target, int k, bool one_dimensional) {
  if (!target.found()) {
    ctx.fail(message(MessageId::NotAnArray, ctx.site.arguments[k]));
    return false;
  }
  if (one_dimensional && !target.one_dimensional()) {
    ctx.fail(message(MessageId::DimensionMismatch, ctx.site.arguments[k]));
    return false;
  }
  return true;
}

// The index range [from, to] of a call within [size] elements; empty when
// from > to.
struct Range {
  int64_t from, to;
  bool empty() const { return from > to; }
};

Range range_of(const BuiltinContext& ctx, int from_k, int to_k, size_t size) {
  int64_t last = static_cast<int64_t>(size) - 1;
  Range r{std::max<int64_t>(ctx.integer(from_k, 0), 0), std::min(ctx.integer(to_k, last), last)};
  return r;
}

}  // namespace

// SPLIT(text, delimiter)
Value builtin_split(BuiltinContext& ctx) {
  std::u16string_view text = ctx.text(0);
  std::u16string_view delimiter = ctx.given(1) ? ctx.text(1) : u" ";
  std::vector<Value> pieces;
  if (!text.empty()) {
    if (delimiter.empty()) {
      pieces.push_back(Value::string(text));
    } else {
      // The pieces of a text without an escape have none either.
      bool clean = ctx.text_value(0).string_escape_free();
      auto piece = [&](std::u16string_view part) {
        pieces.push_back(Value::string(part));
        if (clean) pieces.back().mark_string_escape_free();
      };
      size_t from = 0;
      for (size_t at = find_text(text, delimiter); at != std::u16string::npos; at = find_text(text, delimiter, from)) {
        piece(text.substr(from, at - from));
        from = at + delimiter.size();
      }
      piece(text.substr(from));
    }
  }
  return Value::array_of(std::move(pieces));
}

// JOIN(raw array, separator, skip-empty flag, from, to)
Value builtin_join(BuiltinContext& ctx) {
  std::unique_ptr<RawArray> elements = raw_array_elements(ctx, 0);
  if (!elements) return failed_result();
  std::u16string_view separator = ctx.given(1) ? ctx.text(1) : u" ";
  bool skip_empty = ctx.integer(2) != 0;
  Range r = range_of(ctx, 3, 4, elements->size());
  // The pieces are measured first and the joined text written once: a
  // string element from its own buffer, the others through their text.
  std::vector<std::u16string> converted;
  bool clean = !holds_escape_mark(separator);  // the parts are without an escape
  auto piece_at = [&](int64_t i, size_t& next_converted) -> std::u16string_view {
    const Value& element = (*elements)[static_cast<size_t>(i)];
    if (element.is_string()) {
      clean = clean && element.string_escape_free();
      return element.as_string();
    }
    if (next_converted == converted.size()) {
      converted.push_back(argument_text(element));
      clean = clean && !holds_escape_mark(converted.back());
    }
    return converted[next_converted++];
  };
  size_t length = 0, count = 0, next = 0;
  for (int64_t i = r.from; i <= r.to; ++i) {
    std::u16string_view piece = piece_at(i, next);
    if (skip_empty && piece.empty()) continue;
    size_t joint = count++ > 0 ? separator.size() : 0;
    if (__builtin_add_overflow(length, piece.size(), &length) || __builtin_add_overflow(length, joint, &length))
      throw std::bad_alloc();  // reported as the run being out of memory
  }
  char16_t* at = nullptr;
  Value out = Value::string_to_fill(length, at);
  JoiningWriter writer(at);
  bool first = true;
  next = 0;
  for (int64_t i = r.from; i <= r.to; ++i) {
    std::u16string_view piece = piece_at(i, next);
    if (skip_empty && piece.empty()) continue;
    if (!first) writer.write(separator);
    writer.write(piece);
    first = false;
  }
  if (clean && !writer.mark_formed()) out.mark_string_escape_free();
  return out;
}

// SLICE(raw array, from, to)
Value builtin_slice(BuiltinContext& ctx) {
  std::unique_ptr<RawArray> elements = raw_array_elements(ctx, 0);
  if (!elements) return failed_result();
  Range r = range_of(ctx, 1, 2, elements->size());
  std::vector<Value> out;
  for (int64_t i = r.from; i <= r.to; ++i) out.push_back((*elements)[static_cast<size_t>(i)]);
  return Value::array_of(std::move(out));
}

// CALCARRAY(raw array, mode, from, to): over the elements that are not
// Empty. With none, CALC_ADD gives 0 and the others Empty.
Value builtin_calcarray(BuiltinContext& ctx) {
  std::unique_ptr<RawArray> elements = raw_array_elements(ctx, 0);
  if (!elements) return failed_result();
  int64_t mode = ctx.integer(1);
  if (mode < 1 || mode > 4) return Value();
  Range r = range_of(ctx, 2, 3, elements->size());
  double sum = 0, low = INFINITY, high = -INFINITY;
  int64_t count = 0;
  for (int64_t i = r.from; i <= r.to; ++i) {
    const Value& e = (*elements)[static_cast<size_t>(i)];
    if (e.is_empty()) continue;
    Converted<double> d = e.is_array() ? Converted<double>(ConversionError::TypeMismatch) : to_double(e);
    if (!d.ok()) return ctx.fail(message(MessageId::IsNonNumeric, argument_text(e)));
    sum += *d, low = std::min(low, *d), high = std::max(high, *d), ++count;
  }
  if (mode == 1) return Value::r8(sum);
  if (count == 0) return Value();
  if (mode == 2) return Value::r8(low);
  if (mode == 3) return Value::r8(high);
  return Value::r8(sum / static_cast<double>(count));
}

// --- QSORT ---

namespace {

// QSORT's order argument: 0 ascending and 1 descending by number, 2
// ascending and 3 descending by text.
enum SortOrder : int64_t { k_sort_up = 0, k_sort_down = 1, k_sort_text_up = 2, k_sort_text_down = 3 };

struct SortKey {
  bool number = false;
  double value = 0;
  std::u16string text;
};

class Sorter {
 public:
  Sorter(EvalHost& host, std::vector<SortKey> keys, bool text_mode, bool descending)
      : m_host(host), m_keys(std::move(keys)), m_text(text_mode), m_down(descending) {}

  // The order of the elements after the quicksort, as positions.
  std::vector<size_t> sort() {
    // OPTIMIZATION: when every key is a number in number order, the same
    // quicksort runs over the numbers alone (the same comparisons, so the
    // same order, equal keys included).
    if (!m_text && std::all_of(m_keys.begin(), m_keys.end(), [](const SortKey& k) { return k.number; })) {
      std::vector<double> numbers(m_keys.size());
      for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = m_keys[i].value;
      if (m_down) return quicksort([&](size_t a, size_t b) { return numbers[a] > numbers[b]; });
      return quicksort([&](size_t a, size_t b) { return numbers[a] < numbers[b]; });
    }
    return quicksort([this](size_t a, size_t b) { return before(a, b); });
  }

 private:
  template <class Before>
  std::vector<size_t> quicksort(Before before) const {
    std::vector<size_t> order(m_keys.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::vector<std::pair<int64_t, int64_t>> ranges{{0, static_cast<int64_t>(order.size()) - 1}};
    while (!ranges.empty()) {
      auto [lo, hi] = ranges.back();
      ranges.pop_back();
      if (lo >= hi) continue;
      int64_t i = lo, j = hi;
      size_t pivot = order[static_cast<size_t>(lo + (hi - lo) / 2)];
      while (i <= j) {
        while (before(order[static_cast<size_t>(i)], pivot)) ++i;
        while (before(pivot, order[static_cast<size_t>(j)])) --j;
        if (i <= j) std::swap(order[static_cast<size_t>(i++)], order[static_cast<size_t>(j--)]);
      }
      ranges.push_back({lo, j});
      ranges.push_back({i, hi});
    }
    return order;
  }

  // Numbers come before texts that read as none; texts compare as the
  // locale does.
  int compare(const SortKey& a, const SortKey& b) const {
    if (!m_text && a.number != b.number) return a.number ? -1 : 1;
    if (!m_text && a.number) return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
    return m_host.compare_text(a.text, b.text);
  }
  bool before(size_t a, size_t b) const {
    int c = compare(m_keys[a], m_keys[b]);
    return m_down ? c > 0 : c < 0;
  }

  EvalHost& m_host;
  std::vector<SortKey> m_keys;
  bool m_text, m_down;
};

std::vector<SortKey> sort_keys(const std::vector<Value>& elements, bool text_mode) {
  std::vector<SortKey> keys;
  keys.reserve(elements.size());
  for (const Value& e : elements) {
    SortKey k;
    if (!text_mode && !e.is_array()) {
      Converted<double> d = e.is(VarType::R8) ? Converted<double>(e.as_r8()) : to_double(e);
      k.number = d.ok();
      k.value = d.value_or(0);
    }
    // In number order a number's text is never compared.
    if (!k.number) k.text = argument_text(e);
    keys.push_back(std::move(k));
  }
  return keys;
}

void apply_order(std::vector<Value>& elements, const std::vector<size_t>& order) {
  std::vector<Value> sorted;
  sorted.reserve(elements.size());
  for (size_t i = 0; i < order.size(); ++i) sorted.push_back(elements[order[i]]);
  std::move(sorted.begin(), sorted.end(), elements.begin());
}

}  // namespace

// QSORT(raw array, order, raw arrays ...): the arrays after the order
// travel with the first one and must hold at least as many elements. An
// array named twice moves once.
Value builtin_qsort(BuiltinContext& ctx) {
  // An empty order (EMPTY, "") is the default; text that reads as no
  // number is no order.
  bool order_given = ctx.given(1) && !ctx.text(1).empty();
  int64_t order = order_given ? ctx.integer(1) : k_sort_up;
  if ((order_given && !ctx.args[1].numeric) || order < k_sort_up || order > k_sort_text_down)
    return ctx.fail(message(MessageId::DefinitionWrong, ctx.text(1)));
  bool text_mode = order >= k_sort_text_up;
  ArrayTarget target(ctx, 0);
  if (!check_target(ctx, target, 0, true)) return failed_result();
  std::vector<Value>& elements = target.elements();
  std::vector<std::unique_ptr<ArrayTarget>> owned;
  std::vector<const Variable*> moved{&target.variable()};
  for (int k = 2; k < ctx.args.count(); ++k) {
    auto companion = std::make_unique<ArrayTarget>(ctx, k);
    if (!check_target(ctx, *companion, k, true)) return failed_result();
    if (std::find(moved.begin(), moved.end(), &companion->variable()) != moved.end()) continue;
    if (companion->elements().size() < elements.size())
      return ctx.fail(message(MessageId::ArrayExceeded, ctx.site.arguments[k]));
    moved.push_back(&companion->variable());
    owned.push_back(std::move(companion));
  }
  FrameHost host(ctx.interpreter, ctx.frame);
  Sorter sorter(host, sort_keys(elements, text_mode), text_mode, order == k_sort_down || order == k_sort_text_down);
  std::vector<size_t> permutation = sorter.sort();
  apply_order(elements, permutation);
  for (auto& companion : owned) apply_order(companion->elements(), permutation);
  return Value::i4(static_cast<int32_t>(elements.size()));
}

// SHIFTARRAY(raw array, n): every element moves n places toward the end (n
// negative: toward the start); elements moved past an end are dropped and
// the places left behind hold Empty. Answers the element count.
Value builtin_shiftarray(BuiltinContext& ctx) {
  ArrayTarget target(ctx, 0);
  if (!check_target(ctx, target, 0, true)) return failed_result();
  std::vector<Value>& elements = target.elements();
  int64_t size = static_cast<int64_t>(elements.size());
  int64_t n = std::clamp<int64_t>(ctx.integer(1), -size, size);
  if (n > 0) {
    std::move_backward(elements.begin(), elements.end() - n, elements.end());
    std::fill(elements.begin(), elements.begin() + n, Value());
  } else if (n < 0) {
    std::move(elements.begin() - n, elements.end(), elements.begin());
    std::fill(elements.end() + n, elements.end(), Value());
  }
  return Value::i4(static_cast<int32_t>(size));
}

namespace {

constexpr int64_t k_max_elements = 1 << 26;

}  // namespace

// RESIZE(raw array, last index, fill value): the array's last index set to
// the given one (-1 leaves no element), keeping the elements that remain;
// new elements hold the fill value (Empty when omitted). Without a size
// nothing changes. Answers the last index.
Value builtin_resize(BuiltinContext& ctx) {
  ArrayTarget target(ctx, 0);
  if (!check_target(ctx, target, 0, true)) return failed_result();
  Variable& var = target.variable();
  int32_t lower = target.script_array() ? 0 : var.values[0].as_array().dimensions[0].lower;
  if (ctx.given(1)) {
    int64_t last = ctx.integer(1);
    if (last < lower - 1 || last - lower + 1 > k_max_elements)
      return ctx.fail(message(MessageId::ArrayIndexWrong, ctx.text(1)));
    Value fill = ctx.given(2) ? Value::r8(ctx.number(2)) : Value();
    size_t count = static_cast<size_t>(last - lower + 1);
    target.elements().resize(count, fill);
    if (target.script_array()) var.bounds[0] = static_cast<int32_t>(last);
    else var.values[0].mutable_array().dimensions[0].count = static_cast<int32_t>(count);
  }
  return Value::i4(target.script_array() ? var.bounds[0]
                                         : lower + var.values[0].as_array().dimensions[0].count - 1);
}

// SETCLEAR(raw array, value)
Value builtin_setclear(BuiltinContext& ctx) {
  ArrayTarget target(ctx, 0);
  if (!check_target(ctx, target, 0, false)) return failed_result();
  Value fill = ctx.given(1) ? ctx.value(1) : Value();
  std::vector<Value>& elements = target.elements();
  if (target.script_array()) {
    std::fill(elements.begin(), elements.end(), fill);
  } else {
    // A variant array has its first dimension set: with more dimensions,
    // the elements whose other indices are 0.
    const ArrayData& a = target.variable().values[0].as_array();
    size_t stride = a.dimensions[0].count == 0 ? 0 : elements.size() / static_cast<size_t>(a.dimensions[0].count);
    for (size_t i = 0; stride && i < elements.size(); i += stride) elements[i] = fill;
  }
  return Value::i4(static_cast<int32_t>(elements.size()));
}

// SAFEARRAY(low, high, low2, high2): a new variant array of Empty elements
// with those bounds (one dimension with two arguments, two with four);
// without arguments an array with no element.
Value builtin_safearray(BuiltinContext& ctx) {
  Ref<ArrayData> data = make_ref<ArrayData>();
  int64_t total = 1;
  int dimensions = ctx.args.count() >= 3 ? 2 : 1;
  for (int d = 0; d < dimensions; ++d) {
    int64_t low = ctx.integer(2 * d, 0);
    int64_t high = ctx.integer(2 * d + 1, low - 1);
    int64_t count = std::max<int64_t>(high - low + 1, 0);
    if (low < INT32_MIN || low > INT32_MAX || count * total > k_max_elements)
      return ctx.fail(message(MessageId::ArrayIndexWrong, ctx.text(2 * d)));
    data->dimensions.push_back({static_cast<int32_t>(low), static_cast<int32_t>(count)});
    total *= count;
  }
  data->elements.resize(static_cast<size_t>(total));
  return Value::array(std::move(data));
}

}  // namespace vesk
