// The identification, identifier, equipment and converter records: each where the identity pages
// look for it, of the length they read, and a written identifier read back.
#include <string>

#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

struct IdentityUnit : SimFixture {
  std::uint8_t target = 0x10;
  void Open(std::uint32_t type) {
    Connect(type, kKwpLine);
    target = Target(type);
    ASSERT_EQ(Service({0x81}, 0x80).at(0), 0xC1);
  }
  Bytes Service(std::initializer_list<std::uint8_t> service, std::uint8_t flags = 0) {
    return KwpService(Kwp(target, service, flags), target);
  }
  Bytes Raw(std::initializer_list<std::uint8_t> service) { return Kwp(target, service); }
  static std::string Text(const Bytes& b, std::size_t from, std::size_t n) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(from),
                       b.begin() + static_cast<std::ptrdiff_t>(from + n));
  }
};

TEST_F(IdentityUnit, Option80HasTheHeaderAndLengthEachTypeIsReadWith) {
  // Type, long form, service bytes, where the VIN starts in the service bytes, its length.
  const struct {
    std::uint32_t type;
    bool longForm;
    std::size_t size;
    std::size_t vinAt;
    std::size_t vinLength;
  } kCases[] = {{1, true, 97, 2, 19}, {2, true, 97, 2, 19},  {9, true, 97, 2, 19},
                {6, true, 95, 2, 17}, {8, true, 95, 2, 17},  {3, true, 61, 1, 17},
                {7, true, 61, 1, 17}, {11, false, 60, 2, 17}};
  for (const auto& c : kCases) {
    Open(c.type);
    const Bytes raw = Raw({0x1A, 0x80});
    ASSERT_FALSE(raw.empty()) << c.type;
    EXPECT_EQ(raw[0] == 0x80, c.longForm) << c.type;
    const Bytes s = KwpService(raw, target);
    ASSERT_EQ(s.size(), c.size) << c.type;
    EXPECT_EQ(s[0], 0x5A);
    const std::string vin = Text(s, c.vinAt, c.vinLength);
    EXPECT_EQ(vin.substr(0, 3), "XTA") << c.type;
    EXPECT_EQ(vin.find(' '), c.vinLength == 19 ? 17u : std::string::npos) << c.type;
  }
  Open(3);
  const Bytes mp70 = Service({0x1A, 0x80});
  EXPECT_EQ(Bytes(mp70.begin() + 56, mp70.end()), (Bytes{0x03, 0xA7, 0x00, 0x5C, 'B'}));
}

TEST_F(IdentityUnit, OptionsAndLocalIdentifiersHaveTheirFieldLengths) {
  const std::pair<std::uint8_t, std::size_t> kOptions[] = {
      {0x91, 16}, {0x92, 10}, {0x94, 10}, {0x97, 15}, {0x98, 7}, {0x99, 10}, {0x9A, 8}};
  for (std::uint32_t type : {1u, 2u, 6u, 8u, 9u}) {
    Open(type);
    const Bytes vin = Raw({0x1A, 0x90});
    EXPECT_EQ(vin[0], 0x80 + 2 + (type == 6 || type == 8 ? 17 : 19)) << "short form, " << type;
    for (const auto& [option, n] : kOptions) {
      const Bytes s = Service({0x1A, option});
      ASSERT_EQ(s.size(), 2 + n) << type << " option " << int(option);
      EXPECT_EQ(s[1], option);
    }
    EXPECT_EQ(Service({0x1A, 0x93}), (Bytes{0x7F, 0x1A, 0x31}));
    EXPECT_EQ(Service({0x21, 0xA1}).size(), 9u);
    EXPECT_EQ(Service({0x21, 0xA2}).size(), 9u);
    EXPECT_EQ(Service({0x21, 0xA3}).size(), 12u);
  }
  Open(11);
  const std::pair<std::uint8_t, std::size_t> kEmur[] = {
      {0xA3, 10}, {0x90, 17}, {0x91, 16}, {0x92, 10}, {0x94, 10}, {0x95, 5}, {0x98, 7}, {0x99, 10}};
  for (const auto& [lid, n] : kEmur) {
    const Bytes raw = Raw({0x21, lid});
    EXPECT_EQ(raw[0], 0x80 + 2 + n) << int(lid);
    EXPECT_EQ(KwpService(raw, target).at(1), lid);
  }
  EXPECT_EQ(Service({0x1A, 0x90}), (Bytes{0x7F, 0x1A, 0x31})) << "EMUR tells all in option 80";
}

