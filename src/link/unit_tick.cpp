#include "link/unit_tick.h"

#include <algorithm>

#include "link/kwp.h"

namespace kd::link {

void FrameUnitRequest(ExchangeBuffer& buffer, std::uint8_t target, std::uint8_t source) {
  Put(buffer.transmitFrame, 1, target);
  Put(buffer.transmitFrame, 2, source);
  const std::uint8_t length = buffer.dataLength;
  // The main window's framing builds the same envelope and frame; only the count it leaves
  // behind differs.
  FrameKwpRequest(buffer);
  buffer.dataLength = Add8(length, 4);
}

void PutUnitRequest(ExchangeBuffer& buffer, const std::vector<std::uint8_t>& service) {
  std::size_t at = 3;
  for (std::uint8_t b : service) Put(buffer.transmitFrame, at++, b);
  buffer.dataLength = static_cast<std::uint8_t>(service.size());
}

ReplyCopy UnitReply(const ExchangeBuffer& buffer) {
  ReplyCopy reply{};
  for (std::size_t i = 0; i < reply.size(); ++i)
    reply[i] = At(buffer.receiveArea, std::size_t{buffer.dataLength} + i);
  return reply;
}

void ShowUnitWrite(UnitWrite outcome, const std::function<void(const char*)>& show) {
  if (!show) return;
  switch (outcome) {
    case UnitWrite::Written:
      show("Send Message");
      break;
    case UnitWrite::Delayed:
      show("Error write port by delayed.");
      show("Send Message");
      break;
    case UnitWrite::DelayedFailed:
      show("Error write port by delayed.");
      break;
    case UnitWrite::Failed:
      show("Error write port.");
      break;
  }
}

UnitWrite UnitTick(PortHandle& handle, ExchangeBuffer& buffer,
                   const std::function<void(ExchangeBuffer&)>& step) {
  SerialPort& port = handle.port;
  std::fill_n(buffer.receiveArea, 250, 0);
  port.Read(buffer.receiveArea, kReadLimit);
  if (step) step(buffer);
  const std::size_t count = std::size_t{buffer.dataLength} + 5;
  switch (port.Write(buffer.transmitFrame, std::min(count, kAreaSize))) {
    case WriteStatus::Written:
      return UnitWrite::Written;
    case WriteStatus::Pending:
      return port.WaitPendingWrite(kWriteWaitMs) ? UnitWrite::Delayed : UnitWrite::DelayedFailed;
    case WriteStatus::Failed:
      break;
  }
  return UnitWrite::Failed;
}

}  // namespace kd::link
