// Read, Write and the declarations of the variable store.
#include "engine/values/variable_store.h"

#include <cmath>

#include "engine/values/conversion.h"
#include "engine/values/date_conversion.h"
#include "engine/values/expression.h"
#include "engine/values/named_constants.h"
#include "engine/values/numeric_text.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

constexpr size_t k_max_dimensions = 16;
// The most elements one array may hold; a larger declaration is refused
// instead of exhausting memory.
constexpr int64_t k_max_elements = 64 * 1024 * 1024;
constexpr double k_hash_remove_all = -109;

// An index value as an element number: numbers and numeric text truncate
// toward zero; anything else counts as 0.
int64_t index_of(const Value& v) {
  double d = 0;
  if (v.is_numeric_kind() || is_numeric_value(v, {false, false})) {
    Converted<double> c = to_double(v);
    if (c.ok()) d = *c;
  }
  if (!std::isfinite(d) || std::fabs(d) > 4e18) return INT64_MIN;
  return static_cast<int64_t>(std::trunc(d));
}

// The key that the hash index [v] names: a string's own text, else its
// text form, kept in [holder].
std::u16string_view key_of(const Value& v, std::u16string& holder) {
  std::u16string_view key;  // empty for a value without text
  text_in_place(v, holder, key);
  return key;
}

// The flat position of [indices] in an array value; -1 when outside.
int64_t value_position(const ArrayData& array, std::span<const Value> indices) {
  int64_t flat = 0;
  for (size_t d = 0; d < indices.size(); ++d) {
    const ArrayData::Dimension& dim = array.dimensions[d];
    int64_t i = index_of(indices[d]);
    if (i < dim.lower || i >= int64_t{dim.lower} + dim.count) return -1;
    flat = flat * dim.count + (i - dim.lower);
  }
  return flat;
}

// The flat position of [indices] in a declared array; -1 when outside.
int64_t declared_position(const std::vector<int32_t>& bounds, std::span<const Value> indices) {
  int64_t flat = 0;
  for (size_t d = 0; d < indices.size(); ++d) {
    int64_t i = index_of(indices[d]);
    if (i < 0 || i > bounds[d]) return -1;
    flat = flat * (int64_t{bounds[d]} + 1) + i;
  }
  return flat;
}

int64_t element_count(const std::vector<int32_t>& bounds) {
  int64_t count = 1;
  for (int32_t b : bounds) {
    count *= int64_t{b} + 1;
    if (count > k_max_elements) return -1;
  }
  return count;
}

// Splits a declaration list at "," outside quotes and brackets.
std::vector<std::u16string> split_items(std::u16string_view list) {
  std::vector<std::u16string> items;
  int depth = 0;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= list.size(); ++i) {
    char16_t c = i < list.size() ? list[i] : u',';
    if (c == u'"') quoted = !quoted;
    if (quoted && i < list.size()) continue;
    if (c == u'[' || c == u'(') ++depth;
    if (c == u']' || c == u')') --depth;
    if (c == u',' && (depth <= 0 || i == list.size())) {
      std::u16string_view item = trim_blanks(list.substr(start, i - start));
      if (!item.empty()) items.emplace_back(item);
      start = i + 1;
    }
  }
  return items;
}

// The position of the "=" of a declaration item outside quotes and brackets.
size_t assignment_of(std::u16string_view item) {
  int depth = 0;
  bool quoted = false;
  for (size_t i = 0; i < item.size(); ++i) {
    char16_t c = item[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'[' || c == u'(') ++depth;
    if (c == u']' || c == u')') --depth;
    if (c == u'=' && depth == 0) return i;
  }
  return std::u16string_view::npos;
}

std::u16string two_digits(int v, int width = 2) {
  std::u16string s = u16(std::to_string(v));
  while (static_cast<int>(s.size()) < width) s.insert(s.begin(), u'0');
  return s;
}

