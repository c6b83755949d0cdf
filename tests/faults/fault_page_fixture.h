// A fault page on a form of its own, fed replies as the engine hands them over.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "faults/fault_page.h"
#include "support/frames.h"

namespace kd::faults {

using testing::Bytes;

struct Page {
  view::Form form{"TForm1"};
  std::uint32_t type;
  std::uint32_t mode = 0;
  session::SessionState session;
  FaultPage page{form, type, mode, session};
  link::ExchangeBuffer buffer;

  explicit Page(std::uint32_t t) : type(t) { page.ApplyLayout(); }

  void Feed(const Bytes& bytes) {
    link::ReplyCopy reply = testing::AsReply(bytes);
    buffer.dataLength = 0xEE;
    page.Step(reply, buffer);
  }
  // The KWP2000 request the step left: service and parameters.
  Bytes Request() const {
    return Bytes(buffer.transmitFrame + 3, buffer.transmitFrame + 3 + buffer.dataLength);
  }
  view::Button& ButtonNamed(const char* name) { return *form.FindAs<view::Button>(name); }
};

// Replies of the engine controller (address 0x10), length in the format byte.
inline Bytes StoredCodes(const std::vector<std::pair<std::uint16_t, std::uint8_t>>& codes) {
  Bytes data{0x58, static_cast<std::uint8_t>(codes.size())};
  for (auto [code, status] : codes) {
    data.push_back(static_cast<std::uint8_t>(code >> 8));
    data.push_back(static_cast<std::uint8_t>(code));
    data.push_back(status);
  }
  return testing::KwpReply(0x10, data);
}

inline Bytes Related(std::uint16_t code, std::uint8_t fill) {
  Bytes data{0x57, 1, static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
  data.resize(32, fill);
  return testing::KwpReply(0x10, data);
}

}  // namespace kd::faults
