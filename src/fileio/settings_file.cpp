#include "fileio/settings_file.h"

#include <charconv>
#include <fstream>
#include <iterator>

#include "fileio/atomic_file.h"

namespace kd::fileio {

namespace {

constexpr std::size_t kMaxKeyLength = 200;

std::string EscapeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Nothing for a value with a dangling or unknown escape: a damaged line is dropped whole.
std::optional<std::string> UnescapeValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

}  // namespace

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {
  std::ifstream file(path_, std::ios::binary);
  if (!file) return;
  std::string text;
  text.resize(kMaxFileSize);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  values_ = Parse(text);
}

bool SettingsFile::IsValidKey(std::string_view key) {
  if (key.empty() || key.size() > kMaxKeyLength) return false;
  for (char c : key) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string SettingsFile::Serialize(const std::map<std::string, std::string, std::less<>>& values) {
  std::string out;
  for (const auto& [key, value] : values) {
    out += key;
    out += '=';
    out += EscapeValue(value);
    out += '\n';
  }
  return out;
}

std::map<std::string, std::string, std::less<>> SettingsFile::Parse(std::string_view text) {
  std::map<std::string, std::string, std::less<>> values;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // A file edited on Windows ends its lines with CR LF; a CR inside a value is escaped.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, eq);
    if (!IsValidKey(key)) continue;
    if (auto value = UnescapeValue(line.substr(eq + 1)))
      values.insert_or_assign(std::string(key), *value);
  }
  return values;
}

std::optional<std::string> SettingsFile::Get(std::string_view key) const {
  const auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string SettingsFile::GetString(std::string_view key, std::string_view fallback) const {
  auto value = Get(key);
  return value ? *value : std::string(fallback);
}

int SettingsFile::GetInt(std::string_view key, int fallback, int min, int max) const {
  const auto value = Get(key);
  if (!value) return fallback;
  int parsed = 0;
  const char* first = value->data();
  const char* last = first + value->size();
  const auto [ptr, ec] = std::from_chars(first, last, parsed);
  if (ec != std::errc() || ptr != last || value->empty() || parsed < min || parsed > max)
    return fallback;
  return parsed;
}

bool SettingsFile::GetBool(std::string_view key, bool fallback) const {
  const auto value = Get(key);
  if (!value) return fallback;
  if (*value == "1" || *value == "true") return true;
  if (*value == "0" || *value == "false") return false;
  return fallback;
}

std::vector<std::string> SettingsFile::KeysWithPrefix(std::string_view prefix) const {
  std::vector<std::string> keys;
  for (auto it = values_.lower_bound(prefix); it != values_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    keys.push_back(it->first);
  }
  return keys;
}

bool SettingsFile::Set(std::string_view key, std::string_view value) {
  if (!IsValidKey(key)) return false;
  const auto it = values_.find(key);
  if (it != values_.end() && it->second == value) return true;
  values_.insert_or_assign(std::string(key), std::string(value));
  return Save();
}

bool SettingsFile::SetInt(std::string_view key, int value) {
  return Set(key, std::to_string(value));
}

bool SettingsFile::SetBool(std::string_view key, bool value) {
  return Set(key, value ? "1" : "0");
}

bool SettingsFile::Remove(std::string_view key) {
  const auto it = values_.find(key);
  if (it == values_.end()) return true;
  values_.erase(it);
  return Save();
}

bool SettingsFile::Save() const {
  if (path_.empty()) return true;
  const std::string text = Serialize(values_);
  return WriteAtomically(
      path_, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace kd::fileio
