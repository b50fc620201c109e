// The host on Windows: start-up, loading, the run sequence, the hand-over
// between instances, the tool menu and the exit.
#ifdef _WIN32
#include <windows.h>
#include "app/host/host.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>

#include "app/container/script_container.h"
#include "app/dialogs/balloon.h"
#include "app/dialogs/dialog_rules.h"
#include "app/dialogs/dialog_windows.h"
#include "app/dialogs/log_window.h"
#include "app/dialogs/popup_menu.h"
#include "app/dialogs/script_dialog_windows.h"
#include "app/dialogs/stop_form.h"
#include "app/host/file_dialogs.h"
#include "app/host/hot_keys.h"
#include "app/host/host_settings.h"
#include "app/host/launcher_bar.h"
#include "app/settings/settings_file.h"
#include "builtins/core/dispatch.h"
#include "builtins/gui/input.h"
#include "builtins/gui/script_dialogs.h"
#include "builtins/gui/window_control.h"
#include "engine/loader/assembly.h"
#include "engine/runtime/block_checks.h"
#include "engine/runtime/interpreter.h"
#include "engine/runtime/waiting.h"
#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk::host {
namespace {

using dialogs::RunState;
using dialogs::wide;

constexpr char16_t k_set[] = u"SET";
constexpr wchar_t k_mutex_name[] = L"_VESK_NIJYUKIDOU_NG_";
constexpr wchar_t k_mutex_name_2[] = L"_VESK_NIJYUKIDOU_NG2_";

constexpr char k_usage[] =
    "usage: vesk.exe                      the launcher bar\n"
    "       vesk.exe SCRIPT [PARAM...]    run SCRIPT once, then exit (\"-R3\" runs it three times)\n"
    "       vesk.exe /k SCRIPT [PARAM...] hand SCRIPT to a running launcher, which runs it\n"
    "       vesk.exe /l SCRIPT            hand SCRIPT to a running launcher, which loads it\n"
    "       vesk.exe /NI SCRIPT ...       run once without a task-bar button\n"
    "       vesk.exe /a SCRIPT [OUT]      write SCRIPT as an enciphered script\n"
    "       vesk.exe /unattended ...      for schedulers and build servers: a script error\n"
    "                                     goes to the log file and to standard error\n"
    "                                     instead of a dialog, and the exit code says so\n"
    "\n"
    "Exit codes of a run: the value of EXITEXIT, else 0. With /unattended a script\n"
    "error gives 1 and a script that cannot be found 2. Dialogs that the\n"
    "script itself opens (MSGBOX, INPUT, SLCTBOX) still wait for an answer.\n";

// Writes [text] as UTF-8 lines to standard error (or output), when the
// process has one.
void write_std(DWORD which, std::u16string_view text) {
  HANDLE handle = GetStdHandle(which);
  if (!handle || handle == INVALID_HANDLE_VALUE) return;
  std::string bytes = utf16_to_utf8(text);
  bytes += "\r\n";
  DWORD written = 0;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

RECT primary_work_area() {
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

std::u16string number_text(int64_t n) {
  std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// The program's embedded resource [name] of type "TEXT", as text.
std::optional<std::u16string> text_resource(const wchar_t* name) {
  HRSRC found = FindResourceW(nullptr, name, L"TEXT");
  if (!found) return std::nullopt;
  HGLOBAL loaded = LoadResource(nullptr, found);
  DWORD size = SizeofResource(nullptr, found);
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes) return std::nullopt;
  return decode_text_bytes(std::string(bytes, size)).text;
}

std::u16string program_path() {
  wchar_t path[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  return reinterpret_cast<char16_t*>(path);
}

}  // namespace

class Host final : public RunOutput, public gui::ScriptDialogs {
 public:
  explicit Host(const CommandLine& line) : RunOutput(true), m_line(line), m_mode(line.mode) {}

  int run();

  // --- RunOutput ---
  void print_line(const std::u16string& text) override { m_log->print(text); }
  void show_error(const std::u16string& text, const std::u16string& location) override;
  bool ask_abort(const std::u16string& text, bool ok_only) override;
  void log_error(const std::u16string& line) override { m_log->log_error(line); }
  bool paused() const override { return m_stop && m_stop->state() == RunState::Paused; }
  bool log_dirty() const override { return m_log && m_log->dirty(); }
  void write_log() override { m_log->write_file(); }

  // --- ScriptDialogs ---
  int32_t message_box(Interpreter&, const gui::DialogLook& look, const gui::MessageBoxRequest& r) override {
    return dialogs::show_message_box(look, r);
  }
  std::optional<std::u16string> input_box(Interpreter&, const gui::DialogLook& look,
                                          const gui::InputRequest& r) override {
    return dialogs::show_input_box(look, r);
  }
  gui::SelectResult select_box(Interpreter&, const gui::DialogLook& look, const gui::SelectRequest& r) override {
    return dialogs::show_select_box(look, r);
  }
  void balloon(Interpreter&, const gui::DialogLook& look, int32_t slot, const gui::BalloonRequest& r) override {
    m_balloons.show(slot, look, r);
  }
  int32_t popup_menu(Interpreter&, const std::u16string& items, int32_t x, int32_t y) override {
    return m_popup.show(m_bar->window(), items, x, y);
  }
  void stop_form(Interpreter&, bool show, int32_t x, int32_t y, int count) override;
  void log_print(Interpreter&, bool show, int32_t x, int32_t y, int32_t w, int32_t h, int count) override {
    m_log->log_print(show, x, y, w, h, count);
  }

 private:
  bool one_shot() const { return m_mode == LaunchMode::RunOnce || m_embedded; }
  void create_windows();
  void write_settings_defaults();
  void place_bar();
  bool first_showing();
  bool single_instance_check();
  void resume();
  void notify(const std::u16string& text, bool beep = true);
  bool load_spec(const std::u16string& spec, SpecSeparator separator, bool hand_over = false);
  void play();
  void run_script();
  void enter_running();
  void leave_running();
  void stop_pressed();
  void tool_menu(POINT at);
  void tool_command(UINT id);
  void start_tool(const std::u16string& program, const std::u16string& arguments);
  void load_pressed();
  void save_pressed();
  void dropped(const std::u16string& path);
  void private_message(UINT msg, WPARAM wparam, LPARAM lparam);
  void outcom_timer();
  void close();
  bool register_hot_key(int32_t id, std::u16string_view key, std::u16string_view fallback);
  void hot_key(int32_t id);
  void wait_for_release(std::u16string_view key, std::u16string_view fallback);
  void tell_others_stop_key();
  void apply_log_options();
  int exit_code_of_run() const;

  CommandLine m_line;
  LaunchMode m_mode;
  std::u16string m_program_folder;
  bool m_embedded = false;
  std::u16string m_embedded_flags;
  std::vector<std::u16string> m_embedded_text;
  std::unique_ptr<LauncherBar> m_bar;
  std::unique_ptr<dialogs::StopForm> m_stop;
  std::unique_ptr<dialogs::LogWindow> m_log;
  dialogs::Balloons m_balloons;
  dialogs::PopupMenu m_popup;
  std::unique_ptr<Interpreter> m_interpreter;

  ScriptSpec m_script;
  std::u16string m_last_spec;
  std::u16string m_caption = u"VESK Pro";
  std::vector<std::u16string> m_recorded;
  bool m_loaded = false;
  bool m_pending_play = false;
  bool m_closing = false;
  bool m_close_after_run = false;
  bool m_stop_key_registered = false;
  bool m_run_failed = false;
  bool m_load_failed = false;
  bool m_not_found = false;  // the script named could not be found
  int m_exit_code = 0;
  HANDLE m_mutex = nullptr;
};

// --- start-up ---

int Host::run() {
  if (m_line.help) {
    write_std(STD_OUTPUT_HANDLE, u16(k_usage));
    if (!GetStdHandle(STD_OUTPUT_HANDLE)) MessageBoxW(nullptr, wide(u16(k_usage)), L"VESK", MB_OK);
    return 0;
  }
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  m_program_folder = platform::program_directory();
  SettingsFile& settings = process_settings();
  settings.start_up();
  bool japanese = platform::system_language_is_japanese();
  set_message_language_japanese(japanese);
  dialogs::environment().japanese = japanese;

  if (std::optional<std::u16string> script = text_resource(L"ADDSCRIPT"); script && !trim_blanks(*script).empty()) {
    m_embedded = true;
    m_mode = LaunchMode::Bar;
    m_embedded_flags = text_resource(L"ADDFLG").value_or(u"");
    // The executable builder stores the assembled run text, enciphered.
    m_embedded_text = split_lines(*script);
    std::u16string refused;
    read_script_container(m_embedded_text, u"ADDSCRIPT",
                          {nullptr, [&refused](const std::u16string& text) { refused = text; }});
    if (!refused.empty()) {
      notify(refused);
      if (SUCCEEDED(com)) CoUninitialize();
      return m_line.unattended ? 2 : 0;
    }
    for (std::u16string& p : split_lines(replace_all(m_line.spec, u'\r', u'\n')))
      if (!p.empty()) m_script.params.push_back(p);
  }
  if (m_embedded && m_embedded_flags.find(u'I') != std::u16string::npos) settings.set_read_only(true);
  int mode = static_cast<int>(m_mode);
  if (mode <= 5 && m_mode != LaunchMode::RunOnce && !m_embedded) settings.probe();

  create_windows();
  if (m_line.embedded_only) {
    m_bar->make_invisible();
  } else {
    write_settings_defaults();
    if (!first_showing()) {
      close();
    }
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (m_bar && m_bar->preview_key(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  gui::install_script_dialogs(nullptr);
  m_interpreter.reset();
  if (SUCCEEDED(com)) CoUninitialize();
  return m_exit_code;
}

void Host::create_windows() {
  LauncherEvents events;
  events.pressed = [this](BarButton b) {
    switch (b) {
      case BarButton::Load: load_pressed(); break;
      case BarButton::Save: save_pressed(); break;
      case BarButton::Play: play(); break;
      case BarButton::Rec: notify(message(MessageId::HostRecordingNotAvailable)); break;
      case BarButton::Tool: break;
    }
  };
  events.tool_menu = [this](POINT p) { tool_menu(p); };
  events.dropped = [this](const std::u16string& path) { dropped(path); };
  events.private_message = [this](UINT m, WPARAM w, LPARAM l) { private_message(m, w, l); };
  events.timer = [this] { outcom_timer(); };
  events.closing = [this] { close(); };
  events.hot_key = [this](int32_t id) { hot_key(id); };
  m_bar = std::make_unique<LauncherBar>(std::move(events));
  dialogs::environment().launcher = m_bar->window();

  SettingsFile& settings = process_settings();
  dialogs::StopFormOptions options;
  options.never_show = settings.read(k_set, u"StopForm") == u"1";
  options.invisible = m_embedded && m_embedded_flags.find(u'S') != std::u16string::npos;
  options.no_task_bar = m_embedded && m_embedded_flags.find(u'T') != std::u16string::npos;
  m_stop = std::make_unique<dialogs::StopForm>(options, [this] { stop_pressed(); });

  // The log file: the program's file name with ".Log", upper-cased, beside
  // the settings (or the program); the settings' LogPath replaces it.
  std::u16string exe = file_name_of(program_path());
  size_t dot = exe.find_last_of(u'.');
  std::u16string log_name = ascii_upper((dot == std::u16string::npos ? exe : exe.substr(0, dot)) + u".Log");
  std::u16string log_path = settings.read(k_set, u"LogPath");
  if (log_path.empty())
    log_path = (settings.in_app_data() ? default_settings_places().app_data_folder : m_program_folder) + u"\\" + log_name;
  bool writes_file = !(m_embedded && m_embedded_flags.find(u'L') != std::u16string::npos);
  m_log = std::make_unique<dialogs::LogWindow>(log_path, writes_file);
  m_log->set_line_limit_text(settings.read(k_set, u"LogLines"));
  m_log->set_bar_rect_source([this] {
    RECT r;
    GetWindowRect(m_bar->window(), &r);
    return r;
  });

  m_interpreter = std::make_unique<Interpreter>(*this);
  install_core_builtins(*m_interpreter);
  gui::install_script_dialogs(this);
  Interpreter& in = *m_interpreter;
  in.set_cleanup_step(CleanupStep::Balloons, [this] { m_balloons.close_all(); });
  in.set_cleanup_step(CleanupStep::LogFile, [this] { m_log->write_file(); });
  in.set_cleanup_step(CleanupStep::OptionEffects, [this] { m_log->end_run_options(); });
  in.set_cleanup_step(CleanupStep::PopupMenu, [this] { m_popup.release(); });
}

void Host::write_settings_defaults() {
  SettingsFile& settings = process_settings();
  int mode = static_cast<int>(m_mode);
  if (m_mode == LaunchMode::RunOnce) {
    if (settings.read(k_set, u"NotTaskBar") == u"1" || m_line.no_task_bar) {
      LONG_PTR ex = GetWindowLongPtrW(m_bar->window(), GWL_EXSTYLE);
      SetWindowLongPtrW(m_bar->window(), GWL_EXSTYLE, (ex & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
    }
  } else if (m_embedded) {
    SetWindowLongPtrW(m_bar->window(), GWL_STYLE, WS_POPUP);
    SetWindowPos(m_bar->window(), nullptr, 0, 0, 1, 1, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    write_inherited_settings(settings, text_resource(L"ADDINHER").value_or(u""));
  } else if (mode < 5) {
    RECT area = primary_work_area();
    SettingsDefaults defaults;
    defaults.position = number_text(area.right - 400) + u"," + number_text(area.bottom - 200);
    if (dialogs::environment().japanese) {
      std::u16string sample = m_program_folder + u"\\sample\\サンプル.VSK";
      if (platform::file_exists(sample))
        defaults.japanese_sample = u".\\sample\\サンプル.VSK";
      else if (platform::file_exists(m_program_folder + u"\\サンプル.VSK"))
        defaults.japanese_sample = u".\\サンプル.VSK";
    }
    write_default_settings(settings, defaults);
  }
  if (mode < 5) place_bar();
  m_log->set_line_limit_text(settings.read(k_set, u"LogLines"));
  m_log->set_font_text(settings.read(k_set, u"DefaultFont"));
}

void Host::place_bar() {
  if (m_embedded) return;
  int32_t x = 0, y = 0;
  if (!read_position(process_settings().read(k_set, u"Position"), x, y)) return;
  RECT r;
  GetWindowRect(m_bar->window(), &r);
  RECT placed = dialogs::keep_on_monitor({x, y, x + r.right - r.left, y + r.bottom - r.top});
  SetWindowPos(m_bar->window(), nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The first showing; false when the process is to close at once.
bool Host::first_showing() {
  bool invisible_bar = m_mode == LaunchMode::RunOnce || m_mode == LaunchMode::Encipher ||
                       m_mode == LaunchMode::BuildStep ||
                       (m_embedded && m_embedded_flags.find(u'S') != std::u16string::npos);
  if (invisible_bar) m_bar->make_invisible();
  switch (m_mode) {
    case LaunchMode::Record:
      notify(message(MessageId::HostRecordingNotAvailable));
      if (m_line.unattended) m_exit_code = 2;
      return false;
    case LaunchMode::Encipher: {
      std::u16string input = parse_script_spec(m_line.spec, SpecSeparator::CarriageReturn,
                                               {m_program_folder, platform::current_directory(), false}).path;
      std::u16string output = m_line.second_argument.empty()
                                  ? input
                                  : spec_path_text(platform::absolute_path(m_line.second_argument));
      if (!write_script_container(input, output)) {
        notify(message(MessageId::HostFileNotFound) + input);
        m_exit_code = m_line.unattended ? 2 : 0;
      }
      return false;
    }
    case LaunchMode::BuildStep:
      notify(message(MessageId::HostNotYetAvailable, u"/_exe_bild"));
      return false;
    default:
      break;
  }
  if (!single_instance_check()) return false;
  resume();
  if (!m_embedded && (m_mode == LaunchMode::Bar || m_mode == LaunchMode::HandOverRun))
    register_hot_key(k_hot_key_play, u"PlayHotKey", u"1,2");
  if (!m_embedded && (m_mode == LaunchMode::Bar || m_mode == LaunchMode::HandOverRun))
    SetWindowPos(m_bar->window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!m_line.spec.empty() || m_embedded) PostMessageW(m_bar->window(), k_msg_run_command_line, 0, 0);
  if (!invisible_bar && !m_embedded) {
    ShowWindow(m_bar->window(), SW_SHOW);
    gui::activate_window(m_bar->window(), true);
  }
  return true;
}

bool Host::single_instance_check() {
  SettingsFile& settings = process_settings();
  if (m_embedded && m_embedded_flags.find(u'M') != std::u16string::npos) {
    std::u16string exe = file_name_of(program_path());
    std::u16string name = u"_EXE_VSK_NIJYU_NG_" + exe.substr(0, exe.find_last_of(u'.'));
    m_mutex = CreateMutexW(nullptr, FALSE, wide(name));
    if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
    return true;
  }
  if (m_mode == LaunchMode::HandOverRun || m_mode == LaunchMode::HandOverLoad) {
    HWND other = nullptr;
    while ((other = FindWindowExW(nullptr, other, k_launcher_class, nullptr)))
      if (other != m_bar->window()) break;
    if (other) {
      ScriptSpec spec = parse_script_spec(m_line.spec, SpecSeparator::CarriageReturn,
                                          {platform::current_directory(), platform::current_directory(), true});
      settings.write(k_set, u"SetFile", spec.path);
      PostMessageW(other, k_msg_hand_over, m_mode == LaunchMode::HandOverRun ? 1 : 0, 0);
      return false;
    }
    if (m_mode == LaunchMode::HandOverLoad) {
      // No launcher runs: this one becomes it and only loads the script.
      load_spec(m_line.spec, SpecSeparator::CarriageReturn, true);
      m_line.spec.clear();
    }
    m_mode = LaunchMode::Bar;
    if (!m_line.spec.empty()) {
      m_mode = LaunchMode::HandOverRun;
    }
  }
  std::u16string rule = settings.read(k_set, u"NotMultiplex");
  bool check = m_mode == LaunchMode::Bar || m_mode == LaunchMode::HandOverRun ||
               (m_mode == LaunchMode::RunOnce && (rule == u"1" || rule == u"-1" || rule == u"2" || rule == u"-2"));
  if (!check || m_embedded) return true;
  m_mutex = CreateMutexW(nullptr, FALSE, k_mutex_name);
  bool duplicate = GetLastError() == ERROR_ALREADY_EXISTS;
  if (duplicate && m_mode == LaunchMode::RunOnce && (rule == u"2" || rule == u"-2")) {
    CloseHandle(m_mutex);
    m_mutex = CreateMutexW(nullptr, FALSE, k_mutex_name_2);
    duplicate = GetLastError() == ERROR_ALREADY_EXISTS;
  }
  if (!duplicate) return true;
  if (!starts_with(rule, u"-")) notify(message(MessageId::HostMultiplex), false);
  return false;
}

// The resume section that a restart left: the log window's bounds and
// caption and the last spec; erased once read.
void Host::resume() {
  SettingsFile& settings = process_settings();
  std::u16string refile = settings.read(u"EXTR_SECTION", u"COM_REFILE");
  if (refile.empty()) return;
  std::vector<std::u16string> fields;
  size_t start = 0;
  for (int i = 0; i < 6; ++i) {
    size_t comma = refile.find(u',', start);
    if (comma == std::u16string::npos) break;
    fields.push_back(refile.substr(start, comma - start));
    start = comma + 1;
  }
  if (fields.size() == 6) {
    std::u16string last_spec = refile.substr(start);
    int32_t values[4] = {};
    for (int i = 0; i < 4; ++i) values[i] = static_cast<int32_t>(std::wcstol(wide(fields[1 + i]), nullptr, 10));
    SetWindowPos(m_log->window(), nullptr, values[0], values[1], values[2], values[3], SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowTextW(m_log->window(), wide(fields[5]));
    if (!m_embedded && !last_spec.empty() && load_spec(last_spec, SpecSeparator::Blank) && fields[0] != u"0" &&
        m_line.spec.empty())
      m_line.spec = last_spec;
  }
  settings.remove(u"EXTR_SECTION", u"");
}

void Host::notify(const std::u16string& text, bool beep) {
  if (beep) MessageBeep(MB_ICONEXCLAMATION);
  if (m_line.unattended) {
    write_std(STD_ERROR_HANDLE, text);
    return;
  }
  gui::MessageBoxRequest request;
  request.text = text;
  request.buttons = 1;
  dialogs::show_message_box({u"VESK", {}, 0, -1}, request);
}

// --- loading ---

bool Host::load_spec(const std::u16string& spec, SpecSeparator separator, bool hand_over) {
  ScriptSpec parsed;
  try {
    parsed = parse_script_spec(spec, separator, {m_program_folder, platform::current_directory(), hand_over});
  } catch (const std::exception& e) {
    notify(u"SetFnCrntDir:" + u16(e.what()));
    return false;
  }
  parsed.path = platform::absolute_path(parsed.path);
  if (!platform::file_exists(parsed.path)) {
    notify(message(MessageId::HostFileNotFound) + parsed.path);
    m_not_found = true;
    return false;
  }
  m_script = std::move(parsed);
  m_last_spec = spec;
  m_loaded = true;
  platform::set_current_directory(folder_of(m_script.path));
  m_caption = file_name_of(m_script.path);
  SetWindowTextW(m_bar->window(), wide(m_caption));
  dialogs::environment().app_title = u"VESK - " + m_caption;
  m_bar->enable(BarButton::Play, true);
  m_bar->enable(BarButton::Save, false);
  return true;
}

// --- the run sequence ---

void Host::play() {
  RunState state = m_stop->state();
  if (state == RunState::Running || state == RunState::Paused) return;
  if (!m_loaded && !m_embedded && m_recorded.empty()) return;
  enter_running();
  m_stop_key_registered = register_hot_key(k_hot_key_stop, u"StopHotKey", u"2,2");
  run_script();
  leave_running();
  if (m_stop_key_registered) {
    UnregisterHotKey(m_bar->window(), k_hot_key_stop);
    m_stop_key_registered = false;
    tell_others_stop_key();
  }
  if (m_close_after_run) close();
}

void Host::enter_running() {
  if (m_mode == LaunchMode::RunOnce) {
    m_stop->set_state(RunState::Running);
    return;
  }
  ShowWindow(m_bar->window(), SW_HIDE);
  RECT bar;
  GetWindowRect(m_bar->window(), &bar);
  m_stop->move_to(bar.left, bar.top);
  m_stop->enter(RunState::Running, m_caption);
}

void Host::apply_log_options() {
  const ScriptOptions& options = m_interpreter->program().options;
  dialogs::LogWindow& log = *m_log;
  if (options.log_file_mode >= 0) log.file().set_mode(options.log_file_mode);
  if (!options.log_path.empty()) log.file().set_path_override(options.log_path);
  if (options.log_lines >= 0) log.set_run_line_limit(options.log_lines);
}

void Host::run_script() {
  Interpreter& in = *m_interpreter;
  m_run_failed = m_load_failed = false;
  m_log->run_start();
  loader::FileTimes times;
  auto read_container = [](loader::Lines& lines, std::u16string_view path, std::u16string& error) {
    std::u16string refused;
    ContainerNotices notices{nullptr, [&refused](const std::u16string& text) { refused = text; }};
    read_script_container(lines, path, notices);
    if (refused.empty()) return true;
    error = refused;
    return false;
  };
  loader::Assembler assembler(times, loader::literal_call_target, read_container);
  loader::AssemblyInput input;
  if (m_embedded)
    input.embedded = m_embedded_text;
  else if (m_loaded)
    input.script_path = m_script.path;
  else
    input.in_memory_script = m_recorded;
  try {
    loader::AssemblyResult assembled = assembler.assemble(input);
    if (!assembled.ok) {
      m_load_failed = true;
      m_log->log_error(assembled.error);
      show_error(assembled.error, u"");
      return;
    }
    LoadError error;
    if (!in.load(assembled.run_text, error) || !check_blocks(in, error)) {
      m_load_failed = true;
      in.report_load_error(error);
      in.cleanup();
      return;
    }
    apply_log_options();
    int32_t repeat = std::max(1, m_script.repeat);
    if (repeat > 1) in.reset_between_runs(true);
    for (int32_t pass = 0; pass < repeat; ++pass) {
      if (pass > 0) in.reset_between_runs(false);
      if (m_loaded) platform::set_current_directory(folder_of(m_script.path));
      in.run_main(m_script.params);
      if (in.error_shown() || (in.stop_pending() && !in.exit_all())) break;
    }
    m_run_failed = in.error_shown();
    m_exit_code = in.exit_code();
    in.cleanup();
  } catch (const std::exception& e) {
    show_error(u"pplay:" + u16(e.what()), u"");
    m_run_failed = true;
  }
}

void Host::leave_running() {
  for (int i = 0; i < 11; ++i) {
    platform::pump_messages();
    Sleep(20);
  }
  m_stop->enter(RunState::Idle, m_caption);
  if (m_mode != LaunchMode::RunOnce && !m_embedded && !m_closing) {
    ShowWindow(m_bar->window(), SW_SHOW);
    m_bar->focus(BarButton::Play);
  }
  if (m_loaded) m_bar->enable(BarButton::Play, true);
}

int Host::exit_code_of_run() const {
  if (m_run_failed && m_line.web_recorder_script) return 9;
  if (m_line.unattended && m_not_found) return 2;
  if (m_line.unattended && (m_run_failed || m_load_failed) && m_exit_code == 0) return 1;
  return m_exit_code;
}

void Host::stop_pressed() {
  RunState state = m_stop->state();
  if (state == RunState::Running || state == RunState::Paused) m_interpreter->request_stop();
}

void Host::show_error(const std::u16string& text, const std::u16string& location) {
  std::u16string full = location.empty() ? text : text + u"\r" + location;
  if (m_line.unattended) {
    write_std(STD_ERROR_HANDLE, text);
    if (!location.empty()) write_std(STD_ERROR_HANDLE, location);
    return;
  }
  gui::MessageBoxRequest request;
  request.text = full;
  request.buttons = 1;
  request.plain = true;
  gui::DialogLook look{m_interpreter ? m_interpreter->program().options.dialog_title : u"", {}, 0, -1};
  dialogs::show_message_box(look, request);
}

bool Host::ask_abort(const std::u16string& text, bool ok_only) {
  if (m_line.unattended) {
    write_std(STD_ERROR_HANDLE, text);
    return ok_only;
  }
  gui::MessageBoxRequest request;
  request.text = text;
  request.buttons = ok_only ? 1 : 4 | 8;
  request.plain = true;
  int32_t answer = dialogs::show_message_box({}, request);
  return ok_only || answer == 4;
}

void Host::stop_form(Interpreter&, bool show, int32_t x, int32_t y, int count) {
  RECT bar;
  GetWindowRect(m_bar->window(), &bar);
  m_stop->script_show(show, x, y, count, one_shot(), m_caption, {bar.left, bar.top},
                      process_settings().read(k_set, u"Position"));
}

// --- the bar's commands ---

void Host::load_pressed() {
  if (m_stop->state() != RunState::Idle) return;
  std::optional<OpenChoice> choice = open_script_dialog(m_bar->window());
  if (!choice) return;
  std::u16string spec = choice->spec;
  if (choice->count > 1) spec += u" -R" + number_text(choice->count);
  load_spec(spec, SpecSeparator::Blank);
}

void Host::save_pressed() {
  if (m_stop->state() != RunState::Idle || !m_bar->enabled(BarButton::Save)) return;
  if (m_recorded.empty()) {
    notify(message(MessageId::HostNoData));
    return;
  }
  std::optional<std::u16string> path = save_script_dialog(m_bar->window());
  if (!path) return;
  if (platform::file_exists(*path)) {
    gui::MessageBoxRequest request;
    request.text = message(MessageId::HostOverwrite);
    request.buttons = 4 | 8;
    if (dialogs::show_message_box({u"VESK", {}, 0, -1}, request) != 4) return;
  }
  std::u16string text;
  for (const std::u16string& line : m_recorded) text += line + u"\r\n";
  std::string ansi = platform::utf16_to_ansi(text);
  std::string bytes = platform::ansi_to_utf16(ansi) == text ? ansi : utf16_to_utf8(text);
  if (platform::replace_file_bytes(*path, bytes)) load_spec(*path, SpecSeparator::Blank);
}

// The first dropped file: a shortcut is followed; only a ".VSK" file is
// loaded, and then run at once.
void Host::dropped(const std::u16string& path) {
  if (m_stop->state() != RunState::Idle) return;
  std::u16string file = path, spec = path;
  if (std::optional<ShortcutTarget> target = resolve_shortcut(path)) {
    file = target->path;
    spec = target->path + (target->arguments.empty() ? u"" : u" " + target->arguments);
  }
  if (!ends_with(ascii_upper(file), u".VSK")) {
    notify(message(MessageId::HostNotVeskFile));
    return;
  }
  if (load_spec(spec, SpecSeparator::Blank)) play();
}

void Host::start_tool(const std::u16string& program, const std::u16string& arguments) {
  std::u16string path = m_program_folder + u"\\" + program;
  if (!platform::file_exists(path)) {
    notify(message(MessageId::HostExeNotFound) + path);
    return;
  }
  std::u16string command = u"\"" + path + u"\"" + (arguments.empty() ? u"" : u" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, const_cast<wchar_t*>(wide(command)), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

enum ToolCommand : UINT {
  k_tool_tray = 1, k_tool_options, k_tool_set_lunch_menu, k_tool_webrec, k_tool_vsk2exe, k_tool_debugger,
  k_tool_help, k_tool_about, k_tool_exit
};

void Host::tool_menu(POINT at) {
  if (m_stop->state() != RunState::Idle) return;
  HMENU menu = CreatePopupMenu();
  HMENU lunch = CreatePopupMenu();
  AppendMenuW(lunch, MF_STRING, k_tool_set_lunch_menu, wide(message(MessageId::MenuSetLunchMenu)));
  AppendMenuW(menu, MF_STRING, k_tool_tray, wide(message(MessageId::MenuIntoTray)));
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, k_tool_options, wide(message(MessageId::MenuOptions)));
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(lunch), wide(message(MessageId::MenuLunchMenu)));
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, k_tool_webrec, wide(message(MessageId::MenuWebRec)));
  AppendMenuW(menu, MF_STRING, k_tool_vsk2exe, wide(message(MessageId::MenuVsk2Exe)));
  AppendMenuW(menu, MF_STRING, k_tool_debugger, wide(message(MessageId::MenuDebugger)));
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, k_tool_help, wide(message(MessageId::MenuHelp)));
  AppendMenuW(menu, MF_STRING, k_tool_about, wide(message(MessageId::MenuAbout)));
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, k_tool_exit, wide(message(MessageId::MenuExit)));
  SetForegroundWindow(m_bar->window());
  UINT chosen = static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y,
                                                   m_bar->window(), nullptr));
  PostMessageW(m_bar->window(), WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (chosen) tool_command(chosen);
}

void Host::tool_command(UINT id) {
  std::u16string quoted = m_loaded ? u"\"" + m_script.path + u"\"" : u"";
  switch (id) {
    case k_tool_tray: notify(message(MessageId::HostNotYetAvailable, message(MessageId::MenuIntoTray))); break;
    case k_tool_options: notify(message(MessageId::HostNotYetAvailable, message(MessageId::MenuOptions))); break;
    case k_tool_set_lunch_menu:
      notify(message(MessageId::HostNotYetAvailable, message(MessageId::MenuSetLunchMenu)));
      break;
    case k_tool_webrec: start_tool(u"WebRec.exe", u""); break;
    case k_tool_vsk2exe: start_tool(u"Vsk2Exe.exe", m_loaded ? u" /O " + quoted : u""); break;
    case k_tool_debugger: start_tool(u"vdebug.exe", quoted); break;
    case k_tool_help:
      ShellExecuteW(m_bar->window(), L"open", wide(m_program_folder + u"\\vesk.chm"), nullptr, nullptr, SW_SHOWNORMAL);
      break;
    case k_tool_about: notify(message(MessageId::HostAbout), false); break;
    case k_tool_exit: close(); break;
    default: break;
  }
}

// --- messages ---

void Host::private_message(UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case k_msg_run_command_line: {
      bool loaded = m_embedded || load_spec(m_line.spec, SpecSeparator::CarriageReturn);
      if (!loaded) {
        m_load_failed = true;
        if (m_mode == LaunchMode::RunOnce) {
          m_exit_code = exit_code_of_run();
          close();
        }
        return;
      }
      play();
      if (m_mode == LaunchMode::RunOnce || m_embedded) {
        m_exit_code = exit_code_of_run();
        close();
      }
      return;
    }
    case k_msg_stop_key_back:
      // Another launcher's run ended: when it shares this one's stop key,
      // the key is taken back.
      if (m_stop_key_registered) register_hot_key(k_hot_key_stop, u"StopHotKey", u"2,2");
      return;
    case k_msg_hand_over: {
      SettingsFile& settings = process_settings();
      std::u16string file = settings.read(k_set, u"SetFile");
      settings.remove(k_set, u"SetFile");
      if (file.empty() || m_stop->state() != RunState::Idle) return;
      if (load_spec(file, SpecSeparator::Blank) && wparam == 1) m_pending_play = true;
      return;
    }
    default:
      return;
  }
}

void Host::outcom_timer() {
  if (m_pending_play && m_stop->state() == RunState::Idle) {
    m_pending_play = false;
    play();
  }
}

void Host::close() {
  if (m_closing) return;
  RunState state = m_stop->state();
  if (state == RunState::Running || state == RunState::Paused) {
    // The run ends first; the close follows when it has.
    m_close_after_run = true;
    m_interpreter->request_stop();
    return;
  }
  m_closing = true;
  if (m_mutex) {
    ReleaseMutex(m_mutex);
    CloseHandle(m_mutex);
    m_mutex = nullptr;
  }
  bool stop_key = m_stop_key_registered;
  for (int id : {9878, 9875, 9874, 9876, 9877}) UnregisterHotKey(m_bar->window(), id);
  if (stop_key) tell_others_stop_key();
  SettingsFile& settings = process_settings();
  if (m_mode == LaunchMode::Bar || m_mode == LaunchMode::HandOverRun) {
    RECT r;
    GetWindowRect(m_embedded ? m_stop->window() : m_bar->window(), &r);
    if (r.top > -10000) settings.write(k_set, u"Position", number_text(r.left) + u"," + number_text(r.top));
    if (!m_embedded) settings.write(k_set, u"TaskTrayStart", u"0");
  }
  m_log->write_file();
  PostQuitMessage(m_exit_code);
}

// --- hot keys ---

bool Host::register_hot_key(int32_t id, std::u16string_view key, std::u16string_view fallback) {
  UnregisterHotKey(m_bar->window(), id);
  std::optional<HotKey> hot = read_hot_key(process_settings().read(k_set, key), fallback);
  if (!hot) return false;
  return RegisterHotKey(m_bar->window(), id, hot->modifiers | MOD_NOREPEAT, hot->virtual_key) != 0;
}

// Every 50 ms, up to 61 times: until neither the key nor a modifier of the
// hot key is held.
void Host::wait_for_release(std::u16string_view key, std::u16string_view fallback) {
  std::optional<HotKey> hot = read_hot_key(process_settings().read(k_set, key), fallback);
  if (!hot) return;
  for (int i = 0; i < 61; ++i) {
    bool held = GetAsyncKeyState(static_cast<int>(hot->virtual_key)) & 0x8000;
    if ((hot->modifiers & MOD_ALT) && (GetAsyncKeyState(VK_MENU) & 0x8000)) held = true;
    if ((hot->modifiers & MOD_CONTROL) && (GetAsyncKeyState(VK_CONTROL) & 0x8000)) held = true;
    if ((hot->modifiers & MOD_SHIFT) && (GetAsyncKeyState(VK_SHIFT) & 0x8000)) held = true;
    if ((hot->modifiers & MOD_WIN) && ((GetAsyncKeyState(VK_LWIN) | GetAsyncKeyState(VK_RWIN)) & 0x8000)) held = true;
    if (!held) return;
    Sleep(50);
    platform::pump_messages();
  }
}

void Host::hot_key(int32_t id) {
  RunState state = m_stop->state();
  switch (id) {
    case k_hot_key_stop:
      if (state == RunState::Running || state == RunState::Paused) {
        gui::activate_window(m_stop->window(), true);
        m_interpreter->request_stop();
      }
      return;
    case k_hot_key_play:
      if (state == RunState::Running) {
        if (m_mode == LaunchMode::RunOnce)
          m_stop->set_state(RunState::Paused);
        else
          m_stop->enter(RunState::Paused, m_caption);
        gui::set_input_lock(*m_interpreter, false);
      } else if (state == RunState::Paused) {
        if (m_mode == LaunchMode::RunOnce)
          m_stop->set_state(RunState::Running);
        else
          m_stop->enter(RunState::Running, m_caption);
        gui::set_input_lock(*m_interpreter, true);
      } else if (state == RunState::Idle) {
        wait_for_release(u"PlayHotKey", u"1,2");
        if (m_bar->enabled(BarButton::Play)) play();
      }
      return;
    default:
      return;
  }
}

static BOOL CALLBACK tell_launcher(HWND window, LPARAM self) {
  wchar_t klass[32] = {};
  GetClassNameW(window, klass, 32);
  if (window != reinterpret_cast<HWND>(self) && wcscmp(klass, k_launcher_class) == 0) {
    PostMessageW(window, k_msg_stop_key_back, 0, 0);
    for (int i = 0; i < 20; ++i) platform::pump_messages();
    Sleep(40);
  }
  return TRUE;
}

void Host::tell_others_stop_key() { EnumWindows(tell_launcher, reinterpret_cast<LPARAM>(m_bar->window())); }

int run_host(const CommandLine& line) {
  Host host(line);
  return host.run();
}

}  // namespace vesk::host
#endif
