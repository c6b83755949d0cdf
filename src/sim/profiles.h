// The simulator's own table of how each controller type behaves on the line. It is kept apart
// from the program's catalogue traits on purpose: the program and the simulator each state what
// they believe, so a mistake on one side is not copied to the other.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kd::sim {

struct SimProfile {
  // KWP2000 addresses the controller answers to.
  std::vector<std::uint8_t> addresses{};
  // TesterPresent alone opens and keeps the session (the program never starts one for these).
  bool testerPresentOpens = false;
  // The 61 01 answer comes with a length byte (long header).
  bool dataLongForm = true;
  // Two-byte live values high byte first.
  bool highByteFirst = false;
  // The present-fault map rides in record bytes 4..7 behind the local identifier.
  bool presentMapInRecord = false;
  // Keeps freeze frames (readFreezeFrameData).
  bool freezeFrames = false;
  // Answers local identifiers 02 and A0..A3, with these equipment and immobilizer bytes.
  bool equipmentRecords = false;
  std::array<std::uint8_t, 2> equipment{};
  std::array<std::uint8_t, 4> immobilizer{};
  // Escaped frames: the cell no parameter row asks for, and the byte it answers.
  std::optional<std::uint8_t> equipmentCell{};
  std::uint8_t equipmentCellValue = 0;
  // Escaped frames: the fault cells (present map and counters) are served.
  bool faultCells = false;
  // Rows of the fault table that the controller reports as bit maps (0: codes instead).
  std::size_t faultRows = 0;
  // Actuators are tests run as routines (31 start, 32 stop) instead of InputOutputControl.
  bool actuatorRoutines = false;
  // Code 0D of InputOutputControl is the second fan (elsewhere the canister valve).
  bool secondFan = false;
  // The state of the idle actuators is reported as the current value alone.
  bool currentOnlyState = false;
};

// Codes outside 1..11 answer with type 1's profile.
const SimProfile& SimProfileOf(std::uint32_t type);

}  // namespace kd::sim
