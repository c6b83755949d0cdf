// The main window's session engine: finds the reply behind the echo, keeps the controller's
// session open, hands page replies to the page on screen and frames the next request. It knows
// no page by name: what a page does with its reply (its quirks included) is the page's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/exchange_buffer.h"
#include "session/pages.h"
#include "view/controls.h"

namespace kd::session {

// How the controller took a request whose outcome a page shows (a write, a clear).
enum class AnswerOutcome { Accepted, Refused, Missing };

// A request sent this tick whose answer is looked for on the next kAnswerTicks ticks. `service`
// is the KWP2000 service (the positive answer is service + 40, the refusal 7F service code);
// on escaped-frame and GM controllers any answer accepts it. `done` gets the outcome and, for a
// refusal, the negative response's name as the status line shows it.
struct AwaitedAnswer {
  std::uint8_t service = 0;
  int ticksLeft = 0;
  std::function<void(AnswerOutcome, const std::string& refusal)> done;
};
inline constexpr int kAnswerTicks = 3;

struct SessionState {
  std::uint32_t pendingCommand = 0;
  std::int32_t noReplyCount = 0;
  bool emurAltAddress = false;
  std::uint8_t requestStep = 0;
  std::uint8_t pageTickCount = 0;
  // Whether the last tick's reply came from the controller (whatever it said).
  bool answered = false;
  // Whether that reply went to the page on screen (not a session reply on the way back).
  bool pageReplied = false;
  AwaitedAnswer awaited;
};

// Arms `state.awaited` for a request written this tick.
void AwaitAnswer(SessionState& state, std::uint8_t service,
                 std::function<void(AnswerOutcome, const std::string&)> done);

struct SessionContext {
  std::uint32_t ecuType;
  Page activePage;
  SessionState& state;
  view::StatusBar& status;
  // The object of the page on screen; nullptr for a page that has none.
  PageStep* page = nullptr;
  // The page whose request keeps an escaped-frame or GM link answering while the page on screen
  // has nothing to ask (see PageStep::KeepAlive); nullptr sends nothing then.
  PageStep* keepAlive = nullptr;
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
