#include "link/escaped.h"

#include <algorithm>

#include "link/kwp.h"

namespace kd::link {

namespace {
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kEscape = 0x40;
constexpr std::size_t kLastTerminatorPosition = 150;
}  // namespace

void EncodeEscapedRequest(ExchangeBuffer& buffer) {
  auto& frame = buffer.transmitFrame;
  const std::size_t length = buffer.dataLength;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum = Add8(sum, frame[i]);
  Put(frame, length, static_cast<std::uint8_t>(-sum));

  std::uint8_t scratch[kAreaSize] = {};
  std::size_t produced = 0;  // may run past the scratch area; Put drops what does not fit
  for (std::size_t i = 0; i <= length; ++i) {
    const std::uint8_t b = At(frame, i);
    if (b == kCr) {
      Put(scratch, produced++, kEscape);
      Put(scratch, produced++, 0xCD);
    } else if (b == kEscape) {
      Put(scratch, produced++, kEscape);
      Put(scratch, produced++, 0x00);
    } else {
      Put(scratch, produced++, b);
    }
  }
  const std::uint8_t m = static_cast<std::uint8_t>(produced);
  std::copy_n(scratch, m, frame);
  Put(frame, m, kCr);
  Put(frame, std::size_t{m} + 1, 0x00);
  buffer.dataLength = Add8(m, -3);
}

void DecodeEscapedReply(ReplyCopy& reply, ExchangeBuffer& buffer, view::StatusBar& status) {
  std::uint8_t scratch[kReplyCopySize] = {};
  std::size_t produced = 0;
  for (std::size_t i = 0;; ++i) {
    std::uint8_t b = At(reply, i);
    if (b == kEscape) {
      ++i;
      b = At(reply, i) == 0x00 ? kEscape : kCr;
    }
    Put(scratch, produced++, b);

    if (std::equal(reply.begin(), reply.begin() + 3, buffer.transmitFrame)) {
      status.SetText(kLinkStatusPanel, kNoLink);
      std::fill_n(buffer.receiveArea, 250, 0);
      std::fill_n(reply.begin(), 200, 0);
      break;
    }
    if (i > kLastTerminatorPosition) {
      status.SetText(kLinkStatusPanel, kNoLink);
      std::fill_n(reply.begin(), 200, 0);
      break;
    }
    if (At(reply, i) == kCr) {
      status.SetText(kLinkStatusPanel, kDataReceived);
      break;
    }
  }
  std::copy_n(scratch, std::min(produced, reply.size()), reply.begin());
}

}  // namespace kd::link
