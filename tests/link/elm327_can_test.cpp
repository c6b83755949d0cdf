// CAN answers (ISO 15765-4) read back and turned into the K-line forms the EOBD window decodes.
#include <gtest/gtest.h>

#include <string>

#include "link/elm327_text.h"

namespace kd::link::elm {
namespace {

// The service bytes of each K-line frame in `line`, checking headers and checksums on the way.
std::vector<Bytes> Services(const Bytes& line, std::uint8_t source = 0x10) {
  std::vector<Bytes> out;
  std::size_t at = 0;
  while (at < line.size()) {
    EXPECT_GE(line.size() - at, 4u);
    if (line.size() - at < 4) break;
    const std::size_t header = (line[at] & 0x3F) == 0 ? 4 : 3;
    const std::size_t len = header == 4 ? line[at + 3] : (line[at] & 0x3F);
    EXPECT_EQ(line[at + 1], 0xF1);
    EXPECT_EQ(line[at + 2], source);
    if (at + header + len + 1 > line.size()) {
      ADD_FAILURE() << "a frame cut short";
      break;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = at; i < at + header + len; ++i)
      sum = static_cast<std::uint8_t>(sum + line[i]);
    EXPECT_EQ(sum, line[at + header + len]) << "checksum";
    out.emplace_back(line.begin() + static_cast<std::ptrdiff_t>(at + header),
                     line.begin() + static_cast<std::ptrdiff_t>(at + header + len));
    at += header + len + 1;
  }
  return out;
}

const char* const kVin = "XTA21124070123456";

TEST(ElmCan, SingleFramesWithAndWithoutIdentifiers) {
  auto a = ParseCanAnswer("7E8 06 41 00 BE 3F B8 10 00\r7E9 06 41 00 80 00 00 00 00\r\r");
  ASSERT_EQ(a.messages.size(), 2u);
  EXPECT_EQ(a.messages[0].id, 0x7E8u);
  EXPECT_EQ(a.messages[0].payload, (Bytes{0x41, 0x00, 0xBE, 0x3F, 0xB8, 0x10}))
      << "the padding is cut by the length";
  EXPECT_EQ(a.messages[1].id, 0x7E9u);
  a = ParseCanAnswer("18 DA F1 10 03 41 0D 2A 00 00 00 00\r");
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].id, 0x18DAF110u);
  EXPECT_EQ(a.messages[0].payload, (Bytes{0x41, 0x0D, 0x2A}));
  a = ParseCanAnswer("7E803410D2A00000000\r");  // without spaces
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].payload, (Bytes{0x41, 0x0D, 0x2A}));
  a = ParseCanAnswer("41 0D 2A\r");
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].id, 0u);
  EXPECT_EQ(a.messages[0].payload, (Bytes{0x41, 0x0D, 0x2A}));
  EXPECT_EQ(ParseCanAnswer("SEARCHING...\rCAN ERROR\r").condition, Condition::BusError);
  EXPECT_EQ(ParseCanAnswer("NO DATA\r").condition, Condition::NoData);
}

TEST(ElmCan, MultiFrameMessagesInBothFormsAndInterleaved) {
  const Bytes vin = [] {
    Bytes v{0x49, 0x02, 0x01};
    for (const char* c = kVin; *c; ++c) v.push_back(static_cast<std::uint8_t>(*c));
    return v;
  }();
  const std::string framed =
      "7E8 10 14 49 02 01 58 54 41\r7E8 21 32 31 31 32 34 30 37\r7E8 22 30 31 32 33 34 35 36\r";
  auto a = ParseCanAnswer(framed);
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].payload, vin);
  a = ParseCanAnswer(
      "014\r0: 49 02 01 58 54 41\r1: 32 31 31 32 34 30 37\r2: 30 31 32 33 34 35 36\r");
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].payload, vin);
  // Two units' frames interleaved: each message is put together from its own frames.
  a = ParseCanAnswer(
      "7E8 10 0A 43 04 01 71 01 33\r7E9 04 43 01 05 00 00 00\r7E8 21 01 02 02 01 00 00 00\r");
  ASSERT_EQ(a.messages.size(), 2u);
  EXPECT_EQ(a.messages[0].payload,
            (Bytes{0x43, 0x04, 0x01, 0x71, 0x01, 0x33, 0x01, 0x02, 0x02, 0x01}));
  EXPECT_EQ(a.messages[1].payload, (Bytes{0x43, 0x01, 0x05, 0x00}));
  // A consecutive frame without its first frame, or a message cut short, makes no message.
  EXPECT_TRUE(ParseCanAnswer("7E8 21 32 31 31 32 34 30 37\r").messages.empty());
  EXPECT_TRUE(ParseCanAnswer("7E8 10 14 49 02 01 58 54 41\r").messages.empty());
}

