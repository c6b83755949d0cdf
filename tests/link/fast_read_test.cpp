// Fast poll's read rules: a reply's length from its header, when it is whole, how long it may
// take, and which timing the controller keeps.
#include "link/fast_read.h"

#include <gtest/gtest.h>

#include <vector>

namespace kd::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Enveloped(const Bytes& frame) {
  Bytes out{0x55, 0x56, 0x57, 0xAA, static_cast<std::uint8_t>(frame.size() + 5)};
  out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// ISO 14230-2: the address mode in bits 7-6 (none, exception, physical, functional) and the
// data length in bits 5-0, or in a length byte behind the header when those bits are zero.
TEST(KwpFrameLength, EveryFormatByteAndLengthForm) {
  for (int format = 0; format < 256; ++format) {
    const auto f = static_cast<std::uint8_t>(format);
    const int mode = format >> 6;
    const int data = format & 0x3F;
    if (mode == 1) {
      EXPECT_FALSE(KwpHeaderLength(f)) << format;
      EXPECT_FALSE(KwpFrameLength(Bytes{f, 0x10, 0xF1, 0x05})) << format;
      continue;
    }
    const std::size_t addresses = mode == 0 ? 0 : 2;
    if (data != 0) {
      EXPECT_EQ(KwpHeaderLength(f), 1 + addresses) << format;
      // The format byte alone tells the length.
      EXPECT_EQ(KwpFrameLength(Bytes{f}), 1 + addresses + data + 1) << format;
    } else {
      EXPECT_EQ(KwpHeaderLength(f), 2 + addresses) << format;
      Bytes header(1 + addresses, 0x10);
      header[0] = f;
      EXPECT_FALSE(KwpFrameLength(header)) << "the length byte is still to come: " << format;
      for (int length : {0, 1, 63, 64, 255}) {
        Bytes frame = header;
        frame.push_back(static_cast<std::uint8_t>(length));
        EXPECT_EQ(KwpFrameLength(frame), 2 + addresses + length + 1) << format << "/" << length;
      }
    }
  }
  EXPECT_FALSE(KwpFrameLength(Bytes{}));
}

TEST(FastRead, OnlyAnEnvelopedRequestWithoutWakeUpOrInitialisation) {
  const Bytes readData{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  const auto fast = FastRead::For(Enveloped(readData), kIso14230Timing);
  ASSERT_TRUE(fast);
  EXPECT_EQ(fast->Echo(), readData.size());

  Bytes marked = Enveloped(readData);
  marked[4] |= 0x80;
  EXPECT_FALSE(FastRead::For(marked, kIso14230Timing)) << "wake-up first";
  EXPECT_FALSE(FastRead::For(Bytes{0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7}, kIso14230Timing));
  EXPECT_FALSE(FastRead::For(readData, kIso14230Timing)) << "a bare frame";
  EXPECT_FALSE(FastRead::For(Enveloped({0x81, 0x10, 0xF1, 0x81, 0x03}), kIso14230Timing))
      << "StartCommunication";
  Bytes shortCount = Enveloped(readData);
  shortCount[4] -= 1;
  EXPECT_FALSE(FastRead::For(shortCount, kIso14230Timing));
}

// The reply coming in pieces, split at every byte: waiting until the last byte, whole then, and
// never asking for a byte past the reply (the next request's echo must not be read with it).
TEST(FastRead, WholeExactlyWhenTheLastByteCameAtEverySplit) {
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  const Bytes withLengthByte{0x80, 0xF1, 0x10, 0x04, 0x61, 0x01, 0x22, 0x33, 0x00};
  const Bytes inFormat{0x84, 0xF1, 0x10, 0x61, 0x01, 0x22, 0x33, 0x00};
  const Bytes noAddress{0x04, 0x61, 0x01, 0x22, 0x33, 0x00};
  for (const Bytes& reply : {withLengthByte, inFormat, noAddress}) {
    const auto fast = FastRead::For(Enveloped(request), kIso14230Timing);
    ASSERT_TRUE(fast);
    const Bytes read = Join(request, reply);
    for (std::size_t n = 0; n < read.size(); ++n) {
      const std::span<const std::uint8_t> part(read.data(), n);
      EXPECT_EQ(fast->Look(part), FastRead::State::Waiting) << n;
      EXPECT_GE(fast->Missing(part), 1u) << n;
      EXPECT_LE(n + fast->Missing(part), read.size()) << n;
    }
    EXPECT_EQ(fast->Look(read), FastRead::State::Whole);
    EXPECT_EQ(fast->Missing(read), 0u);
  }
}

TEST(FastRead, FallsBackOnAPendingReplyAndAFrameWithoutLength) {
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  const auto fast = FastRead::For(Enveloped(request), kIso14230Timing);
  ASSERT_TRUE(fast);
  EXPECT_EQ(fast->Look(Join(request, {0x83, 0xF1, 0x10, 0x7F, 0x21, 0x78, 0x00})),
            FastRead::State::FallBack);
  EXPECT_EQ(fast->Look(Join(request, {0x83, 0xF1, 0x10, 0x7F, 0x21, 0x12, 0x00})),
            FastRead::State::Whole)
      << "a refusal is an answer";
  EXPECT_EQ(fast->Look(Join(request, {0x48})), FastRead::State::FallBack);
}

TEST(FastRead, DeadlineIsTheLinesTimeP2maxAndTheReplyOnceItsLengthIsKnown) {
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  const auto fast = FastRead::For(Enveloped(request), kIso14230Timing);
  ASSERT_TRUE(fast);
  // Six request bytes with P4min 5 ms between them, P2max 50 ms.
  const std::int64_t before = LineTimeUs(6, 5) + 50000 + FastRead::kHostSlackUs;
  // Until the header has come, the longest reply a read window takes behind the echo.
  EXPECT_EQ(fast->DeadlineUs(request), before + LineTimeUs(200 - 6, 0));
  const Bytes header{0x80, 0xF1, 0x10, 0x53};
  EXPECT_EQ(fast->DeadlineUs(Join(request, header)), before + LineTimeUs(4 + 0x53 + 1, 0));
  EXPECT_EQ(fast->DeadlineUs(Join(request, {0x84})), before + LineTimeUs(3 + 4 + 1, 0));
  // A negotiated P2max of seconds never holds the poll longer than a tick would.
  KwpTiming slow = kIso14230Timing;
  slow.p2MaxMs = 2000;
  const auto patient = FastRead::For(Enveloped(request), slow);
  EXPECT_EQ(patient->DeadlineUs(Join(request, {0x84})),
            LineTimeUs(6, 5) + 300000 + FastRead::kHostSlackUs + LineTimeUs(8, 0));
}

// The earliest moment the reply can be whole: the request's bytes P4min apart, P2min, the reply's
// bytes back to back (the controller's P1min is 0).
TEST(FastRead, EarliestWholeIsTheLinesBitsAndP2minForWhatTheHeaderTellsOfTheReply) {
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  const auto fast = FastRead::For(Enveloped(request), kIso14230Timing);
  ASSERT_TRUE(fast);
  const std::int64_t before = LineTimeUs(6, 5) + 25000;
  // Nothing of the reply yet, or its echo alone: the shortest frame, format, one byte, checksum.
  EXPECT_EQ(fast->EarliestWholeUs({}), before + LineTimeUs(3, 0));
  EXPECT_EQ(fast->EarliestWholeUs(request), before + LineTimeUs(3, 0));
  // Format 80 with addresses: the length byte still to come may say no data.
  EXPECT_EQ(fast->EarliestWholeUs(Join(request, {0x80, 0xF1})), before + LineTimeUs(5, 0));
  EXPECT_EQ(fast->EarliestWholeUs(Join(request, {0x80, 0xF1, 0x10, 0x53})),
            before + LineTimeUs(4 + 0x53 + 1, 0));
  EXPECT_EQ(fast->EarliestWholeUs(Join(request, {0x84})), before + LineTimeUs(8, 0));
  // Never past the deadline while the reply is not late.
  EXPECT_LT(fast->EarliestWholeUs(Join(request, {0x84})), fast->DeadlineUs(Join(request, {0x84})));
  // M7.9.7's negotiated timing has neither P2min nor P4min: the request's bytes back to back,
  // and the reply may follow its last bit.
  const auto quick = FastRead::For(Enveloped(request), KwpTiming{0, 2000, 0.5, 0});
  EXPECT_EQ(quick->EarliestWholeUs(Join(request, {0x80, 0xF1, 0x10, 0x53})),
            LineTimeUs(6, 0) + LineTimeUs(88, 0));
}

TEST(LineTime, TenBitsABytePlusP4minBetween) {
  EXPECT_EQ(LineTimeUs(0, 5), 0);
  EXPECT_EQ(LineTimeUs(1, 5), 962);
  // The M7.9.7's 86-byte data reply: 82.7 ms.
  EXPECT_EQ(LineTimeUs(86, 0), 82693);
  EXPECT_EQ(LineTimeUs(2, 5), 6924);
}

TEST(TimingFollower, AcceptedAccessTimingParametersHoldsUntilTheNextSession) {
  TimingFollower follower;
  EXPECT_EQ(follower.Timing(), kIso14230Timing);
  const Bytes asks{0x87, 0x10, 0xF1, 0x83, 0x03, 0x00, 0x50, 0x01, 0x14, 0x00, 0x00};
  follower.Exchange({}, Enveloped(asks));
  EXPECT_EQ(follower.Timing(), kIso14230Timing) << "not before the answer";
  const Bytes next{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  follower.Exchange(Join(asks, {0x81, 0xF1, 0x10, 0xC3, 0x00}), Enveloped(next));
  EXPECT_EQ(follower.Timing(), (KwpTiming{0, 2000, 0.5, 0}));
  follower.Exchange(Join(next, {0x82, 0xF1, 0x10, 0x61, 0x01, 0x00}), Enveloped(next));
  EXPECT_EQ(follower.Timing(), (KwpTiming{0, 2000, 0.5, 0}));
  follower.Exchange(Join(next, {}), Enveloped({0x81, 0x10, 0xF1, 0x81, 0x03}));
  EXPECT_EQ(follower.Timing(), kIso14230Timing) << "a new session starts on the defaults";

  // Refused: the defaults stay.
  follower.Exchange({}, Enveloped(asks));
  follower.Exchange(Join(asks, {0x83, 0xF1, 0x10, 0x7F, 0x83, 0x12, 0x00}), Enveloped(next));
  EXPECT_EQ(follower.Timing(), kIso14230Timing);
}

}  // namespace
}  // namespace kd::link