constexpr std::u16string_view k_fixed_reserved[] = {
    u"COM_ERR_FLG", u"G_IMG_X", u"G_IMG_Y", u"AND", u"OR", u"XOR", u"MOD", u"NULL", u"NOTHING", u"EMPTY",
    u"TRUE", u"FALSE", u"RESULT", u"TRY_ERRMSG", u"TRY_ERRLINE", u"G_TIME_YY", u"G_TIME_MM", u"G_TIME_DD",
    u"G_TIME_HH", u"G_TIME_NN", u"G_TIME_SS", u"G_TIME_ZZ", u"G_TIME_WW", u"G_TIME_YY2", u"G_TIME_YY4",
    u"G_TIME_MM2", u"G_TIME_DD2", u"G_TIME_HH2", u"G_TIME_NN2", u"G_TIME_SS2", u"G_TIME_ZZ2"};

}  // namespace

VariableStore::VariableStore() {
  set_old_bool(false);
  m_global.variable_names.keep_versions();
}

void VariableStore::set_old_bool(bool old_bool) {
  m_true = old_bool ? Value::i2(1) : Value::boolean(true);
  m_false = old_bool ? Value::i2(0) : Value::boolean(false);
}

void VariableStore::reset() {
  std::lock_guard lock(m_global_lock);
  m_global = THensuFmt();
  m_global_is_dim.clear();
  m_global_hash_is_dim.clear();
  m_const_names.clear();
  m_const_values.clear();
  m_textblock_names.clear();
  m_textblock_texts.clear();
  m_dll_names.clear();
  m_com_error = false;
  set_old_bool(false);
}

namespace {

void copy_hash_tables(const std::vector<std::unique_ptr<TSZHash>>& from, std::vector<std::unique_ptr<TSZHash>>& to) {
  to.clear();
  for (const auto& table : from) {
    auto copy = std::make_unique<TSZHash>();
    copy->assign(*table);
    to.push_back(std::move(copy));
  }
}

}  // namespace

bool VariableStore::is_module_private(std::u16string_view qualified) {
  std::lock_guard lock(m_global_lock);
  int32_t slot = m_global.variable_names.find(qualified);
  return slot >= 0 && static_cast<size_t>(slot) < m_global_is_dim.size() && m_global_is_dim[slot];
}

std::unique_ptr<GlobalSnapshot> VariableStore::snapshot_globals() {
  std::lock_guard lock(m_global_lock);
  auto s = std::make_unique<GlobalSnapshot>();
  s->variable_names = m_global.variable_names;
  s->variables = m_global.variables;
  s->is_dim = m_global_is_dim;
  s->hash_names = m_global.hash_names;
  copy_hash_tables(m_global.hash_objects, s->hash_objects);
  s->hash_is_dim = m_global_hash_is_dim;
  return s;
}

void VariableStore::restore_globals(const GlobalSnapshot& s) {
  std::lock_guard lock(m_global_lock);
  m_global.variable_names = s.variable_names;
  m_global.variables = s.variables;
  m_global_is_dim = s.is_dim;
  m_global.hash_names = s.hash_names;
  copy_hash_tables(s.hash_objects, m_global.hash_objects);
  m_global_hash_is_dim = s.hash_is_dim;
}

void VariableStore::report(THensuFmt& frame, const std::u16string& text) {
  frame.error = true;
  if (m_report) m_report(frame, text);
}

// Reads through a variable's indices, including an array held in a scalar
// and one further index into an array held in an element.
VariableStore::Access VariableStore::read_variable(THensuFmt& frame, Variable& var, std::u16string_view name,
                                                   std::span<const Value> indices, Value& out) {
  const Value* holder = nullptr;
  std::span<const Value> rest;
  if (var.is_array()) {
    size_t dims = var.bounds.size();
    if (indices.size() != dims && indices.size() != dims + 1) {
      report(frame, message(MessageId::DimensionMismatch, name));
      return Access::Failed;
    }
    int64_t pos = declared_position(var.bounds, indices.first(dims));
    if (pos < 0) {
      if (name == u"PARAM_STR") return out = Value(), Access::Found;
      report(frame, message(MessageId::ArrayExceeded, name));
      return Access::Failed;
    }
    if (indices.size() == dims) return out = var.values[pos], Access::Found;
    holder = &var.values[pos];
    rest = indices.subspan(dims);
  } else {
    if (indices.empty()) return out = var.values[0], Access::Found;
    holder = &var.values[0];
    rest = indices;
  }
  // An array value: its dimensions, or one dimension and one more index.
  if (!holder->is_array()) {
    report(frame, message(MessageId::DimensionMismatch, name));
    return Access::Failed;
  }
  const ArrayData* array = &holder->as_array();
  if (rest.size() == array->dimensions.size() + 1 && !var.is_array()) {
    int64_t pos = value_position(*array, rest.first(array->dimensions.size()));
    if (pos >= 0 && array->elements[pos].is_array() && array->elements[pos].as_array().dimensions.size() == 1) {
      array = &array->elements[pos].as_array();
      rest = rest.subspan(rest.size() - 1);
    }
  }
  if (rest.size() != array->dimensions.size()) {
    report(frame, message(MessageId::DimensionMismatch, name));
    return Access::Failed;
  }
  int64_t pos = value_position(*array, rest);
  if (pos < 0) {
    report(frame, message(MessageId::ArrayExceeded, name));
    return Access::Failed;
  }
  out = array->elements[pos];
  return Access::Found;
}