TEST_F(IdentityUnit, AWrittenIdentifierReadsBackAndAWrongLengthChangesNothing) {
  Open(8);
  Bytes write{0x3B, 0x90};
  const std::string vin = "ABC                ";
  write.insert(write.end(), vin.begin(), vin.end());
  auto send = [&](const Bytes& service) {
    const Bytes f = KwpRequest(target, service);
    return KwpService(Send(Envelope(f), f), target);
  };
  EXPECT_EQ(send(write), (Bytes{0x7B, 0x90}));
  EXPECT_EQ(Text(Service({0x1A, 0x90}), 2, 17), vin.substr(0, 17));
  EXPECT_EQ(Text(Service({0x1A, 0x80}), 2, 17), vin.substr(0, 17)) << "option 80 too";
  EXPECT_EQ(send({0x3B, 0xA1, '1', '2'}), (Bytes{0x7F, 0x3B, 0x12}));
  EXPECT_EQ(send({0x3B, 0xA1, '1', '2', '3', '4', '5', '6', '7'}), (Bytes{0x7B, 0xA1}));
  EXPECT_EQ(Text(Service({0x21, 0xA1}), 2, 7), "1234567");
  EXPECT_EQ(send({0x3B, 0x98, 'S', 'P', 'A', 'R', 'E', '0', '1'}), (Bytes{0x7B, 0x98}));
  EXPECT_EQ(Text(Service({0x1A, 0x98}), 2, 7), "SPARE01");
  EXPECT_EQ(send({0x3B, 0x01, 0}), (Bytes{0x7F, 0x3B, 0x31}));
  for (std::uint32_t type : {3u, 11u}) {
    Open(type);
    EXPECT_EQ(send({0x3B, 0xA1, '1', '2', '3', '4', '5', '6', '7'}), (Bytes{0x7F, 0x3B, 0x11}))
        << type << " keeps its identifiers";
  }
}

TEST_F(IdentityUnit, ConverterRecordsAreWhereTheAdcPageReadsThem) {
  for (std::uint32_t type : {1u, 2u, 9u}) {
    Open(type);
    const Bytes raw = Raw({0x21, 0x03});
    ASSERT_EQ(raw.at(0), 0x80) << "with a length byte";
    const Bytes s = KwpService(raw, target);
    ASSERT_EQ(s.size(), 2u + (type == 9 ? 11 : 10));
    const double battery = s[2 + 3] * 0.06804688;
    EXPECT_GT(battery, 11.0);
    EXPECT_LT(battery, 15.0);
  }
  Open(6);
  Bytes raw = Raw({0x21, 0x03});
  ASSERT_EQ(raw.at(0), 0x80 + 22) << "no length byte, 20 data bytes";
  const double m797Battery = (raw[5] * 256 + raw[6]) * 0.0176;
  EXPECT_GT(m797Battery, 11.0);
  EXPECT_LT(m797Battery, 15.0);
  Open(8);
  raw = Raw({0x21, 0x03});
  ASSERT_EQ(raw.at(0), 0x80 + 38);
  const double m10Coolant = (raw[6] * 256 + raw[5]) * 0.004887586;
  EXPECT_GT(m10Coolant, 0.2);
  EXPECT_LT(m10Coolant, 4.9);
  Open(3);
  const Bytes cell = Service({0x23, 0x40, 0x00, 0x00, 0x01});
  ASSERT_EQ(cell.size(), 2u);
  EXPECT_EQ(cell[0], 0x63);
  EXPECT_GT(cell[1], 150) << "the battery's code";
  EXPECT_EQ(Service({0x23, 0x41, 0x00, 0x00, 0x01}), (Bytes{0x7F, 0x23, 0x31}));
  EXPECT_EQ(Service({0x23, 0x40, 0x00}), (Bytes{0x7F, 0x23, 0x12}));
}

TEST_F(IdentityUnit, January41AnswersItsLettersAndConverterCells) {
  Connect(4, kEscapedLine);
  for (char letter : std::string("QRSTUVWX")) {
    const Bytes reply = Unstuff(Bare(EscapedFrame({static_cast<std::uint8_t>(letter)})));
    ASSERT_EQ(reply.size(), 17u) << letter << ": 16 characters and the checksum";
    EXPECT_EQ(Sum8(reply), 0) << letter;
  }
  const Bytes q = Unstuff(Bare(EscapedFrame({'Q'})));
  EXPECT_EQ(Bytes(q.begin(), q.begin() + 6), (Bytes{0xC8, 0xD2, 0xDD, 0xCB, 0xCC, 0xC0}))
      << "ИТЭЛМА in Windows-1251";
  const Bytes adc =
      Unstuff(Bare(EscapedFrame({'a', 'A', 'G', 'H', 'M', 'I', 'J', 'K', 'L', 'N', 'O'})));
  ASSERT_EQ(adc.size(), 11u) << "one byte a channel";
  EXPECT_GT(adc[5] * 0.1, 11.0) << "battery";
  EXPECT_EQ(Unstuff(Bare(EscapedFrame({'a', 0x0C}))).at(0), 0x1B) << "the equipment byte";
}

}  // namespace
}  // namespace kd::sim::test
