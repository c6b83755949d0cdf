// What an actuator test does to a simulated controller: the outputs it forces (pump and fans show
// in the live data where the record has their flag), the values it sets, and the answers of each
// family: InputOutputControlByLocalIdentifier (70), the MP7.0 routines (71, 72), the bit masks
// of January 4.1 and Mikas, GM's mode 4.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "sim/engine_model.h"
#include "sim/sim_bytes.h"

namespace kd::sim {

class ActuatorOutputs {
 public:
  explicit ActuatorOutputs(std::uint32_t type) : type_(type) {}

  // Service bytes of the positive answer, or the negative response code.
  struct Answer {
    Bytes service;
    std::optional<std::uint8_t> refused;
  };
  // 30 code option [value].
  Answer IoControl(const Bytes& service, const EngineState& s);
  // 31 10 code a b and 32 10 code a b.
  Answer Routine(const Bytes& service);
  // 62 a m a+1 m: the answer is the two cells as they now stand.
  std::optional<Bytes> MaskWrite(const Bytes& message);
  // Mode 4 with its ten data bytes: the answer has no data.
  std::optional<Bytes> GmMode4(const Bytes& data);

  // Overrides what the car would show with what the tests force.
  void Apply(EngineState& s) const;

 private:
  std::uint32_t type_;
  // Forced outputs by InputOutputControl code (or routine code), with their value.
  std::map<std::uint8_t, std::uint8_t> forced_;
  std::map<std::uint8_t, std::uint8_t> cells_;
};

}  // namespace kd::sim
