#include "sim/fault_memory.h"

#include <algorithm>
#include <cmath>

#include "catalogue/ecu_catalogue.h"
#include "sim/profiles.h"

namespace kd::sim {

namespace {

// ---- The controllers' own scales for what they record with a code ----

struct Scale {
  double factor;
  double offset;
};

// M7.9.7 related quantities: engine speed, throttle, coolant, intake air, load, the two O2
// sensors' resistances, battery voltage, exhaust and catalyst model temperatures, vehicle speed,
// mixture adaptation, relative filling.
constexpr Scale kM797Scales[] = {
    {40, 0},       {0.390625, 0}, {0.75, -48}, {0.75, -48}, {4, 0},         {64, 0},   {64, 0},
    {0.073675, 0}, {5, -50},      {5, -50},    {1, 0},      {0.0078125, 0}, {0.75, 0},
};

// M10 related quantities: battery voltage, cyclic filling, run time, engine speed, coolant,
// vehicle speed, throttle, modelled coolant, the O2 sensors' voltages (10-bit converter at 5 V).
constexpr Scale kM10Scales[] = {
    {0.00390625, 0}, {0.0625, 0},    {1, 0},           {0.5, 0},        {0.0078125, 0},
    {1, 0},          {0.0078125, 0}, {0.0078125, -40}, {5.0 / 1023, 0}, {5.0 / 1023, 0},
};

std::uint8_t Raw8(double value, Scale s) {
  return static_cast<std::uint8_t>(
      std::clamp<long>(std::lround((value - s.offset) / s.factor), 0, 255));
}

std::uint16_t Raw16(double value, Scale s) {
  return static_cast<std::uint16_t>(
      std::clamp<long>(std::lround((value - s.offset) / s.factor), 0, 0xFFFF));
}

Scale ScaleAt(std::span<const Scale> scales, std::uint8_t index) {
  return index < scales.size() ? scales[index] : Scale{1, 0};
}

void PutLowFirst(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// ---- The cars as they come in ----

// Helpers that keep the tables below one code to a few lines.
KwpFault Code(std::uint16_t code, std::uint8_t status, bool stillThere, int presentBit = -1) {
  KwpFault f;
  f.code = code;
  f.status = status;
  f.stillThere = stillThere;
  f.presentBit = presentBit;
  return f;
}

KwpFault With(KwpFault f, RelatedInformation related, std::optional<FreezeFrame> freeze = {}) {
  f.related = std::move(related);
  f.freeze = freeze;
  return f;
}

// Status bytes: bits 0-3 the symptom (1 above, 2 below the limit, 4 no signal, 8 implausible),
// bits 5-6 the storage state (01 stored, 10 intermittent, 11 present now), bit 7 the lamp.
// clang-format off

// M1.5.4: the phase sensor fails now; an old coolant sensor open circuit; an idle-valve fault
// that comes and goes. The last column is the code's bit in the present-fault map.
const std::vector<KwpFault>& M154() {
  static const std::vector<KwpFault> t = {
      Code(0x0340, 0xE8, true, 4),
      Code(0x0118, 0x21, false, 19),
      Code(0x0505, 0x48, false, 31),
  };
  return t;
}

// January 5.1: the O2 sensor heater is broken; knock noise low now and then; a misfire on
// cylinder 1 long ago.
const std::vector<KwpFault>& January51() {
  static const std::vector<KwpFault> t = {
      Code(0x0135, 0xE0, true, 3),
      Code(0x0327, 0x42, false, 15),
      Code(0x0301, 0x20, false, 45),
  };
  return t;
}

// January 7.2: the knock sensor's wire is cut; a lean mixture and a purge valve open circuit
// from before the repair; battery voltage that sagged now and then.
const std::vector<KwpFault>& January72() {
  static const std::vector<KwpFault> t = {
      Code(0x0325, 0xE4, true, 24),
      Code(0x0171, 0x21, false, 29),
      Code(0x0444, 0x24, false, 53),
      Code(0x0562, 0x42, false, 8),
  };
  return t;
}

// Mp70Related: topical, debounced, FLC, TSF, HLC, DLC, HZ, then coolant °C, rpm and battery V
// at the first and at the latest occurrence.
// FreezeFrame: loop flags, load %, coolant °C, FRZ_FR, FRA, rpm, km/h.

// MP7.0: the purge valve is open-circuited; a cold start on a weak battery; random misfires
// under load.
const std::vector<KwpFault>& Mp70() {
  static const std::vector<KwpFault> t = {
      With(Code(0x0444, 0xE4, true),
           Mp70Related{0x07, 0x44, 0, 48, 0, 40, 1, {86, 880, 13.9}, {89, 920, 14.0}},
           FreezeFrame{0x10, 22.7, 89, 0x80, 0x7E, 920, 0}),
      With(Code(0x0562, 0x22, false),
           Mp70Related{0x00, 0x20, 3, 2, 0, 17, 1, {18, 200, 9.6}, {17, 240, 9.8}},
           FreezeFrame{0x01, 35.2, 18, 0x80, 0x80, 240, 0}),
      With(Code(0x0300, 0x48, false),
           Mp70Related{0x02, 0x88, 2, 6, 1, 38, 5, {88, 3000, 14.0}, {90, 3200, 14.1}},
           FreezeFrame{0x10, 68.4, 90, 0x84, 0x83, 3200, 74}),
  };
  return t;
}

// MP7.0 Euro-3: the rear O2 sensor's heater is broken; the catalyst has aged (the lamp stays on
// until it heals); the battery was disconnected once.
const std::vector<KwpFault>& Mp70Euro3() {
  static const std::vector<KwpFault> t = {
      With(Code(0x0141, 0xE4, true),
           Mp70Related{0x07, 0x44, 0, 120, 0, 40, 1, {45, 1400, 14.0}, {88, 880, 14.1}},
           FreezeFrame{0x10, 25.0, 45, 0x80, 0x81, 1400, 18}),
      With(Code(0x0422, 0xA2, false),
           Mp70Related{0x00, 0x20, 0, 0, 2, 25, 1, {91, 2400, 14.1}, {90, 2320, 14.1}},
           FreezeFrame{0x02, 33.6, 91, 0x80, 0x85, 2400, 62}),
      With(Code(0x1602, 0x20, false),
           Mp70Related{0x00, 0x00, 1, 0, 0, 39, 1, {20, 0, 12.4}, {20, 0, 12.4}},
           FreezeFrame{0x01, 0, 20, 0x80, 0x80, 0, 0}),
  };
  return t;
}

// M797Related: the two quantities recorded, fault type, state, FLC, TSF s, HLC, DLC, HZ, then
// up to four recordings (value 1, value 2, run time s).

// M7.9.7: the fan relay's circuit is broken; a MAF signal that dropped on a cold start; a lean
// mixture that keeps coming back. M7.9.7's status bits 0-1 tell active (11) from inactive (10)
// and from a test not finished this cycle (01). Quantities: 0 engine speed, 1 throttle,
// 2 coolant, 7 battery, 12 relative filling.
const std::vector<KwpFault>& M797() {
  static const std::vector<KwpFault> t = {
      With(Code(0x0480, 0xE3, true),
           M797Related{7, 2, 0x44, 0x0B, 0, 5.0, 3, 40, 1,
                       {RelatedSample{13.9, 66, 412}, RelatedSample{14.1, 89, 1835}}},
           FreezeFrame{0x10, 25.0, 89, 0x80, 0x82, 880, 0}),
      With(Code(0x0102, 0x22, false),
           M797Related{0, 1, 0x20, 0x01, 2, 0.8, 0, 31, 2,
                       {RelatedSample{840, 0, 57}, RelatedSample{2480, 16.4, 2210}}},
           FreezeFrame{0x01, 19.9, 22, 0x80, 0x80, 960, 0}),
      With(Code(0x0171, 0x41, false),
           M797Related{0, 12, 0x10, 0x21, 1, 2.4, 0, 38, 4,
                       {RelatedSample{920, 21, 640}, RelatedSample{2200, 45, 1120},
                        RelatedSample{2320, 48, 1984}}},
           FreezeFrame{0x10, 30.1, 88, 0x9C, 0xA4, 2200, 62}),
  };
  return t;
}

// M10Related: the two quantities recorded, flag bytes A and B, stability counter, healing or
// intermittent counter, then up to three recordings.

// M10: the purge valve is open-circuited; a throttle sensor dropout; misfires at high speed,
// recorded without a frame (the second recording slot was overwritten by the third).
// Quantities: 1 cyclic filling mg, 3 engine speed.
const std::vector<KwpFault>& M10() {
  static const std::vector<KwpFault> t = {
      With(Code(0x0444, 0xE4, true),
           M10Related{3, 1, 0xE4, 0xBF, 12, 0,
                      {RelatedSample{880, 93, 47}, RelatedSample{2240, 185, 1210}, std::nullopt}},
           FreezeFrame{0x10, 21.5, 88, 0x80, 0x7F, 880, 0}),
      With(Code(0x0122, 0x22, false),
           M10Related{1, 3, 0x24, 0x06, 3, 2,
                      {RelatedSample{87, 900, 15}, std::nullopt, std::nullopt}},
           FreezeFrame{0x01, 18.0, 21, 0x80, 0x80, 920, 0}),
      With(Code(0x0300, 0x48, false),
           M10Related{3, 1, 0x20, 0x13, 1, 5,
                      {RelatedSample{2600, 250, 812}, std::nullopt, RelatedSample{3050, 281, 1405}}}),
  };
  return t;
}

// EmurRelated: torque N·m, km/h, rpm, occurrences, minutes to ignition off, driving cycles.

// EMUR: no speed signal from the car; an old overvoltage on terminal 15; torque sensor signals
// that disagree now and then.
const std::vector<KwpFault>& Emur() {
  static const std::vector<KwpFault> t = {
      With(Code(0x5012, 0xE8, true), EmurRelated{3, 0, 880, 7, 12, 0}),
      With(Code(0x5014, 0x21, false), EmurRelated{0, 0, 0, 1, 2, 9}),
      With(Code(0x5023, 0x48, false), EmurRelated{6, 42, 2160, 3, 35, 2}),
  };
  return t;
}

// Row, counter, still there.

// January 4.1: the knock sensor's wire is cut; a MAF signal that was low; a vehicle speed sensor
// fault; an overvoltage that has healed (its counter is down to the threshold).
constexpr RowFault kJanuary41[] = {
    {24, 0x9C, true},
    {14, 0x86, false},
    {30, 0x83, false},
    {16, 0x80, false},
};

// GM ISFI-2S: the knock sensor's wire is cut; a vehicle speed sensor and a degraded O2 sensor
// stored earlier.
constexpr RowFault kGm[] = {
    {28, 0x81, true},
    {13, 0x81, false},
    {44, 0x81, false},
};

// clang-format on

bool IsPresent(const KwpFault& f) {
  return (f.status & 0x60) == 0x60;
}

}  // namespace

std::span<const KwpFault> KwpFaultsOf(std::uint32_t type) {
  switch (type) {
    case catalogue::EcuCode::M154:
      return M154();
    case catalogue::EcuCode::Jan51:
      return January51();
    case catalogue::EcuCode::MP70:
      return Mp70();
    case catalogue::EcuCode::M797:
      return M797();
    case catalogue::EcuCode::MP70E3:
      return Mp70Euro3();
    case catalogue::EcuCode::M10:
      return M10();
    case catalogue::EcuCode::Jan72:
      return January72();
    case catalogue::EcuCode::EMUR:
      return Emur();
    default:
      return {};
  }
}

std::span<const RowFault> RowFaultsOf(std::uint32_t type) {
  switch (type) {
    case catalogue::EcuCode::Jan41:
      return kJanuary41;
    case catalogue::EcuCode::GM:
      return kGm;
    default:
      return {};
  }
}

std::size_t FaultRowsOf(std::uint32_t type) {
  return SimProfileOf(type).faultRows;
}

bool IsCodeGroup(std::uint16_t group) {
  return group == 0xFF00 || (group & 0x3FFF) == 0;
}

bool InCodeGroup(std::uint16_t code, std::uint16_t group) {
  return group == 0xFF00 || (code & 0xC000) == group;
}

FaultMemory::FaultMemory(std::uint32_t type) : type_(type) {
  for (const KwpFault& f : KwpFaultsOf(type)) codes_.push_back({&f, std::nullopt});
  counters_.assign(FaultRowsOf(type), 0);
  present_.assign(FaultRowsOf(type), false);
  for (const RowFault& f : RowFaultsOf(type)) {
    counters_[f.row] = f.counter;
    present_[f.row] = f.present;
  }
}

bool FaultMemory::Stored(const Slot& slot, std::int64_t nowMs) {
  return !slot.clearedAtMs || (slot.fault->stillThere && nowMs >= *slot.clearedAtMs + kRedetectMs);
}

std::vector<const KwpFault*> FaultMemory::StoredCodes(std::uint16_t group,
                                                      std::int64_t nowMs) const {
  std::vector<const KwpFault*> out;
  for (const Slot& s : codes_)
    if (InCodeGroup(s.fault->code, group) && Stored(s, nowMs)) out.push_back(s.fault);
  return out;
}

const KwpFault* FaultMemory::StoredCode(std::uint16_t code, std::int64_t nowMs) const {
  for (const Slot& s : codes_)
    if (s.fault->code == code && Stored(s, nowMs)) return s.fault;
  return nullptr;
}

void FaultMemory::ClearCodes(std::uint16_t group, std::int64_t nowMs) {
  // Clearing again restarts the wait of a fault that is still there.
  for (Slot& s : codes_)
    if (InCodeGroup(s.fault->code, group)) s.clearedAtMs = nowMs;
}

std::uint8_t FaultMemory::Counter(std::size_t row, std::int64_t nowMs) const {
  if (row >= counters_.size()) return 0;
  const std::uint8_t c = counters_[row];
  // A fault that is still there counts up again once it has been seen long enough.
  if (present_[row] && c <= 0x80 && countersWrittenAtMs_ &&
      nowMs >= *countersWrittenAtMs_ + kRedetectMs)
    return 0x81;
  return c;
}

bool FaultMemory::Present(std::size_t row) const {
  return row < present_.size() && present_[row];
}

void FaultMemory::WriteCounters(const Bytes& block, std::int64_t nowMs) {
  for (std::size_t k = 0; k < counters_.size(); ++k) counters_[k] = k < block.size() ? block[k] : 0;
  countersWrittenAtMs_ = nowMs;
}

FaultIndication FaultMemory::Indication(std::int64_t nowMs) const {
  FaultIndication out;
  for (const KwpFault* f : StoredCodes(0xFF00, nowMs)) {
    ++out.storedCodes;
    if (f->status & 0x80) out.lamp = true;
    if (IsPresent(*f) && f->presentBit >= 0 && f->presentBit < 64)
      out.presentMap |= std::uint64_t{1} << f->presentBit;
  }
  for (std::size_t k = 0; k < counters_.size() && k < 64; ++k) {
    if (present_[k]) out.presentMap |= std::uint64_t{1} << k;
    if (Counter(k, nowMs) > 0x80) {
      out.storedMap |= std::uint64_t{1} << k;
      ++out.storedCodes;
    }
  }
  return out;
}

Bytes StoredCodesAnswer(std::span<const KwpFault* const> codes) {
  Bytes out{0x58, static_cast<std::uint8_t>(codes.size())};
  for (const KwpFault* f : codes) {
    out.push_back(static_cast<std::uint8_t>(f->code >> 8));
    out.push_back(static_cast<std::uint8_t>(f->code & 0xFF));
    out.push_back(f->status);
  }
  return out;
}

namespace {

// Behind 57 01 and the code, each family's related information, the status byte first.
void AppendRelated(Bytes& out, std::uint8_t status, const M797Related& r) {
  const auto tsf =
      static_cast<std::uint8_t>(std::clamp<long>(std::lround(r.tsfSeconds / 0.2), 0, 255));
  out.insert(out.end(), {status, r.faultType, r.state, r.flc, tsf, r.hlc, r.dlc, r.hz});
  const Scale s1 = ScaleAt(kM797Scales, r.value1), s2 = ScaleAt(kM797Scales, r.value2);
  for (const auto& sample : r.samples) {
    if (!sample) {
      out.insert(out.end(), 5, 0xFF);
      continue;
    }
    out.push_back(Raw8(sample->value1, s1));
    out.push_back(Raw8(sample->value2, s2));
    out.push_back(0);
    PutLowFirst(out, sample->runTime);
  }
}

void AppendRelated(Bytes& out, std::uint8_t status, const M10Related& r) {
  out.insert(out.end(), {status, r.flagsA, r.flagsB, r.stability, r.counter});
  out.insert(out.end(), 6, 0);
  const Scale s1 = ScaleAt(kM10Scales, r.value1), s2 = ScaleAt(kM10Scales, r.value2);
  for (const auto& sample : r.samples) {
    if (!sample) {
      out.insert(out.end(), 6, 0xFF);
      continue;
    }
    PutLowFirst(out, Raw16(sample->value1, s1));
    PutLowFirst(out, Raw16(sample->value2, s2));
    PutLowFirst(out, sample->runTime);
  }
}

// MP7.0 puts its topical fault type where the others repeat the status byte.
void AppendRelated(Bytes& out, std::uint8_t, const Mp70Related& r) {
  out.insert(out.end(), {r.topical, r.debounced, r.flc, r.tsf, r.hlc, r.dlc, r.hz});
  // Coolant, engine speed, battery at the first occurrence, then at the latest: the ambient
  // conditions 1-1, 2-1, 3-1, 1-2, 2-2, 3-2.
  constexpr Scale kCoolant{0.75, -48}, kRpm{40, 0}, kBattery{0.0943, 0};
  for (const Mp70Conditions* c : {&r.first, &r.latest}) {
    out.push_back(Raw8(c->coolant, kCoolant));
    out.push_back(Raw8(c->rpm, kRpm));
    out.push_back(Raw8(c->battery, kBattery));
  }
}

void AppendRelated(Bytes& out, std::uint8_t status, const EmurRelated& r) {
  out.insert(out.end(), {status, 0, 0, r.force, r.speed, Raw8(r.rpm, {40, 0}), r.occurrences,
                         r.timeToIgnitionOff, r.drivingCycles});
}

// The controllers without extended fault data know only the status.
void AppendRelated(Bytes& out, std::uint8_t status, std::monostate) {
  out.push_back(status);
}

}  // namespace

Bytes RelatedInformationAnswer(const KwpFault& fault) {
  Bytes out{0x57, 0x01, static_cast<std::uint8_t>(fault.code >> 8),
            static_cast<std::uint8_t>(fault.code & 0xFF)};
  std::visit([&](const auto& related) { AppendRelated(out, fault.status, related); },
             fault.related);
  return out;
}

Bytes FreezeFrameAnswer(std::uint8_t frameNumber, const FreezeFrame& f) {
  return {0x52,
          frameNumber,
          static_cast<std::uint8_t>(f.loopFlags & 0x1F),
          0,
          Raw8(f.loadPercent, {100.0 / 256, 0}),
          Raw8(f.coolant, {1, -40}),
          f.controlOutput,
          f.adaptation,
          0,
          0,
          0,
          Raw8(f.rpm, {40, 0}),
          Raw8(f.speed, {1, 0})};
}

}  // namespace kd::sim
