// A unit behind the adapter that answers KWP2000 requests to its own address with short-header
// frames and keeps no session timing: the immobilizers and the climate unit. The line faults a
// run switches on shape its answers as they do the engine controllers'.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/controllers.h"

namespace kd::sim {

class KwpUnit : public Controller {
 public:
  explicit KwpUnit(std::uint8_t address) : address_(address) {}
  Bytes Hear(const Heard& heard, const Shaping& shaping) override;
  std::uint8_t Address() const { return address_; }

  static Bytes Refuse(std::uint8_t sid, std::uint8_t code) { return {0x7F, sid, code}; }
  static constexpr std::uint8_t kServiceNotSupported = 0x11;
  static constexpr std::uint8_t kInvalidFormat = 0x12;
  static constexpr std::uint8_t kRequestOutOfRange = 0x31;

 protected:
  // The answer's service bytes (positive, or 7F SID code); nothing: the unit keeps quiet.
  virtual std::optional<Bytes> Answer(const Bytes& service, std::int64_t nowMs) = 0;

 private:
  std::uint8_t address_;
};

}  // namespace kd::sim
