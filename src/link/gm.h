// GM ISFI-2S frames: address 0xF4, length 0x55 + n, mode, data, two's-complement checksum.
#pragma once

#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::link {

inline constexpr std::uint8_t kGmAddress = 0xF4;

// Shows "Связь отсутствует.", "Данные получены." or "Ошибка контрольной суммы.".
void ValidateGmReply(const ReplyCopy& reply, view::StatusBar& status);

// Writes address, length, mode, data and checksum at TransmitFrame[0..] and sets DataLength to
// the frame length minus 4, as the GM page steps hand their requests to the tick.
void WriteGmRequest(ExchangeBuffer& buffer, std::uint8_t mode, const std::uint8_t* data,
                    std::size_t dataCount);

}  // namespace kd::link
