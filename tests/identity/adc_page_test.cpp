// The ADC page: header and names by type, each family's request and decoding, the hint of the
// selected row.
#include <gtest/gtest.h>

#include "identity/adc_channels.h"
#include "identity_fixture.h"

namespace kd::identity::test {
namespace {

TEST(AdcPage, LayoutFollowsTheTypeAndASelectedRowShowsItsHint) {
  Pages p(8);
  view::Grid& grid = p.adc.StringGrid2();
  EXPECT_EQ(grid.RowCount(), 19);
  EXPECT_EQ(grid.ColCount(), 4);
  EXPECT_EQ(p.AdcCell(0, 0), "Наименование");
  EXPECT_EQ(p.AdcCell(1, 0), "Значение");
  EXPECT_EQ(p.AdcCell(2, 0), "Двоич. знач.");
  EXPECT_EQ(p.AdcCell(3, 0), "");
  EXPECT_EQ(p.AdcCell(0, 18), "Напр.ключа 4(pADCIGN4PS)");
  grid.SelectCell(1, 3);
  EXPECT_EQ(grid.Hint(), "Напряжение АЦП датчика массового расхода воздуха.");
  grid.SelectCell(1, 0);
  EXPECT_EQ(grid.Hint(), "Напряжение АЦП датчика массового расхода воздуха.")
      << "the header has none";
  p.Apply(3);
  EXPECT_EQ(grid.RowCount(), 7);
  EXPECT_EQ(p.AdcCell(0, 6), "Код АЦП датчика ПДЗ.");
  p.adc.StringGrid2().SetCell(1, 1, "2.50B");
  p.Apply(3);
  EXPECT_EQ(p.AdcCell(1, 1), "2.50B") << "the same type keeps its values";
  p.Apply(11);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(p.AdcCell(0, 1), "Нет данных о АЦП");
  EXPECT_EQ(p.AdcCell(1, 1), "") << "no value of the controller before";
}

TEST(AdcPage, M154FamilyShowsVoltsAndPortBits) {
  Pages p(9);
  Bytes s{0x61, 0x03, 0x80, 0x01, 0xFF, 0xCD, 0x00, 0x20, 0xA5, 0x00, 0xFF, 0x07, 0x66};
  EXPECT_EQ(p.Adc(Long(s)), (Bytes{0x21, 0x03}));
  const char* volts[] = {"2.50B", "0.02B", "4.98B", "4.00B", "0.00B", "0.63B"};
  for (int b = 0; b < 6; ++b) EXPECT_EQ(p.AdcCell(1, b + 1), volts[b]) << b;
  EXPECT_EQ(p.AdcCell(1, 7), "165");
  EXPECT_EQ(p.AdcCell(2, 7), "10100101");
  EXPECT_EQ(p.AdcCell(1, 8), "0");
  EXPECT_EQ(p.AdcCell(2, 8), "00000000");
  EXPECT_EQ(p.AdcCell(2, 9), "11111111");
  EXPECT_EQ(p.AdcCell(1, 11), "102") << "January 7.2's eleventh channel by row, not by scale";
  EXPECT_EQ(p.AdcCell(2, 1), "");
  // Without the length byte the record is not read, but the request stays.
  EXPECT_EQ(p.Adc(Short({0x61, 0x03, 0x00, 0x00})), (Bytes{0x21, 0x03}));
  EXPECT_EQ(p.AdcCell(1, 1), "2.50B");
}

TEST(AdcPage, Mp70SweepsOneChannelATickAndShowsItOneRowLate) {
  Pages p(3);
  const auto channels = AdcChannels(3);
  // The first tick asks for channel 0; an answer that tick belongs to the last row.
  EXPECT_EQ(p.Adc(Short({0x63, 0x2A}, 0x11)),
            (Bytes{0x23, 0x40, 0x00, channels[0].channelPos, 0x01}));
  EXPECT_EQ(p.AdcCell(1, 6), "42");
  EXPECT_EQ(p.Adc(Short({0x63, 0xC8}, 0x11)),
            (Bytes{0x23, 0x40, 0x00, channels[1].channelPos, 0x01}));
  EXPECT_EQ(p.AdcCell(1, 1), "200") << "channel 0 on the second tick";
  for (std::size_t i = 2; i < channels.size(); ++i)
    EXPECT_EQ(p.Adc(Short({0x7E}, 0x11)).at(3), channels[i].channelPos);
  EXPECT_EQ(p.AdcCell(1, 2), "") << "only a memory answer is shown";
  EXPECT_EQ(p.Adc(Short({0x63, 0x07}, 0x11)).at(3), channels[0].channelPos) << "round again";
  EXPECT_EQ(p.AdcCell(1, 6), "7");
  // A step left by the eleven channels of MP7.0 Euro-3 starts the six again.
  p.Apply(7);
  for (int i = 0; i < 8; ++i) p.Adc(Short({0x7E}, 0x11));
  EXPECT_EQ(p.adc.AdcStep(), 9);
  p.Apply(3);
  EXPECT_EQ(p.Adc(Short({0x63, 0x01}, 0x11)).at(3), channels[0].channelPos);
  EXPECT_EQ(p.adc.AdcStep(), 1);
  EXPECT_EQ(p.AdcCell(1, 6), "1");
}

TEST(AdcPage, January41ReadsTenCellsInTableOrder) {
  Pages p(4);
  const Bytes request{'a', 'A', 'G', 'H', 'M', 'I', 'J', 'K', 'L', 'N', 'O'};
  EXPECT_EQ(p.Adc({1, 2, 3, 255, 0x80, 141, 0xCD, 0x33, 0x80, 0xFA}), request);
  const char* shown[] = {"1", "2", "3", "255", "2.5", "14.1", "4", "1", "2.5", "4.9"};
  for (int r = 0; r < 10; ++r) EXPECT_EQ(p.AdcCell(1, r + 1), shown[r]) << r;
}

TEST(AdcPage, M797AndM10ScaleByTheirTables) {
  Pages m10(8);
  Bytes data(36, 0);
  data[0] = 0x00;
  data[1] = 0x02;
  data[18] = 0x03;  // a heater resistance, in steps of 4
  EXPECT_EQ(m10.Adc(Short(Concat({0x61, 0x03}, std::string(data.begin(), data.end())))),
            (Bytes{0x21, 0x03}));
  EXPECT_EQ(m10.AdcCell(1, 1), "2.5");
  EXPECT_EQ(m10.AdcCell(1, 10), "12");
  EXPECT_EQ(m10.AdcCell(1, 2), "0");

  Pages m797(6);
  Bytes d(20, 0);
  d[0] = 0x03;  // 0x031F high byte first: 799 × 0.0176
  d[1] = 0x1F;
  d[14] = 0x80;  // 128 × 0.04882812 − 6.25
  d[19] = 0x7B;
  m797.Adc(Short(Concat({0x61, 0x03}, std::string(d.begin(), d.end()))));
  EXPECT_EQ(m797.AdcCell(1, 1), "14.06");
  EXPECT_EQ(m797.AdcCell(1, 9), "0");
  EXPECT_EQ(m797.AdcCell(1, 12), "123");
  // With a length byte the record is not read.
  m797.Adc(Long(Concat({0x61, 0x03}, std::string(20, '\x01'))));
  EXPECT_EQ(m797.AdcCell(1, 1), "14.06");
}

TEST(AdcPage, TypesWithoutConverterDataLeaveTheEnginesRequest) {
  for (std::uint32_t type : {5u, 10u, 11u}) {
    Pages p(type);
    EXPECT_EQ(p.Adc(Short({0x61, 0x03, 0x11, 0x22})), Bytes{}) << type;
    // Mikas's list of real channel names says that none is read; the others' one line says so.
    EXPECT_EQ(p.AdcCell(1, 1), type == 10u ? "Не поддерживается." : "") << type;
  }
}

}  // namespace
}  // namespace kd::identity::test
