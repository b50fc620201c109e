// The pre-check host: which names a function may read and write, and what
// its calls may look like, judged against its throw-away frame and the
// script's global tables.
#include "engine/runtime/check_host.h"

#include <exception>
#include <memory>

#include "engine/loader/prepass.h"
#include "engine/values/named_constants.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk {
namespace {

// Arrays that built-ins fill by name, and the locals that event and hot-key
// handlers get: a function may read them though it never assigns them.
constexpr std::u16string_view k_provided_names[] = {
    u"GETDIR_FILES", u"ALL_ITEM_LIST", u"ALL_WIN_ID", u"ALL_OLE_ITEM", u"ALL_IMG_X",
    u"ALL_IMG_Y",    u"EVENT_ID",      u"EVENT_PRM",  u"HOTKEY_VK",    u"HOTKEY_MOD"};

constexpr std::u16string_view k_name_breaks = u" ,+-*/=<>!()[]\"?";

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool is_provided(std::u16string_view name) {
  for (std::u16string_view p : k_provided_names)
    if (p == name) return true;
  return false;
}

// A dotted name with an empty part outside brackets: "A..B" or "A.". A
// leading "." is the WITH form.
bool has_empty_part(std::u16string_view text) {
  size_t part = 0;
  int depth = 0;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) {
      ++part;
      continue;
    }
    if (c == u'[' || c == u'(') ++depth;
    if (c == u']' || c == u')') --depth;
    if (c == u'.' && depth == 0) {
      if (part == 0 && i > 0) return true;
      part = 0;
      continue;
    }
    ++part;
  }
  return text.find(u'.') != std::u16string_view::npos && part == 0;
}


size_t paren_outside_quotes(std::u16string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'"') quoted = !quoted;
    if (!quoted && text[i] == u'(') return i;
  }
  return std::u16string_view::npos;
}

// An argument written as a name and "[]", the form an array parameter's
// declaration uses but a call may not.
bool is_array_marker(std::u16string_view arg) {
  if (!ends_with(arg, u"[]") || arg.size() == 2) return false;
  return arg.substr(0, arg.size() - 2).find_first_of(k_name_breaks) == std::u16string_view::npos;
}

std::u16string upper_trimmed(std::u16string_view text) { return ascii_upper(trim_blanks(text)); }

}  // namespace

// params -> "(" [ param { "," param } ] ")" ; param -> [VAR] name ["[]"...] ["=" default]
ParameterList read_parameters(std::u16string_view header) {
  ParameterList list;
  if (is_file_header(header)) return list;
  size_t open = header.find(u'(');
  if (open == std::u16string_view::npos) return list;
  std::u16string_view rest = trim_blanks(header.substr(open + 1));
  if (rest.empty() || rest.back() != u')') {
    list.error = u"SyntaxError-125";
    return list;
  }
  std::u16string_view inner = rest.substr(0, rest.size() - 1);
  if (trim_blanks(inner).empty()) return list;
  bool default_seen = false;
  for (const std::u16string& raw : split_arguments(inner)) {
    std::u16string_view text = raw;
    if (text.empty()) {
      list.error = u"SyntaxError-126";
      return list;
    }
    CheckedParameter p;
    if (starts_with(text, u"VAR ")) {
      p.by_var = true;
      text = trim_blanks(text.substr(4));
    }
    size_t eq = text.find(u'=');
    if (eq != std::u16string_view::npos && eq > 0) {
      p.has_default = true;
      text = trim_blanks(text.substr(0, eq));
    }
    for (char16_t c : text) p.dimensions += c == u'[';
    p.name = std::u16string(trim_blanks(text.substr(0, text.find(u'['))));
    if (list.error.empty() && p.by_var && p.has_default) list.error = u"SyntaxError-120";
    if (list.error.empty() && default_seen && !p.has_default) list.error = u"SyntaxError-121";
    default_seen = default_seen || p.has_default;
    list.parameters.push_back(std::move(p));
  }
  return list;
}

CheckHost::CheckHost(Interpreter& interpreter) : m_interpreter(interpreter), m_frame(std::make_unique<CheckFrame>()) {
  const ScriptOptions& o = interpreter.program().options;
  m_options.same_str = o.same_str;
  m_options.short_circuit = false;  // every operand is checked
  m_options.round_value = o.round_value;
  m_options.special_char = o.special_char;
}

