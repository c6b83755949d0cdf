#include "link/kline_cable.h"

#include <gtest/gtest.h>

#include "link/fake_line.h"

namespace kd::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::FakeLine;

constexpr LineSettings kKwpContract{115200, 'n', 8, 2};
const Bytes kStartComm = {0x81, 0x11, 0xF1, 0x81, 0x04};
const Bytes kStartReply = {0x83, 0xF1, 0x11, 0xC1, 0xEF, 0x8F, 0xC4};
const Bytes kTesterPresent = {0x82, 0x10, 0xF1, 0x3E, 0x01, 0xC2};

Bytes Enveloped(const Bytes& frame, std::uint8_t flags = 0) {
  Bytes out = {0x55, 0x56, 0x57, 0xAA, static_cast<std::uint8_t>((frame.size() + 5) | flags)};
  out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

class Cable : public ::testing::Test {
 protected:
  void SetUp() override { Start(kKwpContract); }
  void Start(const LineSettings& settings) {
    ASSERT_TRUE(cable.Open(2));
    ASSERT_TRUE(cable.ApplyLineSettings(settings));
    cable.SetReadTimeout(100);
    // Long enough after the opening that the line counts as idle.
    clock.Advance(1000000);
  }
  WriteStatus Send(const Bytes& bytes) { return cable.Write(bytes.data(), bytes.size()); }
  Bytes ReadCore() {
    std::uint8_t buffer[200] = {};
    return Bytes(buffer, buffer + cable.Read(buffer, 200));
  }
  // A unit that answers `frame` with `reply` this long after the frame's last byte.
  void Answer(const Bytes& frame, const Bytes& reply, std::int64_t afterUs = 25000) {
    line.onWrite = [frame, reply, afterUs, heard = Bytes()](FakeLine& l, const Bytes& bytes,
                                                            int baud) mutable {
      if (baud != 10400) return;
      heard.insert(heard.end(), bytes.begin(), bytes.end());
      if (heard.size() >= frame.size() &&
          Bytes(heard.end() - static_cast<std::ptrdiff_t>(frame.size()), heard.end()) == frame) {
        l.Arrive(l.Clock().NowUs() + afterUs, reply);
        heard.clear();
      }
    };
  }
  Bytes Joined(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
  }

  ManualLineClock clock;
  FakeLine line{clock};
  KLineCable cable{line, clock};
};

TEST_F(Cable, RunsTheLineAtTheSpeedOfEachFamily) {
  EXPECT_EQ(line.settings.back(), (LineSettings{10400, 'n', 8, 1}));
  ASSERT_TRUE(cable.ApplyLineSettings({9600, 'n', 8, 1}));
  EXPECT_EQ(line.settings.back(), (LineSettings{9600, 'n', 8, 1}));
  ASSERT_TRUE(cable.ApplyLineSettings({8192, 'n', 8, 1}));
  EXPECT_EQ(line.settings.back(), (LineSettings{8192, 'n', 8, 1}));
}

// The wake-up pattern: 25 ms low (a zero byte at 360 baud is nine low bit times), 25 ms high,
// then StartCommunication; the pattern's own echo is nobody's answer.
TEST_F(Cable, FastInitialisationIsTwentyFiveLowTwentyFiveHigh) {
  Answer(kStartComm, kStartReply);
  const std::int64_t before = clock.NowUs();
  ASSERT_EQ(Send(Enveloped(kStartComm, 0x80)), WriteStatus::Written);
  ASSERT_EQ(line.sent.size(), 1 + kStartComm.size());
  EXPECT_EQ(line.sent[0].byte, 0x00);
  EXPECT_EQ(line.sent[0].baud, 360);
  EXPECT_LE(line.sent[0].us - before, 2000);  // the line had been idle for W5 already
  // Nine bits at 360 baud are the 25 ms low time.
  EXPECT_EQ(9 * 1000000 / 360, 25000);
  EXPECT_EQ(line.sent[1].us - line.sent[0].us, 50000);
  EXPECT_EQ(line.sent[1].baud, 10400);
  for (std::size_t i = 1; i < line.sent.size(); ++i)
    EXPECT_EQ(line.sent[i].byte, kStartComm[i - 1]);
  clock.Advance(300000);
  EXPECT_EQ(ReadCore(), Joined(kStartComm, kStartReply));
  EXPECT_EQ(cable.LastEcho(), KLineCable::Echo::Ok);
}

TEST_F(Cable, FastInitialisationWaitsForAnIdleLine) {
  Answer(kTesterPresent, {0x81, 0xF1, 0x10, 0x7E, 0xE0});
  ASSERT_EQ(Send(Enveloped(kTesterPresent)), WriteStatus::Written);
  const std::int64_t lastByte = line.sent.back().us;
  ReadCore();  // the answer: the line was busy until then
  const std::int64_t answered = clock.NowUs();
  ASSERT_GT(answered, lastByte);
  line.sent.clear();
  Send(Enveloped(kStartComm, 0x80));
  ASSERT_FALSE(line.sent.empty());
  EXPECT_GE(line.sent[0].us - lastByte, 300000 - 100000);
  EXPECT_EQ(line.sent[0].baud, 360);
}

TEST(CableBreak, FastInitialisationByATimedBreak) {
  ManualLineClock clock;
  FakeLine line(clock);
  KLineCable cable(line, clock, {}, KLineCable::FastInitMethod::Break);
  cable.Open(1);
  cable.ApplyLineSettings(kKwpContract);
  clock.Advance(1000000);
  const Bytes packet = Enveloped(kStartComm, 0x80);
  ASSERT_EQ(cable.Write(packet.data(), packet.size()), WriteStatus::Written);
  ASSERT_EQ(line.levels.size(), 2u);
  EXPECT_TRUE(line.levels[0].low);
  EXPECT_EQ(line.levels[1].us - line.levels[0].us, 25000);
  ASSERT_FALSE(line.sent.empty());
  EXPECT_EQ(line.sent[0].us - line.levels[1].us, 25000);
  EXPECT_EQ(line.SentBytes(), kStartComm);
  // A bridge that cannot hold a break sends nothing and says the write failed.
  line.breaks = false;
  line.sent.clear();
  clock.Advance(1000000);
  EXPECT_EQ(cable.Write(packet.data(), packet.size()), WriteStatus::Failed);
  EXPECT_TRUE(line.sent.empty());
}

TEST_F(Cable, WithoutBitSevenNoWakeUp) {
  Send(Enveloped(kStartComm));
  EXPECT_EQ(line.SentBytes(), kStartComm);
  EXPECT_EQ(line.sent[0].baud, 10400);
}

// P4 stands between the tester's bytes: 5 ms until AccessTimingParameters sets another, which
// holds only once the unit has accepted it.
TEST_F(Cable, P4BetweenSentBytesFollowsTheTimingInForce) {
  Send(Enveloped(kTesterPresent));
  for (std::size_t i = 1; i < line.sent.size(); ++i)
    EXPECT_EQ(line.sent[i].us - line.sent[i - 1].us, 5000) << i;
  const Bytes timing = {0x87, 0x11, 0xF1, 0x83, 0x03, 0x00, 0x50, 0x01, 0x14, 0x04, 0x74};
  Answer(timing, {0x7F, 0xF1, 0x11, 0x7F, 0x83, 0x22, 0x00});
  Send(Enveloped(timing));
  clock.Advance(300000);
  ReadCore();
  EXPECT_EQ(cable.P4Us(), 5000);  // refused: the old timing stays

  Answer(timing, {0x81, 0xF1, 0x11, 0xC3, 0x86});
  line.sent.clear();
  Send(Enveloped(timing));
  EXPECT_EQ(cable.P4Us(), 5000);  // not before the answer
  clock.Advance(300000);
  ReadCore();
  EXPECT_EQ(cable.P4Us(), 2000);  // 4 half-milliseconds
  line.sent.clear();
  Send(Enveloped(kTesterPresent));
  for (std::size_t i = 1; i < line.sent.size(); ++i)
    EXPECT_EQ(line.sent[i].us - line.sent[i - 1].us, 2000) << i;
}

// However the echo and the reply are cut into reads, the core reads the frame and the reply,
// each byte once.
TEST_F(Cable, EchoIsTakenOffAtEverySplit) {
  for (std::size_t chunk = 1; chunk <= kTesterPresent.size() + 1; ++chunk) {
    for (std::int64_t delay : {0, 3000, 20000}) {
      line.chunk = chunk;
      line.echoDelayUs = delay;
      const Bytes reply = {0x81, 0xF1, 0x10, 0x7E, 0xE0};
      Answer(kTesterPresent, reply, 30000);
      ASSERT_EQ(Send(Enveloped(kTesterPresent)), WriteStatus::Written);
      clock.Advance(300000);
      Bytes got;
      for (Bytes part; !(part = ReadCore()).empty();)
        got.insert(got.end(), part.begin(), part.end());
      EXPECT_EQ(got, Joined(kTesterPresent, reply)) << "chunk " << chunk << " delay " << delay;
      EXPECT_EQ(cable.LastEcho(), KLineCable::Echo::Ok);
    }
  }
}

TEST_F(Cable, AMissingEchoGivesTheCoreNothing) {
  line.powered = false;
  ASSERT_EQ(Send(Enveloped(kTesterPresent)), WriteStatus::Written);
  EXPECT_EQ(line.SentBytes(), kTesterPresent);
  clock.Advance(300000);
  EXPECT_TRUE(ReadCore().empty());
  EXPECT_EQ(cable.LastEcho(), KLineCable::Echo::Missing);
}

TEST_F(Cable, AWrongEchoIsPassedOnAsTheLineCarriedIt) {
  line.powered = false;
  line.onWrite = [](FakeLine& l, const Bytes& bytes, int) {
    Bytes bent = bytes;
    bent[0] ^= 0x01;
    l.Arrive(l.Clock().NowUs(), bent);
  };
  Send(Enveloped(kTesterPresent));
  EXPECT_EQ(cable.LastEcho(), KLineCable::Echo::Corrupt);
  // Every byte went out alone, each bent on the way back.
  EXPECT_EQ(ReadCore(), (Bytes{0x83, 0x11, 0xF0, 0x3F, 0x00, 0xC3}));
}

TEST_F(Cable, AnEnvelopeTheAdapterWouldNotTakeSendsNothing) {
  Bytes packet = Enveloped(kTesterPresent);
  packet[4] = 0x0C;  // one more than written
  EXPECT_EQ(Send(packet), WriteStatus::Written);
  packet = {0x82, 0x10, 0xF1, 0x3E, 0x01, 0xC2};  // no envelope
  EXPECT_EQ(Send(packet), WriteStatus::Written);
  EXPECT_TRUE(line.sent.empty());
}

TEST_F(Cable, LateBytesStandInFrontOfTheNextEcho) {
  Answer(kTesterPresent, {0x81, 0xF1, 0x10, 0x7E, 0xE0}, 150000);
  Send(Enveloped(kTesterPresent));
  EXPECT_EQ(ReadCore(), kTesterPresent);  // the answer comes after the read window
  clock.Advance(200000);
  line.onWrite = nullptr;
  Send(Enveloped(kTesterPresent));
  EXPECT_EQ(ReadCore(), Joined({0x81, 0xF1, 0x10, 0x7E, 0xE0}, kTesterPresent));
}

TEST_F(Cable, ALineThatNeverFallsQuietStillTakesTheWrite) {
  // A babbling unit: a byte every half millisecond for a minute of line time.
  const std::int64_t start = clock.NowUs();
  for (std::int64_t at = start; at < start + 60'000'000; at += 500) line.Arrive(at, {0x55});
  ASSERT_EQ(Send(Enveloped(kTesterPresent)), WriteStatus::Written);
  ASSERT_FALSE(line.sent.empty());
  EXPECT_EQ(line.SentBytes(), kTesterPresent);
  EXPECT_LT(line.sent.front().us - start, 5'000'000);
}

TEST_F(Cable, EscapedAndGmFramesGoOutAsTheyAre) {
  for (int baud : {9600, 8192}) {
    ASSERT_TRUE(cable.ApplyLineSettings({baud, 'n', 8, 1}));
    line.sent.clear();
    // Even bytes that look like an envelope are only a frame here.
    const Bytes frame = {0x55, 0x56, 0x57, 0xAA, 0x0D};
    const Bytes reply = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    line.onWrite = [&](FakeLine& l, const Bytes&, int) {
      l.Arrive(l.Clock().NowUs() + 20000, reply);
    };
    ASSERT_EQ(Send(frame), WriteStatus::Written);
    EXPECT_EQ(line.SentBytes(), frame);
    for (const auto& s : line.sent) EXPECT_EQ(s.us, line.sent[0].us);  // one write, no gaps
    clock.Advance(300000);
    EXPECT_EQ(ReadCore(), Joined(frame, reply)) << baud;
  }
}

// ISO 9141-2: the address 0x33 at 5 baud (a break for each low bit), the sync byte and the two
// key bytes, the complement of the second after W4, and the unit's complement of the address.
class SlowInit : public Cable {
 protected:
  void Unit(Bytes keys) {
    line.onBreakReleased = [this, keys](FakeLine& l) {
      // Decode at the stop bit's rising edge: 1.8 s after the start bit fell.
      const std::int64_t start = l.levels.front().us;
      if (l.Clock().NowUs() - start < 1800000) return;
      std::uint8_t address = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const std::int64_t at = start + 300000 + bit * 200000;
        bool low = false;
        for (const auto& level : l.levels)
          if (level.us <= at) low = level.low;
        if (!low) address |= static_cast<std::uint8_t>(1 << bit);
      }
      decoded = address;
      if (address != 0x33) return;
      const std::int64_t end = start + 2000000;
      l.Arrive(end + 60000, {0x55});
      l.Arrive(end + 66000, {keys[0]});
      l.Arrive(end + 72000, {keys[1]});
    };
    line.onWrite = [this, keys](FakeLine& l, const Bytes& bytes, int baud) {
      if (baud == 10400 && bytes == Bytes{static_cast<std::uint8_t>(~keys[1])}) {
        complementAt = l.Clock().NowUs();
        l.Arrive(l.Clock().NowUs() + 30000, {0xCC});
      }
    };
  }
  std::optional<std::uint8_t> decoded;
  std::int64_t complementAt = 0;
  const Bytes packet = {0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7};
};

