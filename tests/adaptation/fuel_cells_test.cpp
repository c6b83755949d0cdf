// The fuel cells page: the January sweep block by block with its wrap and restarts, and M10's
// two alternating records.
#include <gtest/gtest.h>

#include "adaptation/fuel_cells_page.h"
#include "adaptation/page_fixture.h"

namespace kd::adaptation::test {
namespace {

using catalogue::EcuCode;
using Fuel = PageOn<FuelCellsPageStep>;

Bytes Memory(std::uint8_t fill) {
  return Long(WithData({0x63}, Bytes(16, fill)));
}
Bytes Memory(std::uint8_t fill, std::uint8_t first) {
  Bytes data(16, fill);
  data[0] = first;
  return Long(WithData({0x63}, data));
}

Bytes ReadAt(std::uint16_t address) {
  return {0x23, 0x00, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
          0x10};
}

TEST(FuelCells, JanuaryLayoutHasBothHalvesAndThePurgeRow) {
  Fuel fuel(EcuCode::Jan72);
  const view::Grid& g = fuel.page.StringGrid3();
  ASSERT_EQ(g.RowCount(), 34);
  ASSERT_EQ(g.ColCount(), 17);
  EXPECT_EQ(g.Cell(0, 0), "/Адс.");
  EXPECT_EQ(g.Cell(1, 0), "30");
  EXPECT_EQ(g.Cell(2, 0), "58");
  EXPECT_EQ(g.Cell(16, 0), "450");
  EXPECT_EQ(g.Cell(0, 1), "600");
  EXPECT_EQ(g.Cell(0, 16), "7500");
  EXPECT_EQ(g.Cell(0, 17), "Адс.");
  EXPECT_EQ(g.Cell(0, 18), "600");
  EXPECT_EQ(g.Cell(0, 33), "7500");
  EXPECT_EQ(fuel.page.StringGrid3().ColWidths(), std::vector<int>(17, 34));
}

// One full sweep: 32 blocks into their columns, then the one request for FF00 the controller
// is always sent, whose answer starts the sweep again with a request for FD00.
TEST(FuelCells, JanuarySweepsAllBlocksAndWraps) {
  Fuel fuel(EcuCode::Jan51);
  fuel.Feed(KwpReply(0x10, {0x7E}));
  EXPECT_EQ(fuel.Request(), ReadAt(0xFD00));
  for (int k = 1; k <= 32; ++k) {
    fuel.Feed(Memory(static_cast<std::uint8_t>(k), 0xFF));
    EXPECT_EQ(fuel.Request(), ReadAt(static_cast<std::uint16_t>(0xFD00 + 16 * k))) << k;
  }
  const view::Grid& g = fuel.page.StringGrid3();
  // Block 1 → column 1 of the first half; block 17 (FE00) → column 1 of the second.
  EXPECT_EQ(g.Cell(1, 1), "1.5");
  EXPECT_EQ(g.Cell(1, 2), text::FormatNumber(1 / 256.0 + 0.5, "#0.##"));
  EXPECT_EQ(g.Cell(1, 18), "1.5");
  EXPECT_EQ(g.Cell(1, 19), "0.57");   // 17 / 256 + 0.5
  EXPECT_EQ(g.Cell(16, 16), "0.56");  // 16 / 256 + 0.5
  EXPECT_EQ(g.Cell(16, 33), "0.63");  // 32 / 256 + 0.5, the half rounded up
  EXPECT_EQ(g.Cell(5, 17), "");
  EXPECT_EQ(fuel.page.Block(), 33);
  // The answer for FF00 is no block: the sweep restarts, asking for block 1 itself.
  fuel.Feed(Memory(0xAA));
  EXPECT_EQ(fuel.Request(), ReadAt(0xFD00));
  EXPECT_EQ(g.Cell(1, 3), "0.5");
  fuel.Feed(Memory(0x00));
  EXPECT_EQ(g.Cell(1, 3), "0.5");
  EXPECT_EQ(g.Cell(1, 1), "0.5");
  EXPECT_EQ(g.Cell(2, 1), "1.5");  // block 2 of the first sweep until the second reaches it
  EXPECT_EQ(fuel.Request(), ReadAt(0xFD10));
}

// Any answer that is no memory, in the middle of a sweep, starts it again from block 1, and the
// request that goes out then asks for block 1.
TEST(FuelCells, JanuarySweepInterruptedRestartsAtBlockOne) {
  Fuel fuel(EcuCode::Jan72);
  fuel.Feed(KwpReply(0x10, {0x7E}));
  for (int k = 1; k <= 5; ++k) fuel.Feed(Memory(0x80));
  EXPECT_EQ(fuel.Request(), ReadAt(0xFD50));
  const view::Grid& g = fuel.page.StringGrid3();
  EXPECT_EQ(g.Cell(5, 1), "1");
  fuel.Feed(KwpReply(0x10, {0x7E}));
  EXPECT_EQ(fuel.Request(), ReadAt(0xFD00));
  EXPECT_EQ(fuel.page.Block(), 1);
  fuel.Feed(Memory(0x40));
  EXPECT_EQ(g.Cell(1, 1), "0.75");
  EXPECT_EQ(g.Cell(5, 1), "1");
  EXPECT_EQ(fuel.Request(), ReadAt(0xFD10));
}

// M10: 21 21 fills rows 1–8 and asks for 21 22, which fills rows 10–17; values over 8192.
TEST(FuelCells, M10AlternatesItsTwoRecords) {
  Fuel fuel(EcuCode::M10);
  const view::Grid& g = fuel.page.StringGrid3();
  ASSERT_EQ(g.RowCount(), 18);
  ASSERT_EQ(g.ColCount(), 9);
  EXPECT_EQ(g.Cell(8, 0), "422");
  EXPECT_EQ(g.Cell(0, 8), "4000");
  EXPECT_EQ(g.Cell(0, 9), "Адс.");
  EXPECT_EQ(g.Cell(0, 10), "800");

  fuel.Feed(KwpReply(0x10, {0xC1, 0xEF, 0x8F}));
  EXPECT_EQ(fuel.Request(), (Bytes{0x21, 0x21}));
  Bytes data(128, 0);
  data[0] = 0x00, data[1] = 0x20;                // (0,0): 8192 → 1
  data[2 * 9] = 0x00, data[2 * 9 + 1] = 0x10;    // (1,1): 4096 → 0.5
  data[2 * 63] = 0x01, data[2 * 63 + 1] = 0x20;  // (7,7): 8193 → 1.000122
  fuel.Feed(Long(WithData({0x61, 0x21}, data)));
  EXPECT_EQ(fuel.Request(), (Bytes{0x21, 0x22}));
  EXPECT_EQ(g.Cell(1, 1), "1");
  EXPECT_EQ(g.Cell(2, 2), "0.5");
  EXPECT_EQ(g.Cell(8, 8), "1");
  EXPECT_EQ(g.Cell(1, 10), "");
  data[0] = 0x66, data[1] = 0x26;  // 9830 → 1.19995...
  fuel.Feed(Long(WithData({0x61, 0x22}, data)));
  EXPECT_EQ(fuel.Request(), (Bytes{0x21, 0x21}));
  EXPECT_EQ(g.Cell(1, 10), "1.2");
  EXPECT_EQ(g.Cell(2, 11), "0.5");
  EXPECT_EQ(g.Cell(1, 1), "1");
}

TEST(FuelCells, AReplyOfAnotherServiceLeavesTheGrid) {
  for (std::uint32_t type : {EcuCode::Jan51, EcuCode::M10}) {
    Fuel fuel(type);
    fuel.Feed(KwpReply(0x10, {0x7E}));
    fuel.Feed(Memory(0x80));
    fuel.Feed(Long(WithData({0x61, 0x21}, Bytes(128, 0x20))));
    std::vector<std::string> before;
    const view::Grid& g = fuel.page.StringGrid3();
    for (int r = 0; r < g.RowCount(); ++r)
      for (int c = 0; c < g.ColCount(); ++c) before.push_back(g.Cell(c, r));
    fuel.Feed(Long(WithData({0x61, 0x01}, Bytes(60, 0x33))));
    fuel.Feed(KwpReply(0x10, {0x50, 0x83}));
    std::vector<std::string> after;
    for (int r = 0; r < g.RowCount(); ++r)
      for (int c = 0; c < g.ColCount(); ++c) after.push_back(g.Cell(c, r));
    EXPECT_EQ(before, after) << type;
  }
}

// Types whose cells the page cannot read keep the engine's request: no frame without a service.
TEST(FuelCells, OtherTypesWriteNoRequestAndSayNotSupported) {
  Fuel fuel(EcuCode::M10);
  for (std::uint32_t type :
       {EcuCode::M154, EcuCode::MP70, EcuCode::M797, EcuCode::MP70E3, EcuCode::EMUR}) {
    fuel.Switch(type);
    fuel.Feed(Memory(0x10));
    EXPECT_TRUE(fuel.Request().empty()) << type;
  }
  EXPECT_EQ(fuel.page.StringGrid3().RowCount(), 2);
  EXPECT_EQ(fuel.page.StringGrid3().Cell(0, 1), "Не поддерживается.");
  EXPECT_EQ(fuel.page.StringGrid3().Cell(1, 1), "");
  EXPECT_FALSE(fuel.page.Button2().Enabled());
  fuel.Switch(EcuCode::M10);
  EXPECT_TRUE(fuel.page.Button2().Enabled());
}

// What one controller reported is not shown under the next one's labels.
TEST(FuelCells, ATypeChangeClearsTheValues) {
  Fuel fuel(EcuCode::Jan72);
  fuel.Feed(KwpReply(0x10, {0x7E}));
  fuel.Feed(Memory(0x80));
  ASSERT_EQ(fuel.page.StringGrid3().Cell(1, 1), "1");
  fuel.Switch(EcuCode::Jan51);
  EXPECT_EQ(fuel.page.StringGrid3().Cell(1, 1), "");
  EXPECT_EQ(fuel.page.StringGrid3().Cell(0, 1), "600");
}

}  // namespace
}  // namespace kd::adaptation::test
