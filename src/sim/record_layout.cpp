#include "sim/record_layout.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "catalogue/ecu_catalogue.h"
#include "catalogue/param_tables.h"
#include "sim/profiles.h"

namespace kd::sim {

namespace {

using Q = Quantity;

struct Assign {
  std::uint8_t row;
  Quantity quantity;
};

// clang-format off
// Rows not listed stay at rest. Where two rows read the same bit, only one of them is listed.
constexpr Assign kM154[] = {
    {0, Q::EngineStopped}, {1, Q::Idle}, {2, Q::PowerEnrichment}, {3, Q::FuelCut},
    {4, Q::KnockZone}, {6, Q::Coolant}, {8, Q::Throttle}, {9, Q::Rpm},
    {10, Q::Rpm}, {11, Q::DesiredIdleSteps}, {12, Q::IdleSteps}, {14, Q::Ignition},
    {15, Q::Speed}, {16, Q::Battery}, {17, Q::DesiredIdleRpm}, {18, Q::InjectionMs},
    {19, Q::AirFlow}, {20, Q::CyclicAir}, {21, Q::FuelPerHour}, {22, Q::FuelPer100km},
    {23, Q::RomChecksum},
};

// Type 2's rows; type 9 adds two behind them.
constexpr Assign kJanuary5[] = {
    {0, Q::EngineStopped}, {1, Q::Idle}, {2, Q::PowerEnrichment}, {3, Q::FuelCut},
    {4, Q::ClosedLoop}, {5, Q::KnockZone}, {6, Q::Purging}, {9, Q::O2RichBefore},
    {10, Q::O2Rich}, {11, Q::Coolant}, {12, Q::AirFuel}, {13, Q::Throttle},
    {14, Q::Rpm}, {15, Q::Rpm}, {16, Q::DesiredIdleSteps}, {17, Q::IdleSteps},
    {19, Q::Ignition}, {20, Q::Speed}, {21, Q::Battery}, {22, Q::DesiredIdleRpm},
    {23, Q::O2Volts}, {24, Q::O2Ready}, {25, Q::O2Heater}, {26, Q::InjectionMs},
    {27, Q::AirFlow}, {28, Q::CyclicAir}, {29, Q::FuelPerHour}, {30, Q::FuelPer100km},
    {31, Q::RomChecksum}, {32, Q::StoredCodes}, {33, Q::IntakeAir},
};

constexpr Assign kMp70[] = {
    {0, Q::MafVolts}, {1, Q::BaseLoadMs}, {2, Q::Battery}, {3, Q::Coolant},
    {4, Q::Ignition}, {6, Q::Throttle}, {7, Q::Speed}, {8, Q::Rpm},
    {9, Q::InjectionMs}, {10, Q::IdleSteps}, {11, Q::Rpm}, {14, Q::DesiredIdleRpm},
    {15, Q::AirFlow}, {16, Q::AirFlow}, {17, Q::O2Volts}, {18, Q::Unity},
    {20, Q::Unity}, {21, Q::Purge}, {22, Q::PowerEnrichment}, {23, Q::Idle},
    {24, Q::ClosedLoop}, {25, Q::Purging}, {26, Q::O2Ready}, {27, Q::O2Heater},
};

constexpr Assign kMp70Euro3[] = {
    {0, Q::MafVolts}, {1, Q::BaseLoadMs}, {2, Q::Battery}, {3, Q::Coolant},
    {4, Q::Ignition}, {6, Q::Throttle}, {7, Q::Speed}, {8, Q::Rpm},
    {9, Q::InjectionMs}, {10, Q::IdleSteps}, {11, Q::Rpm}, {14, Q::DesiredIdleRpm},
    {15, Q::AirFlow}, {16, Q::AirFlow}, {17, Q::O2Volts}, {18, Q::Unity},
    {20, Q::Unity}, {21, Q::Purge}, {22, Q::PowerEnrichment}, {23, Q::Idle},
    {24, Q::FuelPump}, {25, Q::ClosedLoop}, {26, Q::Purging}, {27, Q::O2Ready},
    {28, Q::O2Heater}, {30, Q::O2AfterCatVolts}, {32, Q::RunSeconds}, {33, Q::TotalRunSeconds},
    {34, Q::IntakeAir}, {35, Q::CoolantAtStart}, {37, Q::BaseLoadMs}, {38, Q::Unity},
    {52, Q::WarmupFactor}, {53, Q::BaseLoadMs}, {65, Q::SpeedSignal}, {66, Q::PhaseSensorOk},
    {81, Q::ClosedLoop}, {84, Q::FuelCut}, {87, Q::O2Ready}, {88, Q::WarmedUp},
    {68, Q::Fan1}, {89, Q::O2Learned}, {90, Q::Purging},
};

constexpr Assign kM797[] = {
    {0, Q::StoredCodes}, {1, Q::CoolantAtStart}, {2, Q::Coolant}, {3, Q::IntakeAir},
    {4, Q::Battery}, {5, Q::Speed}, {6, Q::Throttle}, {7, Q::Rpm},
    {8, Q::AirFlow}, {9, Q::Ignition}, {11, Q::Load}, {12, Q::Load}, {13, Q::Unity},
    {14, Q::InjectionMs}, {15, Q::DesiredIdleRpm}, {16, Q::IdleSteps}, {17, Q::IdleAirDesired},
    {19, Q::O2Volts}, {20, Q::Unity}, {21, Q::AirFuel}, {22, Q::Purge},
    {25, Q::Unity}, {31, Q::RunSeconds}, {32, Q::RomChecksum}, {33, Q::FuelPerHour},
    {36, Q::Unity}, {38, Q::Rpm}, {39, Q::O2AfterCatVolts}, {40, Q::O2Period},
    {48, Q::Idle}, {49, Q::PowerEnrichment}, {52, Q::FuelPump}, {53, Q::Fan1}, {54, Q::Fan2}, {56, Q::KnockZone},
    {55, Q::FaultLamp}, {59, Q::ClosedLoop}, {60, Q::FuelCut}, {61, Q::O2Ready},
    {62, Q::O2Learned}, {63, Q::Purging}, {67, Q::WarmedUp},
};

constexpr Assign kM10[] = {
    {0, Q::Battery}, {1, Q::Rpm}, {2, Q::Coolant}, {3, Q::Coolant},
    {4, Q::CoolantAtStart}, {5, Q::IntakeAir}, {6, Q::Throttle}, {7, Q::AirFuel},
    {8, Q::AirFlow}, {9, Q::CyclicAir}, {10, Q::CyclicAir}, {11, Q::CyclicAir},
    {12, Q::ManifoldKpa}, {13, Q::Unity}, {14, Q::CyclicFuel}, {16, Q::FuelPerHour},
    {17, Q::InjectionMs}, {18, Q::IdleAirDesired}, {21, Q::IdleSteps}, {22, Q::DesiredIdleRpm},
    {23, Q::Speed}, {24, Q::ClosedLoop}, {26, Q::O2Volts}, {27, Q::O2AfterCatVolts},
    {28, Q::Unity}, {29, Q::Unity}, {30, Q::Unity}, {31, Q::Unity},
    {32, Q::Fan1}, {33, Q::Fan2}, {34, Q::FuelPump}, {35, Q::MainRelay}, {36, Q::Purging}, {39, Q::FaultLamp},
    {40, Q::EngineMode}, {41, Q::PowerSupplyMode}, {42, Q::FuelMode}, {43, Q::Ignition},
    {46, Q::O2HeaterWatts}, {47, Q::O2HeaterWatts}, {48, Q::Purge}, {50, Q::WarmedUp},
    {51, Q::RomChecksum}, {52, Q::StoredCodes},
};

constexpr Assign kEmur[] = {
    {0, Q::Speed}, {1, Q::Rpm}, {2, Q::Battery}, {3, Q::SteeringAngle},
    {4, Q::SteeringTorque}, {5, Q::PhasePositionA}, {6, Q::PhasePositionB}, {7, Q::PhasePositionC},
    {8, Q::PhaseCurrentA}, {9, Q::PhaseCurrentB}, {10, Q::PhaseCurrentC}, {11, Q::RadiatorTemp},
    {12, Q::StoredCodes}, {13, Q::EmurEquipment}, {14, Q::EmurReady}, {20, Q::RomChecksum},
    {21, Q::EepromChecksum},
};

constexpr Assign kJanuary41[] = {
    {0, Q::Rpm}, {1, Q::Rpm}, {2, Q::DesiredIdleRpm}, {3, Q::CyclicAir},
    {4, Q::AirFlow}, {5, Q::FuelPerHour}, {6, Q::Coolant}, {7, Q::Battery},
    {9, Q::Throttle}, {10, Q::Speed}, {11, Q::InjectionMs}, {13, Q::DesiredIdleSteps},
    {14, Q::IdleSteps}, {15, Q::Ignition}, {20, Q::EngineStopped}, {21, Q::Idle},
    {22, Q::PowerEnrichment}, {23, Q::FuelCut},
};

// The Mikas table is a stand-in (every number asks for one code); only its two flags mean
// something.
constexpr Assign kMikas[] = {{0, Q::EngineStopped}, {1, Q::FuelCut}};

constexpr Assign kGm[] = {
    {0, Q::PowerEnrichment}, {3, Q::ClosedLoop},
    {5, Q::RomId}, {6, Q::Coolant}, {7, Q::CoolantAtStart}, {8, Q::Coolant},
    {9, Q::ThrottleVolts}, {10, Q::Throttle}, {11, Q::DesiredIdleRpm}, {12, Q::Rpm},
    {13, Q::Speed}, {14, Q::O2Volts}, {16, Q::FeedbackPercent}, {17, Q::BlockLearn},
    {19, Q::IdleSteps}, {20, Q::LoadByte}, {21, Q::Purge}, {22, Q::DesiredIdleSteps},
    {23, Q::DesiredIdleSteps}, {24, Q::Battery}, {25, Q::Ignition}, {26, Q::InjectionMs},
    {27, Q::AirFuel}, {28, Q::RunSeconds}, {29, Q::AirFlowGramsPerSecond}, {30, Q::AirFlowGramsPerSecond},
};
// clang-format on

std::span<const Assign> Assignments(std::uint32_t type) {
  switch (type) {
    case catalogue::EcuCode::Jan51:
    case catalogue::EcuCode::Jan72:
      return kJanuary5;
    case catalogue::EcuCode::MP70:
      return kMp70;
    case catalogue::EcuCode::Jan41:
      return kJanuary41;
    case catalogue::EcuCode::GM:
      return kGm;
    case catalogue::EcuCode::M797:
      return kM797;
    case catalogue::EcuCode::MP70E3:
      return kMp70Euro3;
    case catalogue::EcuCode::M10:
      return kM10;
    case catalogue::EcuCode::Mikas:
      return kMikas;
    case catalogue::EcuCode::EMUR:
      return kEmur;
    default:
      return kM154;
  }
}

// Codes January 4.1 answers that no parameter row asks for: the equipment byte (O2 sensor,
// canister, knock sensor and air temperature sensor fitted).
std::optional<std::uint8_t> EscapedExtraCode(std::uint32_t type, std::uint8_t code) {
  const SimProfile& sim = SimProfileOf(type);
  if (sim.equipmentCell == code) return sim.equipmentCellValue;
  return std::nullopt;
}

double Flag(bool b) {
  return b ? 1.0 : 0.0;
}

enum class Order { LowFirst, HighFirst };

struct Layout {
  Order order;
  catalogue::LinkFamily family;
};

Layout LayoutOf(std::uint32_t type) {
  const auto family = catalogue::Lookup(type).family;
  if (family == catalogue::LinkFamily::Gm) return {Order::HighFirst, family};
  // MP7.0, MP7.0 Euro-3 and M7.9.7 keep two-byte values high byte first.
  const bool high = family == catalogue::LinkFamily::Kwp2000 && SimProfileOf(type).highByteFirst;
  return {high ? Order::HighFirst : Order::LowFirst, family};
}

// A record being filled: writes below `lowest` or past the end are dropped, as positions that
// come from tables are never trusted.
class Writer {
 public:
  Writer(Bytes& bytes, std::int64_t lowest, Order order)
      : bytes_(bytes), lowest_(lowest), order_(order) {}
  void Put(std::int64_t at, std::uint8_t value) {
    if (at >= lowest_ && at < static_cast<std::int64_t>(bytes_.size()))
      bytes_[static_cast<std::size_t>(at)] = value;
  }
  void SetBit(std::int64_t at, std::int32_t bit) {
    if (bit >= 0 && bit < 8 && at >= lowest_ && at < static_cast<std::int64_t>(bytes_.size()))
      bytes_[static_cast<std::size_t>(at)] |= static_cast<std::uint8_t>(1u << bit);
  }
  void Put16(std::int64_t at, std::uint16_t raw, Order order) {
    const auto hi = static_cast<std::uint8_t>(raw >> 8);
    const auto lo = static_cast<std::uint8_t>(raw & 0xFF);
    Put(at, order == Order::HighFirst ? hi : lo);
    Put(at + 1, order == Order::HighFirst ? lo : hi);
  }
  Order order() const { return order_; }