TEST(ElmCan, DataComesFromTheLowestIdentifier) {
  const std::vector<CanMessage> both{{0x7E9, {0x41, 0x00, 0x80, 0x00, 0x00, 0x00}},
                                     {0x7E8, {0x41, 0x00, 0xBE, 0x3F, 0xB8, 0x10}}};
  std::size_t turn = 0;
  const auto s = Services(KLineFromCan({0x01, 0x00}, both, turn));
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], both[1].payload);
  const std::vector<CanMessage> wide{{0x18DAF118, {0x41, 0x00, 0x80, 0, 0, 0}},
                                     {0x18DAF110, {0x41, 0x00, 0xBE, 0x3F, 0xB8, 0x10}}};
  EXPECT_EQ(Services(KLineFromCan({0x01, 0x00}, wide, turn)).at(0), wide[1].payload);
  EXPECT_EQ(KLineAddressOf(0x7E9), 0x18);
  EXPECT_EQ(KLineAddressOf(0x18DAF118), 0x18);
}

TEST(ElmCan, CodeListsOfEveryLengthAndEveryUnitThreeAMessageInTurn) {
  std::size_t turn = 0;
  // None: one message of zero codes, as the K-line sends it.
  auto s = Services(KLineFromCan({0x03}, {{0x7E8, {0x43, 0x00}}}, turn));
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], (Bytes{0x43, 0, 0, 0, 0, 0, 0}));
  // One.
  s = Services(KLineFromCan({0x07}, {{0x7E8, {0x47, 0x01, 0x03, 0x00}}}, turn));
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], (Bytes{0x47, 0x03, 0x00, 0, 0, 0, 0}));
  // Seven, six from the engine and one from the second unit, which also repeats one.
  Bytes engine{0x43, 0x06};
  for (int c : {0x0171, 0x0133, 0x0102, 0x0201, 0x0301, 0x0335}) {
    engine.push_back(static_cast<std::uint8_t>(c >> 8));
    engine.push_back(static_cast<std::uint8_t>(c));
  }
  const std::vector<CanMessage> two{{0x7E8, engine}, {0x7E9, {0x43, 0x02, 0x05, 0x00, 0x01, 0x71}}};
  turn = 0;
  std::vector<Bytes> fronts;
  for (int i = 0; i < 4; ++i) {
    s = Services(KLineFromCan({0x03}, two, turn));
    ASSERT_EQ(s.size(), 3u) << "seven codes make three K-line messages";
    fronts.push_back(s[0]);
  }
  EXPECT_EQ(fronts[0], (Bytes{0x43, 0x01, 0x71, 0x01, 0x33, 0x01, 0x02}));
  EXPECT_EQ(fronts[1], (Bytes{0x43, 0x02, 0x01, 0x03, 0x01, 0x03, 0x35}));
  EXPECT_EQ(fronts[2], (Bytes{0x43, 0x05, 0x00, 0, 0, 0, 0})) << "the second unit's code, once";
  EXPECT_EQ(fronts[3], fronts[0]) << "and round again";
}

TEST(ElmCan, VehicleInformationWholeIntoTheKLinesNumberedMessages) {
  Bytes vin{0x49, 0x02, 0x01};
  for (const char* c = kVin; *c; ++c) vin.push_back(static_cast<std::uint8_t>(*c));
  const std::vector<CanMessage> answer{{0x7E8, vin}};
  std::size_t turn = 0;
  // The message count the window asks for first: the VIN asked instead, its messages counted.
  EXPECT_EQ(CanRequestFor({0x09, 0x01}), (Bytes{0x09, 0x02}));
  auto s = Services(KLineFromCan({0x09, 0x01}, answer, turn));
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], (Bytes{0x49, 0x01, 0x05}));
  const Bytes line = KLineFromCan({0x09, 0x02}, answer, turn);
  s = Services(line);
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0], (Bytes{0x49, 0x02, 0x01, 0x00, 0x00, 0x00, 'X'}));
  EXPECT_EQ(s[4], (Bytes{0x49, 0x02, 0x05, '3', '4', '5', '6'}));
  // Eleven bytes a message, as the window counts them.
  ASSERT_EQ(line.size(), 55u);
  EXPECT_EQ(line[11 * 1 + 6], 'T');

  Bytes cal{0x49, 0x04, 0x01};
  for (char c : std::string("11183-1411020-31")) cal.push_back(static_cast<std::uint8_t>(c));
  EXPECT_EQ(Services(KLineFromCan({0x09, 0x03}, {{0x7E8, cal}}, turn)).at(0),
            (Bytes{0x49, 0x03, 0x04}));
  s = Services(KLineFromCan({0x09, 0x04}, {{0x7E8, cal}}, turn));
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[3], (Bytes{0x49, 0x04, 0x04, '0', '-', '3', '1'}));
  s = Services(
      KLineFromCan({0x09, 0x06}, {{0x7E8, {0x49, 0x06, 0x01, 0x12, 0x34, 0x56, 0x78}}}, turn));
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], (Bytes{0x49, 0x06, 0x01, 0x12, 0x34, 0x56, 0x78}));
  // Nothing to send on CAN for what it does not have.
  EXPECT_FALSE(CanRequestFor({0x81}));
  EXPECT_FALSE(CanRequestFor({0x05, 0x00, 0x01}));
  EXPECT_EQ(CanRequestFor({0x01, 0x0C}), (Bytes{0x01, 0x0C}));
}

}  // namespace
}  // namespace kd::link::elm
