// The settings file's INI engine: lookup and editing of the line list, the
// encodings, the retries and the move to the application-data folder.
#include "app/settings/settings_file.h"

#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/text_file.h"
#include "support/text.h"
#include "support/unicode_case.h"

namespace vesk {

struct SettingsFile::Text {
  std::vector<std::u16string> lines;
  TextEncoding encoding = TextEncoding::Ansi;
};

namespace {

constexpr int k_tries = 10;
constexpr unsigned k_pump_rounds = 20;
constexpr size_t k_none = static_cast<size_t>(-1);
// How many blank lines before the next header a new entry is put above.
constexpr int k_blank_lines_kept_apart = 3;

std::u16string join_path(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
  return path + std::u16string(name);
}

// The form in which names are compared.
std::u16string name_key(std::u16string_view name) { return unicode_upper(trim_blanks(name)); }

bool is_blank_line(std::u16string_view line) { return trim_blanks(line).empty(); }

// A header: a line whose trimmed text starts with "[" and ends with "]".
std::optional<std::u16string_view> header_name(std::u16string_view line) {
  std::u16string_view t = trim_blanks(line);
  if (t.size() < 2 || t.front() != u'[' || t.back() != u']') return std::nullopt;
  return t.substr(1, t.size() - 2);
}

// The index of the first header named [section] (in compared form).
size_t find_section(const std::vector<std::u16string>& lines, const std::u16string& section) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (std::optional<std::u16string_view> name = header_name(lines[i]); name && name_key(*name) == section) return i;
  return k_none;
}

// The index of the header after the one at [head], or the line count.
size_t section_end(const std::vector<std::u16string>& lines, size_t head) {
  size_t i = head + 1;
  while (i < lines.size() && !header_name(lines[i])) ++i;
  return i;
}

// The first entry of [key] (in compared form) in the lines [begin, end).
size_t find_entry(const std::vector<std::u16string>& lines, size_t begin, size_t end, const std::u16string& key) {
  for (size_t i = begin; i < end; ++i) {
    size_t eq = lines[i].find(u'=');
    if (eq != std::u16string::npos && name_key(std::u16string_view(lines[i]).substr(0, eq)) == key) return i;
  }
  return k_none;
}

// The line of the entry [key] in [section], or k_none.
size_t find_entry_line(const std::vector<std::u16string>& lines, std::u16string_view section,
                       std::u16string_view key) {
  size_t head = find_section(lines, name_key(section));
  if (head == k_none) return k_none;
  return find_entry(lines, head + 1, section_end(lines, head), name_key(key));
}

std::u16string lookup(const std::vector<std::u16string>& lines, std::u16string_view section,
                      std::u16string_view key) {
  size_t at = find_entry_line(lines, section, key);
  if (at == k_none) return {};
  std::u16string_view line = lines[at];
  return std::u16string(trim_blanks(line.substr(line.find(u'=') + 1)));
}

// Replaces the first entry of the key, or adds one: under the section's last
// non-blank line, at the end of the file when the section runs to it, or in
// a new section at the end.
void store(std::vector<std::u16string>& lines, std::u16string_view section, std::u16string_view key,
           std::u16string_view value) {
  std::u16string entry = std::u16string(trim_blanks(key)) + u"=" + std::u16string(value);
  size_t head = find_section(lines, name_key(section));
  if (head == k_none) {
    lines.push_back(u"[" + std::u16string(trim_blanks(section)) + u"]");
    lines.push_back(std::move(entry));
    return;
  }
  size_t end = section_end(lines, head);
  if (size_t at = find_entry(lines, head + 1, end, name_key(key)); at != k_none) {
    lines[at] = std::move(entry);
    return;
  }
  if (end == lines.size()) {
    lines.push_back(std::move(entry));
    return;
  }
  size_t at = end;
  for (int skipped = 0; skipped < k_blank_lines_kept_apart && at > head + 1 && is_blank_line(lines[at - 1]);
       ++skipped)
    --at;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
}

// Deletes the first entry of [key], or with an empty key the header and all
// lines up to the next header. True when a line went.
bool erase(std::vector<std::u16string>& lines, std::u16string_view section, std::u16string_view key) {
  if (key.empty()) {
    size_t head = find_section(lines, name_key(section));
    if (head == k_none) return false;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(head),
                lines.begin() + static_cast<std::ptrdiff_t>(section_end(lines, head)));
    return true;
  }
  size_t at = find_entry_line(lines, section, key);
  if (at == k_none) return false;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

// The file's bytes: every line ends with CR LF. An ANSI file whose text
// the code page cannot hold is saved as UTF-8 rather than lose characters.
std::string encode(const std::vector<std::u16string>& lines, TextEncoding encoding) {
  std::u16string text;
  for (const std::u16string& line : lines) text += line + u"\r\n";
  return encode_text_bytes(text, encoding);
}

}  // namespace

