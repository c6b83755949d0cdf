// The three page steps on random replies of every type: whatever arrives, the layout stays, the
// buffers keep their lengths, every request is one the page can make, and a reply repeated
// changes nothing on screen.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "identity/adc_channels.h"
#include "identity_fixture.h"

namespace kd::identity::test {
namespace {

std::size_t CodePoints(const std::string& utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// Mostly noise, often shaped like the answers the pages look for, so that every branch runs.
Bytes RandomReply(std::mt19937& rng) {
  static const std::uint8_t kInteresting[] = {0x5A, 0x61, 0x63, 0x80, 0x90, 0x91, 0x92,
                                              0x94, 0x95, 0x97, 0x98, 0x99, 0x9A, 0xA0,
                                              0xA1, 0xA2, 0xA3, 0x02, 0x03, 0x00, 0x7E};
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kInteresting)) - 1);
  Bytes b(240);
  for (auto& v : b) v = static_cast<std::uint8_t>(byte(rng));
  for (std::size_t i = 3; i <= 7; ++i)
    if (byte(rng) < 160) b[i] = kInteresting[pick(rng)];
  if (byte(rng) < 60) b.assign(b.size(), 0);
  return b;
}

void CheckIdentRequest(std::uint32_t type, const Bytes& request) {
  if (type == 4) {
    EXPECT_TRUE(request.empty() || (request.size() == 1 && request[0] >= 'Q' && request[0] <= 'X'));
    return;
  }
  if (type == 5 || type == 10) {
    EXPECT_TRUE(request.empty());
    return;
  }
  ASSERT_GE(request.size(), 2u) << type;
  if (request[0] == 0x3B) {
    const std::set<std::size_t> lengths = {9, 12, 21};
    EXPECT_TRUE(lengths.count(request.size())) << request.size();
  } else {
    EXPECT_EQ(request.size(), 2u);
    EXPECT_TRUE(request[0] == 0x1A || request[0] == 0x21) << int(request[0]);
  }
}

TEST(IdentityRandom, PageStepsHoldTheirShapeOnAnyReply) {
  std::mt19937 rng(20240101);
  for (std::uint32_t type = 0; type <= 12; ++type) {
    Pages p(type);
    const int identRows = p.ident.StringGrid4().RowCount();
    const int adcRows = p.adc.StringGrid2().RowCount();
    const auto channels = AdcChannels(type);
    std::set<std::uint8_t> positions;
    for (const auto& c : channels) positions.insert(c.channelPos);
    for (int i = 0; i < 3000; ++i) {
      const Bytes reply = RandomReply(rng);
      if (i % 97 == 0) {
        p.host.onModal = Answer(std::string(static_cast<std::size_t>(i % 30), 'V'), i % 2 == 0);
        p.DoubleClick(i % 11);
      }
      CheckIdentRequest(type, p.Ident(reply));
      // January 4.1 skips the first reply after the count of ticks on the page (8 bits) is 0.
      const bool counted = p.pageTickCount != 0;
      const Bytes equipment = p.Equipment(reply);
      const Bytes adc = p.Adc(reply);
      if (type == 3 || type == 7) {
        ASSERT_EQ(adc.size(), 5u);
        EXPECT_TRUE(positions.count(adc[3]));
        EXPECT_GE(p.adc.AdcStep(), 0);
        EXPECT_LT(p.adc.AdcStep(), static_cast<int>(channels.size()));
      }
      if (type == 11) {
        EXPECT_EQ(equipment, (Bytes{0x21, 0x01}));
      }
      if (type == 4) {
        EXPECT_EQ(adc.size(), 11u);
      }

      // A reply that comes again shows nothing new.
      const auto memoRevision = p.comp.Revision();
      const auto memo = p.Memo();
      p.Equipment(reply);
      // January 4.1 counts the ticks on the page; MP7.0 sets its one line every tick.
      if (type != 4 && type != 3 && type != 7) {
        EXPECT_EQ(p.comp.Revision(), memoRevision) << type;
      }
      if (type != 4 || counted) {
        EXPECT_EQ(p.Memo(), memo) << type;
      }
      if (type != 3 && type != 7 && type != 4) {
        const auto adcRevision = p.adc.StringGrid2().Revision();
        p.Adc(reply);
        EXPECT_EQ(p.adc.StringGrid2().Revision(), adcRevision) << type;
      }
    }
    EXPECT_EQ(p.ident.StringGrid4().RowCount(), identRows) << type;
    EXPECT_EQ(p.adc.StringGrid2().RowCount(), adcRows) << type;
    EXPECT_EQ(p.vin.size(), 19u);
    EXPECT_EQ(p.controllerNumber.size(), 16u);
    EXPECT_EQ(p.romId.size(), 8u);
    EXPECT_EQ(p.identifiers.bodyNumber.size(), 7u);
    EXPECT_EQ(p.identifiers.buildDate.size(), 10u);
    for (int r = 0; r < identRows; ++r)
      for (int c = 1; c <= 2; ++c) EXPECT_LE(CodePoints(p.Cell(c, r)), 19u) << type << " row " << r;
  }
}

}  // namespace
}  // namespace kd::identity::test
