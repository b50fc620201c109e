// POSACC, and CLKITEM's family of accessible objects: the script's ways
// into the accessibility search.
#include "builtins/core/builtin_context.h"
#include "builtins/gui/accessibility.h"
#include "builtins/gui/control_actions.h"
#include "builtins/gui/control_classes.h"
#include "builtins/gui/window_control.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/waiting.h"

namespace vesk {
namespace gui {

bool click_accessible(ItemRequest& request) {
  if (!request.back()) activate_window(request.window);
  AccRequest acc;
  acc.window = request.window;
  acc.flags = request.type;
  acc.name = request.name;
  acc.position = request.position;
  acc.mode = request.wanted;
  acc.action = request.check_only() ? AccAction::Check : AccAction::Click;
  bool found = acc_search(request.ctx, acc);
  // The retry by the normalised name and the name alone; a name that
  // normalising leaves as it is was already compared that way.
  bool value_variant = request.type & k_clk_value;
  if (!found && !(request.type & k_clk_name_variants) && (value_variant || request.normalized != request.name)) {
    acc.name = request.normalized;
    acc.flags = request.type | k_clk_name_only;
    found = acc_search(request.ctx, acc);
  }
  if (!found) return false;
  if (request.check_only()) request.state = acc.state;
  if (!request.back()) activate_window(request.window);
  return true;
}

}  // namespace gui

namespace {

constexpr int64_t k_acc_back = 512;
constexpr std::u16string_view k_empty_marker = u"__ACCESSIBILITY_DATA_ARI__";

enum PosAccKind : int64_t {
  k_acc_accapi = 0,
  k_acc_acc = 1,
  k_acc_api = 2,
  k_acc_name = 3,
  k_acc_value = 4,
  k_acc_role = 5,
  k_acc_state = 6,
  k_acc_description = 7,
  k_acc_location = 8,
  k_acc_help = 9,
};

std::u16string posacc_text(const gui::AccPointInfo& info, int64_t kind, HWND under) {
  std::u16string window_text = under ? gui::text_of(under) : std::u16string();
  std::u16string accessible = info.name.empty() ? info.value : info.name;
  switch (kind) {
    case k_acc_accapi: return accessible.empty() ? window_text : accessible;
    case k_acc_acc: return accessible;
    case k_acc_api: return window_text;
    case k_acc_name: return info.name;
    case k_acc_value: return info.value;
    case k_acc_role: return info.role_text;
    case k_acc_state: return info.state_text;
    case k_acc_description: return info.description;
    case k_acc_location: return info.location;
    case k_acc_help: return info.help;
    default: return {};
  }
}

}  // namespace

// POSACC(id, x, y, kind): the accessibility text of the object at (x, y) of
// the window of [id] (ID 0: of the screen).
Value builtin_posacc(BuiltinContext& ctx) {
  int32_t id = gui::window_argument(ctx, 0);
  int64_t kind = ctx.integer(3, k_acc_accapi);
  bool back = kind & k_acc_back;
  kind &= ~k_acc_back;
  POINT at{gui::position_argument(ctx, 1, 0), gui::position_argument(ctx, 2, 0)};
  if (id != 0) {
    HWND window = gui::window_state(ctx.interpreter).window_of(id);
    if (!window) return Value::string(u"");
    RECT r{};
    GetWindowRect(window, &r);
    at.x += r.left;
    at.y += r.top;
    if (!back) gui::activate_window(window);
    short_pump(ctx.interpreter, 4);
  }
  gui::AccPointInfo info;
  if (!gui::accessible_at_point(at, info)) return Value::string(u"");
  std::u16string text = posacc_text(info, kind, WindowFromPoint(at));
  if (text.empty()) return Value::string(std::u16string(k_empty_marker));
  return Value::string(std::move(text));
}

}  // namespace vesk