TEST_F(SlowInit, AddressKeyBytesAndClosingAsTheAdapterGivesThem) {
  Unit({0x08, 0x08});
  const std::int64_t before = clock.NowUs();
  ASSERT_EQ(Send(packet), WriteStatus::Written);
  EXPECT_EQ(decoded, 0x33);
  // The levels of 0x33 LSB first: low 200, high 400, low 400, high 400, low 400, high.
  ASSERT_EQ(line.levels.size(), 10u + 1u);
  EXPECT_LE(line.levels[0].us - before, 2000);  // the line had been idle for W5 already
  const std::int64_t t0 = line.levels[0].us;
  std::string pattern;
  for (int bit = 0; bit < 10; ++bit) {
    EXPECT_EQ(line.levels[static_cast<std::size_t>(bit)].us - t0, bit * 200000);
    pattern += line.levels[static_cast<std::size_t>(bit)].low ? '0' : '1';
  }
  EXPECT_EQ(pattern, "0110011001");
  EXPECT_FALSE(line.levels.back().low);
  // The line is set to 5 baud for the pattern and back to 10,400 for the key bytes.
  EXPECT_EQ(line.settings[line.settings.size() - 2].baud, 5);
  EXPECT_EQ(line.settings.back().baud, 10400);
  // W4 after the second key byte.
  EXPECT_GE(complementAt - (t0 + 2000000 + 72000), 25000);
  EXPECT_LE(complementAt - (t0 + 2000000 + 72000), 50000);
  EXPECT_EQ(line.SentBytes(), Bytes{0xF7});
  EXPECT_EQ(ReadCore(), (Bytes{0xF7, 0xCC}));
}

