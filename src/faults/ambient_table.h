// Definitions of the related values a controller records with a stored fault code: what the
// related-information view prints in front of each value and how it scales the raw reading.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "faults/dtc_catalogue.h"

namespace kd::faults {

struct AmbientRecord {
  // Windows-1251, printed in front of the value with its own blanks and " = ".
  std::string name;
  // Bytes of the raw value. The decoders take the width from the controller type; the field is
  // kept because the tables carry it.
  std::uint8_t width = 0;
  // 0 "###0.", 1 "###0.#", 2 or more "###0.##".
  std::uint8_t decimals = 0;
  // shown value = raw * factor + offset
  float factor = 0;
  float offset = 0;
  // Windows-1251; no view shows it.
  std::string description;

  std::string Utf8Name() const;
  std::string Utf8Description() const;
};

// M7.9.7 (type 6) 13 records, M10 (type 8) 10, EMUR (type 11) 6; empty for every other type.
std::span<const AmbientRecord> AmbientTable(std::uint32_t ecuType);

// The record at an index of the type's table; nullptr when the index lies outside it, so a bad
// catalogue row cannot take a decoder past the table.
const AmbientRecord* AmbientAt(std::uint32_t ecuType, std::uint32_t index);

// The two values the related-information view shows for an M7.9.7 or M10 catalogue row.
struct AmbientPair {
  const AmbientRecord* first = nullptr;
  const AmbientRecord* second = nullptr;
};
AmbientPair RelatedValues(std::uint32_t ecuType, const DtcEntry& entry);

}  // namespace kd::faults
