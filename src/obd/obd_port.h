// The end of an OBD window's tick on the shared port: the write, with the window's own status
// texts (the tick is link's `RunTick`). The port is used as the main window left it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/exchange_buffer.h"
#include "link/port.h"
#include "view/controls.h"

namespace kd::obd {

// Panel 1 of an OBD window's status bar carries the write status.
inline constexpr int kWritePanel = 1;
inline constexpr const char* kSendMessage = "Send Message";
inline constexpr const char* kWriteError = "Error write port.";

// The outcome of the tick's write (`count` bytes of the TransmitFrame with the bounded wait). A
// write that went out says "Send Message"; one refused, or still pending when the wait ran out,
// says "Error write port.", so that a lost request never stands under the last success.
link::OutgoingFrame Packet(const link::ExchangeBuffer& buffer, std::size_t count);
void ShowPacketWrite(link::WriteOutcome outcome, view::StatusBar& status);

// "COM:2" .. "COM:8" for the open port, "COM:1" for anything else.
std::string PortText(int openPortNumber);

}  // namespace kd::obd
