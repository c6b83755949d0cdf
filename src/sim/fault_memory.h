// What each controller remembers of the car's faults, and how it tells about them. The codes,
// their status bytes and what was recorded with them are the simulator's own picture of a used
// car of each type; the byte layouts are those of the replies the fault page reads, written here
// from the layouts and never from the program's decoders.
//
// A fault either is still there (the controller stores it again a few seconds after a clear) or
// belongs to the past (a clear removes it for good). Whether a fault is stored is a pure function
// of the time since it was last cleared, as everything else the car reports is of its age.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "sim/sim_bytes.h"

namespace kd::sim {

// How long a fault that is still there must be seen again before it is stored anew.
inline constexpr std::int64_t kRedetectMs = 5000;

// ---- What is recorded with a KWP2000 code ----

// One recording of the two related values and the engine's run time then (seconds after start).
// Values are physical; the controller's own scale turns them into bytes.
struct RelatedSample {
  double value1 = 0;
  double value2 = 0;
  std::uint16_t runTime = 0;
};

// M7.9.7: up to four recordings of one byte per value. `value1`/`value2` name the related
// quantities (the controller's numbering of what it records, 0..12).
struct M797Related {
  std::uint8_t value1 = 0, value2 = 0;
  std::uint8_t faultType = 0;  // bits 0-3 the type now, 4-7 the type when first seen
  std::uint8_t state = 0;      // confirmed, FLC at zero, MIL on / blinking, recurring
  std::uint8_t flc = 0;        // MIL-on debouncing
  double tsfSeconds = 0;       // fault time in this driving cycle
  std::uint8_t hlc = 0, dlc = 0, hz = 0;
  std::array<std::optional<RelatedSample>, 4> samples{};
};

// M10: up to three recordings of two bytes per value (0..9 name the quantities).
struct M10Related {
  std::uint8_t value1 = 0, value2 = 0;
  std::uint8_t flagsA = 0;     // frame stored (bit 2), storage state, MIL
  std::uint8_t flagsB = 0;     // cycle bits, MIL counter in bits 4-5, stable fault
  std::uint8_t stability = 0;  // counts towards a stable fault
  std::uint8_t counter = 0;    // healing counter with a stored frame, intermittent counter without
  std::array<std::optional<RelatedSample>, 3> samples{};
};

// MP7.0 and MP7.0 Euro-3 record the conditions at the first and at the latest occurrence.
struct Mp70Conditions {
  double coolant = 0;  // °C
  double rpm = 0;
  double battery = 0;  // V
};
struct Mp70Related {
  std::uint8_t topical = 0;    // error and cycle bits of this cycle, and of the service test
  std::uint8_t debounced = 0;  // fault types now (0-3) and initially (4-7)
  std::uint8_t flc = 0, tsf = 0, hlc = 0, dlc = 0, hz = 0;
  Mp70Conditions first, latest;
};

// EMUR: what the steering unit saw at the occurrence, and how often it came.
struct EmurRelated {
  std::uint8_t force = 0;  // torque sensor, N·m
  std::uint8_t speed = 0;  // km/h
  double rpm = 0;
  std::uint8_t occurrences = 0;
  std::uint8_t timeToIgnitionOff = 0;  // minutes the fault stayed until the ignition went off
  std::uint8_t drivingCycles = 0;      // since the occurrence
};

// The engine at the moment the code was stored.
struct FreezeFrame {
  std::uint8_t loopFlags = 0;  // air/fuel loop state, bits 0-4
  double loadPercent = 0;
  double coolant = 0;                 // °C
  std::uint8_t controlOutput = 0x80;  // FRZ_FR, 0x80 = no correction
  std::uint8_t adaptation = 0x80;     // FRA, 0x80 = no adaptation
  double rpm = 0;
  double speed = 0;  // km/h
};

using RelatedInformation =
    std::variant<std::monostate, M797Related, M10Related, Mp70Related, EmurRelated>;

struct KwpFault {
  std::uint16_t code = 0;   // SAE J2012: P0335 is 0x0335, C1012 is 0x5012
  std::uint8_t status = 0;  // statusOfDTC (ISO 14230-3)
  bool stillThere = false;  // comes back after a clear
  // Types 1, 2, 9: the bit of the present-fault map that stands for the code; -1 for none.
  int presentBit = -1;
  RelatedInformation related;
  std::optional<FreezeFrame> freeze;
};

// ---- Row-keyed memories: January 4.1 and GM ----

struct RowFault {
  std::uint8_t row = 0;
  std::uint8_t counter = 0;  // above 0x80: stored
  bool present = false;
};

// The faults a type's controller holds when the car comes in; empty for the types that keep
// another kind of memory (or none, Mikas).
std::span<const KwpFault> KwpFaultsOf(std::uint32_t type);
std::span<const RowFault> RowFaultsOf(std::uint32_t type);
// Rows of the row-keyed memories: 32 on January 4.1, 56 on GM, 0 elsewhere.
std::size_t FaultRowsOf(std::uint32_t type);

// ISO 14230-3 groups of codes: FF00 all, 0000 powertrain, 4000 chassis, 8000 body, C000 network.
bool IsCodeGroup(std::uint16_t group);
bool InCodeGroup(std::uint16_t code, std::uint16_t group);

// What a controller's own records show of its memory (counts, the lamp, the present-fault map).
struct FaultIndication {
  int storedCodes = 0;
  bool lamp = false;
  std::uint64_t presentMap = 0;  // bit k: row k of the type's fault table is present now
  std::uint64_t storedMap = 0;   // bit k: row k is stored (GM)
};

class FaultMemory {
 public:
  explicit FaultMemory(std::uint32_t type);

  std::uint32_t Type() const { return type_; }

  // KWP2000 codes in the order they were stored, of one group.
  std::vector<const KwpFault*> StoredCodes(std::uint16_t group, std::int64_t nowMs) const;
  const KwpFault* StoredCode(std::uint16_t code, std::int64_t nowMs) const;
  void ClearCodes(std::uint16_t group, std::int64_t nowMs);

  // Row-keyed memories: the counter of a row (0 outside the table), whether its fault is there
  // now, and a write of the whole counter block (a clear writes zeros).
  std::uint8_t Counter(std::size_t row, std::int64_t nowMs) const;
  bool Present(std::size_t row) const;
  void WriteCounters(const Bytes& block, std::int64_t nowMs);

  FaultIndication Indication(std::int64_t nowMs) const;

 private:
  struct Slot {
    const KwpFault* fault;
    std::optional<std::int64_t> clearedAtMs;
  };
  static bool Stored(const Slot& slot, std::int64_t nowMs);

  std::uint32_t type_;
  std::vector<Slot> codes_;
  std::vector<std::uint8_t> counters_;
  std::vector<bool> present_;
  std::optional<std::int64_t> countersWrittenAtMs_;
};

// ---- The replies, service identifier first ----

// 58 n, then code high, code low, status for each code.
Bytes StoredCodesAnswer(std::span<const KwpFault* const> codes);
// 57 01 code, then the related information in the layout of the code's family (the types
// without extended fault data: the status byte alone).
Bytes RelatedInformationAnswer(const KwpFault& fault);
// 52, the frame number, then the freeze frame's 13-byte layout.
Bytes FreezeFrameAnswer(std::uint8_t frameNumber, const FreezeFrame& frame);

}  // namespace kd::sim
