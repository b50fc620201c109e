#include "builtins/gui/window_search.h"

#include <chrono>
#include <mutex>
#include <unordered_set>

#include "builtins/core/text_mapping.h"
#include "builtins/gui/window_table.h"
#include "engine/runtime/interpreter.h"
#include "engine/runtime/waiting.h"
#include "support/text.h"

namespace vesk::gui {
namespace {

// Invisible windows with these title and class pairs are system helpers.
struct TitleAndClass {
  std::u16string_view title, klass;
};
constexpr TitleAndClass k_invisible_helpers[] = {
    {u"SYSFADER", u"SYSFADER"},
    {u"DDE SERVER WINDOW", u"OLEDDEWNDCLASS"},
    {u"MCI COMMAND HANDLING WINDOW", u"#43"},
    {u"", u"WORKERW"},
    {u"", u"RUNDLL"},
    {u"", u"AUTO-SUGGEST DROPDOWN"},
    {u"GDI+ WINDOW", u"GDI+ HOOK WINDOW CLASS"},
};

std::u16string trimmed_upper(const wchar_t* buffer, int length) {
  if (length <= 0) return {};
  std::u16string_view text(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(length));
  return system_upper(trim_blanks(text));
}

std::u16string window_title(HWND window) {
  wchar_t buffer[256];
  int length = GetWindowTextW(window, buffer, 256);
  return trimmed_upper(buffer, length);
}

std::u16string window_class(HWND window) {
  wchar_t buffer[256];
  int length = GetClassNameW(window, buffer, 256);
  return trimmed_upper(buffer, length);
}

bool zero_size(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return true;
  return r.right - r.left == 0 || r.bottom - r.top == 0;
}

struct Collection {
  Interpreter* interpreter;
  std::vector<Candidate> found;
};

// The candidate filter: false when the window is no candidate.
bool admit(HWND window, Collection& c) {
  if (is_own_window(window)) return false;
  std::u16string title = window_title(window);
  std::u16string klass = window_class(window);
  bool visible = IsWindowVisible(window);
  if (title.empty()) {
    if (!visible && GetParent(window)) return false;
    if (klass == u"SYSSHADOW" || klass == u"MS_WINNOTE") return false;
    if (zero_size(window)) return false;
  }
  if (!visible) {
    if (!IsWindowEnabled(window)) return false;
    if (GetWindow(window, GW_OWNER) && !GetWindow(window, GW_CHILD)) return false;
    for (const TitleAndClass& helper : k_invisible_helpers)
      if (title == helper.title && klass == helper.klass) return false;
    if (title == u"MSP PNP NOTIFICATION WINDOW") return false;
  }
  if (klass == u"THINTWINDOW" || klass == u"TOOLTIPS_CLASS32") return false;
  c.found.push_back({window, std::move(title), std::move(klass)});
  return true;
}

BOOL CALLBACK collect_one(HWND window, LPARAM data) {
  Collection& c = *reinterpret_cast<Collection*>(data);
  if (c.interpreter->stop_requested()) return FALSE;
  // A window may vanish while it is read; it is then left out.
  try {
    admit(window, c);
  } catch (...) {
  }
  return TRUE;
}

bool class_matches(const Candidate& c, std::u16string_view klass) {
  return klass.empty() || std::u16string_view(c.klass).substr(0, klass.size()) == klass;
}

std::u16string half_width(std::u16string_view text) {
  return map_text(text, LCMAP_HALFWIDTH).value_or(std::u16string(text));
}

bool same_process(HWND window, DWORD process) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == process;
}

HWND find_in_process(const std::vector<Candidate>& candidates, DWORD process) {
  HWND sized = nullptr, any = nullptr;
  for (const Candidate& c : candidates) {
    if (!same_process(c.window, process)) continue;
    if (!any) any = c.window;
    if (zero_size(c.window)) continue;
    if (IsWindowVisible(c.window)) return c.window;
    if (!sized) sized = c.window;
  }
  return sized ? sized : any;
}

BOOL CALLBACK add_visible(HWND w, LPARAM data) {
  if (IsWindowVisible(w)) reinterpret_cast<std::unordered_set<HWND>*>(data)->insert(w);
  return TRUE;
}

// The visible top-level windows, enumerated again when older than a second.
class TopLevelCache {
 public:
  bool contains(HWND window) {
    std::lock_guard guard(m_lock);
    auto now = std::chrono::steady_clock::now();
    if (now - m_taken > std::chrono::seconds(1)) {
      m_windows.clear();
      EnumWindows(add_visible, reinterpret_cast<LPARAM>(&m_windows));
      m_taken = now;
    }
    return m_windows.count(window) > 0;
  }

 private:
  std::mutex m_lock;
  std::unordered_set<HWND> m_windows;
  std::chrono::steady_clock::time_point m_taken{};
};

}  // namespace