VariableStore::Access VariableStore::write_variable(THensuFmt& frame, Variable& var, std::u16string_view name,
                                                    std::span<const Value> indices, const Value& value,
                                                    bool initialising) {
  if (initialising && var.is_array() && indices.size() == 1) {
    int64_t pos = index_of(indices[0]);
    if (pos < 0 || pos >= static_cast<int64_t>(var.values.size())) {
      report(frame, message(MessageId::InitialValuesExceeded));
      return Access::Failed;
    }
    var.values[pos] = value;
    return Access::Found;
  }
  if (var.is_array()) {
    size_t dims = var.bounds.size();
    if (indices.size() != dims) {
      if (indices.size() == dims + 1) {
        int64_t pos = declared_position(var.bounds, indices.first(dims));
        if (pos >= 0 && var.values[pos].is_array()) {
          Value& inner = var.values[pos];
          int64_t at = value_position(inner.as_array(), indices.subspan(dims));
          if (inner.as_array().dimensions.size() == 1 && at >= 0) {
            inner.mutable_array().elements[at] = value;
            return Access::Found;
          }
          report(frame, message(MessageId::ArrayExceeded, name));
          return Access::Failed;
        }
      }
      report(frame, message(MessageId::DimensionMismatch, name));
      return Access::Failed;
    }
    int64_t pos = declared_position(var.bounds, indices);
    if (pos < 0) {
      report(frame, message(MessageId::ArrayExceeded, name));
      return Access::Failed;
    }
    var.values[pos] = value;
    return Access::Found;
  }
  if (indices.empty()) {
    var.values[0] = value;
    return Access::Found;
  }
  Value& holder = var.values[0];
  if (!holder.is_array() || holder.as_array().dimensions.size() != indices.size()) {
    report(frame, message(MessageId::DimensionMismatch, name));
    return Access::Failed;
  }
  int64_t pos = value_position(holder.as_array(), indices);
  if (pos < 0) {
    report(frame, message(MessageId::ArrayExceeded, name));
    return Access::Failed;
  }
  holder.mutable_array().elements[pos] = value;
  return Access::Found;
}

std::optional<std::u16string> VariableStore::qualified_name(std::u16string_view name, const THensuFmt& frame) const {
  bool dotted = name.find(u'.') != std::u16string_view::npos;
  if (frame.module_name.empty() && !dotted) return std::nullopt;
  if (!name.empty() && name[0] == u'.') {
    if (!frame.with_subject.is_string()) return std::u16string();  // the lookup fails
    return std::u16string(frame.with_subject.as_string()).append(name);
  }
  if (starts_with(name, u"THIS.")) return frame.module_name + std::u16string(name.substr(4));
  if (dotted) return std::u16string(name);
  return frame.module_name + u"." + std::u16string(name);
}

int32_t VariableStore::lookup(const NameIndex& names, std::u16string_view name, const THensuFmt& frame) const {
  // OPTIMIZATION: outside modules a name without "." has no qualified form
  // (qualified_name() answers nothing for it): it is looked up as it is.
  if (frame.module_name.empty() && name.find(u'.') == std::u16string_view::npos) return names.find(name);
  std::optional<std::u16string> qualified = qualified_name(name, frame);
  if (qualified) {
    if (qualified->empty()) return -1;
    int32_t at = names.find(*qualified);
    if (at >= 0) return at;
  }
  return names.find(name);
}

