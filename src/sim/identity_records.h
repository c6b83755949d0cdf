// What the controllers say about themselves and their car: the identification options, the
// identifier records they keep (and let the tester write), the equipment and immobilizer records
// and the raw converter readings of the ADC page. A value written with writeDataByLocalIdentifier
// is what the controller reads back from then on, while it stays connected.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/controllers.h"
#include "sim/engine_model.h"
#include "sim/sim_bytes.h"

namespace kd::sim {

// readEcuIdentification (1A), the identifier, equipment, immobilizer and ADC records of
// readDataByLocalIdentifier (21), readMemoryByAddress (23) where the type reads its converter
// that way, and writeDataByLocalIdentifier (3B) where the type accepts writes.
void InstallIdentityServices(KwpController& controller, const EngineModel& model);

// January 4.1's identification letters 'Q'..'X', each answered with a text of 16 characters.
void InstallIdentityLetters(EscapedController& controller);

// The converter cells January 4.1 answers to 'a': one byte each; nothing for other codes.
std::optional<std::uint8_t> AdcCell(std::uint32_t type, std::uint8_t code, const EngineState& s);

}  // namespace kd::sim
