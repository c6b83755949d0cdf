// The car's generic OBD side on CAN (ISO 15765-4), as the simulated ELM327 reaches it: the same
// engine controller as on the K-line at 7E8 (18 DA F1 10), answering in the CAN forms of
// ISO 15031-5 — all stored or pending codes in one message behind their count, the VIN and the
// calibration identifier whole — and a second unit at 7E9 (18 DA F1 18) that answers only the
// supported-PID question and keeps one stored code. Mode 05 does not exist on CAN.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/obd_unit.h"
#include "sim/sim_bytes.h"

namespace kd::sim {

struct CanAnswer {
  std::uint8_t unit = 0;  // the unit's number: 0 the engine controller (7E8), 1 the second (7E9)
  Bytes data;             // the ISO-TP payload: SID + 40 and data, or 7F SID code
};

class CanObd {
 public:
  // Codes the engine controller keeps on CAN beyond those it shows on the K-line, so that a code
  // list needs more than one K-line message; a clear removes them for good.
  static constexpr std::uint16_t kMoreStored[] = {0x0102, 0x0201, 0x0301, 0x0335};
  static constexpr std::uint16_t kSecondUnitCode = 0x0500;

  explicit CanObd(ObdUnit& engine) : engine_(engine) {}

  // The answers of every unit to one functional request, lowest identifier first.
  std::vector<CanAnswer> Answer(const Bytes& service, std::int64_t nowMs);

 private:
  std::optional<Bytes> Engine(const Bytes& service, std::int64_t nowMs);
  std::optional<Bytes> Second(const Bytes& service);

  ObdUnit& engine_;
  bool moreCleared_ = false;
  bool secondCleared_ = false;
};

}  // namespace kd::sim
