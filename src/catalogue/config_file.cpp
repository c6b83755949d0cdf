#include "catalogue/config_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "fileio/atomic_file.h"

namespace kd::catalogue {

namespace {

constexpr std::size_t kNameEnd = 25;
constexpr std::size_t kDescriptionBegin = 94;
constexpr std::size_t kDescriptionEnd = 349;
constexpr std::size_t kOnChartAt = 93;

void XorTexts(std::uint8_t* record, std::uint8_t key) {
  for (std::size_t i = 0; i < kNameEnd; ++i) record[i] ^= key;
  for (std::size_t i = kDescriptionBegin; i < kDescriptionEnd; ++i) record[i] ^= key;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t GetLe(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

}  // namespace

std::vector<std::uint8_t> EncodeConfiguration(std::uint32_t ecuType, std::uint16_t portNumber,
                                              std::span<const ParamRecord> records) {
  std::vector<std::uint8_t> out;
  out.reserve(kConfigHeaderSize + records.size() * sizeof(ParamRecord));
  PutLe(out, ecuType, 4);
  PutLe(out, portNumber, 2);
  PutLe(out, static_cast<std::uint32_t>(records.size()), 2);
  const auto key = static_cast<std::uint8_t>(ecuType);
  for (const ParamRecord& r : records) {
    std::uint8_t bytes[sizeof(ParamRecord)];
    std::memcpy(bytes, &r, sizeof bytes);
    XorTexts(bytes, key);
    bytes[kOnChartAt] = 0;
    out.insert(out.end(), bytes, bytes + sizeof bytes);
  }
  return out;
}

std::optional<Configuration> DecodeConfiguration(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kConfigHeaderSize) return std::nullopt;
  Configuration c;
  c.ecuType = GetLe(bytes.data(), 4);
  c.portNumber = static_cast<std::uint16_t>(GetLe(bytes.data() + 4, 2));
  c.storedCount = static_cast<std::uint16_t>(GetLe(bytes.data() + 6, 2));
  const std::size_t complete = (bytes.size() - kConfigHeaderSize) / sizeof(ParamRecord);
  const std::size_t count = std::min<std::size_t>(c.storedCount, complete);
  const auto key = static_cast<std::uint8_t>(c.ecuType);
  c.records.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t raw[sizeof(ParamRecord)];
    std::memcpy(raw, bytes.data() + kConfigHeaderSize + i * sizeof(ParamRecord), sizeof raw);
    XorTexts(raw, key);
    std::memcpy(&c.records[i], raw, sizeof raw);
    ParamRecord& r = c.records[i];
    r.name[sizeof r.name - 1] = 0;
    r.unit[sizeof r.unit - 1] = 0;
    r.description[sizeof r.description - 1] = 0;
    r.onChart = 0;
  }
  return c;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  char buf[4096];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    bytes.insert(bytes.end(), buf, buf + in.gcount());
    // A configuration never comes near this; a huge file is not read whole into memory.
    if (bytes.size() > kConfigHeaderSize + 0xFFFF * sizeof(ParamRecord)) break;
  }
  return bytes;
}

bool WriteConfigurationFile(const std::string& path, std::uint32_t ecuType,
                            std::uint16_t portNumber, std::span<const ParamRecord> records) {
  return fileio::WriteAtomically(path, EncodeConfiguration(ecuType, portNumber, records));
}

}  // namespace kd::catalogue
