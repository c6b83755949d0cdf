// The three frame formats against the worked examples of the protocol and cases around them.
#include <gtest/gtest.h>

#include <vector>

#include "link/escaped.h"
#include "link/gm.h"
#include "link/kwp.h"
#include "support/frames.h"

namespace kd::link {
namespace {

using testing::Bytes;

view::StatusBar MakeStatus() { return view::StatusBar("StatusBar1", {200, 70, 70, 70}); }

Bytes Sent(const ExchangeBuffer& b) {
  const std::uint8_t count = Add8(b.dataLength, 4);
  return Bytes(b.transmitFrame, b.transmitFrame + count);
}

ExchangeBuffer KwpRequest(std::uint8_t target, const Bytes& service) {
  ExchangeBuffer b;
  b.transmitFrame[1] = target;
  b.transmitFrame[2] = kTesterAddress;
  std::copy(service.begin(), service.end(), b.transmitFrame + 3);
  b.dataLength = static_cast<std::uint8_t>(service.size());
  return b;
}

ReplyCopy Reply(const Bytes& bytes) { return testing::AsReply(bytes); }

TEST(KwpFrame, WorkedExamplesGoOutInsideTheEnvelope) {
  auto tp = KwpRequest(0x10, {0x3E, 0x01});
  FrameKwpRequest(tp);
  EXPECT_EQ(Sent(tp), (Bytes{0x55, 0x56, 0x57, 0xAA, 0x0B, 0x82, 0x10, 0xF1, 0x3E, 0x01, 0xC2}));
  EXPECT_EQ(tp.dataLength, 7);

  auto sc = KwpRequest(0x11, {0x81});
  FrameKwpRequest(sc);
  EXPECT_EQ(Sent(sc), (Bytes{0x55, 0x56, 0x57, 0xAA, 0x0A, 0x81, 0x11, 0xF1, 0x81, 0x04}));

  // The EMUR's alternative address is part of the header the checksum covers.
  auto emur = KwpRequest(0x60, {0x81});
  FrameKwpRequest(emur);
  EXPECT_EQ(emur.transmitFrame[6], 0x60);
  EXPECT_EQ(emur.transmitFrame[9], static_cast<std::uint8_t>(0x81 + 0x60 + 0xF1 + 0x81));
}

TEST(KwpFrame, LongRequestCountsEnvelopeAndFrame) {
  Bytes service(21);
  for (std::size_t i = 0; i < service.size(); ++i) service[i] = static_cast<std::uint8_t>(0x30 + i);
  auto b = KwpRequest(0x10, service);
  FrameKwpRequest(b);
  const Bytes sent = Sent(b);
  ASSERT_EQ(sent.size(), 30u);
  EXPECT_EQ(sent[4], 0x1E);
  EXPECT_EQ(sent[5], 0x80 + 21);
  EXPECT_EQ(Bytes(sent.begin() + 5, sent.end()), testing::KwpRequest(0x10, service));
}

TEST(KwpFrame, AnyDataLengthStaysInsideTheFrame) {
  // A length no request has still frames without touching memory outside TransmitFrame; the
  // sanitizer run is what catches a slip here.
  for (int length = 0; length < 256; ++length) {
    ExchangeBuffer b;
    std::fill(std::begin(b.transmitFrame), std::end(b.transmitFrame), 0xA5);
    b.dataLength = static_cast<std::uint8_t>(length);
    FrameKwpRequest(b);
    EXPECT_EQ(b.dataLength, Add8(static_cast<std::uint8_t>(length), 5));
    EXPECT_EQ(b.transmitFrame[4], Add8(static_cast<std::uint8_t>(length), 9));
  }
}

TEST(KwpValidate, ShortAndLongFormsAndBadChecksums) {
  auto status = MakeStatus();
  ValidateKwpReply(Reply({0x80, 0xF1, 0x10, 0x02, 0x61, 0x01, 0xE5}), status);
  EXPECT_EQ(status.Text(3), kDataReceived);

  ValidateKwpReply(Reply({0x80, 0xF1, 0x10, 0x02, 0x61, 0x01, 0xE6}), status);
  EXPECT_EQ(status.Text(3), kChecksumError);

  ValidateKwpReply(Reply({0x81, 0xF1, 0x10, 0x7E, 0x00}), status);
  EXPECT_EQ(status.Text(3), kDataReceived);

  // The checksum sits beyond the copy: it reads as zero, and so does the sum it is compared to
  // only when every byte is zero.
  ReplyCopy huge{};
  huge[0] = 0x80;
  huge[3] = 0xFF;
  ValidateKwpReply(huge, status);
  EXPECT_EQ(status.Text(3), kChecksumError);
}

TEST(Escaped, WorkedExamplesAreStuffedAndTerminated) {
  struct Case {
    Bytes message;
    Bytes written;
  } cases[] = {
      {{0x61, 0x0C}, {0x61, 0x0C, 0x93, 0x0D}},
      {{0x61, 0x40}, {0x61, 0x40, 0x00, 0x5F, 0x0D}},
      {{0x61, 0x0D}, {0x61, 0x40, 0xCD, 0x92, 0x0D}},
      // Checksums that need stuffing themselves.
      {{0xC0}, {0xC0, 0x40, 0x00, 0x0D}},
      {{0xF3}, {0xF3, 0x40, 0xCD, 0x0D}},
  };
  for (const auto& c : cases) {
    ExchangeBuffer b;
    std::copy(c.message.begin(), c.message.end(), b.transmitFrame);
    b.dataLength = static_cast<std::uint8_t>(c.message.size());
    EncodeEscapedRequest(b);
    EXPECT_EQ(Sent(b), c.written);
  }
}

TEST(Escaped, FaultClearMessageOfJanuary41) {
  ExchangeBuffer b;
  b.transmitFrame[0] = 0x62;
  b.transmitFrame[1] = 0x62;
  b.dataLength = 34;
  EncodeEscapedRequest(b);
  const Bytes sent = Sent(b);
  ASSERT_EQ(sent.size(), 36u);
  EXPECT_EQ(sent[34], 0x3C);
  EXPECT_EQ(sent[35], 0x0D);
}

TEST(Escaped, LongestMessagesNeverLeaveTheFrame) {
  ExchangeBuffer b;
  std::fill(std::begin(b.transmitFrame), std::end(b.transmitFrame), 0x40);
  b.dataLength = 255;
  // 512 stuffed bytes: the 8-bit count wraps to 0, what does not fit is dropped, and the frame
  // shrinks to its terminator instead of running past TransmitFrame.
  EncodeEscapedRequest(b);
  EXPECT_EQ(Sent(b), Bytes{0x0D});
}

TEST(Escaped, DecodeUnstuffsUpToTheTerminator) {
  auto status = MakeStatus();
  ExchangeBuffer b;
  b.transmitFrame[0] = 0x61;
  auto r = Reply({0x40, 0x00, 0x41, 0x40, 0xCD, 0x0D, 0x77});
  DecodeEscapedReply(r, b, status);
  EXPECT_EQ(status.Text(3), kDataReceived);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 4), (Bytes{0x40, 0x41, 0x0D, 0x0D}));
}

