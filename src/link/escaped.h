// The escaped frames of January 4.1 and Mikas: message and checksum with carriage return and '@'
// stuffed, so that a bare carriage return ends every frame.
#pragma once

#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::link {

// Message at TransmitFrame[0..DataLength) becomes the stuffed, terminated frame;
// DataLength becomes the count to write minus 4.
void EncodeEscapedRequest(ExchangeBuffer& buffer);

// Unstuffs the reply in place up to its terminator and shows the link status; a reply that is only
// the request again, or has no terminator in time, counts as missing.
void DecodeEscapedReply(ReplyCopy& reply, ExchangeBuffer& buffer, view::StatusBar& status);

}  // namespace kd::link
