#include "obd/obd_port.h"

#include <algorithm>
#include <string>

namespace kd::obd {

link::OutgoingFrame Packet(const link::ExchangeBuffer& buffer, std::size_t count) {
  const std::size_t n = std::min(count, link::kAreaSize);
  return {{buffer.transmitFrame, buffer.transmitFrame + n}, true};
}

void ShowPacketWrite(link::WriteOutcome outcome, view::StatusBar& status) {
  const bool written =
      outcome == link::WriteOutcome::Written || outcome == link::WriteOutcome::Delayed;
  status.SetText(kWritePanel, written ? kSendMessage : kWriteError);
}

std::string PortText(int openPortNumber) {
  return "COM:" + std::to_string(openPortNumber >= 2 && openPortNumber <= 8 ? openPortNumber : 1);
}

}  // namespace kd::obd
