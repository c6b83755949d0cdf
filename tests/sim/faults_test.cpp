// Each fault as the bytes show it, on KWP2000 and where it applies on the other families.
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

struct Faults : SimFixture {
  const Bytes tester = KwpRequest(0x10, {0x3E, 0x01});
  Bytes Tester() { return Send(Envelope(tester), tester); }
};

TEST_F(Faults, SilenceGarbageAndBadChecksumInEachFamily) {
  Connect(1, kKwpLine);
  port.SetFault(Fault::Silence);
  EXPECT_TRUE(Tester().empty()) << "the echo only";
  port.SetFault(Fault::Garbage, 9);
  EXPECT_TRUE(Tester().empty()) << "silence wins: nothing to garble";
  port.ClearFault(Fault::Silence);
  const Bytes noise = Tester();
  EXPECT_EQ(noise.size(), 9u);
  EXPECT_NE(Tester(), noise) << "noise, not one fixed answer";
  port.ClearFaults();
  port.SetFault(Fault::BadChecksum);
  const Bytes r = Tester();
  ASSERT_GE(r.size(), 4u);
  EXPECT_EQ(r.back(), static_cast<std::uint8_t>(Sum8(r, 0, r.size() - 1) + 1));
  Connect(5, kGmLine);
  EXPECT_EQ(Sum8(Bare(kGmRequest)), 1);
  Connect(4, kEscapedLine);
  EXPECT_EQ(Sum8(Unstuff(Bare(EscapedFrame({0x61, 0x24})))), 1);
}

TEST_F(Faults, NegativeRefusesEveryRequestWithTheChosenCode) {
  Connect(8, kKwpLine);
  port.SetFault(Fault::Negative, 0x33);
  EXPECT_EQ(KwpService(Kwp(0x10, {0x81}, 0x80), 0x10), (Bytes{0x7F, 0x81, 0x33}));
  EXPECT_EQ(KwpService(Kwp(0x10, {0x21, 0x01}), 0x10), (Bytes{0x7F, 0x21, 0x33}));
  port.SetFault(Fault::Negative);
  EXPECT_EQ(KwpService(Kwp(0x10, {0x81}, 0x80), 0x10), (Bytes{0x7F, 0x81, 0x22})) << "default code";
  port.ClearFault(Fault::Negative);
  EXPECT_EQ(KwpService(Kwp(0x10, {0x21, 0x01}), 0x10), (Bytes{0x7F, 0x21, 0x22}))
      << "nothing opened";
}

TEST_F(Faults, ResponsePendingComesInFrontOfTheAnswerInTheSameRead) {
  const Bytes pending{0x83, 0xF1, 0x10, 0x7F, 0x3E, 0x78};
  for (int count : {1, 2}) {
    Connect(1, kKwpLine);
    port.SetFault(Fault::ResponsePending, count);
    const Bytes r = Tester();
    // The final answer, with a length byte: 80 F1 10 01 7E and its sum.
    ASSERT_EQ(r.size(), 7u * static_cast<std::size_t>(count) + 6) << count;
    for (int i = 0; i < count; ++i) {
      EXPECT_TRUE(std::equal(pending.begin(), pending.end(), r.begin() + 7 * i)) << i;
      EXPECT_EQ(r[static_cast<std::size_t>(7 * i + 6)], Sum8(pending));
    }
    EXPECT_EQ(r[r.size() - 6], 0x80);
    EXPECT_EQ(KwpService(Bytes(r.end() - 6, r.end()), 0x10), Bytes{0x7E});
  }
}

TEST_F(Faults, ALateAnswerMissesItsReadAndComesBeforeTheNextEcho) {
  Connect(1, kKwpLine);
  port.SetFault(Fault::LateReply);
  EXPECT_TRUE(Tester().empty());
  const Bytes written = Envelope(tester);
  port.Write(written.data(), written.size());
  const Bytes next = ReadAll();
  ASSERT_EQ(next.size(), 5 + tester.size());
  EXPECT_EQ(KwpService(Bytes(next.begin(), next.begin() + 5), 0x10), Bytes{0x7E});
  EXPECT_TRUE(std::equal(tester.begin(), tester.end(), next.begin() + 5));
  EXPECT_EQ(port.Waiting(), 5u) << "the next answer is late again";
}

TEST_F(Faults, AnUnpluggedAdapterFailsEverythingUntilItIsBack) {
  Connect(1, kKwpLine);
  port.SetFault(Fault::Unplugged);
  const Bytes written = Envelope(tester);
  EXPECT_EQ(port.Write(written.data(), written.size()), link::WriteStatus::Failed);
  EXPECT_TRUE(ReadAll().empty());
  EXPECT_FALSE(port.ApplyLineSettings(kKwpLine));
  SimulatedPort fresh;
  fresh.SetFault(Fault::Unplugged);
  EXPECT_FALSE(fresh.Open(1));
  // Plugged back in, the handle opened before works again with its settings.
  port.ClearFaults();
  EXPECT_EQ(KwpService(Tester(), 0x10), Bytes{0x7E});
}

}  // namespace
}  // namespace kd::sim::test
