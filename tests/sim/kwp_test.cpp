// KWP2000 controllers: session services, each type's session rules and addresses, and the
// records where the program looks for them.
#include "catalogue/ecu_catalogue.h"
#include "catalogue/param_tables.h"
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

struct KwpUnit : SimFixture {
  std::uint8_t target = 0x10;
  void Open(std::uint32_t type) {
    Connect(type, kKwpLine);
    target = Target(type);
    ASSERT_EQ(Service({0x81}, 0x80).at(0), 0xC1);
  }
  Bytes Service(std::initializer_list<std::uint8_t> service, std::uint8_t flags = 0) {
    return KwpService(Kwp(target, service, flags), target);
  }
  const Bytes refused21 = {0x7F, 0x21, 0x22};
};

TEST_F(KwpUnit, SessionServicesAnswerAsIso14230Says) {
  Open(8);
  EXPECT_EQ(Service({0x81}).size(), 3u) << "C1 and two key bytes";
  EXPECT_EQ(Service({0x83, 0x03, 0x00, 0x50, 0x01, 0x14, 0x00}).at(0), 0xC3);
  EXPECT_EQ(Service({0x3E, 0x01}), Bytes{0x7E});
  EXPECT_EQ(Service({0x3E}), Bytes{0x7E});
  EXPECT_TRUE(Kwp(target, {0x3E, 0x02}).empty()) << "no answer asked for";
  EXPECT_EQ(Service({0x99}), (Bytes{0x7F, 0x99, 0x11}));
  EXPECT_EQ(Service({0x83, 0x03, 0x00}), (Bytes{0x7F, 0x83, 0x12}));
  EXPECT_EQ(Service({0x82}), Bytes{0xC2});
  EXPECT_EQ(Service({0x21, 0x01}), refused21) << "the session is closed";
}

TEST_F(KwpUnit, WithoutASessionOnlyTheOpeningServicesAreAnswered) {
  Connect(6, kKwpLine);
  EXPECT_EQ(Service({0x21, 0x01}), refused21);
  EXPECT_EQ(Service({0x3E, 0x01}), (Bytes{0x7F, 0x3E, 0x22}));
  // 1, 2 and 9 are kept by TesterPresent alone, and need no wake-up for StartCommunication.
  for (std::uint32_t type : {1u, 2u, 9u}) {
    Connect(type, kKwpLine);
    EXPECT_EQ(Service({0x21, 0x01}), refused21) << type;
    EXPECT_EQ(Service({0x3E, 0x01}), Bytes{0x7E}) << type;
    EXPECT_EQ(Service({0x21, 0x01}).at(0), 0x61) << type;
    EXPECT_EQ(Service({0x81}).at(0), 0xC1) << type;
  }
}

TEST_F(KwpUnit, ASessionClosesAfterP3maxWithoutRequests) {
  Open(8);
  nowMs += 4900;
  EXPECT_EQ(Service({0x21, 0x01}).at(0), 0x61);
  nowMs += 4900;
  EXPECT_EQ(Service({0x3E}), Bytes{0x7E}) << "each request restarts the wait";
  nowMs += 5100;
  EXPECT_EQ(Service({0x21, 0x01}), refused21);
  EXPECT_TRUE(Kwp(target, {0x81}).empty()) << "asleep again";
  // AccessTimingParameters sets P3max in 250 ms steps; 83 01 restores the 5 s.
  Open(3);
  Service({0x83, 0x03, 0x00, 0x50, 0x01, 0x28, 0x00});
  nowMs += 9000;
  EXPECT_EQ(Service({0x21, 0x01}).at(0), 0x61);
  EXPECT_EQ(Service({0x83, 0x01}).at(0), 0xC3);
  nowMs += 6000;
  EXPECT_EQ(Service({0x21, 0x01}), refused21);
}

