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

ReplyCopy UnitReply(const ExchangeBuffer& buffer) {
  ReplyCopy reply{};
  for (std::size_t i = 0; i < reply.size(); ++i)
    reply[i] = At(buffer.receiveArea, std::size_t{buffer.dataLength} + i);
  return reply;
}

void ShowUnitWrite(WriteOutcome outcome, const std::function<void(const char*)>& show) {
  if (!show) return;
  switch (outcome) {
    case WriteOutcome::Written:
      show("Send Message");
      break;
    case WriteOutcome::Delayed:
      show("Error write port by delayed.");
      show("Send Message");
      break;
    case WriteOutcome::DelayedFailed:
      show("Error write port by delayed.");
      break;
    case WriteOutcome::Failed:
      show("Error write port.");
      break;
  }
}

WriteOutcome UnitTick(PortHandle& handle, ExchangeBuffer& buffer,
                      const std::function<void(ExchangeBuffer&)>& step) {
  ReadIntoArea(handle, buffer);
  if (step) step(buffer);
  return WriteFrame(handle, buffer, std::size_t{buffer.dataLength} + 5);
}

}  // namespace kd::link
