// vesk.exe: the Windows host. Reads the command line and hands it to the
// host, which lives until its launcher closes.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "app/host/command_line.h"
#include "app/host/host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::u16string> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  if (argv) LocalFree(argv);
  return vesk::host::run_host(vesk::host::parse_command_line(args));
}
