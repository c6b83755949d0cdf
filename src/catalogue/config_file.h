// Configuration files: the controller type, the port and the parameter list with its ticks.
// No magic, version or checksum; names and descriptions XORed with the low byte of the type.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/param_record.h"

namespace kd::catalogue {

inline constexpr std::size_t kConfigHeaderSize = 8;

struct Configuration {
  std::uint32_t ecuType = 1;
  std::uint16_t portNumber = 2;
  std::uint16_t storedCount = 0;  // the count the header claims
  // The complete records the file holds, at most as many as the header claims.
  std::vector<ParamRecord> records;
};

// The file's bytes exactly: header, then every record with its texts XORed and OnChart 0.
std::vector<std::uint8_t> EncodeConfiguration(std::uint32_t ecuType, std::uint16_t portNumber,
                                              std::span<const ParamRecord> records);

// Whatever the bytes, never reads outside them. Nothing when even the header is incomplete.
// Text fields come back terminated, so a damaged file cannot run a name into its neighbour.
std::optional<Configuration> DecodeConfiguration(std::span<const std::uint8_t> bytes);

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path);
// The encoded list, written through the atomic writer: a failed save leaves the file that was
// there before. False when the file could not be created.
bool WriteConfigurationFile(const std::string& path, std::uint32_t ecuType,
                            std::uint16_t portNumber, std::span<const ParamRecord> records);

}  // namespace kd::catalogue
