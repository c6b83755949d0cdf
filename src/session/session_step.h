// The main window's session engine: finds the reply behind the echo, keeps the controller's
// session open, hands page replies to the page on screen and frames the next request. It knows
// no page by name: what a page does with its reply (its quirks included) is the page's.
#pragma once

#include <cstdint>

#include "link/exchange_buffer.h"
#include "session/pages.h"
#include "view/controls.h"

namespace kd::session {

struct SessionState {
  std::uint32_t pendingCommand = 0;
  std::int32_t noReplyCount = 0;
  bool emurAltAddress = false;
  std::uint8_t requestStep = 0;
  std::uint8_t pageTickCount = 0;
};

struct SessionContext {
  std::uint32_t ecuType;
  Page activePage;
  SessionState& state;
  view::StatusBar& status;
  // The object of the page on screen; nullptr for a page that has none.
  PageStep* page = nullptr;
};

// ReplyCopy taken `offset` bytes into ReceiveArea; bytes beyond it read as zero, and a negative
// offset (nothing written yet) gives a reply that counts as missing.
link::ReplyCopy TakeReply(const link::ExchangeBuffer& buffer, int offset);

void SessionStep(link::ExchangeBuffer& buffer, const SessionContext& context);

// Text of a negative response code, or nullptr for codes that leave the status unchanged.
const char* NegativeResponseText(std::uint8_t code);

// The engine's "prepare nothing" for families whose pages build every request: DataLength + 4 is
// then 0, so the tick writes nothing and the next reply is looked for at offset 0.
inline constexpr std::uint8_t kNothingToSend = 0xFC;

}  // namespace kd::session
