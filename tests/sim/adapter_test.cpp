// The adapter as the program relies on it: the frame behind the envelope echoed, the answer
// behind the echo; bare frames echoed whole; nothing at settings it does not serve.
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

struct Adapter : SimFixture {
  const Bytes tester = KwpRequest(0x10, {0x3E, 0x01});
};

TEST_F(Adapter, EchoesTheFrameBehindTheEnvelopeThenTheAnswerInOneRead) {
  Connect(1, kKwpLine);
  const Bytes reply = Send(Envelope(tester), tester);
  EXPECT_EQ(KwpService(reply, 0x10), Bytes{0x7E});
  EXPECT_TRUE(ReadAll().empty());
  // A read takes at most its limit; the rest waits in order.
  const Bytes written = Envelope(tester);
  port.Write(written.data(), written.size());
  Bytes both = ReadAll(3);
  const Bytes rest = ReadAll();
  both.insert(both.end(), rest.begin(), rest.end());
  EXPECT_EQ(Bytes(both.begin() + 6, both.end()), reply);
}

TEST_F(Adapter, DropsWhatIsNoEnvelopeOrWhoseCountIsWrong) {
  Connect(1, kKwpLine);
  for (int change : {-1, 1, 2}) {
    Bytes written = Envelope(tester);
    if (change == 2)
      written[2] = 0x58;
    else
      written[4] = static_cast<std::uint8_t>(written[4] + change);
    port.Write(written.data(), written.size());
    EXPECT_TRUE(ReadAll().empty()) << change;
  }
  port.Write(tester.data(), tester.size());
  EXPECT_TRUE(ReadAll().empty()) << "a bare frame at 115200";
}

TEST_F(Adapter, CountBit7IsTheFastInitAndBit6TheIso9141Init) {
  Connect(3, kKwpLine);
  EXPECT_TRUE(Kwp(0x11, {0x81}).empty()) << "asleep without the wake-up pattern";
  EXPECT_EQ(KwpService(Kwp(0x11, {0x81}, 0x80), 0x11).at(0), 0xC1);
  // The 5-baud address 33 is answered by the car's generic OBD side: the adapter closes the
  // initialisation with the byte behind the envelope, which comes back with the unit's CC.
  const Bytes init{0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7};
  port.Write(init.data(), init.size());
  EXPECT_EQ(ReadAll(), (Bytes{0xF7, 0xCC}));
  port.SetFault(Fault::Silence);
  port.Write(init.data(), init.size());
  EXPECT_TRUE(ReadAll().empty()) << "no key bytes, nothing to close the initialisation with";
}

TEST_F(Adapter, BareFramesAreEchoedWholeAndHeardOnlyByTheirOwnController) {
  const Bytes escaped = EscapedFrame({0x61, 0x24});
  Connect(4, kEscapedLine);
  EXPECT_FALSE(Bare(escaped).empty());
  Connect(5, kGmLine);
  EXPECT_FALSE(Bare(kGmRequest).empty());
  // January 4.1 spoken to at GM speed, an envelope at 9600: the line echoes, no one answers.
  Connect(4, kGmLine);
  EXPECT_TRUE(Bare(escaped).empty());
  Connect(1, kEscapedLine);
  EXPECT_TRUE(Bare(Envelope(tester)).empty());
}

TEST_F(Adapter, WrongLineSettingsGiveNeitherEchoNorAnswer) {
  for (const auto& line : {Line(115200, 1), Line(115200, 2, 'e'), Line(115200, 2, 'n', 7),
                           Line(10400, 1), Line(9600, 2), Line(19200, 1)}) {
    Connect(1, line);
    const Bytes written = Envelope(tester);
    EXPECT_EQ(port.Write(written.data(), written.size()), link::WriteStatus::Written);
    EXPECT_TRUE(ReadAll().empty()) << line.baud << line.parity << line.dataBits << line.stopBits;
  }
  EXPECT_FALSE(port.ApplyLineSettings(link::LineSettings{})) << "an empty record";
  port.Close();
  EXPECT_FALSE(port.ApplyLineSettings(kKwpLine));
  EXPECT_FALSE(port.Open(9));
}

}  // namespace
}  // namespace kd::sim::test
