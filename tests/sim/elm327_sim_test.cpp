// The simulated ELM327 as any ELM client sees it: text in, text and a prompt out.
#include "sim/elm327_sim.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/simulated_port.h"

namespace kd::sim {
namespace {

struct Elm : ::testing::Test {
  SimulatedPort car{6};
  Elm327Sim elm{car};

  void SetUp() override { Connect(); }
  void Connect() {
    ASSERT_TRUE(elm.Open(1));
    ASSERT_TRUE(elm.ApplyLineSettings({38400, 'n', 8, 1}));
  }
  // Everything the chip answers to one line, prompt included.
  std::string Say(const std::string& line) {
    const std::string text = line + "\r";
    elm.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::string out;
    std::uint8_t buf[64];
    while (const std::size_t n = elm.Read(buf, sizeof buf)) out.append(buf, buf + n);
    return out;
  }
  // The same without echo, line feeds and the trailing prompt: "line|line".
  std::string Ask(const std::string& line) {
    std::string out = Say(line);
    EXPECT_FALSE(out.empty());
    if (!out.empty()) {
      EXPECT_EQ(out.back(), '>') << out;
      out.pop_back();
    }
    std::string joined;
    std::size_t at = 0;
    while (at < out.size()) {
      std::size_t end = out.find_first_of("\r\n", at);
      if (end == std::string::npos) end = out.size();
      if (end > at) joined += (joined.empty() ? "" : "|") + out.substr(at, end - at);
      at = end + 1;
    }
    return joined;
  }
  void Quiet() {
    Say("AT E0");
    Say("AT L0");
  }
};

TEST_F(Elm, EchoesUntilE0AndEndsEveryAnswerWithThePrompt) {
  EXPECT_EQ(Say("ATI"), "ATI\rELM327 v2.2\r\n\r\n>");
  EXPECT_EQ(Say("AT E0"), "AT E0\rOK\r\n\r\n>");
  EXPECT_EQ(Say("AT L0"), "OK\r\r>");
  EXPECT_EQ(Say("at rv"), "12.6V\r\r>") << "lower case and spaces are taken";
  EXPECT_EQ(Say("AT XYZ"), "?\r\r>");
  EXPECT_EQ(Say("AT Z"), "\r\nELM327 v2.2\r\n\r\n>") << "line feeds back, echo from now on";
  EXPECT_EQ(Say("AT I"), "AT I\rELM327 v2.2\r\n\r\n>");
}

TEST_F(Elm, SaysNothingAtAnyOtherRate) {
  ASSERT_TRUE(elm.ApplyLineSettings({9600, 'n', 8, 1}));
  EXPECT_EQ(Say("ATI"), "");
}

TEST_F(Elm, ProtocolFiveWithHeadersGivesWholeFramesAndChecksums) {
  Quiet();
  Say("AT H1");
  Say("AT SP 5");
  Say("AT SH 81 10 F1");
  // The first request starts the bus: fast init with a StartCommunication under the header.
  EXPECT_EQ(Ask("81"), "BUS INIT: ...OK|83 F1 10 C1 EF 8F C3");
  EXPECT_EQ(Ask("DPN"), "?") << "a request that is no hexadecimal";
  EXPECT_EQ(Ask("AT DPN"), "5");
  EXPECT_EQ(Ask("AT DP"), "ISO 14230-4 (KWP FAST)");
  EXPECT_EQ(Ask("3E 01"), "81 F1 10 7E 00");
  EXPECT_EQ(Ask("21 01").substr(0, 15), "80 F1 10 4B 61 ") << "the long form's length byte";
  Say("AT H0");
  EXPECT_EQ(Ask("3E01"), "7E");
  EXPECT_EQ(Ask("2101").substr(0, 6), "61 01 ");
  Say("AT S0");
  EXPECT_EQ(Ask("1A80").substr(0, 4), "5A80");
  // An empty line repeats the last request.
  EXPECT_EQ(Ask("").substr(0, 4), "5A80");
}

TEST_F(Elm, LongRequestsAreRefusedUnlessAllowedAndEightIsTheMost) {
  Quiet();
  Say("AT SP 5");
  Say("AT SH 81 10 F1");
  Ask("81");
  EXPECT_EQ(Ask("3B 01 02 03 04 05 06 07"), "?");
  EXPECT_EQ(Ask("AT AL"), "OK");
  EXPECT_NE(Ask("3B 01 02 03 04 05 06 07"), "?");
  EXPECT_EQ(Ask("3B 01 02 03 04 05 06 07 08"), "?");
}

TEST_F(Elm, NoDataBusInitErrorAndDataErrorFollowTheCarsFaults) {
  Quiet();
  Say("AT H1");
  Say("AT SP 5");
  Say("AT SH 81 10 F1");
  car.SetFault(Fault::Silence);
  EXPECT_EQ(Ask("81"), "BUS INIT: ...ERROR");
  car.ClearFault(Fault::Silence);
  EXPECT_EQ(Ask("81"), "BUS INIT: ...OK|83 F1 10 C1 EF 8F C3");
  car.SetFault(Fault::Silence);
  EXPECT_EQ(Ask("3E 01"), "NO DATA");
  car.ClearFault(Fault::Silence);
  car.SetFault(Fault::BadChecksum);
  EXPECT_EQ(Ask("3E 01"), "81 F1 10 7E 01 <DATA ERROR");
  car.ClearFault(Fault::BadChecksum);
  car.SetFault(Fault::ResponsePending);
  const std::string pending = Ask("3E 01");
  EXPECT_EQ(pending.substr(0, 17), "83 F1 10 7F 3E 78") << pending;
  EXPECT_NE(pending.find('|'), std::string::npos) << "the answer follows on its own line";
}

TEST_F(Elm, Iso9141SlowInitAtTheOBDAddressAndItsHeader) {
  Quiet();
  Say("AT H1");
  Say("AT SP 3");
  EXPECT_EQ(Ask("AT SI"), "BUS INIT: ...OK");
  EXPECT_EQ(Ask("AT KW"), "1:08 2:08");
  const std::string reply = Ask("01 00");
  EXPECT_EQ(reply.substr(0, 14), "48 6B 10 41 00") << reply;
  Say("AT IIA 11");
  Say("AT PC");
  EXPECT_EQ(Ask("AT SI"), "BUS INIT: ...ERROR") << "no unit answers the address 11";
}

TEST_F(Elm, AutomaticSearchSaysSearchingAndNamesWhatItFound) {
  Quiet();
  EXPECT_EQ(Ask("AT DP"), "AUTO");
  const std::string first = Ask("01 00");
  EXPECT_EQ(first.substr(0, 18), "SEARCHING...|41 00") << first;
  EXPECT_EQ(Ask("AT DP"), "AUTO, ISO 9141-2") << "ISO 9141-2 comes before ISO 14230 in the order";
  EXPECT_EQ(Ask("AT DPN"), "A3");
  EXPECT_EQ(Ask("01 00").substr(0, 5), "41 00") << "no search once a protocol is found";
  Say("AT SP A5");
  EXPECT_EQ(Ask("AT DPN"), "A5");
  EXPECT_EQ(Ask("01 00").substr(0, 18), "SEARCHING...|41 00");
  EXPECT_EQ(Ask("AT DP"), "AUTO, ISO 14230-4 (KWP FAST)");
  car.SetFault(Fault::Silence);
  Say("AT SP 0");
  EXPECT_EQ(Ask("01 00"), "SEARCHING...|UNABLE TO CONNECT");
}

TEST_F(Elm, TheResponseCountDigitStopsAfterThatManyMessages) {
  Quiet();
  Say("AT SP 5");
  // The VIN comes in five messages on the K-line; "1" after the request takes only the first.
  EXPECT_EQ(Ask("09 02").substr(0, 13), "BUS INIT: ...");
  const std::string all = Ask("09 02");
  EXPECT_EQ(std::count(all.begin(), all.end(), '|'), 4) << all;
  EXPECT_EQ(Ask("09021"), "49 02 01 00 00 00 58");
  EXPECT_EQ(Ask("010C1").substr(0, 5), "41 0C");
  EXPECT_EQ(Ask("M0").substr(0, 1), "?");
  EXPECT_EQ(Ask("AT M0"), "OK");
  EXPECT_EQ(Ask("AT CAF0"), "OK");
}

TEST_F(Elm, TheV15CloneRefusesWhatClonesLackAndCutsLongRequests) {
  Elm327Sim clone(car, {ElmClone::V15, 38400});
  ASSERT_TRUE(clone.Open(1));
  ASSERT_TRUE(clone.ApplyLineSettings({38400, 'n', 8, 1}));
  const auto say = [&](const std::string& line) {
    const std::string text = line + "\r";
    clone.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::string out;
    std::uint8_t buf[64];
    while (const std::size_t n = clone.Read(buf, sizeof buf)) out.append(buf, buf + n);
    return out;
  };
  say("AT E0");
  say("AT L0");
  EXPECT_EQ(say("AT I"), "ELM327 v1.5\r\r>");
  for (const char* refused : {"AT FI", "AT SI", "AT KW", "AT AL"})
    EXPECT_EQ(say(refused), "?\r\r>") << refused;
  say("AT H1");
  say("AT SP 5");
  say("AT SH 81 10 F1");
  EXPECT_EQ(say("81"), "BUS INIT: ...OK\r83 F1 10 C1 EF 8F C3\r\r>")
      << "the first request starts it";
  // Eight data bytes: the clone sends seven and the controller sees a shorter request.
  const std::string cut = say("21 01 02 03 04 05 06 07");
  EXPECT_NE(cut, "?\r\r>");
}

}  // namespace
}  // namespace kd::sim