 private:
  Bytes& bytes_;
  std::int64_t lowest_;
  Order order_;
};

std::int64_t Clamp(double v, std::int64_t lo, std::int64_t hi) {
  if (!std::isfinite(v)) return lo;
  return std::clamp<std::int64_t>(std::llround(v), lo, hi);
}

// A row's value at rest: nothing measured, which is 0 or the nearest end of its chart range.
double RestValue(const catalogue::ParamRecord& r) {
  const double lo = std::min(r.chartMin, r.chartMax);
  const double hi = std::max(r.chartMin, r.chartMax);
  return std::clamp(0.0, lo, hi);
}

// Turns one row's value into bytes at position `at` (for numbers), the inverse of how the row
// is read in the family the record belongs to.
void EncodeRow(Writer& w, const catalogue::ParamRecord& r, std::int64_t at, double v,
               catalogue::LinkFamily family) {
  const bool wide = r.width == 2;
  switch (r.kind) {
    case 'B':
      if (v != 0) w.SetBit(at, r.bit);
      break;
    case 'C':
      if (family == catalogue::LinkFamily::Kwp2000) {
        w.Put(at, static_cast<std::uint8_t>(Clamp(v * 256, -128, 127) & 0xFF));
      } else if (family == catalogue::LinkFamily::Gm) {
        // |b − 128| / 256 − 0.5: the value lies in −0.5..0 and b below 128 carries it.
        w.Put(at, static_cast<std::uint8_t>(Clamp(128 - (v + 0.5) * 256, 0, 128)));
      } else {
        w.Put(at, static_cast<std::uint8_t>(Clamp(-v * 256, 0, 128)));
      }
      break;
    case 'H':
      w.Put16(at, static_cast<std::uint16_t>(Clamp(v, 0, 0xFFFF)), w.order());
      break;
    case 'D': {
      // High byte at the position, low byte where the row's bit column points.
      const auto raw = static_cast<std::uint16_t>(Clamp((v - r.offset) / r.scale, 0, 0xFFFF));
      w.Put(at, static_cast<std::uint8_t>(raw >> 8));
      w.Put(r.bit, static_cast<std::uint8_t>(raw & 0xFF));
      break;
    }
    case 'P':
    case 'S': {
      if (r.scale == 0) break;
      const bool isSigned = r.kind == 'S';
      if (r.scale == -1.0f && family != catalogue::LinkFamily::Escaped) {
        // A period: the numerator over the two bytes (or a count of the numerator in one byte).
        if (wide) {
          const auto period =
              static_cast<std::uint16_t>(Clamp(v != 0 ? r.offset / v : 0, 1, 0xFFFF));
          // KWP2000 reads a period low byte first whatever the type's order; GM high first.
          w.Put16(at, period,
                  family == catalogue::LinkFamily::Gm ? Order::HighFirst : Order::LowFirst);
        } else {
          w.Put(at, static_cast<std::uint8_t>(Clamp(r.offset != 0 ? v / r.offset : 0, 0, 255)));
        }
        break;
      }
      const double raw = (v - r.offset) / r.scale;
      if (wide) {
        const std::int64_t n = isSigned ? Clamp(raw, -32768, 32767) : Clamp(raw, 0, 0xFFFF);
        w.Put16(at, static_cast<std::uint16_t>(n & 0xFFFF), w.order());
      } else {
        const std::int64_t n = isSigned ? Clamp(raw, -128, 127) : Clamp(raw, 0, 255);
        w.Put(at, static_cast<std::uint8_t>(n & 0xFF));
      }
      break;
    }
    default:
      break;
  }
}

double RowValue(std::uint32_t type, std::size_t row, const catalogue::ParamRecord& r,
                const EngineState& s, const FaultIndication& faults) {
  const Quantity q = RowQuantity(type, row);
  if (q == Quantity::StoredCodes) return faults.storedCodes;
  if (q == Quantity::FaultLamp) return Flag(faults.lamp);
  return q == Quantity::None ? (r.kind == 'B' ? 0.0 : RestValue(r)) : QuantityValue(q, s, type);
}

void FillByTable(std::uint32_t type, const EngineState& s, const FaultIndication& faults,
                 Writer& w) {
  const auto rows = catalogue::BuiltInParams(type);
  const auto family = LayoutOf(type).family;
  // Numbers first, flags after: a flag only ever adds its bit to what stands there.
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto& r = rows[i];
      if (r.kind == 0 || (r.kind == 'B') != (pass == 1)) continue;
      EncodeRow(w, r, r.dataOffset, RowValue(type, i, r, s, faults), family);
    }
  }
}