std::u16string system_upper(std::u16string_view text) {
  std::u16string upper(text);
  if (!upper.empty()) CharUpperBuffW(reinterpret_cast<wchar_t*>(upper.data()), static_cast<DWORD>(upper.size()));
  return upper;
}

bool title_equal(std::u16string_view window_title, std::u16string_view searched) {
  return window_title == searched || half_width(window_title) == half_width(searched);
}

bool title_contains(std::u16string_view window_title, std::u16string_view searched) {
  if (window_title.find(searched) != std::u16string_view::npos) return true;
  return half_width(window_title).find(half_width(searched)) != std::u16string::npos;
}

std::vector<Candidate> collect_candidates(Interpreter& interpreter, HWND parent) {
  Collection c{&interpreter, {}};
  if (parent)
    EnumChildWindows(parent, collect_one, reinterpret_cast<LPARAM>(&c));
  else
    EnumWindows(collect_one, reinterpret_cast<LPARAM>(&c));
  return std::move(c.found);
}

HWND find_top_window(Interpreter& interpreter, std::u16string_view title, std::u16string_view klass, DWORD process) {
  std::vector<Candidate> candidates = collect_candidates(interpreter, nullptr);
  if (process != 0) return find_in_process(candidates, process);
  HWND foreground = GetForegroundWindow();
  auto first = [&](auto&& test) -> HWND {
    for (const Candidate& c : candidates)
      if (class_matches(c, klass) && test(c)) return c.window;
    return nullptr;
  };
  auto visible = [](const Candidate& c) { return IsWindowVisible(c.window) != FALSE; };
  auto is_foreground = [&](const Candidate& c) { return c.window == foreground && visible(c); };
  auto equal = [&](const Candidate& c) { return title_equal(c.title, title); };
  auto contains = [&](const Candidate& c) { return title_contains(c.title, title); };
  if (HWND w = first([&](const Candidate& c) { return is_foreground(c) && equal(c); })) return w;
  if (HWND w = first([&](const Candidate& c) { return visible(c) && equal(c); })) return w;
  if (HWND w = first([&](const Candidate& c) { return is_foreground(c) && contains(c); })) return w;
  if (HWND w = first([&](const Candidate& c) { return visible(c) && contains(c); })) return w;
  if (HWND w = first(equal)) return w;
  if (HWND w = first(contains)) return w;
  if (title == k_no_title_marker && !klass.empty())
    if (HWND w = first([](const Candidate& c) { return c.title.empty(); })) return w;
  if (title.empty() && !klass.empty())
    if (HWND w = first([](const Candidate&) { return true; })) return w;
  return nullptr;
}

HWND find_child_by_caption(Interpreter& interpreter, HWND window, std::u16string_view caption) {
  std::vector<Candidate> children = collect_candidates(interpreter, window);
  HWND foreground = GetForegroundWindow();
  auto first = [&](auto&& test) -> HWND {
    for (const Candidate& c : children)
      if (test(c)) return c.window;
    return nullptr;
  };
  auto visible = [](const Candidate& c) { return IsWindowVisible(c.window) != FALSE; };
  auto equal = [&](const Candidate& c) { return title_equal(c.title, caption); };
  auto contains = [&](const Candidate& c) { return title_contains(c.title, caption); };
  if (HWND w = first([&](const Candidate& c) { return c.window == foreground && visible(c) && equal(c); })) return w;
  if (HWND w = first([&](const Candidate& c) { return visible(c) && equal(c); })) return w;
  if (HWND w = first(equal)) return w;
  if (HWND w = first([&](const Candidate& c) { return c.window == foreground && contains(c); })) return w;
  if (HWND w = first([&](const Candidate& c) { return visible(c) && contains(c); })) return w;
  return first(contains);
}

HWND top_level_at(POINT point, bool stop_at_mdi_child) {
  static TopLevelCache cache;
  HWND window = WindowFromPoint(point);
  for (int step = 0; window && step < 100 && !cache.contains(window); ++step) {
    if (stop_at_mdi_child && (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_MDICHILD)) break;
    HWND parent = GetParent(window);
    if (!parent || zero_size(parent)) break;
    window = parent;
  }
  return window;
}

bool wait_window_idle(Interpreter& interpreter, HWND window) {
  short_pump(interpreter, 1);
  if (!window || is_own_window(window)) return false;
  constexpr DWORD k_limit_ms = 8000;
  bool busy = false;
  if (interpreter.program().options.old_busy) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, process)) {
      busy = WaitForInputIdle(h, k_limit_ms) != 0;
      CloseHandle(h);
    } else {
      busy = true;
    }
  } else {
    DWORD_PTR answer = 0;
    busy = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, k_limit_ms, &answer) == 0;
  }
  short_pump(interpreter, 1);
  return busy;
}

}  // namespace vesk::gui
