// Replies and request lengths as they could arrive: every decoder and encoder of the link and the
// session engine of every type, on any bytes.
#include <cstring>

#include "link/escaped.h"
#include "link/gm.h"
#include "link/kwp.h"
#include "session/session_step.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  if (size < 3) return 0;
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  const std::uint32_t type = data[0] % 13;
  const auto page = static_cast<session::Page>(data[1] % session::kPageCount);
  link::ExchangeBuffer buffer;
  buffer.dataLength = data[2];
  const std::size_t n = std::min(size - 3, link::kAreaSize);
  std::memcpy(buffer.receiveArea, data + 3, n);
  std::memcpy(buffer.transmitFrame, data + 3, std::min(size - 3, link::kAreaSize));

  link::ReplyCopy reply{};
  std::memcpy(reply.data(), data + 3, std::min(n, reply.size()));
  link::ValidateKwpReply(reply, status);
  link::ValidateGmReply(reply, status);
  link::ReplyCopy copy = reply;
  link::DecodeEscapedReply(copy, buffer, status);

  session::SessionState state;
  state.pendingCommand = data[1] >> 4;
  session::SessionStep(buffer, {type, page, state, status, nullptr});
  link::ExchangeBuffer again = buffer;
  link::FrameKwpRequest(again);
  again.dataLength = data[2];
  link::EncodeEscapedRequest(again);
  return 0;
}