int32_t VariableStore::resolve_global(std::u16string_view name, GlobalTable table, const THensuFmt& frame) {
  switch (table) {
    case GlobalTable::Variables: return lookup(m_global.variable_names, name, frame);
    case GlobalTable::Constants: return lookup(m_const_names, name, frame);
    case GlobalTable::DllFunctions: return lookup(m_dll_names, name, frame);
    case GlobalTable::TextBlocks: return lookup(m_textblock_names, name, frame);
    case GlobalTable::HashTables: return lookup(m_global.hash_names, name, frame);
  }
  return -1;
}

bool VariableStore::special_value(const THensuFmt& frame, std::u16string_view name, Value& out) const {
  if (name == u"NULL") return out = Value::null(), true;
  if (name == u"NOTHING") return out = Value::nothing(), true;
  if (name == u"EMPTY") return out = Value(), true;
  if (name == u"TRY_ERRMSG") return out = Value::string(frame.try_errmsg), true;
  if (name == u"TRY_ERRLINE") return out = Value::string(frame.try_errline), true;
  if (name == u"COM_ERR_FLG") return out = m_com_error ? m_true : m_false, true;
  if (name == u"G_IMG_X") return out = Value::i4(frame.img_x), true;
  if (name == u"G_IMG_Y") return out = Value::i4(frame.img_y), true;
  if (!starts_with(name, u"G_TIME_")) return false;
  std::u16string_view field = name.substr(7);
  Converted<DateTime> parts = date_to_parts(frame.time_stamp, true);
  DateTime t = parts.ok() ? *parts : DateTime{};
  auto word = [&](int v) { return out = Value::word(static_cast<uint16_t>(v)), true; };
  auto text = [&](std::u16string s) { return out = Value::string(std::move(s)), true; };
  if (field == u"YY") return word(t.year);
  if (field == u"MM") return word(t.month);
  if (field == u"DD") return word(t.day);
  if (field == u"HH") return word(t.hour);
  if (field == u"NN") return word(t.minute);
  if (field == u"SS") return word(t.second);
  if (field == u"ZZ") return word(t.millisecond);
  if (field == u"WW") return out = Value::i4(t.weekday), true;
  if (field == u"YY4") return text(two_digits(t.year, 4));
  if (field == u"YY2") return text(two_digits(t.year % 100));
  if (field == u"MM2") return text(two_digits(t.month));
  if (field == u"DD2") return text(two_digits(t.day));
  if (field == u"HH2") return text(two_digits(t.hour));
  if (field == u"NN2") return text(two_digits(t.minute));
  if (field == u"SS2") return text(two_digits(t.second));
  if (field == u"ZZ2") return text(two_digits(t.millisecond, 3));
  return false;
}

Value VariableStore::read(THensuFmt& frame, std::u16string_view name, std::span<const Value> indices,
                          std::atomic<int32_t>* slot_hint) {
  if (frame.error) return Value::byte(0);
  try {
    Value out;
    int32_t local = slot_hint ? frame.variable_names.find(name, *slot_hint) : frame.variable_names.find(name);
    if (int32_t slot = local; slot >= 0) {
      Access a = read_variable(frame, frame.variables[slot], name, indices, out);
      return a == Access::Found ? out : Value::byte(0);
    }
    if (name == u"TRUE") return m_true;
    if (name == u"FALSE") return m_false;
    {
      std::lock_guard lock(m_global_lock);
      if (int32_t slot = lookup(m_global.variable_names, name, frame); slot >= 0) {
        Access a = read_variable(frame, m_global.variables[slot], name, indices, out);
        return a == Access::Found ? out : Value::byte(0);
      }
    }
    if (!indices.empty()) {
      std::unique_lock<std::recursive_mutex> lock(m_global_lock, std::defer_lock);
      TSZHash* table = nullptr;
      if (int32_t at = frame.hash_names.find(name); at >= 0) {
        table = frame.hash_objects[at].get();
      } else {
        lock.lock();
        if (int32_t g = lookup(m_global.hash_names, name, frame); g >= 0) table = m_global.hash_objects[g].get();
      }
      if (table) {
        if (indices.size() == 1) return read_hash(frame, *table, indices[0]);
        std::u16string holder;
        std::u16string_view key = key_of(indices[0], holder);
        Converted<double> second = to_double(indices[1]);
        Result<Value, MessageId> r = read_hash_with_selector(*table, key, second.ok() ? *second : 0);
        if (!r.ok()) {
          report(frame, message(r.error(), name));
          return Value();
        }
        Value v = *r;
        if (v.is(VarType::Bool)) v = v.bool_word() ? m_true : m_false;
        return v;
      }
    }
    if (std::optional<double> c = find_constant(name)) return Value::r8(*c);
    if (is_special_name(name)) return Value::string(special_text(name));
    if (special_value(frame, name, out)) return out;
    std::lock_guard lock(m_global_lock);
    if (int32_t at = lookup(m_textblock_names, name, frame); at >= 0) return Value::string(m_textblock_texts[at]);
    if (int32_t at = lookup(m_const_names, name, frame); at >= 0) return m_const_values[at];
    report(frame, message(MessageId::NotDefined, name));
  } catch (const std::exception& e) {
    report(frame, u"GetValue:" + u16(e.what()));
  }
  return Value::byte(0);
}

