// Fuzzes the settings-file engine on a file of the input's bytes. Its first
// two lines name a section and a key (often present in the file, then);
// after a write of a simple name, reading it gives the value written.
#include <cstdlib>

#include "app/settings/settings_file.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "support/text.h"

using namespace vesk;

namespace {

bool simple_name(std::u16string_view name) {
  if (name.empty()) return false;
  for (char16_t c : name)
    if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_'))
      return false;
  return true;
}

std::u16string name_from(std::u16string line) {
  if (!line.empty() && line.front() == u'[') line.erase(0, 1);
  size_t end = line.find_first_of(u"]=");
  return end == std::u16string::npos ? line : line.substr(0, end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes = fuzz::bytes_of(data, size);
  static const std::u16string file = fuzz::private_file(u"FUZZ.INI");
  static SettingsFile settings({fuzz::private_folder(), u"VESK.INI", fuzz::private_file(u"appdata")});
  settings.set_retry_pause_ms(0);
  if (!platform::replace_file_bytes(file, bytes)) return 0;
  std::vector<std::u16string> lines = fuzz::lines_of(bytes);
  std::u16string section = name_from(lines.size() > 0 ? lines[0] : u"S");
  std::u16string key = name_from(lines.size() > 1 ? lines[1] : u"K");

  (void)settings.read(section, key, file);
  bool written = settings.write(section, key, u"fuzzed value", file);
  if (written && simple_name(section) && simple_name(key) && settings.read(section, key, file) != u"fuzzed value")
    std::abort();
  (void)settings.write(u"NEW SECTION", key, u"\u3042", file);
  (void)settings.remove(section, key, file);
  (void)settings.remove(section, u"", file);
  return 0;
}
