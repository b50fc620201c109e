// The keys of the settings file that the host writes with their defaults
// when they are missing, and the few it reads back at start-up.
#pragma once

#include <cstdint>
#include <string>

#include "app/settings/settings_file.h"

namespace vesk::host {

// The defaults of a plain launcher. [position] is the bar's default place
// ("x,y"); [japanese_sample] the command of the launch menu's sample entry,
// written as its first entry when the settings file did not exist before
// (empty: none).
struct SettingsDefaults {
  std::u16string position;
  std::u16string japanese_sample;
};

void write_default_settings(SettingsFile& settings, const SettingsDefaults& defaults);

// The defaults of a program with an embedded script: its "ADDINHER" text
// split at ";" into Position, StopHotKey, LogLines and DefaultFont; each is
// written only when the settings file has no value for it yet.
void write_inherited_settings(SettingsFile& settings, std::u16string_view inherited);

// "x,y" (blanks allowed around the numbers); false when it does not read so.
bool read_position(std::u16string_view text, int32_t& x, int32_t& y);

}  // namespace vesk::host
