// The balloon: its shape, transparency, font and colours.
#ifdef _WIN32
#include "app/dialogs/balloon.h"

#include <algorithm>
#include <vector>

#include "app/dialogs/dialog_rules.h"
#include "builtins/gui/window_table.h"

namespace vesk::dialogs {
namespace {

constexpr wchar_t k_class[] = L"TFfukidsi";
constexpr COLORREF k_yellow = RGB(255, 255, 0);

bool same_style(const gui::BalloonRequest& a, const gui::BalloonRequest& b) {
  return a.direction == b.direction && a.size == b.size && a.font == b.font && a.text_colour == b.text_colour &&
         a.background == b.background && a.transparency == b.transparency;
}

// The special window name of the balloon of [slot].
std::u16string host_name(int32_t slot) {
  std::string digits = std::to_string(slot);
  return u"__GET_FUKIDASI_WIN__" + std::u16string(digits.begin(), digits.end());
}

}  // namespace

class Balloon {
 public:
  explicit Balloon(int32_t slot);
  ~Balloon();
  void show(const gui::DialogLook& look, const gui::BalloonRequest& request);
  void hide() { ShowWindow(m_window, SW_HIDE); }

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  void rebuild(const gui::DialogLook& look);
  void paint(HDC dc);

  HWND m_window = nullptr;
  int32_t m_slot = 0;
  gui::BalloonRequest m_request;
  bool m_styled = false;
  Font m_font;
  BalloonShape m_shape;
  SIZE m_text{0, 0};
  COLORREF m_background = k_yellow;
};

Balloon::Balloon(int32_t slot) : m_slot(slot) {
  static bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = k_class;
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
  m_window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, k_class, L"", WS_POPUP, 0, 0, 10, 10,
                             GetDesktopWindow(), nullptr, GetModuleHandleW(nullptr), this);
  gui::register_own_window(m_window);
  gui::register_host_window(host_name(slot), m_window);
}

Balloon::~Balloon() {
  gui::register_own_window(m_window, false);
  gui::register_host_window(host_name(m_slot), nullptr);
  SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
  DestroyWindow(m_window);
}

LRESULT CALLBACK Balloon::window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  auto* self = reinterpret_cast<Balloon*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    self->paint(dc);
    EndPaint(window, &ps);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  return DefWindowProcW(window, msg, wparam, lparam);
}

void Balloon::paint(HDC dc) {
  RECT client;
  GetClientRect(m_window, &client);
  HBRUSH brush = CreateSolidBrush(m_background);
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  if (m_request.transparency != -2) {
    COLORREF line = m_request.transparency < 0 ? m_background : RGB(0, 0, 0);
    if (m_request.transparency == -1) line = RGB(0, 0, 0);
    HPEN pen = CreatePen(PS_SOLID, 1, line);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    std::vector<POINT> points;
    for (const BalloonPoint& p : m_shape.outline)
      points.push_back({std::min(p.x, static_cast<int32_t>(client.right - 1)), std::min(p.y, static_cast<int32_t>(client.bottom - 1))});
    points.push_back(points.front());
    Polyline(dc, points.data(), static_cast<int>(points.size()));
    SelectObject(dc, old_pen);
    DeleteObject(pen);
  }
  HGDIOBJ old_font = SelectObject(dc, m_font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, static_cast<COLORREF>(m_request.text_colour));
  RECT text{m_shape.label.x, m_shape.label.y, m_shape.label.x + m_text.cx, m_shape.label.y + m_text.cy};
  DrawTextW(dc, wide(m_request.text), static_cast<int>(m_request.text.size()), &text, DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old_font);
}

void Balloon::rebuild(const gui::DialogLook& look) {
  std::u16string name = m_request.font.empty() ? (look.font_name.empty() ? (environment().japanese ? u"MS UI Gothic" : u"Times New Roman") : look.font_name)
                                               : m_request.font;
  int32_t size = m_request.size > 0 ? m_request.size : (look.font_size > 0 ? look.font_size : 9);
  m_font = Font(name, std::max(size, 6));
  int32_t t = m_request.transparency;
  COLORREF text_colour = static_cast<COLORREF>(m_request.text_colour);
  if (t < 0)
    m_background = text_colour == k_yellow ? RGB(0, 0, 0) : k_yellow;
  else
    m_background = m_request.background > 0 ? static_cast<COLORREF>(m_request.background) : k_yellow;
  LONG_PTR ex = GetWindowLongPtrW(m_window, GWL_EXSTYLE);
  if (t == 0) {
    SetWindowLongPtrW(m_window, GWL_EXSTYLE, ex & ~WS_EX_LAYERED);
  } else {
    SetWindowLongPtrW(m_window, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    if (t < 0)
      SetLayeredWindowAttributes(m_window, m_background, 0, LWA_COLORKEY);
    else
      SetLayeredWindowAttributes(m_window, 0, static_cast<BYTE>(balloon_opacity(t)), LWA_ALPHA);
  }
}

void Balloon::show(const gui::DialogLook& look, const gui::BalloonRequest& request) {
  bool restyle = !m_styled || !same_style(request, m_request);
  m_request = request;
  if (restyle) rebuild(look);
  m_styled = true;
  SIZE text = text_size(m_font.get(), request.text);
  if (restyle || text.cx != m_text.cx || text.cy != m_text.cy) {
    m_text = text;
    m_shape = balloon_shape(request.direction, text.cx, text.cy);
    std::vector<POINT> points;
    for (const BalloonPoint& p : m_shape.outline) points.push_back({p.x, p.y});
    HRGN region = CreatePolygonRgn(points.data(), static_cast<int>(points.size()), WINDING);
    SetWindowPos(m_window, HWND_TOPMOST, request.x, request.y, text.cx + 20, text.cy + 20, SWP_NOACTIVATE);
    SetWindowRgn(m_window, region, TRUE);  // the window owns the region now
  } else {
    SetWindowPos(m_window, HWND_TOPMOST, request.x, request.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ShowWindow(m_window, SW_SHOWNOACTIVATE);
  InvalidateRect(m_window, nullptr, TRUE);
  UpdateWindow(m_window);
}

Balloons::Balloons() = default;
Balloons::~Balloons() = default;

void Balloons::show(int32_t slot, const gui::DialogLook& look, const gui::BalloonRequest& request) {
  auto it = m_balloons.find(slot);
  if (request.text.empty()) {
    if (it != m_balloons.end()) it->second->hide();
    return;
  }
  if (it == m_balloons.end()) it = m_balloons.emplace(slot, std::make_unique<Balloon>(slot)).first;
  it->second->show(look, request);
}

void Balloons::close_all() { m_balloons.clear(); }

}  // namespace vesk::dialogs
#endif
