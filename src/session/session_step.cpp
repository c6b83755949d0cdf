#include "session/session_step.h"

#include <algorithm>

#include "catalogue/ecu_catalogue.h"
#include "link/escaped.h"
#include "link/gm.h"
#include "link/kwp.h"

namespace kd::session {

namespace {

using link::ExchangeBuffer;
using link::ReplyCopy;

void Request(ExchangeBuffer& buffer, std::uint8_t target,
             std::initializer_list<std::uint8_t> bytes) {
  buffer.transmitFrame[1] = target;
  buffer.transmitFrame[2] = link::kTesterAddress;
  link::WriteKwpService(buffer, bytes);
}

void DefaultRequest(ExchangeBuffer& buffer, const catalogue::EcuInfo& ecu, bool altAddress) {
  const std::uint8_t target = link::KwpTarget(ecu, altAddress);
  if (ecu.defaultRequest == catalogue::DefaultRequest::TesterPresent)
    Request(buffer, target, {0x3E, 0x01});
  else
    Request(buffer, target, {0x81});
}

// The page on screen gets the reply on the ticks of the families its row names, if it serves the
// type at all. A command left on a page that serves nothing of this type is dropped there, so
// that no other page takes it under its own meaning.
bool RunPage(const SessionContext& ctx, catalogue::LinkFamily family) {
  if (!ctx.page || !PageInfoOf(ctx.activePage).RunsOn(family)) return false;
  if (ctx.page->Serves()) return true;
  ctx.state.pendingCommand = 0;
  return false;
}

// Escaped-frame and GM controllers answer only what is asked: a page with nothing to ask would
// leave the line silent and the status saying the link is gone while the controller is there.
void KeepAlive(ExchangeBuffer& buffer, const SessionContext& ctx) {
  if (ctx.keepAlive) ctx.keepAlive->KeepAlive(buffer);
}

void Finish(SessionState& st, AnswerOutcome outcome, const std::string& refusal = {}) {
  auto done = std::move(st.awaited.done);
  st.awaited = {};
  if (done) done(outcome, refusal);
}

void CountDown(SessionState& st) {
  if (st.awaited.ticksLeft > 0 && --st.awaited.ticksLeft == 0) Finish(st, AnswerOutcome::Missing);
}

std::string RefusalName(std::uint8_t code) {
  if (const char* text = NegativeResponseText(code)) return text;
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string{kHex[code >> 4], kHex[code & 0x0F]};
}

// The answer to an awaited request is the positive reply to its service or the refusal of it;
// a "response pending" is neither and the wait goes on.
void FollowAwaitedKwp(SessionState& st, const ReplyCopy& reply, std::size_t p) {
  if (st.awaited.service == 0 && !st.awaited.done) return;
  const std::uint8_t service = st.awaited.service;
  if (st.answered) {
    if (reply[p] == link::Add8(service, 0x40)) return Finish(st, AnswerOutcome::Accepted);
    if (reply[p] == 0x7F && reply[p + 1] == service && reply[p + 2] != 0x78)
      return Finish(st, AnswerOutcome::Refused, RefusalName(reply[p + 2]));
  }
  CountDown(st);
}

void FollowAwaitedBare(SessionState& st) {
  if (st.awaited.service == 0 && !st.awaited.done) return;
  if (st.answered) return Finish(st, AnswerOutcome::Accepted);
  CountDown(st);
}

// A session is kept by the reply alone: every tick decides from what came back.
void KwpBranch(ExchangeBuffer& buffer, const SessionContext& ctx) {
  SessionState& st = ctx.state;
  const catalogue::EcuInfo& ecu = catalogue::Lookup(ctx.ecuType);
  const int n = buffer.dataLength;
  ReplyCopy reply = TakeReply(buffer, n - 5);
  DefaultRequest(buffer, ecu, st.emurAltAddress);

  std::size_t p = reply[0] == 0x80 ? 4 : 3;
  st.answered = reply[1] == link::kTesterAddress && link::IsControllerAddress(reply[2]);
  if (!st.answered) CountDown(st);
  if (reply[1] != link::kTesterAddress) {
    ctx.status.SetText(link::kLinkStatusPanel, link::kNoLink);
    if (ecu.kwpAltTarget != 0 && st.noReplyCount++ == 7) {
      st.noReplyCount = 0;
      st.emurAltAddress = !st.emurAltAddress;
    }
  } else if (link::IsControllerAddress(reply[2])) {
    st.noReplyCount = 0;
    if (reply[p] == 0x7F && reply[p + 2] == 0x78) {
      std::copy(reply.begin() + 7, reply.end(), reply.begin());
      std::fill(reply.end() - 7, reply.end(), 0);
      p = 4;
    }
    FollowAwaitedKwp(st, reply, p);
    const std::uint8_t target = link::KwpTarget(ecu, st.emurAltAddress);
    switch (reply[p]) {
      // clang-format off
      case 0x54: case 0x60: case 0x7B:
        // clang-format on
        break;
      case 0x7F: {
        const std::uint8_t rejected = reply[p + 1];
        if (rejected == 0x81 || rejected == 0x83) {
          if (ecu.bareTesterPresent)
            Request(buffer, target, {0x3E});
          else
            Request(buffer, 0x10, {0x3E, 0x01});
        } else {
          Request(buffer, target, {0x81});
        }
        if (const char* text = NegativeResponseText(reply[p + 2]))
          ctx.status.SetText(link::kLinkStatusPanel, text);
        break;
      }
      case 0xC1:
        if (ecu.timingAfterStart) {
          Request(buffer, target, {0x83, 0x03, 0x00, 0x50, 0x01, 0x14, 0x00});
          break;
        }
        [[fallthrough]];
      // clang-format off
      case 0x50: case 0x51: case 0x52: case 0x57: case 0x58: case 0x5A: case 0x61: case 0x63:
      case 0x67: case 0x70: case 0x7E: case 0xC3:
        // clang-format on
        link::ValidateKwpReply(reply, ctx.status);
        if (RunPage(ctx, catalogue::LinkFamily::Kwp2000)) {
          ctx.page->Step(reply, buffer);
          st.pageReplied = true;
        }
        break;
      case 0xC2:
        Request(buffer, target, {0x81});
        break;
      default:
        Request(buffer, target, {0x3E, 0x01});
        break;
    }
  }
  link::FrameKwpRequest(buffer);
}

void EscapedBranch(ExchangeBuffer& buffer, const SessionContext& ctx) {
  ReplyCopy reply = TakeReply(buffer, buffer.dataLength);
  buffer.dataLength = kNothingToSend;
  link::DecodeEscapedReply(reply, buffer, ctx.status);
  ctx.state.answered = ctx.status.Text(link::kLinkStatusPanel) == link::kDataReceived;
  FollowAwaitedBare(ctx.state);
  if (RunPage(ctx, catalogue::LinkFamily::Escaped)) {
    ctx.page->Step(reply, buffer);
    ctx.state.pageReplied = ctx.state.answered;
  } else {
    KeepAlive(buffer, ctx);
  }
  if (buffer.dataLength != kNothingToSend) link::EncodeEscapedRequest(buffer);
}

void GmBranch(ExchangeBuffer& buffer, const SessionContext& ctx) {
  ReplyCopy reply = TakeReply(buffer, buffer.dataLength);
  buffer.dataLength = kNothingToSend;
  ctx.state.answered = reply[0] == link::kGmAddress;
  FollowAwaitedBare(ctx.state);
  if (RunPage(ctx, catalogue::LinkFamily::Gm)) {
    link::ValidateGmReply(reply, ctx.status);
    ctx.page->Step(reply, buffer);
    ctx.state.pageReplied = ctx.state.answered;
  } else if (ctx.keepAlive) {
    link::ValidateGmReply(reply, ctx.status);
    KeepAlive(buffer, ctx);
  }
}

}  // namespace

void AwaitAnswer(SessionState& state, std::uint8_t service,
                 std::function<void(AnswerOutcome, const std::string&)> done) {
  state.awaited = {service, kAnswerTicks, std::move(done)};
}

ReplyCopy TakeReply(const ExchangeBuffer& buffer, int offset) {
  ReplyCopy reply{};
  if (offset < 0) return reply;
  for (std::size_t i = 0; i < reply.size(); ++i)
    reply[i] = link::At(buffer.receiveArea, offset + i);
  return reply;
}

void SessionStep(ExchangeBuffer& buffer, const SessionContext& context) {
  context.state.pageReplied = false;
  switch (catalogue::Lookup(context.ecuType).family) {
    case catalogue::LinkFamily::Kwp2000:
      KwpBranch(buffer, context);
      break;
    case catalogue::LinkFamily::Escaped:
      EscapedBranch(buffer, context);
      break;
    case catalogue::LinkFamily::Gm:
      GmBranch(buffer, context);
      break;
  }
}

const char* NegativeResponseText(std::uint8_t code) {
  switch (code) {
    case 0x00:
      return "reserveByDocument";
    case 0x10:
      return "GeneralReject";
    case 0x11:
      return "serviceNotSupported";
    case 0x12:
      return "SubFunctionNotSupp";
    case 0x21:
      return "busy-repeatRequest";
    case 0x22:
      return "conitionsNotCorrect";
    case 0x31:
      return "requestOutOfRange";
    case 0x33:
      return "securityAccessDenied";
    case 0x71:
      return "transferSuspended";
    case 0x72:
      return "transferAborted";
    case 0x74:
      return "illegalAddressInBlock";
    case 0x77:
      return "blockChecksumError";
    case 0x78:
      return "requestCorrectly-ResponsePending";
    case 0x79:
      return "IncorrectByteCount";
    case 0x80:
      return "serviceNotSupported ICM";
    default:
      return nullptr;
  }
}

}  // namespace kd::session
