// The link of the units behind the side windows (immobilizers, the climate unit): KWP2000 frames
// with the unit's own addresses inside the adapter envelope, and the tick those windows run over
// the shared port. The window's DataLength counts the frame alone here (the envelope's five
// bytes come on top), so the reply stands at ReceiveArea offset DataLength, behind the echo.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "link/exchange_buffer.h"
#include "link/port.h"

namespace kd::link {

// Service and parameters at TransmitFrame[3..] (DataLength = their count) become the envelope,
// header with `target` and `source`, and checksum. DataLength becomes the frame's length; the
// envelope's count byte is that plus 5, without flag bits.
void FrameUnitRequest(ExchangeBuffer& buffer, std::uint8_t target, std::uint8_t source);

// 240 bytes of ReceiveArea from offset DataLength; bytes past the area read as 0.
ReplyCopy UnitReply(const ExchangeBuffer& buffer);

// The window's write status texts: "Send Message", "Error write port by delayed." (the wait
// ran out), "Error write port."; a delayed write that completed shows the first after the second.
void ShowUnitWrite(WriteOutcome outcome, const std::function<void(const char*)>& show);

// Zero 250 bytes of ReceiveArea, read up to 200 bytes, let `step` decode and frame the next
// request, write DataLength + 5 bytes with the bounded wait, `done` with the outcome (RunTick).
void UnitTick(PortHandle& handle, ExchangeBuffer& buffer, std::function<void(ExchangeBuffer&)> step,
              std::function<void(WriteOutcome)> done = nullptr);

}  // namespace kd::link