void CheckHost::begin_function(std::u16string module) {
  m_frame = std::make_unique<CheckFrame>();
  m_frame->module_name = std::move(module);
  declare_local(u"PARAM_STR", 1);
  declare_local(u"RESULT", 0);
}

const CompiledStatement& CheckHost::compiled(int32_t statement) { return m_interpreter.compiled(statement); }

bool CheckHost::fail(std::u16string message) {
  if (!m_error) m_error = std::move(message);
  return false;
}

Value CheckHost::true_value() const { return m_interpreter.store().true_value(); }
Value CheckHost::false_value() const { return m_interpreter.store().false_value(); }

void CheckHost::declare_local(const std::u16string& name, int32_t dimensions) {
  int32_t slot = m_frame->variable_names.add(name);
  if (slot >= static_cast<int32_t>(m_frame->variables.size())) m_frame->variables.resize(slot + 1);
  m_frame->variables[slot].bounds.assign(static_cast<size_t>(dimensions), 0);
}

void CheckHost::declare_hash(const std::u16string& name) {
  if (m_frame->hash_names.find(name) >= 0) return;
  m_frame->hash_names.add(name);
  m_frame->hash_objects.push_back(std::make_unique<TSZHash>());
}

bool CheckHost::is_local(std::u16string_view name) const {
  return m_frame->variable_names.find(name) >= 0 || m_frame->hash_names.find(name) >= 0;
}

bool CheckHost::is_declared(std::u16string_view name) {
  if (is_local(name) || is_provided(name)) return true;
  if (!VariableStore::reserved_error(name).empty()) return true;  // constants and special names
  VariableStore& store = m_interpreter.store();
  for (GlobalTable t : {GlobalTable::Variables, GlobalTable::Constants, GlobalTable::TextBlocks, GlobalTable::HashTables})
    if (store.resolve_global(name, t, *m_frame) >= 0) return true;
  return false;
}

bool CheckHost::is_function(std::u16string_view name) {
  std::u16string module;
  if (m_interpreter.find_function(name, *m_frame, module) >= 0) return true;
  std::u16string_view bare = starts_with(name, u"GLOBAL.") ? name.substr(7) : name;
  if (m_interpreter.library() && m_interpreter.library()->bounds(bare)) return true;
  return program().dll_names.find(bare) >= 0 || m_interpreter.store().dll_names().find(bare) >= 0;
}

bool CheckHost::is_constant(std::u16string_view name) {
  return find_constant(name).has_value() ||
         m_interpreter.store().resolve_global(name, GlobalTable::Constants, *m_frame) >= 0;
}

int32_t CheckHost::array_dimensions(std::u16string_view name) {
  if (int32_t slot = m_frame->variable_names.find(name); slot >= 0)
    return static_cast<int32_t>(m_frame->variables[slot].bounds.size());
  VariableStore& store = m_interpreter.store();
  int32_t slot = store.resolve_global(name, GlobalTable::Variables, *m_frame);
  if (slot < 0) return 0;
  return static_cast<int32_t>(store.global_frame().variables[slot].bounds.size());
}

bool CheckHost::is_hash(std::u16string_view name) {
  return m_frame->hash_names.find(name) >= 0 ||
         m_interpreter.store().resolve_global(name, GlobalTable::HashTables, *m_frame) >= 0;
}

// A variable of the frame or a global one (not a constant or hash table).
bool CheckHost::is_variable(std::u16string_view name) {
  return m_frame->variable_names.find(name) >= 0 ||
         m_interpreter.store().resolve_global(name, GlobalTable::Variables, *m_frame) >= 0;
}

bool CheckHost::module_member_exists(const std::u16string& qualified) {
  VariableStore& store = m_interpreter.store();
  for (GlobalTable t : {GlobalTable::Variables, GlobalTable::Constants, GlobalTable::TextBlocks, GlobalTable::HashTables})
    if (store.resolve_global(qualified, t, *m_frame) >= 0) return true;
  return false;
}