bool VariableStore::write(THensuFmt& frame, std::u16string_view name, std::span<const Value> indices,
                          const Value& value, bool initialising, bool no_create, std::atomic<int32_t>* slot_hint) {
  if (frame.error) return false;
  try {
    int32_t local = slot_hint ? frame.variable_names.find(name, *slot_hint) : frame.variable_names.find(name);
    if (int32_t slot = local; slot >= 0)
      return write_variable(frame, frame.variables[slot], name, indices, value, initialising) == Access::Found;
    std::unique_lock lock(m_global_lock);
    if (int32_t slot = lookup(m_global.variable_names, name, frame); slot >= 0)
      return write_variable(frame, m_global.variables[slot], name, indices, value, initialising) == Access::Found;
    TSZHash* table = nullptr;
    if (int32_t at = frame.hash_names.find(name); at >= 0) {
      table = frame.hash_objects[at].get();
    } else if (int32_t g = lookup(m_global.hash_names, name, frame); g >= 0) {
      table = m_global.hash_objects[g].get();
    }
    if (table && indices.size() == 1) return write_hash(frame, *table, indices[0], value);
    if (table && indices.size() >= 2) {
      report(frame, message(MessageId::HashInvalidWrite, name));
      return false;
    }
    if (table && value.is(VarType::R8) && value.as_r8() == k_hash_remove_all) {
      table->clear();
      return true;
    }
    lock.unlock();
    if (!indices.empty()) {
      report(frame, message(MessageId::ArrayWithoutDeclaration, name));
      return false;
    }
    if (no_create) return false;
    int32_t slot = frame.variable_names.add(std::u16string(name));
    if (slot >= static_cast<int32_t>(frame.variables.size())) frame.variables.resize(slot + 1);
    frame.variables[slot].values[0] = value;
    return true;
  } catch (const std::exception& e) {
    report(frame, u"PutValue:" + u16(e.what()));
    return false;
  }
}

void VariableStore::declare_variable(THensuFmt& frame, const std::u16string& name, const std::vector<int32_t>& bounds) {
  int32_t slot = frame.variable_names.find(name);
  int64_t count = bounds.empty() ? 1 : element_count(bounds);
  if (count < 0 || bounds.size() > k_max_dimensions) {
    report(frame, message(MessageId::ArrayIndexWrong, name));
    return;
  }
  if (slot < 0) {
    slot = frame.variable_names.add(name);
    frame.variables.resize(slot + 1);
  } else if (bounds.empty()) {
    return;
  }
  Variable& var = frame.variables[slot];
  var.bounds = bounds;
  var.values.resize(static_cast<size_t>(count));
}

std::u16string VariableStore::reserved_error(std::u16string_view name) {
  if (is_constant_or_special_name(name)) return message(MessageId::ReservedWord, name);
  for (std::u16string_view word : k_fixed_reserved)
    if (word == name) return message(MessageId::ReservedWord, name);
  return {};
}

std::u16string VariableStore::name_error(std::u16string_view name) {
  if (name.find_first_of(u" ,+-*/=<>()!?") != std::u16string_view::npos)
    return message(MessageId::InvalidVariableName, name);
  return {};
}

