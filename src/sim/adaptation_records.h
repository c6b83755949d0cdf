// What the engine controllers have learnt and counted: the fuel and knock adaptation memories,
// the misfire-detection record and the trip record, served as each controller keeps them.
#pragma once

#include "sim/controllers.h"
#include "sim/engine_model.h"

namespace kd::sim {

// Adds the type's memory reads, its special diagnostic session and its adaptation records
// (local identifiers 04, 05 and 21..24) to the controller's dispatch table.
void InstallAdaptationRecords(KwpController& controller, const EngineModel& model);

// The learnt values, as the memories hold them (exposed for the tests of the answers).
// January 5.1 / 7.2: the byte of fuel block k (1..32) at row i (0..15); the knock byte of
// cylinder c (0..3), zone i (0..11).
std::uint8_t JanuaryFuelByte(int block, int row);
std::uint8_t JanuaryKnockByte(int cylinder, int zone);

// Distance (km) and fuel (l) the car has covered `ms` after the engine started.
struct TripTotals {
  double km = 0;
  double litres = 0;
};
TripTotals DrivenSince(const EngineModel& model, std::int64_t ms);

}  // namespace kd::sim
