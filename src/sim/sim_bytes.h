// Byte strings as they travel on the line, the 8-bit sums the frames carry and the random source
// of the simulated car. Everything here wraps at 8 bits on purpose, as the controllers' own
// arithmetic does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kd::sim {

using Bytes = std::vector<std::uint8_t>;

inline std::uint8_t Add8(std::uint8_t a, unsigned b) {
  return static_cast<std::uint8_t>(a + b);
}

inline std::uint8_t Sum8(const std::uint8_t* data, std::size_t count) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum = Add8(sum, data[i]);
  return sum;
}

inline std::uint8_t Sum8(const Bytes& bytes) {
  return Sum8(bytes.data(), bytes.size());
}

// The byte that makes a message sum to zero.
inline std::uint8_t Complement8(std::uint8_t sum) {
  return static_cast<std::uint8_t>(0x100 - sum);
}

// A small generator with a fixed seed: the same run gives the same bytes every time, which is
// what tests and recorded scenarios need from "random" line noise.
class Rng {
 public:
  explicit Rng(std::uint32_t seed = 0x2545F491u) : state_(seed != 0 ? seed : 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint8_t NextByte() { return static_cast<std::uint8_t>(Next() >> 24); }

 private:
  std::uint32_t state_;
};

}  // namespace kd::sim
