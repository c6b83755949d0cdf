#include "link/gm.h"

#include "link/kwp.h"

namespace kd::link {

void ValidateGmReply(const ReplyCopy& reply, view::StatusBar& status) {
  if (reply[0] != kGmAddress) {
    status.SetText(kLinkStatusPanel, kNoLink);
    return;
  }
  const std::uint8_t n = Add8(reply[1], -85);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < std::size_t{n} + 3; ++i) sum = Add8(sum, At(reply, i));
  status.SetText(kLinkStatusPanel, sum == At(reply, std::size_t{n} + 3) ? kDataReceived : kChecksumError);
}

void WriteGmRequest(ExchangeBuffer& buffer, std::uint8_t mode, const std::uint8_t* data,
                    std::size_t dataCount) {
  auto& frame = buffer.transmitFrame;
  // Address, length, mode and checksum around the data; a frame never outgrows TransmitFrame.
  if (dataCount > kAreaSize - 4) dataCount = kAreaSize - 4;
  frame[0] = kGmAddress;
  frame[1] = Add8(0x55, static_cast<int>(dataCount + 1));
  frame[2] = mode;
  for (std::size_t i = 0; i < dataCount; ++i) frame[3 + i] = data[i];
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < dataCount + 3; ++i) sum = Add8(sum, frame[i]);
  frame[dataCount + 3] = static_cast<std::uint8_t>(-sum);
  buffer.dataLength = static_cast<std::uint8_t>(dataCount);
}

}  // namespace kd::link
