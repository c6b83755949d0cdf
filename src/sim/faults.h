// What can go wrong between the program and the car, switched on per run. Each fault stays on
// until it is cleared; several can be on at once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kd::sim {

enum class Fault : std::uint8_t {
  Silence,          // the controller does not answer (the adapter still echoes)
  Garbage,          // random bytes instead of the answer; parameter: how many (0: 12)
  BadChecksum,      // the answer's checksum is one off
  Negative,         // every request is refused: 7F SID code; parameter: the code (0: 0x22)
  ResponsePending,  // 7F SID 78 in front of the answer, in the same read; parameter: how many (0:
                    // 1)
  LateReply,        // the answer arrives one read later than it should
  Unplugged,        // no adapter: opening, reading and writing fail until the fault is cleared
};

inline constexpr std::size_t kFaultCount = 7;

class FaultSet {
 public:
  void Set(Fault f, int parameter = 0) { slots_[Index(f)] = {true, parameter}; }
  void Clear(Fault f) { slots_[Index(f)] = {}; }
  void ClearAll() { slots_ = {}; }
  bool On(Fault f) const { return slots_[Index(f)].on; }
  // The parameter the fault was switched on with, or `fallback` when that was 0.
  int Parameter(Fault f, int fallback) const {
    const int p = slots_[Index(f)].parameter;
    return p != 0 ? p : fallback;
  }

 private:
  struct Slot {
    bool on = false;
    int parameter = 0;
  };
  static std::size_t Index(Fault f) { return static_cast<std::size_t>(f); }
  std::array<Slot, kFaultCount> slots_{};
};

// The names the command line uses: silence, garbage, bad-checksum, negative, pending, late,
// unplugged.
std::string_view FaultName(Fault f);
std::optional<Fault> FaultByName(std::string_view name);

}  // namespace kd::sim