// A map of fault-table rows, eight to a byte, bit 0 first.
void PutMap(Writer& w, std::int64_t at, std::size_t bytes, std::uint64_t map) {
  for (std::size_t j = 0; j < bytes; ++j)
    w.Put(at + static_cast<std::int64_t>(j), static_cast<std::uint8_t>((map >> (8 * j)) & 0xFF));
}

}  // namespace

double QuantityValue(Quantity q, const EngineState& s, std::uint32_t type) {
  switch (q) {
    case Q::None:
      return 0;
    case Q::Rpm:
      return s.rpm;
    case Q::DesiredIdleRpm:
      return s.desiredIdleRpm;
    case Q::Throttle:
      return s.throttle;
    case Q::ThrottleVolts:
      return s.throttleVolts;
    case Q::Speed:
      return s.speed;
    case Q::Coolant:
      return s.coolant;
    case Q::CoolantAtStart:
      return s.coolantAtStart;
    case Q::IntakeAir:
      return s.intakeAir;
    case Q::Battery:
      return s.battery;
    case Q::Load:
      return s.load;
    case Q::LoadByte:
      return s.load * 2.55;
    case Q::ManifoldKpa:
      return s.manifoldKpa;
    case Q::AirFlow:
      return s.airFlow;
    case Q::AirFlowGramsPerSecond:
      return s.airFlow / 3.6;
    case Q::CyclicAir:
      return s.cyclicAir;
    case Q::CyclicFuel:
      return s.cyclicFuel;
    case Q::InjectionMs:
      return s.injectionMs;
    case Q::BaseLoadMs:
      return s.baseLoadMs;
    case Q::FuelPerHour:
      return s.fuelPerHour;
    case Q::FuelPer100km:
      return s.fuelPer100km;
    case Q::Ignition:
      return s.ignition;
    case Q::IdleSteps:
      return s.idleSteps;
    case Q::DesiredIdleSteps:
      return s.desiredIdleSteps;
    case Q::IdleAirDesired:
      return s.idleAirDesired;
    case Q::O2Volts:
      return s.o2Volts;
    case Q::O2AfterCatVolts:
      return s.o2AfterCatVolts;
    case Q::O2Period:
      return s.o2PeriodSeconds;
    case Q::AirFuel:
      return s.airFuel;
    case Q::WarmupFactor:
      return s.warmupFactor;
    case Q::Purge:
      return s.purge;
    case Q::MafVolts:
      return s.mafVolts;
    case Q::O2HeaterWatts:
      return s.o2HeaterWatts;
    case Q::EngineMode:
      return s.engineMode;
    case Q::PowerSupplyMode:
      return 1;
    case Q::FuelMode:
      return s.fuelCut ? 0 : 1;
    case Q::RunSeconds:
      return std::floor(s.seconds);
    case Q::TotalRunSeconds:
      return 41000 + std::floor(s.seconds);
    case Q::Unity:
      return 1;
    case Q::FeedbackPercent:
      return 100;
    case Q::BlockLearn:
      return 128;
    case Q::RomChecksum:
      return 0x5A00 + 0x111 * static_cast<double>(type);
    case Q::RomId:
      return 0x1C53;
    case Q::EepromChecksum:
      return 0x3E00 + static_cast<double>(type);
    case Q::SteeringAngle:
      return s.steeringAngle;
    case Q::SteeringTorque:
      return s.steeringTorque;
    case Q::PhasePositionA:
      return s.phasePosition[0];
    case Q::PhasePositionB:
      return s.phasePosition[1];
    case Q::PhasePositionC:
      return s.phasePosition[2];
    case Q::PhaseCurrentA:
      return s.phaseCurrent[0];
    case Q::PhaseCurrentB:
      return s.phaseCurrent[1];
    case Q::PhaseCurrentC:
      return s.phaseCurrent[2];
    case Q::RadiatorTemp:
      return s.radiatorTemp;
    // Inductor motor (bits 0..1 = 1), column and rotor position sensors, radiator temperature
    // sensor, torque sensor; no mechanical gear.
    case Q::EmurEquipment:
      return 0x3D;
    case Q::EngineStopped:
      return Flag(s.engineStopped);
    case Q::Idle:
      return Flag(s.idle);
    case Q::PowerEnrichment:
      return Flag(s.powerEnrichment);
    case Q::FuelCut:
      return Flag(s.fuelCut);
    case Q::KnockZone:
      return Flag(s.knockZone);
    case Q::O2Ready:
      return Flag(s.o2Ready);
    case Q::ClosedLoop:
      return Flag(s.closedLoop);
    case Q::O2Rich:
      return Flag(s.o2Rich);
    case Q::O2RichBefore:
      return Flag(s.o2RichBefore);
    case Q::O2Heater:
      return Flag(s.o2Heater);
    case Q::O2Learned:
      return Flag(s.closedLoop && s.warmedUp);
    case Q::Purging:
      return Flag(s.purging);
    case Q::WarmedUp:
      return Flag(s.warmedUp);
    case Q::FuelPump:
      return Flag(s.fuelPump);
    case Q::Fan1:
      return Flag(s.fan1);
    case Q::Fan2:
      return Flag(s.fan2);
    case Q::MainRelay:
      return 1;
    case Q::SpeedSignal:
      return Flag(s.speed > 0);
    case Q::PhaseSensorOk:
      return 1;
    case Q::EmurReady:
      return 1;
    case Q::StoredCodes:
    case Q::FaultLamp:
      return 0;
  }
  return 0;
}