namespace kd::sim {
namespace {

struct CanCar : ::testing::TestWithParam<ObdBus> {
  SimulatedPort car{6};
  Elm327Sim elm{car, {ElmClone::Genuine, 38400, GetParam()}};
  void SetUp() override {
    ASSERT_TRUE(elm.Open(1));
    ASSERT_TRUE(elm.ApplyLineSettings({38400, 'n', 8, 1}));
    Ask("AT E0");
    Ask("AT L0");
  }
  std::string Ask(const std::string& line) {
    const std::string text = line + "\r";
    elm.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::string out;
    std::uint8_t buf[64];
    while (const std::size_t n = elm.Read(buf, sizeof buf)) out.append(buf, buf + n);
    if (!out.empty() && out.back() == '>') out.pop_back();
    std::string joined;
    std::size_t at = 0;
    while (at < out.size()) {
      std::size_t end = out.find('\r', at);
      if (end == std::string::npos) end = out.size();
      if (end > at) joined += (joined.empty() ? "" : "|") + out.substr(at, end - at);
      at = end + 1;
    }
    return joined;
  }
  bool Wide() const { return GetParam() == ObdBus::Can29; }
  std::string Engine() const { return Wide() ? "18 DA F1 10 " : "7E8 "; }
  std::string Second() const { return Wide() ? "18 DA F1 18 " : "7E9 "; }
};

TEST_P(CanCar, TheKLineFailsAndTheSearchFindsTheCanProtocol) {
  Ask("AT SP 3");
  EXPECT_EQ(Ask("01 00"), "BUS INIT: ...ERROR");
  Ask("AT SP 5");
  EXPECT_EQ(Ask("01 00"), "BUS INIT: ...ERROR");
  Ask("AT SP 8");
  EXPECT_EQ(Ask("01 00"), "CAN ERROR") << "250 kbit/s on a 500 kbit/s bus";
  Ask("AT SP 0");
  Ask("AT H1");
  const std::string found = Ask("01 00");
  EXPECT_EQ(found, "SEARCHING...|" + Engine() + "06 41 00 BE 3F B8 10 00|" + Second() +
                       "06 41 00 80 00 00 00 00");
  EXPECT_EQ(Ask("AT DPN"), Wide() ? "A7" : "A6");
  // Without headers a single frame is its data alone.
  Ask("AT H0");
  EXPECT_EQ(Ask("01 0D1"), "41 0D 00") << "one answer: the response count";
}

TEST_P(CanCar, LongAnswersComeInFramesOrNumberedLinesAndCodesAllInOne) {
  Ask(Wide() ? "AT SP 7" : "AT SP 6");
  Ask("AT H1");
  EXPECT_EQ(Ask("09 02"), Engine() + "10 14 49 02 01 58 54 41|" + Engine() +
                              "21 32 31 31 32 34 30 37|" + Engine() + "22 30 31 32 33 34 35 36");
  Ask("AT H0");
  EXPECT_EQ(Ask("09 02"),
            "014|0: 49 02 01 58 54 41|1: 32 31 31 32 34 30 37|2: 30 31 32 33 34 35 36");
  // Six stored codes on the engine controller, one on the second unit.
  Ask("AT H1");
  const std::string codes = Ask("03");
  EXPECT_EQ(codes.substr(0, Engine().size() + 11), Engine() + "10 0E 43 06") << codes;
  EXPECT_NE(codes.find(Second() + "04 43 01 05 00"), std::string::npos) << codes;
  EXPECT_EQ(Ask("05 00 01"), "NO DATA") << "no mode 05 on CAN";
  Ask("04");
  EXPECT_EQ(Ask("03"),
            Engine() + "02 43 00 00 00 00 00 00|" + Second() + "02 43 00 00 00 00 00 00");
  car.SetFault(Fault::Silence);
  EXPECT_EQ(Ask("03"), "NO DATA");
}

INSTANTIATE_TEST_SUITE_P(Buses, CanCar, ::testing::Values(ObdBus::Can11, ObdBus::Can29));

}  // namespace
}  // namespace kd::sim
