// What the simulated controllers have learnt: January's memory window, M7.9.7's block behind its
// special session, M10's cell records, and the misfire and trip records with a mileage that
// grows while the car drives.
#include "sim/adaptation_records.h"

#include "catalogue/ecu_catalogue.h"
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

using catalogue::EcuCode;

struct Adaptation : SimFixture {
  std::uint8_t target = 0x10;
  void Open(std::uint32_t type) {
    Connect(type, kKwpLine);
    target = Target(type);
    ASSERT_EQ(Service({0x81}, 0x80).at(0), 0xC1);
  }
  Bytes Service(std::initializer_list<std::uint8_t> service, std::uint8_t flags = 0) {
    nowMs += 300;
    return KwpService(Kwp(target, service, flags), target);
  }
  static std::uint32_t Le32(const Bytes& s, std::size_t at) {
    return s.at(at) | s.at(at + 1) << 8 | s.at(at + 2) << 16 |
           static_cast<std::uint32_t>(s.at(at + 3)) << 24;
  }
};

TEST_F(Adaptation, JanuaryServesItsFuelAndKnockWindows) {
  for (std::uint32_t type : {EcuCode::Jan51, EcuCode::Jan72}) {
    Open(type);
    const Bytes fuel = Service({0x23, 0x00, 0xFE, 0x00, 0x10});
    ASSERT_EQ(fuel.size(), 17u);
    EXPECT_EQ(fuel[0], 0x63);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(fuel[1 + i], JanuaryFuelByte(17, i));
    // Learnt corrections stay within a few per cent of 1: bytes near 128.
    for (int k = 1; k <= 32; ++k)
      for (int i = 0; i < 16; ++i) {
        EXPECT_GE(JanuaryFuelByte(k, i), 110);
        EXPECT_LE(JanuaryFuelByte(k, i), 146);
      }
    const Bytes knock = Service({0x23, 0x00, 0xF9, 0x00, 0x30});
    ASSERT_EQ(knock.size(), 49u);
    for (int c = 0; c < 4; ++c)
      for (int i = 0; i < 12; ++i) EXPECT_EQ(knock[1 + 12 * c + i], JanuaryKnockByte(c, i));
    // The sweep's extra request for FF00 is answered; beyond the RAM nothing is.
    EXPECT_EQ(Service({0x23, 0x00, 0xFF, 0x00, 0x10}).at(0), 0x63);
    EXPECT_EQ(Service({0x23, 0x00, 0xFF, 0xF8, 0x10}), (Bytes{0x7F, 0x23, 0x31}));
    EXPECT_EQ(Service({0x23, 0x01, 0xFD, 0x00, 0x10}), (Bytes{0x7F, 0x23, 0x31}));
    EXPECT_EQ(Service({0x23, 0x00, 0xFD, 0x00}), (Bytes{0x7F, 0x23, 0x12}));
  }
}

TEST_F(Adaptation, M797ServesItsKnockBlockOnlyInsideTheSpecialSession) {
  Open(EcuCode::M797);
  const auto read = [&] { return Service({0x23, 0x0F, 0x26, 0x6A, 0x50}); };
  EXPECT_EQ(read(), (Bytes{0x7F, 0x23, 0x22}));
  EXPECT_EQ(Service({0x10, 0x83}), (Bytes{0x50, 0x83}));
  const Bytes block = read();
  ASSERT_EQ(block.size(), 81u);
  EXPECT_EQ(block[0], 0x63);
  EXPECT_NE(std::count(block.begin() + 1, block.end(), 0), 80) << "something learnt";
  EXPECT_EQ(read(), block);
  // A new StartCommunication is a new session: the special one is over.
  EXPECT_EQ(Service({0x81}).at(0), 0xC1);
  EXPECT_EQ(read(), (Bytes{0x7F, 0x23, 0x22}));
  EXPECT_EQ(Service({0x10, 0x83}), (Bytes{0x50, 0x83}));
  EXPECT_EQ(Service({0x10, 0x81}), (Bytes{0x50, 0x81}));
  EXPECT_EQ(read(), (Bytes{0x7F, 0x23, 0x22}));
  EXPECT_EQ(Service({0x10, 0x85}), (Bytes{0x7F, 0x10, 0x12}));
}

