// The built-in lists that describe the misfire-detection record (local identifier 04) of the
// controllers that keep one, as parameter records, and their decoding.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "catalogue/param_record.h"
#include "link/exchange_buffer.h"

namespace kd::adaptation {

// The type's MisfireParamList; empty for the types that keep no misfire record.
std::span<const catalogue::ParamRecord> MisfireParamList(std::uint32_t ecuType);

// Decodes one entry from a 61 04 reply (data from byte 6) into its Value or BitState. False for
// entries whose kind or width the record cannot hold: their cell stays as it was.
bool DecodeMisfireEntry(catalogue::ParamRecord& entry, const link::ReplyCopy& reply);

// The value column's text of a decoded entry.
std::string MisfireValueText(const catalogue::ParamRecord& entry);

}  // namespace kd::adaptation
