// Whatever arrives on the port and whatever DataLength holds, the decoders and the tick stay
// inside their buffers (the sanitizer run proves it) and end with one of the link's own texts.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "catalogue/ecu_catalogue.h"
#include "link/escaped.h"
#include "link/fake_port.h"
#include "link/gm.h"
#include "link/kwp.h"
#include "link/port.h"
#include "session/session_step.h"

namespace kd::link {
namespace {

const std::set<std::string> kLinkTexts = {
    "", kDataReceived, kChecksumError, kNoLink, "reserveByDocument", "GeneralReject",
    "serviceNotSupported", "SubFunctionNotSupp", "busy-repeatRequest", "conitionsNotCorrect",
    "requestOutOfRange", "securityAccessDenied", "transferSuspended", "transferAborted",
    "illegalAddressInBlock", "blockChecksumError", "requestCorrectly-ResponsePending",
    "IncorrectByteCount", "serviceNotSupported ICM"};

// Streams biased toward the bytes the decoders branch on, so the rare paths are reached.
std::uint8_t Interesting(std::mt19937& rng) {
  static const std::uint8_t kSpecial[] = {0x00, 0x0D, 0x40, 0x7F, 0x78, 0x80, 0x81, 0xF1,
                                          0xF4, 0x10, 0x11, 0x30, 0x60, 0xC1, 0xFF, 0x55};
  return rng() % 3 ? kSpecial[rng() % std::size(kSpecial)] : static_cast<std::uint8_t>(rng());
}

TEST(RandomStreams, DecodersStayInBoundsAndShowLinkTexts) {
  std::mt19937 rng(20241);
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  for (int round = 0; round < 20000; ++round) {
    ExchangeBuffer buffer;
    for (auto& b : buffer.receiveArea) b = Interesting(rng);
    for (auto& b : buffer.transmitFrame) b = Interesting(rng);
    ReplyCopy reply;
    for (auto& b : reply) b = Interesting(rng);
    ReplyCopy copy = reply;

    ValidateKwpReply(reply, status);
    EXPECT_TRUE(kLinkTexts.count(status.Text(kLinkStatusPanel)));
    ValidateGmReply(reply, status);
    EXPECT_TRUE(kLinkTexts.count(status.Text(kLinkStatusPanel)));
    DecodeEscapedReply(copy, buffer, status);
    EXPECT_TRUE(kLinkTexts.count(status.Text(kLinkStatusPanel)));

    buffer.dataLength = static_cast<std::uint8_t>(rng());
    FrameKwpRequest(buffer);
    buffer.dataLength = static_cast<std::uint8_t>(rng());
    EncodeEscapedRequest(buffer);
    if (HasFailure()) break;
  }
}

TEST(RandomStreams, TickOfEveryTypeOnGarbageAndRandomLengths) {
  std::mt19937 rng(7);
  for (std::uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 0xFFFFFFFFu}) {
    testing::FakePort port;
    PortHandle handle(port);
    view::StatusBar status("StatusBar1", {200, 70, 70, 70});
    ExchangeBuffer buffer;
    session::SessionState state;
    OpenPort(handle, 2, type, status);
    for (int tick = 0; tick < 3000; ++tick) {
      const int count = static_cast<int>(rng() % 260);
      for (int i = 0; i < count; ++i) port.incoming.push_back(Interesting(rng));
      if (rng() % 8 == 0) buffer.dataLength = static_cast<std::uint8_t>(rng());
      const auto page = static_cast<session::Page>(rng() % session::kPageCount);
      PollTick(
          handle, buffer, catalogue::Lookup(type).marksStartCommunication,
          [&](ExchangeBuffer& b) { session::SessionStep(b, {type, page, state, status, nullptr}); },
          status);
      ASSERT_FALSE(port.writes.empty());
      EXPECT_LE(port.writes.back().size(), 255u);
      EXPECT_TRUE(kLinkTexts.count(status.Text(kLinkStatusPanel))) << status.Text(kLinkStatusPanel);
      port.incoming.clear();
      port.writes.clear();
    }
  }
}

}  // namespace
}  // namespace kd::link
