#include "sim/sauo_unit.h"

#include <algorithm>

namespace kd::sim {

namespace {

// The flap runs towards the setpoint's feedback value at this many counts per second.
constexpr int kFlapSpeed = 40;
constexpr int kSetpoint = 9;  // the temperature knob, 0..15

int FlapTarget(std::int64_t nowMs) {
  // The driver turns the knob now and then: warm, then cool.
  return (nowMs / 30000) % 2 == 0 ? 780 : 260;
}

}  // namespace

SauoUnit::SauoUnit() : KwpUnit(kClimateAddress) {
  // The evaporator sensor lost its signal once (stored, not active), and the flap motor circuit
  // is open now, with the lamp lit.
  codes_ = {{0x1375, 0x24}, {0x1413, 0xE4}};
}

Bytes SauoUnit::Parameters(std::int64_t nowMs) {
  const int target = FlapTarget(nowMs);
  const int step = static_cast<int>(std::max<std::int64_t>(0, nowMs - lastMs_) * kFlapSpeed / 1000);
  lastMs_ = nowMs;
  const int before = flap_;
  if (flap_ < target) flap_ = std::min(target, flap_ + step);
  if (flap_ > target) flap_ = std::max(target, flap_ - step);
  const bool opening = flap_ > before, closing = flap_ < before;

  std::uint8_t outputs = static_cast<std::uint8_t>(kSetpoint << 4);
  if (aspirator_) outputs |= 0x01;
  if (opening) outputs |= 0x02;
  if (closing) outputs |= 0x04;
  if (heaterFan_) outputs |= 0x08;

  std::uint8_t flags = 0;
  if (aspirator_) flags |= 0x01;
  if (!opening && !closing) flags |= 0x20;
  if (closing) flags |= 0x40;

  // Cabin sensor resistance wanders around 1850; the unit sends it plus 50 in 7-bit halves.
  const int cabin = 1850 + static_cast<int>((nowMs / 700) % 40) - 20 + 50;
  // The evaporator cools from 25.1 degrees towards 4.0 while the compressor runs, in tenths.
  const int evaporator = std::max(40, 251 - static_cast<int>(nowMs / 500));
  const std::uint8_t air = static_cast<std::uint8_t>(0x01 | 0x04 | 0x20);
  return {0x61,
          0x01,
          outputs,
          flags,
          static_cast<std::uint8_t>(cabin % 128),
          static_cast<std::uint8_t>(cabin / 128),
          static_cast<std::uint8_t>(flap_ % 128),
          static_cast<std::uint8_t>(flap_ / 128),
          static_cast<std::uint8_t>(evaporator & 0xFF),
          static_cast<std::uint8_t>(evaporator >> 8),
          air};
}

std::optional<Bytes> SauoUnit::Answer(const Bytes& s, std::int64_t nowMs) {
  const std::uint8_t sid = s[0];
  const auto at = [&](std::size_t i) -> std::uint8_t { return i < s.size() ? s[i] : 0; };
  switch (sid) {
    case 0x81:
      return Bytes{0xC1, 0xEF, 0x8F};
    case 0x18: {
      Bytes a{0x58, static_cast<std::uint8_t>(codes_.size())};
      for (const Code& c : codes_) {
        a.push_back(static_cast<std::uint8_t>(c.code >> 8));
        a.push_back(static_cast<std::uint8_t>(c.code & 0xFF));
        a.push_back(c.status);
      }
      return a;
    }
    case 0x14:
      codes_.clear();
      return Bytes{0x54};
    case 0x1A:
      if (at(1) != 0x80) return Refuse(sid, kRequestOutOfRange);
      // Cheboksary design, Kaluga make, a 1118 unit; software of March 2007, version 21.
      return Bytes{0x5A, 0x80, 0x21, 0x40, 0xB5, 0x07, 0x03, 0x21};
    case 0x21:
      if (at(1) != 0x01) return Refuse(sid, kRequestOutOfRange);
      return Parameters(nowMs);
    case 0x30: {
      const std::uint8_t id = at(1), control = at(2);
      if (control != 0x06 || s.size() != 4) return Refuse(sid, kInvalidFormat);
      switch (id) {
        case 0x57:
          // The unit's reset: outputs back to their power-on states.
          aspirator_ = true;
          heaterFan_ = false;
          break;
        case 0x81:
          aspirator_ = s[3] != 0;
          break;
        case 0x61:
          heaterFan_ = s[3] != 0;
          break;
        default:
          return Refuse(sid, kRequestOutOfRange);
      }
      return Bytes{0x70, id, control, s[3]};
    }
    default:
      return Refuse(sid, kServiceNotSupported);
  }
}

}  // namespace kd::sim
