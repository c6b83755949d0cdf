// What the simulator's tests share: requests built by hand from the byte layouts, with checksums
// and stuffing done here rather than by the simulator or the program, and a port driven as the
// program drives it (write, then read what the next tick reads).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sim/simulated_port.h"

namespace kd::sim::test {

using Bytes = std::vector<std::uint8_t>;

inline std::uint8_t SumOf(const Bytes& b, std::size_t from, std::size_t to) {
  unsigned sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += b[i];
  return static_cast<std::uint8_t>(sum % 256);
}
inline std::uint8_t SumOf(const Bytes& b) {
  return SumOf(b, 0, b.size());
}

// 0x80 + L, target, F1, service, sum of all before it.
inline Bytes KwpRequest(std::uint8_t target, std::initializer_list<std::uint8_t> service) {
  Bytes f{static_cast<std::uint8_t>(0x80 + service.size()), target, 0xF1};
  f.insert(f.end(), service);
  f.push_back(SumOf(f));
  return f;
}

// 55 56 57 AA, the count of the whole transmission with flag bits, the frame.
inline Bytes Envelope(const Bytes& frame, std::uint8_t flags = 0) {
  Bytes e{0x55, 0x56, 0x57, 0xAA, static_cast<std::uint8_t>((frame.size() + 5) | flags)};
  e.insert(e.end(), frame.begin(), frame.end());
  return e;
}

// Message, the byte that makes it sum to zero, 0D and 40 stuffed, the terminator.
inline Bytes EscapedFrame(const Bytes& message) {
  Bytes body = message;
  body.push_back(static_cast<std::uint8_t>((0x100 - SumOf(message)) % 256));
  Bytes line;
  for (std::uint8_t b : body) {
    if (b == 0x0D)
      line.insert(line.end(), {0x40, 0xCD});
    else if (b == 0x40)
      line.insert(line.end(), {0x40, 0x00});
    else
      line.push_back(b);
  }
  line.push_back(0x0D);
  return line;
}

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
inline const Bytes kGmRequest{0xF4, 0x57, 0x01, 0x00, 0xB4};

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
  Bytes Kwp(std::uint8_t target, std::initializer_list<std::uint8_t> service,
            std::uint8_t flags = 0) {
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
  EXPECT_EQ(SumOf(reply, 0, reply.size() - 1), reply.back()) << "checksum";
  return Bytes(reply.begin() + static_cast<std::ptrdiff_t>(header), reply.end() - 1);
}

}  // namespace kd::sim::test
