#include "link/kwp.h"

namespace kd::link {

std::uint8_t KwpTarget(const catalogue::EcuInfo& ecu, bool altAddress) {
  return altAddress && ecu.kwpAltTarget != 0 ? ecu.kwpAltTarget : ecu.kwpTarget;
}

void WriteKwpService(ExchangeBuffer& buffer, std::span<const std::uint8_t> service) {
  std::size_t at = 3;
  for (std::uint8_t b : service) Put(buffer.transmitFrame, at++, b);
  buffer.dataLength = static_cast<std::uint8_t>(service.size());
}

bool IsControllerAddress(std::uint8_t address) {
  return address == 0x10 || address == 0x11 || address == 0x30 || address == 0x60;
}

void FrameKwpRequest(ExchangeBuffer& buffer) {
  auto& frame = buffer.transmitFrame;
  const std::uint8_t length = buffer.dataLength;
  const std::size_t checksumAt = 3u + length;
  Put(frame, checksumAt, 0);
  Put(frame, 0, Add8(0x80, length));
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < checksumAt; ++i) sum = Add8(sum, At(frame, i));
  Put(frame, checksumAt, sum);
  // From the last byte down, so that no byte is overwritten before it moved.
  for (std::size_t i = checksumAt + 1; i-- > 0;) Put(frame, i + 5, At(frame, i));
  for (std::size_t i = 0; i < 4; ++i) frame[i] = kEnvelope[i];
  frame[4] = Add8(length, 9);
  buffer.dataLength = Add8(length, 5);
}

void ValidateKwpReply(const ReplyCopy& reply, view::StatusBar& status) {
  const std::uint8_t k = reply[0] == 0x80 ? Add8(reply[3], 1) : Add8(reply[0], -0x80);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < std::size_t{k} + 3; ++i) sum = Add8(sum, At(reply, i));
  status.SetText(kLinkStatusPanel, sum == At(reply, std::size_t{k} + 3) ? kDataReceived : kChecksumError);
}

}  // namespace kd::link