Quantity RowQuantity(std::uint32_t type, std::size_t row) {
  for (const Assign& a : Assignments(type))
    if (a.row == row) return a.quantity;
  return Quantity::None;
}

int HighestPosition(std::uint32_t type) {
  int highest = 0;
  for (const auto& r : catalogue::BuiltInParams(type)) {
    if (r.kind == 0) continue;
    int last = r.dataOffset;
    if (r.width == 2 && (r.kind == 'P' || r.kind == 'S' || r.kind == 'H')) last += 1;
    if (r.kind == 'D') last = std::max(last, r.bit);
    highest = std::max(highest, last);
  }
  return highest;
}

void FillKwpRecord(std::uint32_t type, const EngineState& s, Bytes& positions,
                   const FaultIndication& faults) {
  Writer w(positions, 3, LayoutOf(type).order);
  FillByTable(type, s, faults, w);
  // Record bytes 4..7 behind the local identifier. Type 1's row "ТЕКУЩ.ОШИБ" reads position 8,
  // the map's second byte, as a number.
  if (SimProfileOf(type).presentMapInRecord) PutMap(w, 7, 4, faults.presentMap);
}

void FillGmStream(const EngineState& s, Bytes& positions, const FaultIndication& faults) {
  Writer w(positions, 1, Order::HighFirst);
  FillByTable(catalogue::EcuCode::GM, s, faults, w);
  PutMap(w, 3, 7, faults.presentMap);
  PutMap(w, 10, 7, faults.storedMap);
}

