// Frames built by hand from their byte layouts, for the tests of both sides of the line: sums,
// length bytes, the envelope and the stuffing are done here and never by the program's own framing
// or the simulator's, so a mistake there is not copied into what the tests expect.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "link/exchange_buffer.h"

namespace kd::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kTesterAddress = 0xF1;

// Bytes written as the scenarios write them: "80 F1 10 02 61 01 E5".
inline Bytes Hex(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::invalid_argument("not a hex digit");
  };
  Bytes out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) throw std::invalid_argument("odd hex digit");
    out.push_back(static_cast<std::uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
    i += 2;
  }
  return out;
}

// The low 8 bits of the sum of b[from, to).
inline std::uint8_t Sum8(const Bytes& b, std::size_t from, std::size_t to) {
  unsigned sum = 0;
  for (std::size_t i = from; i < to && i < b.size(); ++i) sum += b[i];
  return static_cast<std::uint8_t>(sum % 256);
}
inline std::uint8_t Sum8(const Bytes& b) {
  return Sum8(b, 0, b.size());
}

// KWP2000: the length L of service and parameters in the format byte (0x80 + L), or, in the long
// form, a format byte 0x80 and L in a byte of its own behind the addresses.
enum class Header { Short, Long };

// Format byte, target, source, [length,] service and parameters, the sum of all before it.
inline Bytes KwpFrame(std::uint8_t target, std::uint8_t source, const Bytes& service,
                      Header header = Header::Short) {
  if (header == Header::Short && service.size() > 63) throw std::invalid_argument("too long");
  Bytes f;
  if (header == Header::Short) {
    f = {static_cast<std::uint8_t>(0x80 + service.size()), target, source};
  } else {
    f = {0x80, target, source, static_cast<std::uint8_t>(service.size())};
  }
  f.insert(f.end(), service.begin(), service.end());
  f.push_back(Sum8(f));
  return f;
}
inline Bytes KwpRequest(std::uint8_t target, const Bytes& service) {
  return KwpFrame(target, kTesterAddress, service);
}
inline Bytes KwpReply(std::uint8_t from, const Bytes& service, Header header = Header::Short) {
  return KwpFrame(kTesterAddress, from, service, header);
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
  body.push_back(static_cast<std::uint8_t>((0x100 - Sum8(message)) % 256));
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

// F4, 0x55 + the count of mode and data bytes, the mode, the data, the byte that makes the whole
// frame sum to zero.
inline Bytes GmFrame(std::uint8_t mode, const Bytes& data) {
  Bytes f{0xF4, static_cast<std::uint8_t>(0x55 + 1 + data.size()), mode};
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(static_cast<std::uint8_t>((0x100 - Sum8(f)) % 256));
  return f;
}

// The bytes as the engine hands them to a page: the rest of the copy is zero.
inline link::ReplyCopy AsReply(const Bytes& bytes) {
  link::ReplyCopy reply{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), reply.size()), reply.begin());
  return reply;
}

}  // namespace kd::testing
