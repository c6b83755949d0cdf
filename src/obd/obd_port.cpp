#include "obd/obd_port.h"

#include <algorithm>
#include <string>

namespace kd::obd {

void WritePacket(link::PortHandle& handle, const link::ExchangeBuffer& buffer, std::size_t count,
                 view::StatusBar& status) {
  const link::WriteOutcome outcome = link::WriteFrame(handle, buffer, count);
  const bool written =
      outcome == link::WriteOutcome::Written || outcome == link::WriteOutcome::Delayed;
  status.SetText(kWritePanel, written ? kSendMessage : kWriteError);
}

std::string PortText(int openPortNumber) {
  return "COM:" + std::to_string(openPortNumber >= 2 && openPortNumber <= 8 ? openPortNumber : 1);
}

}  // namespace kd::obd
