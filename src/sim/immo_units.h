// The two immobilizers a car may carry at address C0: the APS-4 and the APS-6. Both keep stored
// errors that a clear removes, learnt keys, a key in the lock that changes as the driver takes
// it out and puts another in, a door switch that opens and closes, and outputs that follow the
// commands.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>

#include "sim/kwp_unit.h"

namespace kd::sim {

inline constexpr std::uint8_t kImmobilizerAddress = 0xC0;

// What the driver does while the car stands in the workshop, by time: the door opens and
// closes, the key in the lock changes.
enum class KeyInLock { Black, Red, None };
KeyInLock KeyAt(std::int64_t nowMs);
bool DoorOpenAt(std::int64_t nowMs);

class Aps4Unit : public KwpUnit {
 public:
  static constexpr std::uint16_t kImmoCode = 0x3A7C;
  static constexpr std::uint16_t kRedKeyCode = 0x51E2;

  Aps4Unit() : KwpUnit(kImmobilizerAddress) {}
  std::uint8_t Lamp() const { return lamp_; }
  std::uint8_t Led() const { return led_; }
  bool HasStoredErrors() const { return eeprom_ || link_ || transponder_; }

 protected:
  std::optional<Bytes> Answer(const Bytes& service, std::int64_t nowMs) override;

 private:
  std::uint8_t Stages(std::int64_t nowMs) const;

  std::uint8_t eeprom_ = 0x00;
  // Stored when the car came in: the engine controller refused to start with the immobilizer
  // disarmed, and the antenna circuit was broken once.
  std::uint8_t link_ = 0x04;
  std::uint8_t transponder_ = 0x02;
  std::uint8_t lamp_ = 0;
  std::uint8_t led_ = 0;
  std::int64_t buzzerUntilMs_ = 0;
};

class Aps6Unit : public KwpUnit {
 public:
  static constexpr std::uint16_t kImmoCode = 0x5C21;
  static constexpr std::uint16_t kPassword = 0x9E13;

  Aps6Unit();
  // Outputs by identifier, 0 or 1.
  std::uint8_t Output(std::uint8_t id) const;
  bool HasStoredErrors() const { return dtcStat0_ || dtcStat2_; }

 protected:
  std::optional<Bytes> Answer(const Bytes& service, std::int64_t nowMs) override;

 private:
  std::optional<std::uint8_t> Input(std::uint8_t id, std::int64_t nowMs) const;

  // Stored: a start without a transponder in the lock, and an antenna fault while the first
  // password byte was read.
  std::uint8_t dtcStat0_ = 0x40;
  std::uint8_t dtcStat2_ = 0x0A;
  std::map<std::uint8_t, std::uint8_t> outputs_;
};

enum class Immobilizer { Aps4, Aps6 };

// The immobilizer fitted to the car: one of the two answers at C0.
class ImmobilizerSlot : public Controller {
 public:
  void Fit(Immobilizer kind) { fitted_ = kind; }
  Immobilizer Fitted() const { return fitted_; }
  Aps4Unit& Aps4() { return aps4_; }
  Aps6Unit& Aps6() { return aps6_; }
  Bytes Hear(const Heard& heard, const Shaping& shaping) override {
    return fitted_ == Immobilizer::Aps4 ? aps4_.Hear(heard, shaping) : aps6_.Hear(heard, shaping);
  }

 private:
  Immobilizer fitted_ = Immobilizer::Aps6;
  Aps4Unit aps4_;
  Aps6Unit aps6_;
};

// The demo's car carries the immobilizer whose window the technician opens: TForm3 is the APS-4
// window, TForm8 the APS-6 one; other windows change nothing.
void FitForWindow(ImmobilizerSlot& slot, std::string_view windowName);

}  // namespace kd::sim