TEST_F(KwpUnit, EmurAnswersAtBothItsAddressesAndNothingHearsAForeignOrBrokenFrame) {
  for (const std::uint8_t address : Bytes{0x30, 0x60}) {
    Connect(11, kKwpLine);
    EXPECT_EQ(KwpService(Kwp(address, {0x81}, 0x80), address).at(0), 0xC1)
        << "from " << int(address);
  }
  Connect(3, kKwpLine);
  EXPECT_TRUE(Kwp(0x10, {0x81}, 0x80).empty()) << "MP7.0 is at 0x11";
  Bytes broken = KwpRequest(0x11, {0x81});
  broken.back() = static_cast<std::uint8_t>(broken.back() + 1);
  EXPECT_TRUE(Send(Envelope(broken, 0x80), broken).empty()) << "a bad sum is not heard";
}

// 1, 2 and 9 carry exactly the length the program knows them by; the others reach as far as
// their recorded frame and every position their table reads.
TEST_F(KwpUnit, DataRecordsHaveTheLengthAndHeaderTheProgramReads) {
  for (std::uint32_t type : {1u, 2u, 3u, 6u, 7u, 8u, 9u, 11u}) {
    Open(type);
    const Bytes reply = Kwp(target, {0x21, 0x01});
    const Bytes service = KwpService(reply, target);
    ASSERT_GE(service.size(), 3u) << type;
    EXPECT_EQ(service[1], 0x01);
    const int frameSize = catalogue::Lookup(type).frameSize;
    EXPECT_EQ(reply[0] == 0x80, type != 11) << "EMUR's equipment page wants the short header";
    if (type == 1 || type == 2 || type == 9) {
      EXPECT_EQ(reply[3], type == 1 ? 0x22 : type == 2 ? 0x24 : 0x26);
      EXPECT_EQ(frameSize, reply[3] + 3);
      continue;
    }
    int highest = 0;
    for (const auto& r : catalogue::BuiltInParams(type))
      if (r.kind != 0)
        highest = std::max({highest, r.kind == 'D' ? r.bit : 0,
                            r.dataOffset + (r.width == 2 && r.kind != 'B' && r.kind != 'D')});
    // Position 0 is the byte in front of the service identifier; the checksum is no data.
    const std::size_t last = reply.size() - 2 - (reply[0] == 0x80 ? 3 : 2);
    EXPECT_GE(last, static_cast<std::size_t>(highest)) << type;
    EXPECT_GE(last + 1, static_cast<std::size_t>(frameSize)) << type;
  }
}

TEST_F(KwpUnit, EquipmentRecordsSitWhereTheEquipmentPageLooks) {
  Open(1);
  const Bytes equipment = Kwp(0x10, {0x21, 0x02});
  EXPECT_EQ(equipment.at(0), 0x80) << "with a length byte: its bytes at 6 and 7";
  EXPECT_EQ(KwpService(equipment, 0x10), (Bytes{0x61, 0x02, equipment.at(6), equipment.at(7)}));
  const std::pair<std::uint8_t, std::size_t> records[] = {
      {0xA0, 4}, {0xA1, 7}, {0xA2, 7}, {0xA3, 10}};
  for (const auto& [lid, size] : records) {
    const Bytes reply = Kwp(0x10, {0x21, lid});
    EXPECT_EQ(reply.at(4), lid) << "short header: identifier at 4, data from 5";
    EXPECT_EQ(KwpService(reply, 0x10).size(), 2 + size) << int(lid);
  }
  EXPECT_EQ(Service({0x21, 0x77}), (Bytes{0x7F, 0x21, 0x31}));
  EXPECT_EQ(Service({0x21}), (Bytes{0x7F, 0x21, 0x12})) << "the bare 21 of the equipment rotation";
  Open(3);
  EXPECT_EQ(Service({0x21, 0x02}), (Bytes{0x7F, 0x21, 0x31})) << "MP7.0 keeps no equipment record";
}

}  // namespace
}  // namespace kd::sim::test