const ParameterList& CheckHost::parameters(int32_t function) {
  auto found = m_parameters.find(function);
  if (found != m_parameters.end()) return found->second;
  const std::u16string& header = program().code[program().functions[function].header];
  return m_parameters.emplace(function, read_parameters(header)).first->second;
}

// A message for an expression that does not compile, when its text shows
// why: a call or index left open. Empty when nothing more can be said.
std::u16string CheckHost::diagnose(std::u16string_view text) const {
  std::vector<size_t> opens;
  int brackets = 0;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'(') opens.push_back(i);
    if (c == u')' && !opens.empty()) opens.pop_back();
    if (c == u'[') ++brackets;
    if (c == u']') --brackets;
  }
  if (quoted) return {};
  if (!opens.empty()) {
    size_t end = opens.back();
    while (end > 0 && text[end - 1] == u' ') --end;
    size_t start = end;
    while (start > 0 && k_name_breaks.find(text[start - 1]) == std::u16string_view::npos) --start;
    std::u16string_view word = text.substr(start, end - start);
    if (word.empty()) return {};
    return message(word.find(u'.') != std::u16string_view::npos ? MessageId::CheckOleFunctionNotClosed
                                                                 : MessageId::CheckFunctionNotClosed);
  }
  if (brackets != 0) return message(MessageId::CheckIndexSyntax);
  return {};
}

bool CheckHost::value(const CompiledExpression& expression, Value* out) {
  if (!expression.ok) {
    if (std::u16string why = diagnose(expression.text); !why.empty()) fail(std::move(why));
    return false;
  }
  EvalResult r = evaluate(expression, *this);
  if (r.failed) return false;
  if (out) *out = std::move(r.value);
  return true;
}

// --- names ---

bool CheckHost::check_name(const NameRef& name) {
  try {
    return name_read(name);
  } catch (const std::exception& e) {
    return fail(u"ChkKB_hjgnbukai:" + utf8_to_utf16(e.what()));
  }
}

bool CheckHost::name_read(const NameRef& ref) {
  for (const ExprPtr& index : ref.indices)
    if (evaluate_part(*index, *this).failed) return false;
  if (ref.dotted) return dotted_read(ref);
  if (!ref.indices.empty()) {
    // Indexed names may be hash tables or arrays that built-ins make;
    // only a declared array's shape is known here.
    int32_t dims = array_dimensions(ref.name);
    int32_t given = static_cast<int32_t>(ref.indices.size());
    if (dims > 0 && given != dims && given != dims + 1) return fail(message(MessageId::DimensionMismatch, ref.name));
    return true;
  }
  return is_declared(ref.name) || fail(message(MessageId::NotDefined, ref.name));
}

bool CheckHost::dotted_read(const NameRef& ref) {
  if (has_empty_part(ref.text)) return fail(u"SyntaxError-107");
  std::u16string name = ascii_upper(ref.name);
  if (starts_with(name, u"GLOBAL.")) name.erase(0, 7);
  if (name.find(u'.') == std::u16string::npos)
    return !ref.indices.empty() || is_declared(name) || fail(message(MessageId::NotDefined, name));
  if (name[0] == u'.') {
    if (m_frame->with_stack.empty()) return fail(u"SyntaxError-105");
    const Value& subject = m_frame->with_subject;
    if (!subject.is_string() || !program().is_module(subject.as_string())) return true;  // a COM member
    std::u16string qualified = std::u16string(subject.as_string()).append(name);
    return module_member_exists(qualified) || fail(message(MessageId::NotDefined, qualified));
  }
  if (starts_with(name, u"THIS.")) {
    if (m_frame->module_name.empty()) return fail(message(MessageId::NotDefined, name));
    std::u16string qualified = m_frame->module_name + name.substr(4);
    return module_member_exists(qualified) || fail(message(MessageId::NotDefined, qualified));
  }
  std::u16string head = name.substr(0, name.find(u'.'));
  if (program().is_module(head)) {
    if (!module_member_exists(name)) return fail(message(MessageId::NotDefined, name));
    // A module's DIM variables are its own.
    if (head != m_frame->module_name && m_interpreter.store().is_module_private(name))
      return fail(message(MessageId::CheckPrivateMember, name));
    return true;
  }
  return com_head(head);
}

