// The three frame formats as the controllers on the K-line read and write them, written from the
// byte layouts alone (ISO 14230-2 headers for KWP2000, the stuffed frames of January 4.1 and
// Mikas, the GM address-length-mode frames) and not from the program's encoders, so that a
// mistake on one side shows up as a failed exchange instead of being copied to the other.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/sim_bytes.h"

namespace kd::sim {

// ---- KWP2000 (ISO 14230-2) ----

struct KwpFrame {
  std::uint8_t format = 0;  // the header's first byte as it came
  std::uint8_t target = 0;
  std::uint8_t source = 0;
  Bytes service;  // service identifier and parameters
};

// A whole request as the controller sees it on the line: header with addresses, 1..255 bytes of
// service, a checksum that matches. Anything else is nothing a controller reacts to.
std::optional<KwpFrame> ParseKwpFrame(const Bytes& line);

// Header, service and checksum. The short header (length in the format byte) is only possible up
// to 63 bytes of service; longer services, and any service when `longForm` asks for it, get the
// separate length byte. `checksumSkew` is added to the right checksum (0 for a good frame).
Bytes BuildKwpFrame(std::uint8_t target, std::uint8_t source, const Bytes& service, bool longForm,
                    std::uint8_t checksumSkew = 0);

// ---- Escaped frames of January 4.1 and Mikas ----

inline constexpr std::uint8_t kTerminator = 0x0D;
inline constexpr std::uint8_t kEscape = 0x40;

// Stuffs message and checksum and appends the terminator. The checksum makes message plus
// checksum sum to zero; `checksumSkew` spoils it on purpose.
Bytes BuildEscapedFrame(const Bytes& message, std::uint8_t checksumSkew = 0);

// The message of a frame that ends with its only unstuffed terminator and whose checksum holds;
// nothing for anything else.
std::optional<Bytes> ParseEscapedFrame(const Bytes& line);

// ---- GM address-length-mode frames ----

struct GmFrame {
  std::uint8_t address = 0;
  std::uint8_t mode = 0;
  Bytes data;  // what follows the mode byte, checksum excluded
};

// Address, length byte 0x55 + (mode and data count), mode, data, and the byte that makes the
// whole frame sum to zero.
std::optional<GmFrame> ParseGmFrame(const Bytes& line);
Bytes BuildGmFrame(std::uint8_t address, std::uint8_t mode, const Bytes& data,
                   std::uint8_t checksumSkew = 0);

}  // namespace kd::sim
