// The generic OBD tables and decoders on replies of our own: which rows a bitmap lists, which
// identifier comes next, what each kind of row shows, and the lists of codes already shown.
#include "obd/obd_tables.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "text/number_format.h"

namespace kd::obd {
namespace {

struct ObdTables : ::testing::Test {
  void SetUp() override { text::SetDecimalSeparator('.'); }
  void TearDown() override { text::ResetDecimalSeparator(); }

  static link::ReplyCopy Reply(std::initializer_list<std::uint8_t> bytes) {
    link::ReplyCopy r{};
    std::size_t i = 0;
    for (std::uint8_t b : bytes) r[i++] = b;
    return r;
  }
};

TEST_F(ObdTables, TablesHaveTheirRowsAndEveryRowItsKind) {
  const ObdTable m1 = Mode1Table(), m2 = Mode2Table(), m5 = Mode5Table();
  EXPECT_EQ(m1.size(), kMode1Rows);
  EXPECT_EQ(m2.size(), kMode2Rows);
  EXPECT_EQ(m5.size(), kMode5Rows);
  // Spot checks against the table: row 38 is engine speed over two bytes, row 55 the first
  // oxygen-sensor voltage, row 73 the flag of the next range.
  EXPECT_EQ(m1[38].identifier, 0x0C);
  EXPECT_EQ(m1[38].width, 2);
  EXPECT_EQ(m1[38].name, "ОБ.ДВ.,/мин");
  EXPECT_EQ(m1[55].identifier, 0x14);
  EXPECT_EQ(m1[55].unit, "Вольт");
  EXPECT_EQ(m1[56].byte, 6);
  EXPECT_EQ(m1[73].identifier, 0x20);
  EXPECT_EQ(m2[15].byte, 6);
  EXPECT_EQ(m5[5].factor, 0.004f);
  for (const ObdTable* t : {&m1, &m2, &m5})
    for (const ObdPidRow& r : *t) {
      EXPECT_NE(std::string("BCHP").find(r.kind), std::string::npos) << r.name;
      EXPECT_FALSE(r.unit.empty()) << r.name;
      EXPECT_EQ(r.gridLine, 0);
      EXPECT_EQ(r.active, 0);
    }
}

TEST_F(ObdTables, BitmapBitsStandForIdentifiersOneToThirtyTwo) {
  const SupportBitmap b{0x80, 0x18, 0x00, 0x01};
  for (unsigned n = 0; n <= 33; ++n)
    EXPECT_EQ(Marks(b, n), n == 0x01 || n == 0x0C || n == 0x0D || n == 0x20) << n;
}

TEST_F(ObdTables, ListingPidsZeroOneCdAndTwentyGivesTwentySevenLines) {
  ObdTable t = Mode1Table();
  view::Grid g("g");
  g.SetSize(6, 16);
  ListSupported({0x80, 0x18, 0x00, 0x01}, t, g, Layout::Parameter);
  EXPECT_EQ(g.RowCount(), 28);
  EXPECT_EQ(g.Cell(0, 1), "01");
  EXPECT_EQ(g.Cell(1, 1), "Aкт.");
  EXPECT_EQ(g.Cell(2, 1), "Вкл.");
  EXPECT_EQ(g.Cell(3, 24), "EGR system monitoring.");
  EXPECT_EQ(g.Cell(3, 25), "ОБ.ДВ.,/мин");
  EXPECT_EQ(g.Cell(5, 25), "Об/мин");
  EXPECT_EQ(g.Cell(0, 27), "20");
  EXPECT_EQ(t[38].gridLine, 25);
  EXPECT_EQ(t[38].active, 1);
  EXPECT_EQ(t[38].shown, 1);
  EXPECT_EQ(t[30].active, 0) << "PID 04 is not marked";
  EXPECT_EQ(t[0].gridLine, 0) << "no bit stands for identifier 00";
}

TEST_F(ObdTables, AnEmptyBitmapLeavesTheGridAndANewOneMovesTheLines) {
  ObdTable t = Mode1Table();
  view::Grid g("g");
  g.SetSize(6, 16);
  ListSupported({0, 0, 0, 0}, t, g, Layout::Parameter);
  EXPECT_EQ(g.RowCount(), 16);
  ListSupported({0x80, 0x18, 0x00, 0x00}, t, g, Layout::Parameter);
  DecodeObdParams(Reply({0x84, 0xF1, 0x10, 0x41, 0x0C, 0x1A, 0xF8}), 0x0C, t, g);
  EXPECT_EQ(g.Cell(4, 25), "1726");
  // The same bitmap again (the cycle restarts after every unanswered request): values stay.
  ListSupported({0x80, 0x18, 0x00, 0x00}, t, g, Layout::Parameter);
  EXPECT_EQ(g.Cell(4, 25), "1726");
  // Only PID 0D now: it takes line 1, PID 01 and 0C keep their flag but lose their lines.
  ListSupported({0x00, 0x08, 0x00, 0x00}, t, g, Layout::Parameter);
  EXPECT_EQ(g.RowCount(), 2);
  EXPECT_EQ(g.Cell(4, 1), "");
  DecodeObdParams(Reply({0x86, 0xF1, 0x10, 0x41, 0x01, 0x83, 0, 0, 0}), 0x01, t, g);
  EXPECT_EQ(g.Cell(4, 1), "") << "PID 01 has no line any more";
  EXPECT_EQ(t[1].active, 1);
  // Rows of a test layout take no flags.
  ObdTable t5 = Mode5Table();
  view::Grid g3("g3");
  g3.SetSize(8, 16);
  ListSupported({0xC0, 0, 0, 0}, t5, g3, Layout::Test);
  EXPECT_EQ(g3.Cell(1, 2), "Lean to rich");
  EXPECT_EQ(t5[2].gridLine, 2);
  EXPECT_EQ(t5[2].active, 0);
}

TEST_F(ObdTables, NextIdentifierWalksUpAndWrapsToOne) {
  std::uint8_t sensor = 1;
  const SupportBitmap b{0x80, 0x18, 0x00, 0x01};
  EXPECT_EQ(NextSupportedId(b, 0, 1, sensor), 0x01);
  EXPECT_EQ(NextSupportedId(b, 0x01, 1, sensor), 0x0C);
  EXPECT_EQ(NextSupportedId(b, 0x0C, 1, sensor), 0x0D);
  EXPECT_EQ(NextSupportedId(b, 0x0D, 1, sensor), 0x01) << "20 is never asked for";
  EXPECT_EQ(sensor, 1) << "only mode 05 switches the sensor";
  // Identifier 1F has no row, yet it is asked for in its turn.
  EXPECT_EQ(NextSupportedId({0x00, 0x00, 0x00, 0x02}, 0x01, 1, sensor), 0x1F);
  // 1 even when 01 is not marked; and a last identifier above everything wraps.
  EXPECT_EQ(NextSupportedId({0x00, 0x00, 0x00, 0x01}, 0, 1, sensor), 0x01);
  EXPECT_EQ(NextSupportedId(b, 0xFF, 1, sensor), 0x01);
  // Mode 05: the wrap switches between sensor 1 and 2, any other number becomes 1.
  const SupportBitmap tests{0x88, 0x80, 0, 0};
  EXPECT_EQ(NextSupportedId(tests, 0x05, 5, sensor), 0x09);
  EXPECT_EQ(sensor, 1);
  EXPECT_EQ(NextSupportedId(tests, 0x09, 5, sensor), 0x01);
  EXPECT_EQ(sensor, 2);
  EXPECT_EQ(NextSupportedId(tests, 0x09, 5, sensor), 0x01);
  EXPECT_EQ(sensor, 1);
  sensor = 7;
  NextSupportedId(tests, 0x09, 5, sensor);
  EXPECT_EQ(sensor, 1);
}

TEST_F(ObdTables, EachKindOfRowShowsItsValue) {
  ObdTable t = Mode1Table();
  view::Grid g("g");
  g.SetSize(6, 16);
  // 01, 04, 05, 06, 0C, 0E, 10, 12, 14.
  ListSupported({0x9C, 0x15, 0x50, 0x00}, t, g, Layout::Parameter);
  auto decode = [&](std::initializer_list<std::uint8_t> data) {
    link::ReplyCopy r{};
    r[0] = static_cast<std::uint8_t>(0x80 + 1 + data.size());
    r[1] = 0xF1;
    r[2] = 0x10;
    r[3] = 0x41;
    std::size_t i = 4;
    for (std::uint8_t b : data) r[i++] = b;
    DecodeObdParams(r, r[4], t, g);
  };
  const auto shown = [&](int row) { return g.Cell(4, t[static_cast<std::size_t>(row)].gridLine); };
  decode({0x01, 0x83, 0x07, 0x65, 0x00});
  EXPECT_EQ(shown(1), "3");
  EXPECT_EQ(shown(2), "ДА");
  EXPECT_EQ(shown(3), "ДА");
  EXPECT_EQ(shown(7), "НЕТ");
  EXPECT_EQ(shown(11), "ДА");
  EXPECT_EQ(t[2].bitState, 1);
  decode({0x04, 0xFF});
  EXPECT_EQ(shown(30), "100");
  decode({0x05, 0x00});
  EXPECT_EQ(shown(31), "-40");
  decode({0x06, 0x81});
  EXPECT_EQ(shown(32), "0");
  decode({0x0C, 0x1A, 0xF8});
  EXPECT_EQ(shown(38), "1726");
  decode({0x0C, 0x00, 0x03});
  EXPECT_EQ(shown(38), "0.8") << "0.75 rounded to one decimal";
  decode({0x0E, 0x15});
  EXPECT_EQ(shown(40), "10.5");
  decode({0x10, 0x12, 0x34});
  EXPECT_EQ(shown(42), "46.6");
  decode({0x12, 0x02});
  EXPECT_EQ(shown(44), "НЕТ");
  EXPECT_EQ(shown(45), "ДА");
  decode({0x14, 0xC8, 0x00});
  EXPECT_EQ(shown(55), "0.98");
  EXPECT_EQ(shown(56), "-0.5");
  // Rows of PIDs that were never listed are not decoded.
  decode({0x0D, 0x32});
  EXPECT_EQ(t[39].value, 0.0f);

  // The hexadecimal kind: the freeze frame's trouble code.
  ObdTable t2 = Mode2Table();
  view::Grid g2("g2");
  g2.SetSize(5, 16);
  ListSupported({0x40, 0, 0, 0}, t2, g2, Layout::Parameter);
  DecodeObdParams(Reply({0x86, 0xF1, 0x10, 0x42, 0x02, 0x00, 0x01, 0x33}), 0x02, t2, g2);
  EXPECT_EQ(g2.Cell(4, 1), "0133");
  DecodeObdParams(Reply({0x86, 0xF1, 0x10, 0x42, 0x02, 0x00, 0xC1, 0x0A}), 0x02, t2, g2);
  EXPECT_EQ(g2.Cell(4, 1), "C10A");
}

TEST_F(ObdTables, TableOffsetsOutsideTheReplyReadZero) {
  ObdTable t = Mode1Table();
  view::Grid g("g");
  g.SetSize(6, 16);
  ListSupported({0x00, 0x10, 0x00, 0x00}, t, g, Layout::Parameter);
  t[38].byte = 239;  // the second byte lies past the reply
  link::ReplyCopy r{};
  r[239] = 0x01;
  DecodeObdParams(r, 0x0C, t, g);
  EXPECT_EQ(g.Cell(4, 1), "64");
  t[38].byte = -3;
  t[38].kind = 'Z';  // an unknown kind shows its stored value in hexadecimal
  DecodeObdParams(r, 0x0C, t, g);
  EXPECT_EQ(g.Cell(4, 1), "0040");
}

TEST_F(ObdTables, OxygenSensorTestsFillEachSensorsColumns) {
  ObdTable t = Mode5Table();
  view::Grid g("g");
  g.SetSize(8, 16);
  ListSupported({0x88, 0x80, 0, 0}, t, g, Layout::Test);
  // Format 84: the value only.
  DecodeO2Test(Reply({0x84, 0xF1, 0x10, 0x45, 0x01, 0x01, 0x5A}), 0x01, 1, t, g);
  EXPECT_EQ(g.Cell(2, 1), "0.45");
  EXPECT_EQ(g.Cell(4, 1), "");
  // Format 86: value and limits; sensor 2's limits stand beside sensor 1's.
  DecodeO2Test(Reply({0x86, 0xF1, 0x10, 0x45, 0x05, 0x01, 0x12, 0x00, 0x40}), 0x05, 1, t, g);
  DecodeO2Test(Reply({0x86, 0xF1, 0x10, 0x45, 0x05, 0x02, 0x46, 0x0A, 0x7D}), 0x05, 2, t, g);
  EXPECT_EQ(g.Cell(2, 2), "0.07");
  EXPECT_EQ(g.Cell(3, 2), "0.28");
  EXPECT_EQ(g.Cell(4, 2), "0");
  EXPECT_EQ(g.Cell(5, 2), "0.26");
  EXPECT_EQ(g.Cell(6, 2), "0.04");
  EXPECT_EQ(g.Cell(7, 2), "0.5");
  // A test never listed writes nowhere, above all not into the header.
  g.SetCell(2, 0, "Sensor 1");
  DecodeO2Test(Reply({0x86, 0xF1, 0x10, 0x45, 0x02, 0x01, 0x12, 0x00, 0x40}), 0x02, 1, t, g);
  EXPECT_EQ(g.Cell(2, 0), "Sensor 1");
}

TEST_F(ObdTables, CodesAreShownOnceAndAFullListTakesNoMore) {
  view::Memo memo("Memo1");
  ShownCodes shown;
  const auto codes = [](std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    link::ReplyCopy r{};
    r[3] = 0x43;
    r[4] = a;
    r[5] = b;
    r[6] = c;
    r[7] = d;
    return r;
  };
  ShowNewCodes(codes(0x01, 0x33, 0x00, 0x00), 4, 3, shown, memo);
  ShowNewCodes(codes(0x01, 0x33, 0x10, 0x01), 4, 3, shown, memo);
  ASSERT_EQ(memo.Count(), 1);
  EXPECT_EQ(memo.Items()[0].rfind("0133 - ", 0), 0u);
  EXPECT_EQ(shown.count, 2u) << "a code without a text is remembered";
  for (std::uint8_t k = 2; k < 20; ++k) ShowNewCodes(codes(0x10, k, 0, 0), 4, 3, shown, memo);
  EXPECT_EQ(shown.count, 20u);
  ShowNewCodes(codes(0x01, 0x71, 0, 0), 4, 3, shown, memo);
  EXPECT_EQ(shown.count, 20u);
  EXPECT_EQ(memo.Count(), 1) << "the 21st code is ignored";
  shown.Clear();
  ShowNewCodes(codes(0x01, 0x71, 0, 0), 4, 3, shown, memo);
  EXPECT_EQ(memo.Count(), 2);
  // Codes read past the end of the reply are zero, and zero is no code.
  ShowNewCodes(codes(0, 0, 0, 0), 236, 3, shown, memo);
  EXPECT_EQ(shown.count, 1u);
}

}  // namespace
}  // namespace kd::obd
