#include "builtins/gui/accessibility.h"

#include <oleacc.h>

#include <algorithm>
#include <cstdint>

#include "builtins/core/builtin_context.h"
#include "builtins/gui/control_captions.h"
#include "builtins/gui/control_classes.h"
#include "builtins/gui/input.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_search.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"
#include "support/utf.h"

namespace vesk::gui {
namespace {

constexpr uint32_t k_continue = 16777216;
constexpr uint32_t k_from_last = 65536;
// The name-only variants (CLK_ACC2 and the retry by the normalised name,
// CLK_ACCN) and the value variants (CLK_ACCV, ITM_ACCCLKV, ITM_ACCTXTV).
constexpr uint32_t k_name_only = 0x10000000 | 0x20000000;
constexpr uint32_t k_by_value = 0x40000000;
constexpr uint32_t k_click_flags = 2048 | 4096 | 8192;
constexpr uint32_t k_right = 4096;
constexpr uint32_t k_double = 8192;
constexpr size_t k_node_limit = 20000;
constexpr size_t k_depth_limit = 64;

// The roles that a click may aim at.
constexpr int32_t k_click_roles[] = {12, 24, 30, 34, 36, 37, 40, 42, 43, 44, 45, 51, 52, 56, 57, 58, 62};
constexpr int32_t k_check_roles[] = {12, 34, 36, 44, 45};
constexpr int32_t k_static_text_role = 41;
constexpr int32_t k_text_role = 42;

// The interface identifier of IAccessible, {618736E0-3C3D-11CF-810C-00AA00389B71},
// as our own constant: mingw-w64's import library hands out IID_IAccessible
// as the address of an import thunk, so the identifier passed would be code
// bytes and every server would refuse it.
constexpr IID k_iid_accessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// An owned COM interface pointer.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* p) : m_p(p) {}
  ~ComRef() { reset(); }
  ComRef(const ComRef& o) : m_p(o.m_p) {
    if (m_p) m_p->AddRef();
  }
  ComRef& operator=(ComRef o) {
    std::swap(m_p, o.m_p);
    return *this;
  }
  void reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  T** out() {
    reset();
    return &m_p;
  }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

// COM for the calling thread, when it has none yet.
class ComScope {
 public:
  ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT m_hr;
};

VARIANT self_id() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = CHILDID_SELF;
  return v;
}

VARIANT child_id(LONG id) {
  VARIANT v = self_id();
  v.lVal = id;
  return v;
}

std::u16string take_bstr(BSTR text) {
  if (!text) return {};
  std::u16string out(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
  SysFreeString(text);
  return out;
}

// One object of the tree: a full object, or a simple element of its parent.
struct Node {
  ComRef<IAccessible> object;
  VARIANT id = self_id();
};

std::u16string name_of(const Node& n) {
  BSTR text = nullptr;
  if (FAILED(n.object->get_accName(n.id, &text))) return {};
  return take_bstr(text);
}

std::u16string value_of(const Node& n) {
  BSTR text = nullptr;
  if (FAILED(n.object->get_accValue(n.id, &text))) return {};
  return take_bstr(text);
}

int32_t role_of(const Node& n) {
  VARIANT v;
  VariantInit(&v);
  if (FAILED(n.object->get_accRole(n.id, &v))) return 0;
  int32_t role = v.vt == VT_I4 ? v.lVal : 0;
  VariantClear(&v);
  return role;
}

uint32_t state_of(const Node& n) {
  VARIANT v;
  VariantInit(&v);
  if (FAILED(n.object->get_accState(n.id, &v))) return 0;
  uint32_t state = v.vt == VT_I4 ? static_cast<uint32_t>(v.lVal) : 0;
  VariantClear(&v);
  return state;
}

bool location_of(const Node& n, RECT& r) {
  LONG x = 0, y = 0, w = 0, h = 0;
  if (FAILED(n.object->accLocation(&x, &y, &w, &h, n.id))) return false;
  // Another program's answer: the sums are made wide and clamped.
  auto edge = [](LONG at, LONG size) {
    int64_t sum = static_cast<int64_t>(at) + size;
    return static_cast<LONG>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
  };
  r = RECT{x, y, edge(x, w), edge(y, h)};
  return w > 0 || h > 0;
}

bool object_of_window(HWND window, LONG which, Node& out) {
  return SUCCEEDED(AccessibleObjectFromWindow(window, static_cast<DWORD>(which), k_iid_accessible,
                                              reinterpret_cast<void**>(out.object.out()))) &&
         out.object;
}

// The client objects of the visible child windows of the window behind
// [n]: the tree of a server that lists no children of its own (Wine's
// generic window objects do not) still reaches every control.
std::vector<Node> child_window_objects(HWND window) {
  std::vector<Node> out;
  for (HWND child = GetWindow(window, GW_CHILD); child && out.size() < 5000; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    Node node;
    if (object_of_window(child, OBJID_CLIENT, node)) out.push_back(std::move(node));
  }
  return out;
}

// The children of a server that lists none: a window object (Wine's
// answer no role) holds its client object, any other object the objects of
// its window's child windows.
std::vector<Node> child_window_objects(const Node& n) {
  HWND window = nullptr;
  if (FAILED(WindowFromAccessibleObject(n.object.get(), &window)) || !window) return {};
  int32_t role = role_of(n);
  if (role == 0 || role == ROLE_SYSTEM_WINDOW) {
    Node client;
    if (object_of_window(window, OBJID_CLIENT, client)) return {std::move(client)};
    return {};
  }
  return child_window_objects(window);
}

// The children of [n] in order; a full child object comes as one with
// CHILDID_SELF.
std::vector<Node> children_of(const Node& n) {
  std::vector<Node> out;
  if (n.id.lVal != CHILDID_SELF) return out;
  LONG count = 0;
  if (FAILED(n.object->get_accChildCount(&count)) || count <= 0) return child_window_objects(n);
  count = std::min<LONG>(count, 5000);
  std::vector<VARIANT> kids(static_cast<size_t>(count));
  for (VARIANT& v : kids) VariantInit(&v);
  LONG got = 0;
  if (FAILED(AccessibleChildren(n.object.get(), 0, count, kids.data(), &got))) got = 0;
  for (LONG i = 0; i < got; ++i) {
    VARIANT& v = kids[static_cast<size_t>(i)];
    if (v.vt == VT_DISPATCH && v.pdispVal) {
      Node child;
      if (SUCCEEDED(v.pdispVal->QueryInterface(k_iid_accessible, reinterpret_cast<void**>(child.object.out()))))
        out.push_back(std::move(child));
    } else if (v.vt == VT_I4) {
      out.push_back(Node{n.object, child_id(v.lVal)});
    }
    VariantClear(&v);
  }
  // Simple elements alone, from a server that names none of them, are the
  // generic window objects of Wine: their controls are child windows.
  bool any_object = std::any_of(out.begin(), out.end(), [](const Node& c) { return c.id.lVal == CHILDID_SELF; });
  if (!any_object) return child_window_objects(n);
  return out;
}

// The window behind a full object, or null.
HWND window_of_node(const Node& n) {
  HWND window = nullptr;
  if (n.id.lVal != CHILDID_SELF || FAILED(WindowFromAccessibleObject(n.object.get(), &window))) return nullptr;
  return window;
}

// The role of [n], and its state. A generic server that calls a button's
// object a mere client area (as Wine's does) gets the role and check state
// that the button's style gives.
struct RoleAndState {
  int32_t role;
  uint32_t state;
};

RoleAndState role_and_state(const Node& n) {
  RoleAndState r{role_of(n), state_of(n)};
  if (r.role != ROLE_SYSTEM_CLIENT) return r;
  HWND window = window_of_node(n);
  if (!window || real_class_of(window).find(u"BUTTON") == std::u16string::npos) return r;
  LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
  switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE: r.role = ROLE_SYSTEM_CHECKBUTTON; break;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: r.role = ROLE_SYSTEM_RADIOBUTTON; break;
    case BS_GROUPBOX: r.role = ROLE_SYSTEM_GROUPING; return r;
    default: r.role = ROLE_SYSTEM_PUSHBUTTON; return r;
  }
  DWORD_PTR check = 0;
  if (SendMessageTimeoutW(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 1000, &check)) {
    r.state &= ~static_cast<uint32_t>(STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED);
    if (check == BST_CHECKED) r.state |= STATE_SYSTEM_CHECKED;
    if (check == BST_INDETERMINATE) r.state |= STATE_SYSTEM_MIXED;
  }
  return r;
}

bool in_roles(int32_t role, const int32_t* first, const int32_t* last) { return std::find(first, last, role) != last; }

bool is_editable(int32_t role, uint32_t state) { return role == k_text_role && !(state & STATE_SYSTEM_READONLY); }

struct Walk {
  Walk(BuiltinContext& ctx, AccRequest& request, HWND host) : ctx(ctx), request(request), host(host) {}
  BuiltinContext& ctx;
  AccRequest& request;
  HWND host;
  std::vector<int32_t> path;
  std::u16string resume;  // the path to pass before matches count
  bool passed = true;
  int32_t count = 0;
  size_t nodes = 0;
  std::u16string hit_path;
  Node hit;
  bool found = false;
};

std::u16string joined(const std::vector<int32_t>& path) {
  std::u16string out;
  for (int32_t k : path) {
    if (!out.empty()) out += u',';
    out += u16(std::to_string(k));
  }
  return out;
}

bool name_matches(const AccRequest& r, std::u16string_view text) {
  std::u16string caption = system_upper(text);
  bool partial = r.flags & 256;
  if (caption_matches(r.name, caption, partial)) return true;
  return caption_matches(normalize_caption(r.name), normalize_caption(caption), partial);
}

// Whether [n] is a match of the request: its role fits the action, and its
// name (or value) matches.
bool node_matches(const Walk& w, const Node& n) {
  const AccRequest& r = w.request;
  RoleAndState rs = role_and_state(n);
  int32_t role = rs.role;
  uint32_t state = rs.state;
  switch (r.action) {
    case AccAction::Click:
      if (!in_roles(role, std::begin(k_click_roles), std::end(k_click_roles))) return false;
      break;
    case AccAction::Check:
      if (!in_roles(role, std::begin(k_check_roles), std::end(k_check_roles))) return false;
      break;
    case AccAction::List:
      if (r.clickable_list ? !in_roles(role, std::begin(k_click_roles), std::end(k_click_roles))
                           : role != k_text_role && role != k_static_text_role)
        return false;
      break;
    case AccAction::Text:
      if (r.static_text ? role != k_static_text_role && role != k_text_role : !is_editable(role, state)) return false;
      break;
    case AccAction::SetText:
      if (!is_editable(role, state)) return false;
      break;
  }
  if (r.name.empty()) return r.action != AccAction::Click && r.action != AccAction::Check;
  if (r.flags & k_name_only) return name_matches(r, name_of(n));
  if (r.flags & k_by_value) return name_matches(r, value_of(n));
  return name_matches(r, name_of(n)) || name_matches(r, value_of(n));
}

bool visit(Walk& w, const Node& n) {
  if (++w.nodes > k_node_limit || w.path.size() > k_depth_limit) return false;
  std::u16string here = joined(w.path);
  if (!w.passed && here == w.resume) {
    w.passed = true;
    return false;
  }
  if (w.passed && !w.path.empty() && node_matches(w, n)) {
    ++w.count;
    if (w.request.action == AccAction::List) {
      std::u16string name = name_of(n);
      if (!name.empty()) w.request.listed.push_back(std::move(name));
    } else if (w.request.position < 1 || w.count == w.request.position) {
      w.found = true;
      w.hit = n;
      w.hit_path = std::move(here);
      return true;
    }
  }
  std::vector<Node> kids = children_of(n);
  bool backwards = w.request.flags & k_from_last;
  for (size_t k = 0; k < kids.size(); ++k) {
    size_t index = backwards ? kids.size() - 1 - k : k;
    w.path.push_back(static_cast<int32_t>(index));
    bool done = visit(w, kids[index]);
    w.path.pop_back();
    if (done) return true;
  }
  return false;
}

bool inside_desktop(POINT p) {
  int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return p.x >= x && p.y >= y && p.x < x + GetSystemMetrics(SM_CXVIRTUALSCREEN) &&
         p.y < y + GetSystemMetrics(SM_CYVIRTUALSCREEN);
}

// Presses the mouse at [at] as the user would: through the simulated input
// and its lock.
void press_at(BuiltinContext& ctx, POINT at, uint32_t flags) {
  Interpreter& interpreter = ctx.interpreter;
  auto guard = lock_pumping(interpreter, input_lock(interpreter));
  // The hook lock of LOCKHARDEX would swallow our own click.
  bool hooked = hard_lock(interpreter).mode == 2;
  if (hooked) set_input_lock(interpreter, false);
  SetCursorPos(at.x, at.y);
  bool right = flags & k_right;
  int clicks = (flags & k_double) ? 2 : 1;
  for (int k = 0; k < clicks; ++k) {
    if (k > 0) Sleep(100);
    mouse_button(interpreter, right ? ButtonEvent::RightDown : ButtonEvent::LeftDown, at.x, at.y, 0);
    mouse_button(interpreter, right ? ButtonEvent::RightUp : ButtonEvent::LeftUp, at.x, at.y, 0);
  }
  if (hooked) set_input_lock(interpreter, true);
}

bool click_with_mouse(Walk& w, uint32_t flags) {
  RECT r{};
  if (!location_of(w.hit, r)) return false;
  POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  if (!inside_desktop(centre)) return false;
  activate_window(w.request.window);
  press_at(w.ctx, centre, flags);
  return true;
}

// A click on a hit: selection where the object can be selected, then its
// default action; the mouse when it has none.
bool act_click(Walk& w) {
  AccRequest& r = w.request;
  if (r.flags & k_click_flags) return click_with_mouse(w, r.flags);
  uint32_t state = role_and_state(w.hit).state;
  // A menu that is open keeps the input lock from swallowing our action.
  bool menu = class_of(w.host) == u"#32768";
  HardLock lock = hard_lock(w.ctx.interpreter);
  if (menu && lock.mode != 0) set_input_lock(w.ctx.interpreter, false);
  if (state & STATE_SYSTEM_SELECTABLE) w.hit.object->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, w.hit.id);
  bool done = SUCCEEDED(w.hit.object->accDoDefaultAction(w.hit.id));
  if (!done) done = click_with_mouse(w, 2048);
  if (menu && lock.mode != 0) set_input_lock(w.ctx.interpreter, true);
  return done;
}

