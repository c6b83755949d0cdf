// The knock cells page: the layouts of every type, January's block, M7.9.7's session cycle and
// M10's two records.
#include <gtest/gtest.h>

#include "adaptation/knock_cells_page.h"
#include "adaptation/page_fixture.h"

namespace kd::adaptation::test {
namespace {

using catalogue::EcuCode;
using Knock = PageOn<KnockCellsPageStep>;

std::vector<std::string> Cells(const view::Grid& g) {
  std::vector<std::string> all;
  for (int r = 0; r < g.RowCount(); ++r)
    for (int c = 0; c < g.ColCount(); ++c) all.push_back(g.Cell(c, r));
  return all;
}

TEST(KnockCells, LayoutOfEveryType) {
  Knock knock(EcuCode::M154);
  const view::Grid& g = knock.page.StringGrid6();
  const struct {
    std::uint32_t type;
    int rows;
    const char* row1;
    const char* last;
  } layouts[] = {
      {EcuCode::M154, 2, "Не поддерживается.", "Не поддерживается."},
      {EcuCode::Jan51, 13, "Корр. УОЗ Зона №1", "Корр. УОЗ Зона №12"},
      {EcuCode::MP70, 2, "Не поддерживается.", "Не поддерживается."},
      {EcuCode::Jan41, 2, "Не поддерживается.", "Не поддерживается."},
      {EcuCode::GM, 2, "Не поддерживается.", "Не поддерживается."},
      {EcuCode::M797, 21, "Корр. УОЗ Зона №1", "Корр. УОЗ Зона №20"},
      {EcuCode::MP70E3, 2, "Не поддерживается.", "Не поддерживается."},
      {EcuCode::M10, 33, "Шум для 600", "Корр. УОЗ для 7500"},
      {EcuCode::Jan72, 13, "Корр. УОЗ Зона №1", "Корр. УОЗ Зона №12"},
      {EcuCode::Mikas, 2, "Не поддерживается.", "Не поддерживается."},
      {EcuCode::EMUR, 2, "Не поддерживается.", "Не поддерживается."},
  };
  for (const auto& l : layouts) {
    knock.Switch(l.type);
    ASSERT_EQ(g.RowCount(), l.rows) << l.type;
    EXPECT_EQ(g.ColCount(), 5);
    EXPECT_EQ(g.Cell(0, 0), "");
    EXPECT_EQ(g.Cell(1, 0), "Цилиндр №1");
    EXPECT_EQ(g.Cell(4, 0), "Цилиндр №4");
    EXPECT_EQ(g.Cell(0, 1), l.row1) << l.type;
    EXPECT_EQ(g.Cell(0, l.rows - 1), l.last) << l.type;
    EXPECT_EQ(knock.page.StringGrid6().ColWidths(), (std::vector<int>{186, 104, 98, 95, 92}));
  }
  knock.Switch(EcuCode::M10);
  EXPECT_EQ(g.Cell(0, 16), "Шум для 7500");
  EXPECT_EQ(g.Cell(0, 17), "Корр. УОЗ для 600");
  EXPECT_EQ(g.Cell(0, 6), "Шум для 1380");
}

TEST(KnockCells, JanuaryReadsItsBlockInHalfDegrees) {
  Knock knock(EcuCode::Jan72);
  knock.Feed(KwpReply(0x10, {0x7E}));
  EXPECT_EQ(knock.Request(), (Bytes{0x23, 0x00, 0xF9, 0x00, 0x30}));
  Bytes data(48, 0);
  data[0] = 0x06;   // cylinder 1, zone 1
  data[12] = 0x01;  // cylinder 2, zone 1
  data[47] = 0xFF;  // cylinder 4, zone 12
  knock.Feed(Long(WithData({0x63}, data)));
  const view::Grid& g = knock.page.StringGrid6();
  EXPECT_EQ(g.Cell(1, 1), "3");
  EXPECT_EQ(g.Cell(2, 1), "0.5");
  EXPECT_EQ(g.Cell(4, 12), "127.5");
  EXPECT_EQ(g.Cell(1, 2), "0");
  EXPECT_EQ(knock.Request(), (Bytes{0x23, 0x00, 0xF9, 0x00, 0x30}));
}

// Session start, memory read, session start: one request a tick, the block decoded in steps of
// 0.75 degrees.
TEST(KnockCells, M797OpensItsSessionBeforeEveryRead) {
  Knock knock(EcuCode::M797);
  knock.Feed(KwpReply(0x10, {0xC3, 0x03}));
  EXPECT_EQ(knock.Request(), (Bytes{0x10, 0x83}));
  knock.Feed(KwpReply(0x10, {0x50, 0x83}));
  EXPECT_EQ(knock.Request(), (Bytes{0x23, 0x0F, 0x26, 0x6A, 0x50}));
  Bytes data(80, 0);
  data[0] = 4;   // cylinder 1, zone 1: 3
  data[20] = 1;  // cylinder 2, zone 1: 0.75 → 0.8
  data[79] = 2;  // cylinder 4, zone 20: 1.5
  knock.Feed(Long(WithData({0x63}, data)));
  EXPECT_EQ(knock.Request(), (Bytes{0x10, 0x83}));
  const view::Grid& g = knock.page.StringGrid6();
  EXPECT_EQ(g.Cell(1, 1), "3");
  EXPECT_EQ(g.Cell(2, 1), "0.8");
  EXPECT_EQ(g.Cell(4, 20), "1.5");
}

// A refused session is a negative answer, which the engine handles without the page; any other
// answer only has the page ask for the session again, and shows nothing new.
TEST(KnockCells, M797WithoutItsSessionShowsNothingNew) {
  Knock knock(EcuCode::M797);
  const auto before = Cells(knock.page.StringGrid6());
  knock.Feed(KwpReply(0x10, {0xC3, 0x03}));
  knock.Feed(KwpReply(0x10, {0x7E}));
  EXPECT_EQ(knock.Request(), (Bytes{0x10, 0x83}));
  knock.Feed(Long(WithData({0x61, 0x01}, Bytes(70, 0x63))));
  EXPECT_EQ(knock.Request(), (Bytes{0x10, 0x83}));
  EXPECT_EQ(Cells(knock.page.StringGrid6()), before);
}

TEST(KnockCells, M10NoiseThenCorrections) {
  Knock knock(EcuCode::M10);
  knock.Feed(KwpReply(0x10, {0xC1, 0xEF, 0x8F}));
  EXPECT_EQ(knock.Request(), (Bytes{0x21, 0x23}));
  Bytes noise(64, 0);
  noise[0] = 200;
  noise[16 + 15] = 7;
  knock.Feed(Long(WithData({0x61, 0x23}, noise)));
  EXPECT_EQ(knock.Request(), (Bytes{0x21, 0x24}));
  const view::Grid& g = knock.page.StringGrid6();
  EXPECT_EQ(g.Cell(1, 1), "200");
  EXPECT_EQ(g.Cell(2, 16), "7");
  Bytes corrections(128, 0);
  corrections[0] = 0x10;                             // 16 × 0.75 = 12
  corrections[2 * 17] = 0x03;                        // cylinder 2, speed 2: 2.25 → 2.3
  corrections[126] = 0x00, corrections[127] = 0x01;  // 256 × 0.75 = 192
  knock.Feed(Long(WithData({0x61, 0x24}, corrections)));
  EXPECT_EQ(knock.Request(), (Bytes{0x21, 0x23}));
  EXPECT_EQ(g.Cell(1, 17), "12");
  EXPECT_EQ(g.Cell(2, 18), "2.3");
  EXPECT_EQ(g.Cell(4, 32), "192");
  EXPECT_EQ(g.Cell(1, 1), "200");
}

TEST(KnockCells, AReplyOfAnotherServiceLeavesTheGrid) {
  for (std::uint32_t type : {EcuCode::Jan51, EcuCode::M797, EcuCode::M10}) {
    Knock knock(type);
    knock.Feed(Long(WithData({0x63}, Bytes(80, 2))));
    knock.Feed(Long(WithData({0x61, 0x23}, Bytes(64, 9))));
    const auto before = Cells(knock.page.StringGrid6());
    knock.Feed(Long(WithData({0x61, 0x01}, Bytes(40, 1))));
    knock.Feed(KwpReply(0x10, {0x7E}));
    EXPECT_EQ(Cells(knock.page.StringGrid6()), before) << type;
  }
}

TEST(KnockCells, OtherTypesWriteNoRequest) {
  for (std::uint32_t type : {EcuCode::M154, EcuCode::MP70, EcuCode::MP70E3, EcuCode::EMUR}) {
    Knock knock(type);
    knock.Feed(Long(WithData({0x63}, Bytes(48, 2))));
    EXPECT_TRUE(knock.Request().empty()) << type;
    EXPECT_EQ(knock.page.StringGrid6().Cell(1, 1), "") << type;
  }
}

}  // namespace
}  // namespace kd::adaptation::test