// The head of a COM chain names the object: a variable, or a function
// whose result the chain goes on from.
bool CheckHost::com_head(std::u16string_view head) {
  if (is_declared(head) || is_function(head)) return true;
  return fail(message(MessageId::NotDefined, head));
}

// --- calls ---

bool CheckHost::check_call(const CallSite& call) {
  try {
    return call_check(call);
  } catch (const std::exception& e) {
    return fail(u"ChkKB_Call:" + utf8_to_utf16(e.what()));
  }
}

bool CheckHost::call_check(const CallSite& site) {
  std::u16string name = upper_trimmed(site.name);
  if (name.find(u'.') != std::u16string::npos) {
    if (has_empty_part(name)) return fail(u"SyntaxError-107");
    if (name[0] == u'.' && m_frame->with_stack.empty()) return fail(u"SyntaxError-105");
  }
  std::u16string module;
  if (int32_t f = m_interpreter.find_function(site.name, *m_frame, module); f >= 0) return user_call(f, site);
  std::u16string bare = starts_with(name, u"GLOBAL.") ? name.substr(7) : name;
  if (BuiltinLibrary* library = m_interpreter.library()) {
    if (std::optional<ArgumentBounds> bounds = library->bounds(bare)) return builtin_call(bare, *bounds, site);
  }
  if (program().dll_names.find(bare) >= 0 || m_interpreter.store().dll_names().find(bare) >= 0)
    return plain_arguments(site);
  if (bare.find(u'.') != std::u16string::npos) {
    if (m_interpreter.is_module_reference(bare, *m_frame)) return fail(message(MessageId::CheckFunctionMissing, name));
    if (bare[0] != u'.' && !com_head(bare.substr(0, bare.find(u'.')))) return false;
    return plain_arguments(site);  // a COM method
  }
  return fail(message(MessageId::CheckFunctionMissing, name));
}

bool CheckHost::user_call(int32_t function, const CallSite& site) {
  const ParameterList& list = parameters(function);
  if (!list.error.empty()) return fail(list.error);
  const std::vector<CheckedParameter>& params = list.parameters;
  size_t required = params.size();
  for (size_t i = 0; i < params.size(); ++i) {
    if (params[i].has_default) {
      required = i;
      break;
    }
  }
  size_t given = site.arguments.size();
  if (given < required || given > params.size())
    return fail(message(MessageId::CheckArgumentCount, upper_trimmed(site.name)));
  for (size_t k = 0; k < given; ++k) {
    std::u16string_view arg = trim_blanks(site.arguments[k]);
    const CheckedParameter& p = params[k];
    if (is_array_marker(arg)) return fail(u"SyntaxError-111");
    if (p.dimensions > 0) {
      if (!array_argument(p, site, k)) return false;
      continue;
    }
    if (arg.empty()) continue;  // the default stands in
    if (p.by_var && is_constant(arg)) return fail(message(MessageId::CheckConstantNotUsable, arg));
    if (array_dimensions(arg) > 0) return fail(u"SyntaxError-112");  // a whole array for a plain parameter
    if (!value(site.argument(k))) return false;
  }
  return true;
}

// An array parameter takes the caller's array or hash table by name, or an
// array that SPLIT or SLICE builds.
bool CheckHost::array_argument(const CheckedParameter& p, const CallSite& site, size_t k) {
  std::u16string_view arg = trim_blanks(site.arguments[k]);
  if (arg.empty()) return true;
  if (starts_with(arg, u"SPLIT(") || starts_with(arg, u"SLICE(")) return value(site.argument(k));
  if (is_hash(arg)) return true;
  if (!is_variable(arg)) return fail(message(MessageId::NotDefined, arg));
  int32_t dims = array_dimensions(arg);
  if (dims > 0 && dims != p.dimensions) return fail(u"SyntaxError-112");
  return true;
}

