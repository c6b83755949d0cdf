#include "sim/immo_units.h"

namespace kd::sim {

namespace {

constexpr std::int64_t kKeyPhaseMs = 8000;
constexpr std::int64_t kDoorPhaseMs = 5000;
constexpr std::int64_t kBuzzerMs = 2000;

std::uint8_t Hi(std::uint16_t v) {
  return static_cast<std::uint8_t>(v >> 8);
}
std::uint8_t Lo(std::uint16_t v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}

}  // namespace

KeyInLock KeyAt(std::int64_t nowMs) {
  switch ((nowMs / kKeyPhaseMs) % 4) {
    case 2:
      return KeyInLock::Red;
    case 3:
      return KeyInLock::None;
    default:
      return KeyInLock::Black;
  }
}

bool DoorOpenAt(std::int64_t nowMs) {
  return (nowMs / kDoorPhaseMs) % 3 == 1;
}

void FitForWindow(ImmobilizerSlot& slot, std::string_view windowName) {
  if (windowName == "TForm3") slot.Fit(Immobilizer::Aps4);
  if (windowName == "TForm8") slot.Fit(Immobilizer::Aps6);
}

// ---- APS-4 ----

std::uint8_t Aps4Unit::Stages(std::int64_t nowMs) const {
  std::uint8_t b = 0;
  if (KeyAt(nowMs) != KeyInLock::None) b |= 0x01;
  if (DoorOpenAt(nowMs)) b |= 0x02;
  if (led_) b |= 0x10;
  if (lamp_) b |= 0x20;
  if (nowMs < buzzerUntilMs_) b |= 0x40;
  return b;
}

std::optional<Bytes> Aps4Unit::Answer(const Bytes& s, std::int64_t nowMs) {
  const std::uint8_t sid = s[0];
  const auto at = [&](std::size_t i) -> std::uint8_t { return i < s.size() ? s[i] : 0; };
  switch (sid) {
    case 0x1A:
      // Circuit state and software version.
      return Bytes{0x5A, at(1), 0x07, 0x00, 0x23};
    case 0x18: {
      const std::uint8_t count =
          static_cast<std::uint8_t>((eeprom_ != 0) + (link_ != 0) + (transponder_ != 0));
      return Bytes{0x58,  count, 0x00,         eeprom_, 0x00,
                   link_, 0x00,  transponder_, 0x00,    Stages(nowMs)};
    }
    case 0x14:
      eeprom_ = link_ = transponder_ = 0;
      return Bytes{0x54};
    case 0x21:
      switch (at(1)) {
        case 0x23: {
          // Two keys learnt; disarmed while a learnt key is in the lock, armed otherwise.
          const std::uint8_t state = 0x60 | (KeyAt(nowMs) == KeyInLock::None ? 0x02 : 0x04);
          return Bytes{0x61, 0x23, state};
        }
        case 0x53:
          return Bytes{0x61, 0x53, Hi(kImmoCode), Lo(kImmoCode)};
        case 0x54:
          return Bytes{0x61, 0x54, Hi(kRedKeyCode), Lo(kRedKeyCode)};
        default:
          return Refuse(sid, kRequestOutOfRange);
      }
    case 0x30: {
      const std::uint8_t id = at(1), control = at(2);
      if (control == 0x01) {
        switch (id) {
          case 0x80:
            return Bytes{0x70, id, control, static_cast<std::uint8_t>(DoorOpenAt(nowMs))};
          case 0x61:
            return Bytes{0x70, id, control, led_};
          case 0x81:
            return Bytes{0x70, id, control, lamp_};
          case 0x56: {
            std::uint8_t type = 0x00;
            if (KeyAt(nowMs) == KeyInLock::Black) type = 0x11;
            if (KeyAt(nowMs) == KeyInLock::Red) type = 0x18;
            return Bytes{0x70, id, control, type};
          }
          default:
            return Refuse(sid, kRequestOutOfRange);
        }
      }
      if (control == 0x06 && s.size() == 4) {
        const std::uint8_t state = s[3];
        switch (id) {
          case 0x57:
            buzzerUntilMs_ = nowMs + kBuzzerMs;
            break;
          case 0x61:
            led_ = state ? 1 : 0;
            break;
          case 0x81:
            lamp_ = state ? 1 : 0;
            break;
          default:
            return Refuse(sid, kRequestOutOfRange);
        }
        return Bytes{0x70, id, control, state};
      }
      return Refuse(sid, kInvalidFormat);
    }
    default:
      return Refuse(sid, kServiceNotSupported);
  }
}

// ---- APS-6 ----

namespace {

constexpr std::uint8_t kAps6Outputs[] = {0x52, 0x53, 0x57, 0x61, 0x75, 0x70, 0xA1};

}  // namespace

Aps6Unit::Aps6Unit() : KwpUnit(kImmobilizerAddress) {
  for (std::uint8_t id : kAps6Outputs) outputs_[id] = 0;
  // The K/W line relay stands switched to the diagnostic line.
  outputs_[0x53] = 1;
}

std::uint8_t Aps6Unit::Output(std::uint8_t id) const {
  const auto it = outputs_.find(id);
  return it == outputs_.end() ? 0 : it->second;
}

std::optional<std::uint8_t> Aps6Unit::Input(std::uint8_t id, std::int64_t nowMs) const {
  const bool key = KeyAt(nowMs) != KeyInLock::None;
  switch (id) {
    case 0x65:
      return DoorOpenAt(nowMs) ? 1 : 0;
    case 0x64:
      return DoorOpenAt(nowMs + 2 * kDoorPhaseMs) ? 1 : 0;
    case 0x51:
      return key && (nowMs / 10000) % 2 == 1 ? 1 : 0;
    case 0x54:
      return 0;
    case 0x62:
      return 1;
    case 0x50:
      return 0;
    case 0x66:
      return key ? 1 : 0;
    case 0x67:
      return key ? 1 : 0;
    default:
      return std::nullopt;
  }
}

std::optional<Bytes> Aps6Unit::Answer(const Bytes& s, std::int64_t nowMs) {
  const std::uint8_t sid = s[0];
  const auto at = [&](std::size_t i) -> std::uint8_t { return i < s.size() ? s[i] : 0; };
  const KeyInLock key = KeyAt(nowMs);
  switch (sid) {
    case 0x1A:
      if (at(1) == 0x80) return Bytes{0x5A, 0x80, 3, 0, 12, 5, 7};
      // "APS6-01" in ASCII.
      if (at(1) == 0x93) return Bytes{0x5A, 0x93, 0x41, 0x50, 0x53, 0x36, 0x2D, 0x30, 0x31};
      return Refuse(sid, kRequestOutOfRange);
    case 0x18: {
      const std::uint8_t current = key == KeyInLock::None ? 0x40 : 0x00;
      const std::uint8_t count =
          static_cast<std::uint8_t>((dtcStat0_ != 0) + (current != 0) + (dtcStat2_ != 0));
      return Bytes{0x58, count, 0x00, dtcStat0_, current, dtcStat2_, 0x00, 0x00};
    }
    case 0x14:
      dtcStat0_ = dtcStat2_ = 0;
      return Bytes{0x54};
    case 0x21:
      switch (at(1)) {
        case 0x23: {
          std::uint8_t stat0 = 0x41;
          if (key == KeyInLock::Black) stat0 |= 0x04;
          return Bytes{0x61, 0x23, stat0};
        }
        case 0x53:
          return Bytes{0x61, 0x53, Hi(kImmoCode), Lo(kImmoCode)};
        case 0x54:
          switch (key) {
            case KeyInLock::Black:
              return Bytes{0x61, 0x54, 0x04, Hi(kPassword), Lo(kPassword), 0x0A, 0x3F, 0x77, 0xC2};
            case KeyInLock::Red:
              return Bytes{0x61, 0x54, 0x00, Hi(kPassword), Lo(kPassword), 0x01, 0x55, 0x20, 0x8B};
            case KeyInLock::None:
              return Bytes{0x61, 0x54, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
          }
          break;
        default:
          return Refuse(sid, kRequestOutOfRange);
      }
      break;
    case 0x30: {
      const std::uint8_t id = at(1), control = at(2);
      const bool isOutput = outputs_.contains(id);
      if (control == 0x01) {
        if (isOutput) return Bytes{0x70, id, control, outputs_[id]};
        if (auto state = Input(id, nowMs)) return Bytes{0x70, id, control, *state};
        return Refuse(sid, kRequestOutOfRange);
      }
      if (control == 0x06 && s.size() == 4) {
        if (!isOutput) return Refuse(sid, kRequestOutOfRange);
        outputs_[id] = s[3] ? 1 : 0;
        return Bytes{0x70, id, control, outputs_[id]};
      }
      return Refuse(sid, kInvalidFormat);
    }
    default:
      break;
  }
  return Refuse(sid, kServiceNotSupported);
}

}  // namespace kd::sim