bool act(Walk& w) {
  AccRequest& r = w.request;
  switch (r.action) {
    case AccAction::Click: return act_click(w);
    case AccAction::Text:
      r.text = r.static_text ? name_of(w.hit) : value_of(w.hit);
      if (r.static_text && r.text.empty()) r.text = value_of(w.hit);
      return true;
    case AccAction::Check: r.state = check_state_of(role_and_state(w.hit).state); return true;
    case AccAction::SetText: {
      std::u16string text = r.mode == 0 ? value_of(w.hit) + r.new_text : r.new_text;
      BSTR value = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
      HRESULT hr = w.hit.object->put_accValue(w.hit.id, value);
      SysFreeString(value);
      return SUCCEEDED(hr);
    }
    case AccAction::List: return true;
  }
  return false;
}

bool starts_with_text(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The windows whose trees are searched: a browser frame's page hosts, else
// the window itself.
std::vector<HWND> host_windows(HWND window) {
  std::u16string klass = real_class_of(window);
  if (klass != u"IEFRAME" && !starts_with_text(klass, u"SLEIPNIR") && !starts_with_text(klass, u"LUNASCAPE"))
    return {window};
  std::vector<HWND> hosts;
  for (const Control& c : collect_controls(window, k_family_accessible, false)) {
    if (c.klass == u"INTERNET EXPLORER_SERVER") {
      bool disabled = false;
      HWND up = c.window;
      for (int k = 0; k < 10 && up && !disabled; ++k, up = GetParent(up)) disabled = !IsWindowEnabled(up);
      if (disabled) continue;
    }
    hosts.push_back(c.window);
  }
  return hosts;
}

std::u16string role_text(int32_t role) {
  wchar_t buffer[257];
  UINT length = GetRoleTextW(static_cast<DWORD>(role), buffer, 256);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

// The state texts of every set bit, joined with ",".
std::u16string state_text(uint32_t state) {
  std::u16string out;
  for (uint32_t bit = 1; bit != 0 && bit <= 0x40000000u; bit <<= 1) {
    if (!(state & bit)) continue;
    wchar_t buffer[257];
    UINT length = GetStateTextW(bit, buffer, 256);
    if (length == 0) continue;
    if (!out.empty()) out += u',';
    out.append(reinterpret_cast<const char16_t*>(buffer), length);
  }
  if (out.empty()) {
    wchar_t buffer[257];
    UINT length = GetStateTextW(0, buffer, 256);
    out.assign(reinterpret_cast<const char16_t*>(buffer), length);
  }
  return out;
}

}  // namespace

int32_t check_state_of(uint32_t state_bits) {
  if (state_bits & STATE_SYSTEM_MIXED) return 2;
  return (state_bits & STATE_SYSTEM_CHECKED) ? 1 : 0;
}

bool acc_search(BuiltinContext& ctx, AccRequest& request) {
  ComScope com;
  Interpreter& interpreter = ctx.interpreter;
  ThreadGuiRecord& record = window_state(interpreter).record(ctx.frame.slot);
  // A search goes on from the last hit when it and the search before it
  // both asked to continue, on the same window.
  bool continuing =
      (request.flags & k_continue) && (record.acc_flags & k_continue) && record.acc_window == request.window;
  if (!continuing) {
    record.acc_hit_window = nullptr;
    record.acc_path.clear();
  }
  record.acc_window = request.window;
  bool found = false;
  for (HWND host : host_windows(request.window)) {
    short_pump(interpreter, 1);
    if (interpreter.stop_requested()) break;
    if (continuing && record.acc_hit_window && host != record.acc_hit_window) continue;
    // A host without an object of its own (Wine gives none for some
    // top-level windows) is searched through its child windows' objects.
    Node root;
    bool whole = object_of_window(host, OBJID_CLIENT, root);
    std::vector<Node> kids = whole ? std::vector<Node>() : child_window_objects(host);
    if (!whole && kids.empty()) continue;
    Walk w(ctx, request, host);
    if (continuing && record.acc_hit_window == host && !record.acc_path.empty()) {
      w.resume = record.acc_path;
      w.passed = false;
    }
    try {
      if (whole) {
        visit(w, root);
      } else {
        for (size_t k = 0; k < kids.size() && !w.found; ++k) {
          w.path.assign(1, static_cast<int32_t>(k));
          visit(w, kids[k]);
        }
      }
    } catch (...) {
      // A failing server of another program counts as no hit.
      w.found = false;
    }
    if (request.action == AccAction::List) {
      found = found || !request.listed.empty();
      continue;
    }
    if (!w.found) continue;
    record.acc_hit_window = host;
    record.acc_path = w.hit_path;
    found = act(w);
    break;
  }
  // A search that found nothing starts the next one from the beginning.
  if (!found && request.action != AccAction::List) {
    record.acc_hit_window = nullptr;
    record.acc_path.clear();
  }
  if (request.action != AccAction::List) record.acc_flags = request.flags;
  Sleep(10);
  short_pump(interpreter, 10);
  return found;
}

bool accessible_default_action(HWND control) {
  ComScope com;
  Node n;
  if (!object_of_window(control, OBJID_CLIENT, n)) return false;
  return SUCCEEDED(n.object->accDoDefaultAction(n.id));
}

int32_t accessible_check_state(HWND control) {
  ComScope com;
  Node n;
  if (!object_of_window(control, OBJID_CLIENT, n)) return 0;
  return check_state_of(state_of(n));
}

bool accessible_at_point(POINT screen, AccPointInfo& info) {
  ComScope com;
  Node n;
  VARIANT id;
  VariantInit(&id);
  if (FAILED(AccessibleObjectFromPoint(screen, n.object.out(), &id)) || !n.object) return false;
  if (id.vt == VT_I4) n.id = id;
  info.name = name_of(n);
  info.value = value_of(n);
  info.role = role_of(n);
  info.state = state_of(n);
  info.role_text = role_text(info.role);
  info.state_text = state_text(info.state);
  BSTR text = nullptr;
  if (SUCCEEDED(n.object->get_accDescription(n.id, &text))) info.description = take_bstr(text);
  text = nullptr;
  if (SUCCEEDED(n.object->get_accHelp(n.id, &text))) info.help = take_bstr(text);
  RECT r{};
  if (location_of(n, r))
    info.location = u16(std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) +
                        "," + std::to_string(r.bottom - r.top));
  WindowFromAccessibleObject(n.object.get(), &info.window);
  return true;
}

}  // namespace vesk::gui