Bytes EscapedValues(std::uint32_t type, const Bytes& codes, const EngineState& s) {
  const auto rows = catalogue::BuiltInParams(type);
  Bytes out;
  for (const std::uint8_t code : codes) {
    if (const auto extra = EscapedExtraCode(type, code)) {
      out.push_back(*extra);
      continue;
    }
    // The first number row asking for the code decides its width and value; flag rows add
    // their bits to the code's byte.
    std::optional<std::size_t> number;
    std::uint8_t flags = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto& r = rows[i];
      if (r.kind == 0 || static_cast<std::uint8_t>(r.dataOffset & 0xFF) != code) continue;
      if (r.kind == 'B') {
        if (RowValue(type, i, r, s, {}) != 0 && r.bit >= 0 && r.bit < 8)
          flags |= static_cast<std::uint8_t>(1u << r.bit);
      } else if (!number) {
        number = i;
      }
    }
    if (number) {
      const auto& r = rows[*number];
      Bytes value(r.width == 2 || r.kind == 'H' ? 2 : 1, 0);
      Writer w(value, 0, Order::LowFirst);
      EncodeRow(w, r, 0, RowValue(type, *number, r, s, {}), catalogue::LinkFamily::Escaped);
      value[0] |= flags;
      out.insert(out.end(), value.begin(), value.end());
    } else {
      // A code no row knows still names a memory cell: one byte, here the flags (0 if none).
      out.push_back(flags);
    }
  }
  return out;
}

}  // namespace kd::sim
