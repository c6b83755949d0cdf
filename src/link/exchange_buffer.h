// The block every window exchanges bytes through, laid out exactly as the link defines it, and the
// bounds-safe access that every decoder uses on it: offsets come from replies and tables and are
// never trusted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kd::link {

inline constexpr std::size_t kAreaSize = 256;
inline constexpr std::size_t kReplyCopySize = 240;

struct ExchangeBuffer {
  std::uint8_t reserved = 0;
  // Changes meaning along the tick: the request's own length while a request is built, the count
  // to write minus 4 after framing, and the count written until the next framing.
  std::uint8_t dataLength = 0;
  std::uint8_t receiveArea[kAreaSize] = {};
  std::uint8_t transmitFrame[kAreaSize] = {};
};

static_assert(sizeof(ExchangeBuffer) == 514);
static_assert(offsetof(ExchangeBuffer, dataLength) == 1);
static_assert(offsetof(ExchangeBuffer, receiveArea) == 2);
static_assert(offsetof(ExchangeBuffer, transmitFrame) == 258);

using ReplyCopy = std::array<std::uint8_t, kReplyCopySize>;

// Reads past the end yield 0, writes past it are dropped.
template <std::size_t N>
constexpr std::uint8_t At(const std::uint8_t (&bytes)[N], std::size_t i) {
  return i < N ? bytes[i] : 0;
}
template <std::size_t N>
constexpr std::uint8_t At(const std::array<std::uint8_t, N>& bytes, std::size_t i) {
  return i < N ? bytes[i] : 0;
}
template <std::size_t N>
constexpr void Put(std::uint8_t (&bytes)[N], std::size_t i, std::uint8_t v) {
  if (i < N) bytes[i] = v;
}
template <std::size_t N>
constexpr void Put(std::array<std::uint8_t, N>& bytes, std::size_t i, std::uint8_t v) {
  if (i < N) bytes[i] = v;
}

// 8-bit wrapping arithmetic, written out so that the wrap is visible where protocols rely on it.
constexpr std::uint8_t Add8(std::uint8_t a, int b) { return static_cast<std::uint8_t>(a + b); }

}  // namespace kd::link
