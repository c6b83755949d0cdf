#include "sim/actuator_outputs.h"

#include <algorithm>
#include <cmath>

#include "sim/profiles.h"

namespace kd::sim {

namespace {

constexpr std::uint8_t kInvalidFormat = 0x12;
constexpr std::uint8_t kRequestOutOfRange = 0x31;

// InputOutputControl codes the engine controllers know: switched outputs and adjustments.
bool IsSwitchCode(std::uint8_t code) {
  return code >= 0x01 && code <= 0x10;
}
bool IsValueCode(std::uint8_t code) {
  return code == 0x41 || code == 0x42 || code == 0x43 || code == 0x44 || code == 0x61;
}
// Routine codes of the MP7.0 family.
bool IsRoutineCode(std::uint8_t code) {
  for (const int c : {0x17, 0x35, 0x16, 0x34, 0x01, 0x21, 0x03, 0x46, 0x23, 0x25, 0x06})
    if (c == code) return true;
  return false;
}

std::uint8_t Byte(double v) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

ActuatorOutputs::Answer ActuatorOutputs::IoControl(const Bytes& service, const EngineState& s) {
  const SimProfile& profile = SimProfileOf(type_);
  if (profile.actuatorRoutines) {
    // The idle-air valve is the one output these controllers drive by InputOutputControl.
    if (service.size() < 3) return {{}, kInvalidFormat};
    return {{0x70, service[1], service[2]}, std::nullopt};
  }
  if (service.size() < 3) return {{}, kInvalidFormat};
  const std::uint8_t code = service[1];
  const std::uint8_t option = service[2];
  if (!IsSwitchCode(code) && !IsValueCode(code)) return {{}, kRequestOutOfRange};
  const bool withValue = option == 6 || option == 7 || option == 8;
  if (service.size() != (withValue ? 4u : 3u)) return {{}, kInvalidFormat};
  EngineState shown = s;
  switch (option) {
    case 0:
      forced_.erase(code);
      return {{0x70, code, 0x00}, std::nullopt};
    case 6:
    case 7:
    case 8:
      forced_[code] = service[3];
      return {{0x70, code, option, service[3], service[3]}, std::nullopt};
    case 1:
      break;
    default:
      return {{}, kRequestOutOfRange};
  }
  Apply(shown);
  const auto it = forced_.find(code);
  if (IsSwitchCode(code)) {
    std::uint8_t state = it != forced_.end() && it->second != 0 ? 1 : 0;
    if (it == forced_.end()) {
      if (code == 0x09) state = shown.fuelPump;
      if (code == 0x0A) state = shown.fan1;
    }
    return {{0x70, code, 0x01, state}, std::nullopt};
  }
  const double steps = it != forced_.end() ? it->second : shown.idleSteps;
  switch (code) {
    case 0x41:
      if (profile.currentOnlyState) return {{0x70, code, 0x01, Byte(steps)}, std::nullopt};
      return {{0x70, code, 0x01, Byte(steps), Byte(shown.idleSteps)}, std::nullopt};
    case 0x42: {
      const double desired = it != forced_.end() ? it->second * 10.0 : shown.desiredIdleRpm;
      if (profile.currentOnlyState) return {{0x70, code, 0x01, Byte(shown.rpm / 10)}, std::nullopt};
      return {{0x70, code, 0x01, 0x00, 0x00, Byte(shown.rpm / 10), Byte(desired / 10)},
              std::nullopt};
    }
    case 0x43:
      return {{0x70, code, 0x01, Byte(it != forced_.end() ? it->second : shown.purge)},
              std::nullopt};
    default:
      return {{0x70, code, 0x01, it != forced_.end() ? it->second : std::uint8_t{0}}, std::nullopt};
  }
}

ActuatorOutputs::Answer ActuatorOutputs::Routine(const Bytes& service) {
  if (!SimProfileOf(type_).actuatorRoutines) return {{}, 0x11};
  if (service.size() != 5 || service[1] != 0x10) return {{}, kInvalidFormat};
  const std::uint8_t code = service[2];
  if (!IsRoutineCode(code)) return {{}, kRequestOutOfRange};
  if (service[0] == 0x31)
    forced_[code] = 1;
  else
    forced_.erase(code);
  return {{static_cast<std::uint8_t>(service[0] + 0x40), code}, std::nullopt};
}

std::optional<Bytes> ActuatorOutputs::MaskWrite(const Bytes& message) {
  if (message.size() != 5 || message[3] != static_cast<std::uint8_t>(message[1] + 1))
    return std::nullopt;
  cells_[message[1]] = message[2];
  cells_[message[3]] = message[4];
  return Bytes{message[2], message[4]};
}

std::optional<Bytes> ActuatorOutputs::GmMode4(const Bytes& data) {
  if (data.size() != 10) return std::nullopt;
  return Bytes{};
}

void ActuatorOutputs::Apply(EngineState& s) const {
  const SimProfile& profile = SimProfileOf(type_);
  const auto forced = [&](std::uint8_t code, bool& output) {
    if (const auto it = forced_.find(code); it != forced_.end()) output = it->second != 0;
  };
  if (profile.actuatorRoutines) {
    forced(0x03, s.fuelPump);
    forced(0x46, s.fan1);
    forced(0x06, s.fan2);
    return;
  }
  forced(0x09, s.fuelPump);
  forced(0x0A, s.fan1);
  if (profile.secondFan) forced(0x0D, s.fan2);
  if (const auto it = forced_.find(0x41); it != forced_.end()) s.idleSteps = it->second;
}

}  // namespace kd::sim
