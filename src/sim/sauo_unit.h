// The climate-control unit (SAUO) at address B1: StartCommunication without the wake-up pattern,
// fault codes with ISO 14230 status bytes that a clear removes, identification, and a parameter
// record whose inputs live (the cabin sensor, the flap motor running to the setpoint, a cooling
// evaporator) and whose outputs follow the commands.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/kwp_unit.h"

namespace kd::sim {

inline constexpr std::uint8_t kClimateAddress = 0xB1;

class SauoUnit : public KwpUnit {
 public:
  struct Code {
    std::uint16_t code;
    std::uint8_t status;
  };

  SauoUnit();
  const std::vector<Code>& Codes() const { return codes_; }
  bool Aspirator() const { return aspirator_; }
  bool HeaterFan() const { return heaterFan_; }

 protected:
  std::optional<Bytes> Answer(const Bytes& service, std::int64_t nowMs) override;

 private:
  Bytes Parameters(std::int64_t nowMs);

  std::vector<Code> codes_;
  bool aspirator_ = true;
  bool heaterFan_ = false;
  // Flap feedback (the ДПВ value) and the time it was last moved.
  int flap_ = 420;
  std::int64_t lastMs_ = 0;
};

}  // namespace kd::sim
