// What the simulator's tests share: requests built by hand (support/frames.h), replies taken apart
// by their layouts, and a port driven as the program drives it (write, then read what the next
// tick reads).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/simulated_port.h"
#include "support/frames.h"

namespace kd::sim::test {

using kd::testing::Bytes;
using kd::testing::Envelope;
using kd::testing::EscapedFrame;
using kd::testing::KwpRequest;
using kd::testing::Sum8;

// The reply's bytes unstuffed; fails the test where the line breaks the stuffing rules.
inline Bytes Unstuff(const Bytes& line, bool* sawEscape = nullptr) {
  Bytes out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == 0x0D) {
      EXPECT_EQ(i + 1, line.size()) << "bytes behind the terminator";
      return out;
    }
    if (line[i] != 0x40) {
      out.push_back(line[i]);
      continue;
    }
    if (++i == line.size() || (line[i] != 0x00 && line[i] != 0xCD)) break;
    out.push_back(line[i] == 0x00 ? 0x40 : 0x0D);
    if (sawEscape) *sawEscape = true;
  }
  ADD_FAILURE() << "a frame without terminator, or a bare 0x40";
  return out;
}

// Baud, parity, data bits, stop bits.
inline link::LineSettings Line(int baud, int stop, char parity = 'n', int data = 8) {
  return {baud, parity, data, stop};
}
inline const link::LineSettings kKwpLine = Line(115200, 2);
inline const link::LineSettings kEscapedLine = Line(9600, 1);
inline const link::LineSettings kGmLine = Line(8192, 1);
inline const Bytes kGmRequest = kd::testing::GmFrame(0x01, {0x00});

inline std::uint8_t Target(std::uint32_t type) {
  return type == 3 || type == 7 ? 0x11 : type == 11 ? 0x30 : 0x10;
}

// A port set up as the program sets it up, on a clock the test moves.
struct SimFixture : ::testing::Test {
  SimulatedPort port;
  std::int64_t nowMs = 0;

  void Connect(std::uint32_t type, const link::LineSettings& line) {
    port.SetEcuType(type);
    port.SetClock([this] { return nowMs; });
    ASSERT_TRUE(port.Open(1));
    ASSERT_TRUE(port.ApplyLineSettings(line));
  }
  Bytes ReadAll(std::size_t limit = 256) {
    Bytes b(limit);
    b.resize(port.Read(b.data(), b.size()));
    return b;
  }
  // Writes, reads once, and gives what follows the echo the adapter must give back first.
  Bytes Send(const Bytes& written, const Bytes& echo) {
    EXPECT_EQ(port.Write(written.data(), written.size()), link::WriteStatus::Written);
    const Bytes read = ReadAll();
    if (read.size() < echo.size() || !std::equal(echo.begin(), echo.end(), read.begin())) {
      ADD_FAILURE() << "no echo";
      return {};
    }
    return Bytes(read.begin() + static_cast<std::ptrdiff_t>(echo.size()), read.end());
  }
  Bytes Kwp(std::uint8_t target, const Bytes& service, std::uint8_t flags = 0) {
    const Bytes frame = KwpRequest(target, service);
    return Send(Envelope(frame, flags), frame);
  }
  // A bare frame comes back whole.
  Bytes Bare(const Bytes& line) { return Send(line, line); }
};

// The service bytes of a KWP2000 reply, checked from its layout: F1, the sender, the length
// where the format byte says, the sum of everything in front of the checksum.
inline Bytes KwpService(const Bytes& reply, std::uint8_t from) {
  if (reply.size() < 4) {
    ADD_FAILURE() << "no KWP2000 frame";
    return {};
  }
  EXPECT_EQ(reply[1], 0xF1);
  EXPECT_EQ(reply[2], from);
  const std::size_t header = reply[0] == 0x80 ? 4 : 3;
  const std::size_t length = reply[0] == 0x80 ? reply[3] : reply[0] - 0x80u;
  if (reply.size() != header + length + 1) {
    ADD_FAILURE() << "frame length";
    return {};
  }
  EXPECT_EQ(Sum8(reply, 0, reply.size() - 1), reply.back()) << "checksum";
  return Bytes(reply.begin() + static_cast<std::ptrdiff_t>(header), reply.end() - 1);
}

}  // namespace kd::sim::test