TEST(Escaped, TerminatorMustStandByRawPosition150) {
  auto status = MakeStatus();
  ExchangeBuffer b;
  b.transmitFrame[0] = 0x61;
  for (std::size_t at : {std::size_t{150}, std::size_t{151}}) {
    ReplyCopy r{};
    std::fill(r.begin(), r.begin() + at, 0x22);
    r[at] = 0x0D;
    DecodeEscapedReply(r, b, status);
    EXPECT_EQ(status.Text(3), at == 150 ? kDataReceived : kNoLink) << at;
    if (at == 151) {
      // Missing: the zeroed copy carries only what was produced before the scan gave up.
      EXPECT_EQ(r[150], 0x22);
      EXPECT_EQ(r[151], 0x0D);
      EXPECT_EQ(r[152], 0x00);
      EXPECT_EQ(r[199], 0x00);
    }
  }
}

TEST(Escaped, ReplyThatIsTheRequestAgainCountsAsMissing) {
  auto status = MakeStatus();
  ExchangeBuffer b;
  b.transmitFrame[0] = 0x61;
  b.transmitFrame[1] = 0x0C;
  b.transmitFrame[2] = 0x93;
  std::fill(std::begin(b.receiveArea), std::end(b.receiveArea), 0x55);
  auto r = Reply({0x61, 0x0C, 0x93, 0x0D});
  DecodeEscapedReply(r, b, status);
  EXPECT_EQ(status.Text(3), kNoLink);
  EXPECT_EQ(b.receiveArea[0], 0);
  EXPECT_EQ(b.receiveArea[249], 0);
  EXPECT_EQ(b.receiveArea[250], 0x55);
  EXPECT_EQ(r[0], 0x61);  // the one produced byte lands on the zeroed copy
  EXPECT_EQ(r[1], 0x00);
}

TEST(Gm, ValidateSumsTheFrameItsLengthByteDescribes) {
  auto status = MakeStatus();
  ValidateGmReply(Reply({0xF4, 0x57, 0x01, 0x00, 0xB4, 0x00}), status);
  EXPECT_EQ(status.Text(3), kDataReceived);
  ValidateGmReply(Reply({0xF4, 0x57, 0x01, 0x00, 0xB4, 0x01}), status);
  EXPECT_EQ(status.Text(3), kChecksumError);
  ValidateGmReply(Reply({0xF5, 0x57, 0x01, 0x00, 0xB4, 0x00}), status);
  EXPECT_EQ(status.Text(3), kNoLink);
}

TEST(Gm, RequestsCarryLengthAndChecksum) {
  ExchangeBuffer b;
  const std::uint8_t message0 = 0x00;
  WriteGmRequest(b, 0x01, &message0, 1);
  EXPECT_EQ(Sent(b), (Bytes{0xF4, 0x57, 0x01, 0x00, 0xB4}));

  WriteGmRequest(b, 0x0A, nullptr, 0);
  EXPECT_EQ(Sent(b), (Bytes{0xF4, 0x56, 0x0A, 0xAC}));

  const std::uint8_t actuator[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  WriteGmRequest(b, 0x04, actuator, 10);
  const Bytes sent = Sent(b);
  ASSERT_EQ(sent.size(), 14u);
  EXPECT_EQ(sent[1], 0x60);
  EXPECT_EQ(sent, testing::GmFrame(0x04, Bytes(std::begin(actuator), std::end(actuator))));
}

}  // namespace
}  // namespace kd::link
