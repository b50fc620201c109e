// The platform layer on a POSIX system: Windows paths mapped onto the native
// file system, and the ANSI code page taken from the locale.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include "platform/platform.h"
#include "platform/portable/codepage.h"
#include "support/block_pool.h"
#include "support/text.h"
#include "support/utf.h"

namespace vesk::platform {
namespace {

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

// Splits a Windows path into its components, dropping a drive prefix.
std::vector<std::u16string> components(std::u16string_view path, bool& absolute) {
  if (path.size() >= 2 && path[1] == u':') path.remove_prefix(2);
  absolute = !path.empty() && is_separator(path[0]);
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : path) {
    if (is_separator(c)) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool native_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Finds [name] in the folder [dir] case-insensitively; the exact spelling
// wins when it exists.
std::string find_entry(const std::string& dir, const std::u16string& name) {
  std::string exact = utf16_to_utf8(name);
  std::string joined = dir == "/" ? "/" + exact : dir + "/" + exact;
  if (name == u"." || name == u".." || native_exists(joined)) return joined;
  if (DIR* d = ::opendir(dir.c_str())) {
    std::string found;
    while (dirent* e = ::readdir(d)) {
      if (ascii_iequals(utf8_to_utf16(e->d_name), name)) {
        found = dir == "/" ? std::string("/") + e->d_name : dir + "/" + e->d_name;
        break;
      }
    }
    ::closedir(d);
    if (!found.empty()) return found;
  }
  return joined;
}

// Maps a Windows path onto the native file system. A path holding a NUL
// maps to the empty path, which names no file: the system would read the
// name only up to the NUL.
std::string native_path(std::u16string_view path) {
  if (path.find(u'\0') != std::u16string_view::npos) return {};
  bool absolute = false;
  std::vector<std::u16string> parts = components(path, absolute);
  std::string result;
  if (absolute) {
    result = "/";
  } else {
    char buf[4096];
    result = ::getcwd(buf, sizeof buf) ? buf : ".";
  }
  for (const std::u16string& part : parts) result = find_entry(result, part);
  return result;
}

std::u16string windows_form(const std::string& native) { return replace_all(utf8_to_utf16(native), u'/', u'\\'); }

// A native folder as a Windows path without trailing separators ("\" for
// the root).
std::u16string windows_folder(const std::string& native) {
  std::u16string dir = windows_form(native);
  while (dir.size() > 1 && dir.back() == u'\\') dir.pop_back();
  return dir;
}

// Matches [name] against a file-system [pattern]: "*" any run, "?" one
// character, letters without case; "*.*" matches every name, as on Windows.
bool wildcard_match(std::u16string_view name, std::u16string_view pattern) {
  if (pattern == u"*.*") pattern = u"*";
  size_t n = 0, p = 0, star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || ascii_upper(pattern[p]) == ascii_upper(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// A POSIX time as 100 ns ticks since 1601.
uint64_t file_ticks(const timespec& t) {
  constexpr uint64_t k_1601_to_1970 = 11644473600ull;
  if (t.tv_sec < 0) return 0;
  return (static_cast<uint64_t>(t.tv_sec) + k_1601_to_1970) * 10000000ull + static_cast<uint64_t>(t.tv_nsec) / 100;
}

constexpr mode_t k_write_bits = S_IWUSR | S_IWGRP | S_IWOTH;

bool locale_is_japanese() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return value[0] == 'j' && value[1] == 'a';
  }
  return false;
}

}  // namespace

std::optional<std::string> read_file_bytes(std::u16string_view path) {
  std::ifstream in(native_path(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(buffer).str();
}

bool replace_file_bytes(std::u16string_view path, std::string_view bytes) {
  std::string target = native_path(path);
  std::string temporary = target + ".vesk-new";
  struct stat old;
  bool existed = ::stat(target.c_str(), &old) == 0;
  // A read-only file stays as it is, as on Windows (rename would replace it).
  if (existed && (!S_ISREG(old.st_mode) || (old.st_mode & k_write_bits) == 0)) return false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (existed) ::chmod(temporary.c_str(), old.st_mode & 07777);
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool create_directory(std::u16string_view path) {
  std::u16string absolute = absolute_path(path);
  bool ignored;
  std::u16string built;
  for (const std::u16string& part : components(absolute, ignored)) {
    built += u"\\" + part;
    std::string native = native_path(built);
    if (!native_exists(native) && ::mkdir(native.c_str(), 0777) != 0) return false;
  }
  return directory_exists(absolute);
}

bool delete_file(std::u16string_view path) { return ::unlink(native_path(path).c_str()) == 0; }

bool set_read_only(std::u16string_view path, bool read_only) {
  std::string native = native_path(path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return false;
  mode_t mode = read_only ? (st.st_mode & ~k_write_bits) : (st.st_mode | S_IWUSR);
  return ::chmod(native.c_str(), mode & 07777) == 0;
}

std::vector<DirectoryEntry> list_directory(std::u16string_view folder, std::u16string_view pattern) {
  std::vector<DirectoryEntry> entries;
  std::string dir = native_path(folder);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return entries;
  while (dirent* e = ::readdir(d)) {
    std::u16string name = utf8_to_utf16(e->d_name);
    if (name == u"." || name == u".." || !wildcard_match(name, pattern)) continue;
    struct stat st;
    if (::stat((dir + "/" + e->d_name).c_str(), &st) != 0) continue;
    DirectoryEntry entry;
    entry.name = name;
    entry.folder = S_ISDIR(st.st_mode);
    entry.hidden = name[0] == u'.';
    entry.created = file_ticks(st.st_ctim);
    entry.accessed = file_ticks(st.st_atim);
    entry.written = file_ticks(st.st_mtim);
    entry.size = entry.folder ? 0 : static_cast<uint64_t>(st.st_size);
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  return entries;
}

namespace {
// flock() is advisory: other programs of this kind respect it, which is as
// near as a POSIX system comes to a file opened without sharing.
class PosixHeldFile : public HeldFile {
 public:
  explicit PosixHeldFile(int fd) : m_fd(fd) {}
  ~PosixHeldFile() override {
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
  }

 private:
  int m_fd;
};
}  // namespace

std::unique_ptr<HeldFile> hold_file(std::u16string_view path) {
  int fd = ::open(native_path(path).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixHeldFile>(fd);
}

bool file_exists(std::u16string_view path) {
  struct stat st;
  return ::stat(native_path(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directory_exists(std::u16string_view path) {
  struct stat st;
  return ::stat(native_path(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int32_t file_time_dos(std::u16string_view path) {
  struct stat st;
  if (::stat(native_path(path).c_str(), &st) != 0 || ::access(native_path(path).c_str(), R_OK) != 0)
    return -1;
  std::tm t{};
  ::localtime_r(&st.st_mtime, &t);
  if (t.tm_year < 80) return 0;
  uint32_t date = ((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday;
  uint32_t time = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2);
  return static_cast<int32_t>((date << 16) | time);
}

std::u16string current_directory() {
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return u"\\";
  std::u16string dir = windows_form(buf);
  if (dir.size() > 1 && dir.back() == u'\\') dir.pop_back();
  return dir;
}

bool set_current_directory(std::u16string_view path) { return ::chdir(native_path(path).c_str()) == 0; }

std::u16string absolute_path(std::u16string_view path) {
  bool absolute = false;
  std::vector<std::u16string> parts = components(path, absolute);
  std::vector<std::u16string> out;
  if (!absolute) {
    bool ignored;
    out = components(current_directory(), ignored);
  }
  for (const std::u16string& part : parts) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(part);
  }
  std::u16string result;
  for (const std::u16string& part : out) result += u"\\" + part;
  return result.empty() ? u"\\" : result;
}

unsigned ansi_code_page() { return locale_is_japanese() ? 932 : 1252; }

std::u16string ansi_to_utf16(std::string_view bytes) { return decode_code_page(ansi_code_page(), bytes); }

std::string utf16_to_ansi(std::u16string_view text) { return encode_code_page(ansi_code_page(), text); }

void pump_messages() {}

namespace {

#if defined(__linux__) && defined(MADV_HUGEPAGE)
// Asks for 2 MB pages inside [block], where the system lets a program ask
// (transparent huge pages in "madvise" mode): a text of many megabytes is
// then faulted in 2 MB at a time instead of 4 KB, and its first writes
// cost a few hundred page faults instead of thousands.
void advise_huge_pages(void* block, size_t bytes) {
  constexpr uintptr_t huge = uintptr_t{2} << 20;
  uintptr_t start = (reinterpret_cast<uintptr_t>(block) + huge - 1) & ~(huge - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(huge - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}
#endif

}  // namespace

void tune_heap() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  set_large_block_advice(advise_huge_pages);
#endif
#if defined(__GLIBC__) && defined(M_MMAP_THRESHOLD)
  // Blocks up to 256 MB come from the heap, and up to 256 MB freed at its
  // top stay there: a script that builds and drops texts of many
  // megabytes then reuses their memory instead of faulting new pages in.
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(k_remapped_block));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(k_remapped_block));
#endif
}

void sleep_ms(unsigned milliseconds) {
  if (milliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint64_t milliseconds_now() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

bool system_language_is_japanese() { return locale_is_japanese(); }

// A POSIX system has no screen of the host's kind.
Point cursor_position() { return {0, 0}; }
bool mouse_button_down(int) { return false; }
int32_t screen_width() { return 0; }
int32_t screen_height() { return 0; }
int32_t monitor_count() { return 1; }
int32_t screen_colour_depth() { return 0; }

// There is no Windows folder to name; a made-up "C:\WINDOWS" would only
// send scripts to a folder that is not there.
std::u16string windows_directory() { return {}; }
std::u16string system_directory() { return {}; }

std::u16string program_directory() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string path(buf.data(), static_cast<size_t>(n));
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return windows_folder(path.substr(0, slash + 1));
}

// Only an absolute $XDG_CONFIG_HOME counts, as the base-directory rules say.
std::u16string app_data_directory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return windows_folder(config);
  const char* home = std::getenv("HOME");
  if (!home || *home != '/') return {};
  return windows_folder(std::string(home) + "/.config");
}

}  // namespace vesk::platform
