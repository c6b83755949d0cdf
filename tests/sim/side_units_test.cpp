// The immobilizers and the climate unit behind the simulated adapter: their frames, the data
// that lives (door, key, flap), outputs that follow commands and memories a clear empties.
#include <set>

#include "sim/sim_fixture.h"

namespace kd::sim::test {
namespace {

struct SideUnits : SimFixture {
  void SetUp() override { Connect(1, kKwpLine); }
  // The immobilizer's tester address is F0: its answers go back there.
  Bytes Immo(std::initializer_list<std::uint8_t> service) {
    const Bytes frame = testing::KwpFrame(0xC0, 0xF0, Bytes(service));
    const Bytes reply = Send(Envelope(frame), frame);
    if (reply.size() < 4) return {};
    EXPECT_EQ(reply[1], 0xF0);
    EXPECT_EQ(reply[2], 0xC0);
    EXPECT_EQ(reply[0], 0x80 + reply.size() - 4);
    EXPECT_EQ(Sum8(reply, 0, reply.size() - 1), reply.back());
    return Bytes(reply.begin() + 3, reply.end() - 1);
  }
  Bytes Sauo(std::initializer_list<std::uint8_t> service) {
    return KwpService(Kwp(kClimateAddress, service), kClimateAddress);
  }
};

TEST_F(SideUnits, OnlyTheFittedImmobilizerAnswers) {
  port.Immobilizer().Fit(Immobilizer::Aps6);
  EXPECT_EQ(Immo({0x1A, 0x93}).at(0), 0x5A);
  port.Immobilizer().Fit(Immobilizer::Aps4);
  EXPECT_EQ(Immo({0x1A, 0x93}), (Bytes{0x5A, 0x93, 0x07, 0x00, 0x23}));
  FitForWindow(port.Immobilizer(), "TForm8");
  EXPECT_EQ(port.Immobilizer().Fitted(), Immobilizer::Aps6);
  FitForWindow(port.Immobilizer(), "TSAUO");
  EXPECT_EQ(port.Immobilizer().Fitted(), Immobilizer::Aps6);
}

TEST_F(SideUnits, Aps4ClearsItsErrorsAndFollowsTheLamp) {
  port.Immobilizer().Fit(Immobilizer::Aps4);
  const Bytes errors = Immo({0x18, 0x00});
  ASSERT_EQ(errors.size(), 10u);
  EXPECT_EQ(errors[1], 2);     // link and transponder
  EXPECT_EQ(errors[5], 0x04);  // reply byte 8
  EXPECT_EQ(Immo({0x14}), Bytes{0x54});
  const Bytes cleared = Immo({0x18, 0x00});
  EXPECT_EQ(cleared[1], 0);
  EXPECT_EQ(cleared[3] | cleared[5] | cleared[7], 0);
  EXPECT_EQ(Immo({0x30, 0x81, 0x06, 0x01}), (Bytes{0x70, 0x81, 0x06, 0x01}));
  EXPECT_EQ(Immo({0x30, 0x81, 0x01}), (Bytes{0x70, 0x81, 0x01, 0x01}));
  EXPECT_EQ(Immo({0x18, 0x00})[9] & 0x20, 0x20);
  EXPECT_EQ(Immo({0x30, 0x99, 0x01}), (Bytes{0x7F, 0x30, 0x31}));
}

TEST_F(SideUnits, DoorAndKeyChangeWithTime) {
  port.Immobilizer().Fit(Immobilizer::Aps4);
  std::set<std::uint8_t> doors, keys, states;
  for (nowMs = 0; nowMs < 40000; nowMs += 1000) {
    doors.insert(Immo({0x30, 0x80, 0x01}).at(3));
    keys.insert(Immo({0x30, 0x56, 0x01}).at(3));
    states.insert(Immo({0x21, 0x23}).at(2));
  }
  EXPECT_EQ(doors, (std::set<std::uint8_t>{0, 1}));
  EXPECT_EQ(keys, (std::set<std::uint8_t>{0x00, 0x11, 0x18}));
  // Two keys learnt, armed or disarmed with the key.
  EXPECT_EQ(states, (std::set<std::uint8_t>{0x62, 0x64}));
}

TEST_F(SideUnits, Aps6OutputsFollowCommandsAndInputsRefuseThem) {
  port.Immobilizer().Fit(Immobilizer::Aps6);
  EXPECT_EQ(Immo({0x30, 0x61, 0x01}), (Bytes{0x70, 0x61, 0x01, 0x00}));
  EXPECT_EQ(Immo({0x30, 0x61, 0x06, 0x01}), (Bytes{0x70, 0x61, 0x06, 0x01}));
  EXPECT_EQ(Immo({0x30, 0x61, 0x01}), (Bytes{0x70, 0x61, 0x01, 0x01}));
  EXPECT_EQ(Immo({0x30, 0x65, 0x06, 0x01}), (Bytes{0x7F, 0x30, 0x31}));
  const Bytes stored = Immo({0x18, 0x00});
  EXPECT_EQ(stored[3], 0x40);
  Immo({0x14});
  nowMs = 1000;  // a key in the lock: no current error either
  EXPECT_EQ(Immo({0x18, 0x00}), (Bytes{0x58, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  const Bytes key = Immo({0x21, 0x54});
  EXPECT_EQ(key, (Bytes{0x61, 0x54, 0x04, 0x9E, 0x13, 0x0A, 0x3F, 0x77, 0xC2}));
}

TEST_F(SideUnits, SauoStartsWithoutWakeUpAndClearsItsCodes) {
  EXPECT_EQ(Sauo({0x81}), (Bytes{0xC1, 0xEF, 0x8F}));
  EXPECT_EQ(Sauo({0x18, 0x00, 0x80, 0x00}),
            (Bytes{0x58, 0x02, 0x13, 0x75, 0x24, 0x14, 0x13, 0xE4}));
  EXPECT_EQ(Sauo({0x14}), Bytes{0x54});
  EXPECT_EQ(Sauo({0x18, 0x00, 0x80, 0x00}), (Bytes{0x58, 0x00}));
}

TEST_F(SideUnits, SauoOutputsFollowCommandsAndTheFlapMoves) {
  Bytes first = Sauo({0x21, 0x01});
  ASSERT_EQ(first.size(), 11u);
  EXPECT_EQ(first[2] & 0x09, 0x01);  // aspirator on, heater fan off
  Sauo({0x30, 0x81, 0x06, 0x00});
  Sauo({0x30, 0x61, 0x06, 0x01});
  EXPECT_EQ(Sauo({0x21, 0x01})[2] & 0x09, 0x08);
  Sauo({0x30, 0x57, 0x06, 0x02});
  EXPECT_EQ(Sauo({0x21, 0x01})[2] & 0x09, 0x01);
  std::set<int> flap;
  for (nowMs = 0; nowMs < 60000; nowMs += 2000) {
    const Bytes p = Sauo({0x21, 0x01});
    flap.insert(p[8] * 128 + p[7]);
  }
  EXPECT_GT(flap.size(), 5u);
}

TEST_F(SideUnits, UnitsKeepQuietOnOtherAddressesAndRefuseWithTheLineFault) {
  port.SetFault(Fault::Negative, 0x22);
  EXPECT_EQ(Sauo({0x81}), (Bytes{0x7F, 0x81, 0x22}));
  port.ClearFaults();
  // The engine controller at 10 answers; nobody else adds to its reply.
  const Bytes reply = Kwp(0x10, {0x3E, 0x01});
  EXPECT_EQ(KwpService(reply, 0x10), Bytes{0x7E});
}

}  // namespace
}  // namespace kd::sim::test