bool CheckHost::builtin_call(const std::u16string& name, const ArgumentBounds& bounds, const CallSite& site) {
  if (static_cast<int32_t>(site.arguments.size()) < bounds.minimum)
    return fail(message(MessageId::CheckArgumentLacking, name));
  for (size_t k = 0; k < site.arguments.size(); ++k) {
    std::u16string_view arg = trim_blanks(site.arguments[k]);
    if (arg.empty()) continue;
    if (is_array_marker(arg)) return fail(u"SyntaxError-111");
    // SCKEY reads a bare key letter as its VK_ constant.
    if (name == u"SCKEY" && k >= 1 && arg.size() == 1) continue;
    // A raw argument names a variable as written (LENGTH(M[0]) of a
    // three-dimensional M); the built-in reads it at run time.
    if (bounds.raw(k)) continue;
    const CompiledExpression& e = site.argument(k);
    if (!e.ok) return fail(u"SyntaxError-110");
    if (!value(e)) return false;
  }
  return true;
}

bool CheckHost::plain_arguments(const CallSite& site) {
  for (size_t k = 0; k < site.arguments.size(); ++k) {
    if (trim_blanks(site.arguments[k]).empty()) continue;
    if (!value(site.argument(k))) return false;
  }
  return true;
}

bool CheckHost::call_statement(const CompiledStatement& s) {
  const CompiledExpression& e = *s.expr;
  if (e.ok && (!e.root || e.root->op != ExprOp::Call || !e.trailing_indices.empty())) return fail(u"SyntaxError-113");
  return value(e);
}

bool CheckHost::member_call_statement(const CompiledStatement& s) {
  std::u16string text = upper_trimmed(s.text);
  if (text[0] == u'.' && m_frame->with_stack.empty()) return fail(u"SyntaxError-105");
  const CompiledExpression& e = *s.expr;
  bool module = starts_with(text, u"GLOBAL.") || m_interpreter.is_module_reference(text, *m_frame);
  if (!module) {
    std::u16string_view head = std::u16string_view(text).substr(0, text.find_first_of(u"(["));
    if (has_empty_part(head)) return fail(u"SyntaxError-107");
    // A COM member statement may be a bare property or method name.
    if (text[0] != u'.' && !com_head(head.substr(0, head.find(u'.')))) return false;
    if (e.ok) return value(e);
    if (std::u16string why = diagnose(e.text); !why.empty()) return fail(std::move(why));
    // A chain through indexed members is read by the COM bridge itself.
    return text.find(u'[') != std::u16string::npos || fail(u"SyntaxError-108");
  }
  if (e.ok && (!e.root || e.root->op != ExprOp::Call || !e.trailing_indices.empty())) return fail(u"SyntaxError-113");
  return value(e);
}

bool CheckHost::thread_call(const CompiledExpression& e) {
  if (!e.ok) return value(e);
  if (!e.root || e.root->op != ExprOp::Call || !e.trailing_indices.empty()) return fail(u"SyntaxError-113");
  const CallSite& site = *e.root->call;
  std::u16string module;
  int32_t f = m_interpreter.find_function(site.name, *m_frame, module);
  std::u16string name = upper_trimmed(site.name);
  if (f < 0) return fail(is_function(name) ? u"Don't call " + name : message(MessageId::CheckFunctionMissing, name));
  try {
    return user_call(f, site);
  } catch (const std::exception& ex) {
    return fail(u"ChkKB_Call:" + utf8_to_utf16(ex.what()));
  }
}

bool CheckHost::include_call(std::u16string_view operand) {
  std::u16string_view text = trim_blanks(operand);
  size_t open = text.find(u'(');
  std::u16string name(trim_blanks(text.substr(0, open)));
  if (name.empty() || program().find_function(name) < 0) return fail(u"System Error: Don't CALL");
  if (open == std::u16string_view::npos) return true;
  if (text.back() != u')') return fail(u"System Error: Don't CALL");
  for (const std::u16string& arg : split_arguments(text.substr(open + 1, text.size() - open - 2))) {
    if (arg.empty() || arg.find(u"<#") != std::u16string::npos) continue;  // passed as text
    if (!value(*compile_expression(arg))) return false;
  }
  return true;
}

// --- assignment targets ---

bool CheckHost::assignment_target(std::u16string_view text, const CompiledExpression& target) {
  std::u16string_view left = trim_blanks(text);
  if (left.empty()) return fail(u"SyntaxError-103");
  if (has_dot_outside(left)) return member_target(left, target);
  return plain_target(left, target);
}