TEST_F(SlowInit, UnitWithOtherKeyBytesGetsItsOwnComplement) {
  Unit({0x94, 0x94});
  Send(packet);
  EXPECT_EQ(line.SentBytes(), Bytes{0x6B});
  EXPECT_EQ(ReadCore(), (Bytes{0xF7, 0xCC}));
}

TEST_F(SlowInit, NoUnitNoAnswer) {
  ASSERT_EQ(Send(packet), WriteStatus::Written);
  EXPECT_TRUE(line.sent.empty());
  EXPECT_TRUE(ReadCore().empty());
}

TEST_F(SlowInit, ABridgeWithoutBreakCannotSendTheAddress) {
  Unit({0x08, 0x08});
  line.breaks = false;
  EXPECT_EQ(Send(packet), WriteStatus::Failed);
  EXPECT_FALSE(decoded);
  EXPECT_TRUE(ReadCore().empty());
}

// The trace sees the wire: the pattern, the bytes sent and those received.
TEST_F(Cable, ReportsWhatWentOverTheWire) {
  std::vector<std::string> events;
  cable.SetWireListener([&](const WireEvent& e) {
    static const char* names[] = {"tx", "rx", "fast-init", "5-baud"};
    events.push_back(std::string(names[static_cast<int>(e.kind)]) + " " +
                     std::to_string(e.bytes.size()));
  });
  Answer(kStartComm, kStartReply);
  Send(Enveloped(kStartComm, 0x80));
  clock.Advance(300000);
  ReadCore();
  EXPECT_EQ(events, (std::vector<std::string>{"fast-init 0", "tx 5", "rx 7"}));
}

}  // namespace
}  // namespace kd::link
