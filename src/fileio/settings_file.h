// The program's own settings: what the technician chose that is not part of a controller's
// configuration (the adapter and its port, the window's size, options of the program). They live
// in a file of their own beside "default.cfg", never in the configuration files, whose format
// other copies of the program and the technicians' archives rely on.
//
// The file is UTF-8 text, one "key=value" a line, sorted by key. Keys are dotted names of
// letters, digits and "._-"; a value is any text, with backslash, CR and LF escaped. Lines that
// are not of this form are dropped when the file is read, so a damaged or hand-edited file never
// stops the program: what can be understood is kept, the rest falls back to the defaults.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kd::fileio {

class SettingsFile {
 public:
  // The name of the file in the program's start folder.
  static constexpr const char* kFileName = "klinediag.ini";
  // A file larger than this is not a settings file this program wrote; it is read no further.
  static constexpr std::size_t kMaxFileSize = 1 << 20;

  // No file: values are held in memory only (tests, and the time before the start folder is known).
  SettingsFile() = default;
  // Reads `path` now; a missing or unreadable file gives empty settings.
  explicit SettingsFile(std::string path);

  const std::string& Path() const { return path_; }

  std::optional<std::string> Get(std::string_view key) const;
  std::string GetString(std::string_view key, std::string_view fallback = {}) const;
  // A value that is not a whole number within [min, max] gives `fallback`.
  int GetInt(std::string_view key, int fallback, int min, int max) const;
  // "1"/"true" and "0"/"false"; anything else gives `fallback`.
  bool GetBool(std::string_view key, bool fallback) const;
  // Keys that start with `prefix`, sorted.
  std::vector<std::string> KeysWithPrefix(std::string_view prefix) const;

  // Each change is saved at once through the atomic writer: a setting never waits for an orderly
  // exit to be kept. False when the key is not a valid name or the file could not be written
  // (the value is then kept in memory all the same).
  bool Set(std::string_view key, std::string_view value);
  bool SetInt(std::string_view key, int value);
  bool SetBool(std::string_view key, bool value);
  bool Remove(std::string_view key);

  static bool IsValidKey(std::string_view key);
  // The file's text for these values, and the values a text holds: the two halves of the format.
  static std::string Serialize(const std::map<std::string, std::string, std::less<>>& values);
  static std::map<std::string, std::string, std::less<>> Parse(std::string_view text);

 private:
  bool Save() const;

  std::string path_;
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace kd::fileio
