// The host's default settings.
#include "app/host/host_settings.h"

#include <vector>

#include "platform/platform.h"
#include "support/text.h"

namespace vesk::host {
namespace {

constexpr char16_t k_set[] = u"SET";

void write_missing(SettingsFile& settings, std::u16string_view section, std::u16string_view key,
                   std::u16string_view value) {
  if (settings.read(section, key).empty()) settings.write(section, key, value);
}

std::vector<std::u16string> split_semicolons(std::u16string_view text) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (true) {
    size_t end = text.find(u';', start);
    parts.emplace_back(trim_blanks(text.substr(start, end == std::u16string_view::npos ? end : end - start)));
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

bool read_int(std::u16string_view text, int32_t& out) {
  text = trim_blanks(text);
  bool negative = !text.empty() && text[0] == u'-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 9) return false;
  int32_t n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + (c - u'0');
  }
  out = negative ? -n : n;
  return true;
}

}  // namespace

void write_default_settings(SettingsFile& settings, const SettingsDefaults& defaults) {
  bool existed = platform::file_exists(settings.path());
  write_missing(settings, k_set, u"Position", defaults.position);
  write_missing(settings, k_set, u"PlayHotKey", u"1,2");
  write_missing(settings, k_set, u"StopHotKey", u"2,2");
  write_missing(settings, k_set, u"RecHotKey", u"3,2");
  write_missing(settings, k_set, u"TrayHotKey", u"14,5");
  write_missing(settings, k_set, u"LunchMenuHotKey", u"14,0");
  write_missing(settings, k_set, u"StopForm", u"0");
  write_missing(settings, k_set, u"MouseOrg", u"0");
  write_missing(settings, k_set, u"NotClassRec", u"0");
  write_missing(settings, k_set, u"NotMultiplex", u"0");
  write_missing(settings, k_set, u"NotActive", u"0");
  std::u16string lines = settings.read(k_set, u"LogLines");
  if (lines.empty() || lines == u"200") settings.write(k_set, u"LogLines", u"2000");
  write_missing(settings, k_set, u"DefaultFont", u",");
  write_missing(settings, u"LUNCHMENU", u"Position", u"0,0");
  write_missing(settings, u"SCHEDULE", u"MaxNumber", u"40");
  if (!existed && !defaults.japanese_sample.empty()) {
    settings.write(u"LUNCHMENU", u"T1", u"サンプル");
    settings.write(u"LUNCHMENU", u"S1", defaults.japanese_sample);
  }
}

void write_inherited_settings(SettingsFile& settings, std::u16string_view inherited) {
  static constexpr const char16_t* k_keys[] = {u"Position", u"StopHotKey", u"LogLines", u"DefaultFont"};
  static constexpr const char16_t* k_fallbacks[] = {u"0,0", u"2,2", u"2000", u","};
  std::vector<std::u16string> parts = split_semicolons(inherited);
  for (size_t i = 0; i < 4; ++i) {
    std::u16string value = i < parts.size() ? parts[i] : std::u16string();
    write_missing(settings, k_set, k_keys[i], value.empty() ? k_fallbacks[i] : value);
  }
}

bool read_position(std::u16string_view text, int32_t& x, int32_t& y) {
  size_t comma = text.find(u',');
  if (comma == std::u16string_view::npos) return false;
  return read_int(text.substr(0, comma), x) && read_int(text.substr(comma + 1), y);
}

}  // namespace vesk::host