bool CheckHost::plain_target(std::u16string_view left, const CompiledExpression& target) {
  if (is_digit(left[0])) return fail(u"SyntaxError-76");
  if (size_t paren = paren_outside_quotes(left); paren != std::u16string_view::npos) {
    std::u16string head = upper_trimmed(left.substr(0, paren));
    return fail(is_function(head) || is_variable(head) ? u"SyntaxError-103" : u"SyntaxError-80");
  }
  size_t bracket = left.find(u'[');
  std::u16string name(trim_blanks(left.substr(0, bracket)));
  if (std::u16string e = VariableStore::name_error(name); !e.empty()) return fail(e);
  if (!target.ok || !target.root || target.root->op != ExprOp::Name) {
    if (bracket == std::u16string_view::npos) return fail(u"SyntaxError-103");
    bool global = m_interpreter.store().resolve_global(name, GlobalTable::Variables, *m_frame) >= 0;
    return fail(global && !is_local(name) ? u"SyntaxError-79" : message(MessageId::CheckIndexSyntax));
  }
  if (!is_local(name)) {
    if (is_constant(name) || is_special_name(name) ||
        m_interpreter.store().resolve_global(name, GlobalTable::TextBlocks, *m_frame) >= 0)
      return fail(message(MessageId::CheckConstantAssigned));
    if (!VariableStore::reserved_error(name).empty()) return fail(u"SyntaxError-77");
  }
  const NameRef& ref = *target.root->name;
  for (const ExprPtr& index : ref.indices)
    if (evaluate_part(*index, *this).failed) return false;
  int32_t given = static_cast<int32_t>(ref.indices.size());
  if (given > 0) {
    if (is_hash(name)) return given == 1 || fail(u"SyntaxError-78");
    if (!is_variable(name)) return fail(u"SyntaxError-78");
    int32_t dims = array_dimensions(name);
    if (dims > 0 && given != dims && given != dims + 1) return fail(u"SyntaxError-78");
    return true;
  }
  if (is_variable(name) || is_hash(name)) {
    if (array_dimensions(name) > 0) return fail(message(MessageId::DimensionMismatch, name));
    return true;
  }
  if (program().options.explicit_names) return fail(message(MessageId::NotDefined, name));
  declare_local(name, 0);
  return true;
}

bool CheckHost::member_target(std::u16string_view left, const CompiledExpression& target) {
  if (has_empty_part(left)) return fail(u"SyntaxError-107");
  if (target.ok && target.root && target.root->op == ExprOp::Name) {
    for (const ExprPtr& index : target.root->name->indices)
      if (evaluate_part(*index, *this).failed) return false;
  }
  std::u16string name = upper_trimmed(left.substr(0, left.find(u'[')));
  if (starts_with(name, u"GLOBAL.")) return true;  // the outer name, written as a plain target would be
  std::u16string qualified;
  if (name[0] == u'.') {
    if (m_frame->with_stack.empty()) return fail(u"SyntaxError-105");
    const Value& subject = m_frame->with_subject;
    if (!subject.is_string() || !program().is_module(subject.as_string())) return true;  // a COM property
    qualified = std::u16string(subject.as_string()).append(name);
  } else if (starts_with(name, u"THIS.")) {
    if (m_frame->module_name.empty()) return fail(message(MessageId::NotDefined, name));
    qualified = m_frame->module_name + name.substr(4);
  } else if (program().is_module(name.substr(0, name.find(u'.')))) {
    qualified = name;
  } else {
    return com_head(std::u16string_view(name).substr(0, name.find(u'.')));
  }
  VariableStore& store = m_interpreter.store();
  if (store.resolve_global(qualified, GlobalTable::Variables, *m_frame) >= 0 ||
      store.resolve_global(qualified, GlobalTable::HashTables, *m_frame) >= 0)
    return true;
  if (store.resolve_global(qualified, GlobalTable::Constants, *m_frame) >= 0 ||
      store.resolve_global(qualified, GlobalTable::TextBlocks, *m_frame) >= 0)
    return fail(message(MessageId::CheckConstantAssigned));
  return fail(message(MessageId::NotDefined, qualified));
}

}  // namespace vesk