namespace {

// Reads "[b1][b2]" or "[b1, b2]" bound texts.
bool bound_texts(std::u16string_view text, std::vector<std::u16string>& out) {
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'[') return false;
    size_t close = text.find(u']', i);
    if (close == std::u16string_view::npos) return false;
    std::vector<std::u16string> parts = split_arguments(text.substr(i + 1, close - i - 1));
    if (parts.empty()) parts.emplace_back();
    out.insert(out.end(), parts.begin(), parts.end());
    i = close + 1;
    while (i < text.size() && text[i] == u' ') ++i;
  }
  return true;
}

}  // namespace

std::u16string VariableStore::declare_global(std::u16string_view list, bool is_dim, std::u16string_view prefix) {
  std::vector<std::u16string> items;
  std::u16string_view body = trim_blanks(list);
  size_t eq = body.find(u'='), bracket = body.find(u'[');
  // An array with an initial list is one item, commas and all.
  if (eq != std::u16string_view::npos && eq > 0 && bracket != std::u16string_view::npos && bracket > 0)
    items.emplace_back(body);
  else
    items = split_items(body);
  for (const std::u16string& item : items) {
    std::u16string error = declare_global_item(item, is_dim, prefix);
    if (!error.empty()) return error;
  }
  return {};
}

std::u16string VariableStore::declare_global_item(std::u16string_view item, bool is_dim, std::u16string_view prefix) {
  size_t eq = assignment_of(item);
  std::u16string_view left = trim_blanks(item.substr(0, eq));
  size_t bracket = left.find(u'[');
  std::u16string bare(trim_blanks(left.substr(0, bracket)));
  if (std::u16string e = reserved_error(bare); !e.empty()) return e;
  if (std::u16string e = name_error(bare); !e.empty()) return e;
  std::u16string name = std::u16string(prefix) + bare;

  std::vector<std::u16string> bound_text;
  if (bracket != std::u16string_view::npos && !bound_texts(left.substr(bracket), bound_text))
    return message(MessageId::ArrayIndexWrong, bare);
  std::vector<Value> initial;
  if (eq != std::u16string_view::npos) {
    std::u16string_view right = trim_blanks(item.substr(eq + 1));
    if (right.empty()) return u"SyntaxError-7";
    std::vector<std::u16string> texts =
        bound_text.empty() ? std::vector<std::u16string>{std::u16string(right)} : split_items(right);
    for (const std::u16string& t : texts) {
      std::optional<Value> v = m_evaluate ? m_evaluate(t, m_global) : std::nullopt;
      if (!v) return u"SyntaxError-7";
      initial.push_back(std::move(*v));
    }
  }
  std::vector<int32_t> bounds;
  for (const std::u16string& t : bound_text) {
    if (trim_blanks(t).empty()) {
      bounds.push_back(static_cast<int32_t>(initial.size()) - 1);  // NAME[] = a, b, c
      continue;
    }
    std::optional<Value> v = m_evaluate ? m_evaluate(t, m_global) : std::nullopt;
    Converted<double> d = v ? to_double(*v) : Converted<double>(ConversionError::TypeMismatch);
    if (!d.ok() || *d < -1 || *d > 0x7FFFFFFE) return message(MessageId::ArrayIndexWrong, bare);
    bounds.push_back(static_cast<int32_t>(std::trunc(*d)));
  }

  std::lock_guard lock(m_global_lock);
  if (m_const_names.find(name) >= 0 || m_textblock_names.find(name) >= 0 || m_global.hash_names.find(name) >= 0)
    return message(MessageId::VariableAlreadyDefined, bare);
  int32_t slot = m_global.variable_names.find(name);
  if (slot >= 0) {
    if (is_dim || m_global.variables[slot].bounds != bounds) return message(MessageId::GlobalDimensionsDiffer, bare);
  } else {
    int64_t count = bounds.empty() ? 1 : element_count(bounds);
    if (count < 0 || bounds.size() > k_max_dimensions) return message(MessageId::ArrayIndexWrong, bare);
    slot = m_global.variable_names.add(name);
    m_global.variables.resize(slot + 1);
    m_global.variables[slot].bounds = bounds;
    m_global.variables[slot].values.assign(static_cast<size_t>(count), Value());
    m_global_is_dim.resize(slot + 1);
    m_global_is_dim[slot] = is_dim;
  }
  Variable& var = m_global.variables[slot];
  if (bounds.empty()) {
    if (!initial.empty()) var.values[0] = initial[0];
    return {};
  }
  if (initial.size() > var.values.size()) return message(MessageId::InitialValuesExceeded);
  for (size_t i = 0; i < initial.size(); ++i) var.values[i] = initial[i];
  return {};
}