TEST_F(Adaptation, M10ServesItsFourCellRecords) {
  Open(EcuCode::M10);
  const std::pair<std::uint8_t, std::size_t> records[] = {
      {0x21, 128}, {0x22, 128}, {0x23, 64}, {0x24, 128}};
  for (auto [lid, size] : records) {
    const Bytes r = Service({0x21, lid});
    ASSERT_EQ(r.size(), 2 + size) << int(lid);
    EXPECT_EQ(r[0], 0x61);
    EXPECT_EQ(r[1], lid);
  }
  // Fuel corrections near 1 (8192).
  const Bytes fuel = Service({0x21, 0x21});
  for (std::size_t k = 0; k < 64; ++k) {
    const int v = fuel[2 + 2 * k] | fuel[3 + 2 * k] << 8;
    EXPECT_NEAR(v, 8192, 8192 * 0.08);
  }
}

TEST_F(Adaptation, MisfireAndTripRecordsOfTheTypesThatKeepThem) {
  const struct {
    std::uint32_t type;
    std::size_t misfire;  // data bytes, 0: not kept
  } types[] = {{EcuCode::M154, 0},   {EcuCode::Jan51, 25},  {EcuCode::MP70, 25},
               {EcuCode::M797, 25},  {EcuCode::MP70E3, 25}, {EcuCode::M10, 68},
               {EcuCode::Jan72, 25}, {EcuCode::EMUR, 0}};
  for (const auto& t : types) {
    Open(t.type);
    const Bytes misfire = Service({0x21, 0x04});
    const Bytes trip = Service({0x21, 0x05});
    if (t.misfire == 0) {
      EXPECT_EQ(misfire, (Bytes{0x7F, 0x21, 0x31})) << t.type;
      EXPECT_EQ(trip, (Bytes{0x7F, 0x21, 0x31})) << t.type;
      continue;
    }
    EXPECT_EQ(misfire.size(), 2 + t.misfire) << t.type;
    ASSERT_EQ(trip.size(), 2u + 80) << t.type;
    EXPECT_EQ(std::string(trip.begin() + 2, trip.begin() + 5), "XTA");
    EXPECT_EQ(trip[2 + 79], 1);
  }
}

TEST_F(Adaptation, TheMileageGrowsWhileTheCarDrives) {
  Open(EcuCode::Jan72);
  const Bytes before = Service({0x21, 0x05});
  // Ten minutes with the session kept open, as the program keeps it.
  const std::int64_t start = nowMs;
  while (nowMs < start + 10 * 60 * 1000 - 300) {
    nowMs += 2700;
    ASSERT_EQ(Service({0x3E, 0x01}), (Bytes{0x7E}));
  }
  const Bytes after = Service({0x21, 0x05});
  const std::uint32_t km0 = Le32(before, 2 + 41), km1 = Le32(after, 2 + 41);
  const std::uint32_t fuel0 = Le32(before, 2 + 45), fuel1 = Le32(after, 2 + 45);
  // Ten minutes of the drive cycle: a few kilometres and some fuel.
  EXPECT_GT(km1, km0 + 20);
  EXPECT_LT(km1, km0 + 120);
  EXPECT_GT(fuel1, fuel0);
  EXPECT_EQ(Le32(after, 2 + 49), Le32(before, 2 + 49) + 10);
  const TripTotals t0 = DrivenSince(EngineModel{}, start);
  const TripTotals t1 = DrivenSince(EngineModel{}, nowMs);
  EXPECT_NEAR((t1.km - t0.km) * 10, km1 - km0, 1.01);
}

}  // namespace
}  // namespace kd::sim::test
