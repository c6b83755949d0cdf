// The main window's session engine: finds the reply behind the echo, keeps the controller's
// session open, hands page replies to the step of the page on screen and frames the next request.
#pragma once

#include <array>
#include <cstdint>

#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::session {

// The pages of the main window, in tab order.
enum class Page { Params, Faults, Idents, Equipment, Adc, Fuel, Knock, Misfire, Trip };
inline constexpr std::size_t kPageCount = 9;

struct SessionState {
  std::uint32_t pendingCommand = 0;
  std::int32_t noReplyCount = 0;
  bool emurAltAddress = false;
  std::uint8_t requestStep = 0;
  std::uint8_t pageTickCount = 0;
};

// What a page does with the reply while it is on screen. A KWP2000 step writes the service at
// TransmitFrame[3] on and sets DataLength to its count; an escaped-frame step writes the message
// from byte 0; a GM step writes the complete frame. Writing nothing lets the engine's request go.
class PageStep {
 public:
  virtual ~PageStep() = default;
  virtual void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) = 0;
};

using PageSteps = std::array<PageStep*, kPageCount>;

struct SessionContext {
  std::uint32_t ecuType;
  Page activePage;
  SessionState& state;
  view::StatusBar& status;
  const PageSteps& pages;
  // The equipment page's text box, for the types that have no equipment to show.
  view::Memo* comp = nullptr;
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
