// Where each controller carries what it measures. The positions, widths and scales come from the
// built-in parameter tables (catalogue), the only description of the controllers' records the
// project has; which physical quantity sits in each row, and how a value becomes bytes, is the
// simulator's own, so a decoder that reads a row wrongly sees an implausible number.
#pragma once

#include <cstdint>
#include <span>

#include "catalogue/param_record.h"
#include "sim/engine_model.h"
#include "sim/fault_memory.h"
#include "sim/sim_bytes.h"

namespace kd::sim {

enum class Quantity : std::uint8_t {
  None,  // a row the simulator keeps at rest: 0, moved into the row's chart range
  Rpm,
  DesiredIdleRpm,
  Throttle,
  ThrottleVolts,
  Speed,
  Coolant,
  CoolantAtStart,
  IntakeAir,
  Battery,
  Load,
  LoadByte,
  ManifoldKpa,
  AirFlow,
  AirFlowGramsPerSecond,
  CyclicAir,
  CyclicFuel,
  InjectionMs,
  BaseLoadMs,
  FuelPerHour,
  FuelPer100km,
  Ignition,
  IdleSteps,
  DesiredIdleSteps,
  IdleAirDesired,
  O2Volts,
  O2AfterCatVolts,
  O2Period,
  AirFuel,
  WarmupFactor,
  Purge,
  MafVolts,
  O2HeaterWatts,
  EngineMode,
  PowerSupplyMode,
  FuelMode,
  RunSeconds,
  TotalRunSeconds,
  Unity,
  FeedbackPercent,
  BlockLearn,
  RomChecksum,
  RomId,
  EepromChecksum,
  SteeringAngle,
  SteeringTorque,
  PhasePositionA,
  PhasePositionB,
  PhasePositionC,
  PhaseCurrentA,
  PhaseCurrentB,
  PhaseCurrentC,
  RadiatorTemp,
  EmurEquipment,
  // Flags: 1 or 0.
  EngineStopped,
  Idle,
  PowerEnrichment,
  FuelCut,
  KnockZone,
  O2Ready,
  ClosedLoop,
  O2Rich,
  O2RichBefore,
  O2Heater,
  O2Learned,
  Purging,
  WarmedUp,
  FuelPump,
  Fan1,
  Fan2,
  MainRelay,
  SpeedSignal,
  PhaseSensorOk,
  EmurReady,
  // From the controller's fault memory, not from the car: 0 in QuantityValue.
  StoredCodes,
  FaultLamp,
};

// The value of a quantity for controller type `type` (the checksums differ between types).
double QuantityValue(Quantity q, const EngineState& s, std::uint32_t type);

// The quantity row `row` of the type's built-in table carries.
Quantity RowQuantity(std::uint32_t type, std::size_t row);

// The highest position any row of the type's table reads (the low byte of two-byte values
// included): live data records reach at least this far.
int HighestPosition(std::uint32_t type);

// Fills a KWP2000 data record: `positions[0]` is the byte in front of the service identifier,
// 1 the service identifier, 2 the local identifier; the rows write from position 3 up to the end
// of `positions` and never below. Types 1, 2 and 9 carry the present-fault map at positions
// 7..10 (row 8j+k of the fault table in bit k of byte j), rows that count the stored codes or
// show the lamp read `faults`.
void FillKwpRecord(std::uint32_t type, const EngineState& s, Bytes& positions,
                   const FaultIndication& faults = {});

// Fills the GM data stream: `positions[0]` is the mode byte, data from position 1. The present
// and the stored fault maps take positions 3..9 and 10..16 (row 8j+k in bit k of their byte j).
void FillGmStream(const EngineState& s, Bytes& positions, const FaultIndication& faults = {});

// The values of the requested codes, back to back, as January 4.1 and Mikas answer them: one or
// two bytes a code (low byte first), as wide as the table's row for that code.
Bytes EscapedValues(std::uint32_t type, const Bytes& codes, const EngineState& s);

}  // namespace kd::sim
