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

void UnitTick(PortHandle& handle, ExchangeBuffer& buffer, std::function<void(ExchangeBuffer&)> step,
              std::function<void(WriteOutcome)> done) {
  RunTick(
      handle, buffer,
      [&buffer, step = std::move(step)](std::size_t) {
        if (step) step(buffer);
        const std::size_t n = std::min(std::size_t{buffer.dataLength} + 5, kAreaSize);
        return OutgoingFrame{{buffer.transmitFrame, buffer.transmitFrame + n}, true};
      },
      std::move(done));
}

}  // namespace kd::link
