// The settings file: the host's one INI file of options, hot keys, window
// places and hand-overs, read and written by its own small INI engine so the
// file may be Unicode, may move to the user's application-data folder when
// the program folder refuses writes, and survives short sharing conflicts.
// READINI, WRITEINI and DELETEINI use the same engine with an explicit file.
//
// The format: a header is a line whose trimmed text starts with "[" and ends
// with "]"; an entry is the key, "=" and the value. Section and key names
// are compared trimmed and upper-cased; values are trimmed. Text before the
// first header belongs to no section. A file keeps the encoding it was found
// in; a new one is ANSI, and an ANSI file becomes UTF-8 (without a mark) when
// a written name or value has no form in the ANSI code page.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace vesk {

// Where the settings file may live.
struct SettingsPlaces {
  std::u16string program_folder;   // folder of the program file
  std::u16string file_name;        // the program file's name with ".INI", e.g. u"VESK.INI"
  std::u16string app_data_folder;  // the user's application-data folder + "\VESK"
};

// The places of this process, from the platform layer.
SettingsPlaces default_settings_places();

class SettingsFile {
 public:
  explicit SettingsFile(SettingsPlaces places);

  // Takes the application-data folder as the location when a settings file
  // there has a non-empty `Position` in section `SET`.
  void start_up();
  // While [on], calls without an explicit file write nothing.
  void set_read_only(bool on);
  bool in_app_data() const;
  // The file that a call without an explicit file uses now: the one of the
  // current location, or the other one when only that one exists.
  std::u16string path() const;

  // The value of [key] in [section], trimmed; empty when it is missing or
  // the file cannot be read. An empty [file] means the settings file.
  std::u16string read(std::u16string_view section, std::u16string_view key, std::u16string_view file = {});
  // Sets [key] in [section] to [value]; false when nothing could be saved.
  bool write(std::u16string_view section, std::u16string_view key, std::u16string_view value,
             std::u16string_view file = {});
  // Deletes the first entry of [key] in [section]; an empty [key] deletes
  // the whole section. True when the entry is gone afterwards.
  bool remove(std::u16string_view section, std::u16string_view key, std::u16string_view file = {});
  // Checks at start-up that the settings can be written (moving them to the
  // application-data folder when they cannot).
  void probe();

  // The pause between two tries of a read or a save.
  void set_retry_pause_ms(unsigned ms);

  // The full path of an explicit [file]: a name without a folder is taken
  // in the current directory, as are names starting ".\" or "./"; "..\" and
  // "../" mean its parent.
  std::u16string resolve_explicit(std::u16string_view file) const;

 private:
  struct Text;
  enum class Outcome { Done, LoadFailed, SaveFailed };
  template <class Edit>
  bool change(std::u16string_view file, const Edit& edit);
  template <class Edit>
  Outcome edit_file(const std::u16string& path, const Edit& edit);
  bool write_entry(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                   std::u16string_view file);
  bool remove_entry(std::u16string_view section, std::u16string_view key, std::u16string_view file);
  bool load(const std::u16string& path, Text& text) const;
  bool save(const std::u16string& path, const Text& text) const;
  bool move_to_app_data();
  bool retry(const auto& attempt) const;
  void pause() const;

  std::u16string location_file(bool app_data) const;
  std::u16string chosen_file() const;
  std::u16string choose_file();

  SettingsPlaces m_places;
  bool m_in_app_data = false;
  // Set once the settings moved after a refused save: they stay there.
  bool m_moved = false;
  bool m_read_only = false;
  unsigned m_pause_ms = 80;
  // Recursive: the retry pause keeps window messages flowing, and a message
  // handler on the same thread may ask for a setting meanwhile.
  mutable std::recursive_mutex m_lock;
};

}  // namespace vesk

namespace vesk {

// The settings file of this process, at its default places: one engine,
// shared by the host and the INI built-ins.
SettingsFile& process_settings();

}  // namespace vesk