SettingsPlaces default_settings_places() {
  SettingsPlaces places;
  places.program_folder = platform::program_directory();
  // The platform layer does not name the program file itself.
  places.file_name = u"VESK.INI";
  if (std::u16string app_data = platform::app_data_directory(); !app_data.empty())
    places.app_data_folder = join_path(app_data, u"VESK");
  return places;
}

SettingsFile::SettingsFile(SettingsPlaces places) : m_places(std::move(places)) {}

void SettingsFile::start_up() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    Text text;
    std::u16string file = location_file(true);
    m_in_app_data = !file.empty() && load(file, text) && !lookup(text.lines, u"SET", u"Position").empty();
  } catch (const std::exception&) {
    m_in_app_data = false;
  }
}

void SettingsFile::set_read_only(bool on) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_read_only = on;
}

bool SettingsFile::in_app_data() const {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return m_in_app_data;
}

std::u16string SettingsFile::path() const {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return chosen_file();
}

void SettingsFile::set_retry_pause_ms(unsigned ms) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_pause_ms = ms;
}

std::u16string SettingsFile::resolve_explicit(std::u16string_view file) const {
  if (file.empty()) return {};
  if (file.find_first_of(u"\\/:") == std::u16string_view::npos)
    return join_path(platform::current_directory(), file);
  // Relative folders, ".\" and "..\" among them, count from the current
  // directory; the path is made absolute with them resolved.
  return platform::absolute_path(file);
}

std::u16string SettingsFile::read(std::u16string_view section, std::u16string_view key, std::u16string_view file) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    std::u16string path = file.empty() ? choose_file() : resolve_explicit(file);
    Text text;
    if (path.empty() || !load(path, text)) return {};
    return lookup(text.lines, section, key);
  } catch (const std::exception&) {
    return {};
  }
}

bool SettingsFile::write(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                         std::u16string_view file) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    return write_entry(section, key, value, file);
  } catch (const std::exception&) {
    return false;
  }
}

bool SettingsFile::remove(std::u16string_view section, std::u16string_view key, std::u16string_view file) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    return remove_entry(section, key, file);
  } catch (const std::exception&) {
    return false;
  }
}

void SettingsFile::probe() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    if (write_entry(u"SET", u"test", u"0", {})) remove_entry(u"SET", u"test", {});
  } catch (const std::exception&) {
  }
}

namespace {
// A line break inside a name or value would split the entry and could make
// up entries or sections of its own: each one becomes a blank.
std::u16string one_line(std::u16string_view text) {
  std::u16string line(text);
  for (char16_t& c : line)
    if (c == u'\r' || c == u'\n') c = u' ';
  return line;
}
}  // namespace

bool SettingsFile::write_entry(std::u16string_view section_text, std::u16string_view key_text,
                               std::u16string_view value_text, std::u16string_view file) {
  std::u16string section = one_line(section_text), key = one_line(key_text), value = one_line(value_text);
  return change(file, [&](Text& text) {
    if (text.encoding == TextEncoding::Ansi && !(fits_ansi(section) && fits_ansi(key) && fits_ansi(value)))
      text.encoding = TextEncoding::Utf8;
    store(text.lines, section, key, value);
    return true;
  });
}

bool SettingsFile::remove_entry(std::u16string_view section, std::u16string_view key, std::u16string_view file) {
  return change(file, [&](Text& text) { return erase(text.lines, section, key); });
}

