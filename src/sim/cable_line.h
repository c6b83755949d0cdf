// The K-line as a plain cable sees it: no adapter in between, the program drives the line
// itself. Every byte it sends comes straight back (the line is one wire); the controllers hear
// KWP2000 frames at 10,400 baud, woken by the fast-initialisation pulse (a zero byte at 360 baud,
// nine low bit times), the ISO 9141 unit hears its 5-baud address (the line held at 5 baud for
// the length of the pattern, the sign a pseudo-terminal can carry), and escaped and GM frames
// pass at 9600 and 8192 baud as before. Bytes at any other rate reach nobody.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "sim/simulated_port.h"

namespace kd::sim {

class CableLine {
 public:
  // Timing of the units, in milliseconds.
  static constexpr std::int64_t kP2Ms = 25;      // a KWP2000 answer after the request
  static constexpr std::int64_t kBareGapMs = 5;  // a gap this long ends a bare frame
  // ISO 9141-2 frames carry no length: a gap longer than the tester's P4 ends one.
  static constexpr std::int64_t kIso9141GapMs = 15;
  static constexpr std::int64_t kW1Ms = 60;       // the sync byte after the 5-baud address
  static constexpr std::int64_t kKeyGapMs = 6;    // between the sync and key bytes
  static constexpr std::int64_t kW4Ms = 30;       // the unit's closing byte
  static constexpr std::int64_t kLateMs = 450;    // the late-answer fault
  static constexpr std::uint8_t kKeyByte = 0x08;  // ISO 9141-2 key bytes 08 08

  explicit CableLine(SimulatedPort& car) : car_(car) {}

  // Bytes the program wrote, at the rate the line was set to when they came.
  void Heard(const Bytes& bytes, int baud, std::int64_t nowMs);
  // The rate the program set, looked at between bytes.
  void Rate(int baud, std::int64_t nowMs);
  // Ends a bare frame once the line has been quiet long enough.
  void Step(std::int64_t nowMs);
  // What the line carries back by `nowMs`.
  Bytes Due(std::int64_t nowMs);
  // When the next bytes are due, if any wait.
  std::optional<std::int64_t> NextDue() const;

 private:
  void Send(std::int64_t atMs, const Bytes& bytes);
  void HearKwp(std::uint8_t byte, std::int64_t nowMs);

  SimulatedPort& car_;
  std::multimap<std::int64_t, Bytes> out_;
  Bytes kwp_;
  bool wakeUp_ = false;
  Bytes iso_;
  std::int64_t lastIsoMs_ = 0;
  Bytes bare_;
  int bareBaud_ = 0;
  std::int64_t lastBareMs_ = 0;
  std::optional<std::int64_t> slowSince_;
  std::optional<std::uint8_t> closing_;  // the unit waits for the complement of its key byte
};

}  // namespace kd::sim