std::u16string VariableStore::declare_const(std::u16string_view text) {
  size_t eq = assignment_of(text);
  if (eq == std::u16string_view::npos) return u"SyntaxError-1";
  std::u16string name(trim_blanks(text.substr(0, eq)));
  std::u16string_view expression = trim_blanks(text.substr(eq + 1));
  if (name.empty() || expression.empty()) return u"SyntaxError-1";
  if (std::u16string e = reserved_error(name); !e.empty()) return e;
  {
    std::lock_guard lock(m_global_lock);
    if (m_global.variable_names.find(name) >= 0 || m_textblock_names.find(name) >= 0 ||
        m_global.hash_names.find(name) >= 0)
      return message(MessageId::NameAlreadyDefined, name);
  }
  std::optional<Value> v = m_evaluate ? m_evaluate(expression, m_global) : std::nullopt;
  if (!v) return message(MessageId::ExpressionWrong);
  std::lock_guard lock(m_global_lock);
  if (int32_t at = m_const_names.find(name); at >= 0) {
    const Value& old = m_const_values[at];
    Converted<std::u16string> a = to_text(old), b = to_text(*v);
    if (old.type() != v->type() || !a.ok() || !b.ok() || *a != *b) return message(MessageId::MultiplexDefinition, name);
    return {};
  }
  m_const_names.add(name);
  m_const_values.push_back(std::move(*v));
  return {};
}

std::u16string VariableStore::declare_textblock(const std::u16string& name) {
  std::lock_guard lock(m_global_lock);
  std::u16string error;
  if (m_textblock_names.find(name) >= 0 || m_global.variable_names.find(name) >= 0 ||
      m_const_names.find(name) >= 0 || m_global.hash_names.find(name) >= 0)
    error = message(MessageId::NameAlreadyDefined, name);
  int32_t at = m_textblock_names.add(name);
  if (at >= static_cast<int32_t>(m_textblock_texts.size())) m_textblock_texts.resize(at + 1);
  m_textblock_texts[at].clear();
  return error;
}

void VariableStore::set_textblock_text(const std::u16string& name, std::u16string text) {
  std::lock_guard lock(m_global_lock);
  int32_t at = m_textblock_names.find(name);
  if (at >= 0) m_textblock_texts[at] = std::move(text);
}

std::u16string VariableStore::declare_hashtbl(std::u16string_view list, THensuFmt& frame, bool global) {
  std::unique_lock<std::recursive_mutex> lock(m_global_lock, std::defer_lock);
  if (global) lock.lock();
  for (const std::u16string& item : split_items(list)) {
    size_t eq = assignment_of(item);
    std::u16string name(trim_blanks(std::u16string_view(item).substr(0, eq)));
    int32_t options = 0;
    if (eq != std::u16string::npos) {
      std::u16string_view option_text = trim_blanks(std::u16string_view(item).substr(eq + 1));
      std::optional<Value> v = m_evaluate ? m_evaluate(option_text, frame) : std::nullopt;
      Converted<double> d = v ? to_double(*v) : Converted<double>(ConversionError::TypeMismatch);
      if (!d.ok() || *d != std::trunc(*d) || !hash_options_valid(static_cast<int64_t>(*d)))
        return message(MessageId::HashSpecifiedWrong, option_text);
      options = static_cast<int32_t>(*d);
    }
    if (std::u16string e = reserved_error(name); !e.empty()) return e;
    if (int32_t at = frame.hash_names.find(name); at >= 0) {
      frame.hash_objects[at]->clear();
      continue;
    }
    frame.hash_names.add(name);
    frame.hash_objects.push_back(std::make_unique<TSZHash>(options));
    if (global) m_global_hash_is_dim.push_back(false);
  }
  return {};
}

