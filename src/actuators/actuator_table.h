// The actuators each controller type can drive, as ControlBox lists them, with what a request
// needs of each: a code and kind (KWP2000), complete start and stop requests (MP7.0 family), an
// address and bit mask (January 4.1, Mikas), the data of the mode-4 frame (GM).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kd::actuators {

// Kinds of a row.
inline constexpr std::uint8_t kOnOff = 6;
inline constexpr std::uint8_t kValue = 7;
inline constexpr std::uint8_t kValue256 = 8;  // 1/256 steps, signed (the CO trim)
inline constexpr std::uint8_t kRoutine = 16;

struct ActuatorRow {
  std::string_view name;
  std::uint8_t code = 0;
  std::uint8_t kind = kOnOff;
  // MP7.0 family: complete requests, service identifier first.
  std::array<std::uint8_t, 5> onRequest{};
  std::array<std::uint8_t, 5> offRequest{};
  // January 4.1 and Mikas.
  std::uint8_t address = 0;
  std::uint8_t mask = 0;
  // GM: control mode, the ten data bytes for on and for off, and for modes 3..6 a frame byte
  // position and value the on command puts over its data.
  std::uint8_t gmMode = 0;
  std::array<std::uint8_t, 10> gmOn{};
  std::array<std::uint8_t, 10> gmOff{};
  std::uint8_t gmPosition = 0;
  std::uint8_t gmValue = 0;
};

// The type's rows; ActuatorCount of them (codes outside 1..11 get type 1's).
std::span<const ActuatorRow> ActuatorTable(std::uint32_t ecuType);

}  // namespace kd::actuators
