// The launch-mode switches of the command line.
#include "app/host/command_line.h"

#include "app/host/script_spec.h"
#include "support/text.h"

namespace vesk::host {
namespace {

struct Switch {
  const char16_t* text;
  LaunchMode mode;
};

constexpr Switch k_switches[] = {
    {u"/k", LaunchMode::HandOverRun}, {u"/K", LaunchMode::HandOverRun}, {u"/l", LaunchMode::HandOverLoad},
    {u"/L", LaunchMode::HandOverLoad}, {u"/rec", LaunchMode::Record},   {u"/NI", LaunchMode::RunOnce},
    {u"/ni", LaunchMode::RunOnce},      {u"/a", LaunchMode::Encipher},   {u"/A", LaunchMode::Encipher},
    {u"/_exe_bild", LaunchMode::BuildStep}, {u"/kumikomi", LaunchMode::RunOnce},
};

const Switch* find_switch(const std::u16string& arg) {
  for (const Switch& s : k_switches)
    if (arg == s.text) return &s;
  return nullptr;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::u16string>& all) {
  CommandLine line;
  std::vector<std::u16string> args;
  for (const std::u16string& arg : all) {
    if (arg == k_reboot_marker) break;
    args.push_back(arg);
  }
  size_t first = 0;
  if (first < args.size() && ascii_iequals(args[first], u"/unattended")) {
    line.unattended = true;
    ++first;
  }
  if (first >= args.size()) return line;
  const std::u16string& head = args[first];
  if (head == u"--help" || head == u"-h" || head == u"/?") {
    line.help = true;
    return line;
  }
  line.mode = LaunchMode::RunOnce;
  size_t rest = first;
  if (const Switch* s = find_switch(head)) {
    line.mode = s->mode;
    line.no_task_bar = head == u"/NI" || head == u"/ni";
    line.embedded_only = head == u"/kumikomi";
    ++rest;
  }
  bool two_paths = line.mode == LaunchMode::Encipher || line.mode == LaunchMode::BuildStep;
  for (size_t i = rest; i < args.size(); ++i) {
    if (two_paths && i == rest + 1) {
      line.second_argument = args[i];
      continue;
    }
    if (!line.spec.empty()) line.spec += u'\r';
    line.spec += args[i];
  }
  std::u16string name = file_name_of(spec_path_text(line.spec));
  line.web_recorder_script = ascii_iequals(name, u"WEBREC_$TEMP$.VSK");
  return line;
}

}  // namespace vesk::host