void VariableStore::reset_array(THensuFmt& frame, const std::u16string& name) {
  int32_t slot = frame.variable_names.find(name);
  if (slot < 0) {
    declare_variable(frame, name, {-1});
    return;
  }
  Variable& var = frame.variables[slot];
  var.bounds = {-1};
  var.values.clear();
}

void VariableStore::append_array(THensuFmt& frame, const std::u16string& name, const Value& value) {
  int32_t slot = frame.variable_names.find(name);
  if (slot < 0) {
    reset_array(frame, name);
    slot = frame.variable_names.find(name);
  }
  Variable& var = frame.variables[slot];
  var.values.push_back(value);
  var.bounds = {static_cast<int32_t>(var.values.size()) - 1};
}

[[gnu::noinline]] Variable* VariableStore::learn_fixed_slot(THensuFmt& frame, const NameRef& name) {
  // The slot that was checked is the one remembered. A hint from another
  // frame is looked past: the frame's own names decide.
  int32_t h = name.slot_hint.load(std::memory_order_relaxed);
  Variable* var = named_local(frame, name, h);
  if (!var) {
    h = frame.variable_names.find(name.key, name.name);
    if (h >= 0) {
      name.slot_hint.store(h, std::memory_order_relaxed);
      var = named_local(frame, name, h);
    }
  }
  // A name the frame does not hold (a global, a local not made yet) goes
  // by its hint from now on, as a local behind the layout's slots does.
  uint32_t slot = var && h < frame.layout_slots ? static_cast<uint32_t>(h) : NameRef::k_not_in_layout;
  name.fixed_slot.store(frame.layout << NameRef::k_layout_slot_bits | slot, std::memory_order_relaxed);
  return var;
}

TSZHash* VariableStore::hinted_hash(THensuFmt& frame, const NameRef& name,
                                   std::unique_lock<std::recursive_mutex>& lock) {
  if (frame.error || !frame.module_name.empty() || frame.variable_names.find(name.key, name.name) >= 0) return nullptr;
  int32_t local = frame.hash_names.size() > 0 ? frame.hash_names.find(name.key, name.name, name.hash_hint) : -1;
  // TRUE and FALSE, which come between, are no names a table can have.
  auto no_global_variable = [&] {
    return name.global_miss.load(std::memory_order_relaxed) == m_global.variable_names.version();
  };
  if (local >= 0 && no_global_variable()) return frame.hash_objects[local].get();
  lock.lock();
  if (!no_global_variable()) {
    if (m_global.variable_names.find(name.name) >= 0) {
      lock.unlock();
      return nullptr;
    }
    name.global_miss.store(m_global.variable_names.version(), std::memory_order_relaxed);
  }
  if (local >= 0) {
    lock.unlock();
    return frame.hash_objects[local].get();
  }
  int32_t global = m_global.hash_names.find(name.key, name.name, name.hash_hint);
  if (global < 0) {
    lock.unlock();
    return nullptr;
  }
  return m_global.hash_objects[global].get();  // used under the lock
}

Value VariableStore::read_hash(THensuFmt& frame, const TSZHash& table, const Value& index) {
  try {
    std::u16string holder;
    const Value* found = table.find(key_of(index, holder));
    return found ? *found : Value();
  } catch (const std::exception& e) {
    report(frame, u"GetValue:" + u16(e.what()));
  }
  return Value::byte(0);
}

bool VariableStore::write_hash(THensuFmt& frame, TSZHash& table, const Value& index, const Value& value) {
  try {
    std::u16string holder;
    table.put(key_of(index, holder), value);
    return true;
  } catch (const std::exception& e) {
    report(frame, u"PutValue:" + u16(e.what()));
    return false;
  }
}

Variable* VariableStore::find_variable(THensuFmt& frame, std::u16string_view name) {
  if (int32_t slot = frame.variable_names.find(name); slot >= 0) return &frame.variables[slot];
  if (int32_t slot = lookup(m_global.variable_names, name, frame); slot >= 0) return &m_global.variables[slot];
  return nullptr;
}

TSZHash* VariableStore::find_hash(THensuFmt& frame, std::u16string_view name) {
  if (int32_t at = frame.hash_names.find(name); at >= 0) return frame.hash_objects[at].get();
  if (int32_t at = lookup(m_global.hash_names, name, frame); at >= 0) return m_global.hash_objects[at].get();
  return nullptr;
}

}  // namespace vesk
