#include "obd/obd_port.h"

#include <algorithm>
#include <string>

namespace kd::obd {

void ReadArrived(link::PortHandle& handle, link::ExchangeBuffer& buffer) {
  std::fill_n(buffer.receiveArea, 250, 0);
  handle.port.Read(buffer.receiveArea, link::kReadLimit);
}

void WritePacket(link::PortHandle& handle, const link::ExchangeBuffer& buffer, std::size_t count,
                 view::StatusBar& status) {
  count = std::min(count, sizeof buffer.transmitFrame);
  bool written = false;
  switch (handle.port.Write(buffer.transmitFrame, count)) {
    case link::WriteStatus::Written:
      written = true;
      break;
    case link::WriteStatus::Pending:
      written = handle.port.WaitPendingWrite(link::kWriteWaitMs);
      break;
    case link::WriteStatus::Failed:
      break;
  }
  status.SetText(kWritePanel, written ? kSendMessage : kWriteError);
}

std::string PortText(int openPortNumber) {
  return "COM:" + std::to_string(openPortNumber >= 2 && openPortNumber <= 8 ? openPortNumber : 1);
}

}  // namespace kd::obd