// Applies [edit] to an explicit file, or to the settings file; a save that
// the program folder refuses moves the settings to the application-data
// folder, once, and is done there.
template <class Edit>
bool SettingsFile::change(std::u16string_view file, const Edit& edit) {
  if (!file.empty()) return edit_file(resolve_explicit(file), edit) == Outcome::Done;
  if (m_read_only) return false;
  Outcome outcome = edit_file(choose_file(), edit);
  if (outcome != Outcome::SaveFailed || m_in_app_data || m_moved) return outcome == Outcome::Done;
  if (!move_to_app_data()) return false;
  return edit_file(location_file(true), edit) == Outcome::Done;
}

// Loads [path] (a missing file is empty), lets [edit] change the text, and
// saves it when [edit] says it changed.
template <class Edit>
SettingsFile::Outcome SettingsFile::edit_file(const std::u16string& path, const Edit& edit) {
  Text text;
  if (path.empty()) return Outcome::SaveFailed;
  if (!load(path, text)) return Outcome::LoadFailed;
  if (!edit(text)) return Outcome::Done;
  return save(path, text) ? Outcome::Done : Outcome::SaveFailed;
}

// Fills [text] from [path]; a missing file gives no lines in ANSI. False when
// the file exists but keeps refusing to be read.
bool SettingsFile::load(const std::u16string& path, Text& text) const {
  std::optional<std::string> bytes;
  bool missing = false;
  bool ok = retry([&] {
    if (!platform::file_exists(path)) return missing = true;
    bytes = platform::read_file_bytes(path);
    return bytes.has_value();
  });
  text = Text{};
  if (!ok || missing) return ok;
  DecodedText decoded = decode_text_bytes(*bytes);
  text.lines = split_lines(decoded.text);
  text.encoding = decoded.encoding;
  return true;
}

bool SettingsFile::save(const std::u16string& path, const Text& text) const {
  std::string bytes = encode(text.lines, text.encoding);
  return retry([&] { return platform::replace_file_bytes(path, bytes); });
}

// Creates the application-data folder, copies the program folder's
// settings file there byte for byte, and makes that the location. Nothing
// moves when the old settings cannot be carried over.
bool SettingsFile::move_to_app_data() {
  std::u16string target = location_file(true);
  if (target.empty() || !platform::create_directory(m_places.app_data_folder)) return false;
  std::u16string source = location_file(false);
  if (!source.empty() && platform::file_exists(source)) {
    std::optional<std::string> bytes;
    if (!retry([&] { return (bytes = platform::read_file_bytes(source)).has_value(); })) return false;
    if (!retry([&] { return platform::replace_file_bytes(target, *bytes); })) return false;
  }
  m_in_app_data = true;
  m_moved = true;
  return true;
}

// Runs [attempt] up to ten times until it succeeds, pausing in between.
bool SettingsFile::retry(const auto& attempt) const {
  for (int n = 1; n <= k_tries; ++n) {
    if (attempt()) return true;
    if (n < k_tries) pause();
  }
  return false;
}

// The pause between tries, spread over rounds of message processing so that
// the windows stay alive while another program holds the file.
void SettingsFile::pause() const {
  for (unsigned round = 0; round < k_pump_rounds; ++round) {
    platform::pump_messages();
    unsigned slice = m_pause_ms * (round + 1) / k_pump_rounds - m_pause_ms * round / k_pump_rounds;
    if (slice > 0) platform::sleep_ms(slice);
  }
}

std::u16string SettingsFile::location_file(bool app_data) const {
  const std::u16string& folder = app_data ? m_places.app_data_folder : m_places.program_folder;
  return folder.empty() ? std::u16string() : join_path(folder, m_places.file_name);
}

std::u16string SettingsFile::chosen_file() const {
  std::u16string current = location_file(m_in_app_data);
  if (m_moved || (!current.empty() && platform::file_exists(current))) return current;
  std::u16string other = location_file(!m_in_app_data);
  return !other.empty() && platform::file_exists(other) ? other : current;
}

// As chosen_file, and the location follows the file chosen.
std::u16string SettingsFile::choose_file() {
  std::u16string file = chosen_file();
  if (!m_moved && file != location_file(m_in_app_data)) m_in_app_data = !m_in_app_data;
  return file;
}

}  // namespace vesk

namespace vesk {

SettingsFile& process_settings() {
  static SettingsFile settings(default_settings_places());
  return settings;
}

}  // namespace vesk
