// The misfire page: both lists as the controllers describe their records, and their decoding.
#include <gtest/gtest.h>

#include <cmath>

#include "adaptation/misfire_page.h"
#include "adaptation/misfire_params.h"
#include "adaptation/page_fixture.h"

namespace kd::adaptation::test {
namespace {

using catalogue::EcuCode;
using Misfire = PageOn<MisfirePageStep>;

Bytes Record04(const Bytes& data) {
  return Long(WithData({0x61, 0x04}, data));
}

TEST(Misfire, ListsOfEveryType) {
  Misfire m(EcuCode::M154);
  const view::Grid& g = m.page.StringGrid5();
  for (std::uint32_t type = 1; type <= 11; ++type) {
    m.Switch(type);
    const auto family = catalogue::Lookup(type).adaptation;
    const int expected = family == catalogue::AdaptationFamily::None  ? 0
                         : family == catalogue::AdaptationFamily::M10 ? 37
                                                                      : 20;
    EXPECT_EQ(MisfireParamList(type).size(), static_cast<std::size_t>(expected)) << type;
    EXPECT_EQ(g.RowCount(), expected == 0 ? 2 : expected + 1) << type;
    EXPECT_EQ(g.ColCount(), 3);
    EXPECT_EQ(g.Cell(0, 0), "Наим.переменной");
    EXPECT_EQ(g.Cell(1, 0), "Знач.dec");
    EXPECT_EQ(g.Cell(2, 0), "Коментарий");
    if (expected == 0) {
      EXPECT_EQ(g.Cell(0, 1), "Не поддерживается.") << type;
    }
  }
  EXPECT_EQ(m.page.StringGrid5().ColWidths(), (std::vector<int>{156, 113, 408}));
  m.Switch(EcuCode::M797);
  EXPECT_EQ(g.Cell(0, 9), "JFZKAT3_T");
  EXPECT_EQ(g.Cell(2, 9), "Счетчик пропусков 2-й цил.");
  EXPECT_EQ(g.Cell(0, 20), "Разреш.распознавания");
  EXPECT_EQ(g.Cell(2, 20), " ");
  m.Switch(EcuCode::M10);
  EXPECT_EQ(g.Cell(0, 27), "pMISFICS");
  EXPECT_EQ(g.Cell(2, 27),
            "Счетчик пропусков уровня нарушения токсичности (общий для всех цилиндров).");
  EXPECT_EQ(g.Cell(0, 37), "");
  EXPECT_EQ(g.Cell(2, 37), "");
}

// The scales the lists give as powers of two are exactly those powers.
TEST(Misfire, PowerOfTwoScalesAreExact) {
  const auto bosch = MisfireParamList(EcuCode::Jan72);
  EXPECT_EQ(bosch[0].scale, std::ldexp(1.0f, -22));
  for (int k = 4; k <= 7; ++k) EXPECT_EQ(bosch[k].scale, std::ldexp(1.0f, -15)) << k;
  const auto m10 = MisfireParamList(EcuCode::M10);
  for (int k = 0; k <= 3; ++k) EXPECT_EQ(m10[k].scale, std::ldexp(1.0f, -26)) << k;
  for (int k = 18; k <= 23; ++k) EXPECT_EQ(m10[k].scale, 0.0078125f) << k;
  for (const auto& r : bosch) EXPECT_EQ(r.offset, 0.0f);
}

TEST(Misfire, BoschRecordFlagsCountersAndScales) {
  for (std::uint32_t type :
       {EcuCode::Jan51, EcuCode::MP70, EcuCode::M797, EcuCode::MP70E3, EcuCode::Jan72}) {
    Misfire m(type);
    Bytes data(25, 0);
    data[2] = 0x03, data[3] = 0x01;    // A2ZADZ 259 × 0.5
    data[8] = 0x00, data[9] = 0x80;    // ASXLRN1 2^15 → 1
    data[10] = 0x01, data[11] = 0x00;  // ASXLRN2 2^-15
    data[22] = 0x34, data[23] = 0x12;  // JFZKAT0_T 0x1234
    data[24] = 0x81;
    m.Feed(Record04(data));
    EXPECT_EQ(m.Request(), (Bytes{0x21, 0x04}));
    const view::Grid& g = m.page.StringGrid5();
    EXPECT_EQ(g.Cell(1, 1), "0") << type;  // FESB 00 00
    EXPECT_EQ(g.Cell(1, 2), "130");        // 129.5 rounds away from zero
    EXPECT_EQ(g.Cell(1, 5), "1");
    EXPECT_EQ(g.Cell(1, 6), "0.000031");
    EXPECT_EQ(g.Cell(1, 12), "4660");
    EXPECT_EQ(g.Cell(1, 13), "129");
    const char* flags[] = {"ДА", "НЕТ", "НЕТ", "НЕТ", "НЕТ", "НЕТ", "ДА"};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(g.Cell(1, 14 + k), flags[k]) << k;
    data[0] = 0xFF, data[1] = 0xFF;  // FESB 65535 × 2^-22 = 0.015625 - 2^-22
    m.Feed(Record04(data));
    EXPECT_EQ(g.Cell(1, 1), "0.015625");
  }
}

TEST(Misfire, M10RecordSignedWideValuesAndByteFlags) {
  Misfire m(EcuCode::M10);
  Bytes data(68, 0);
  data[3] = 0x04;                                                    // 2^26 → 1
  data[4] = 0xFF, data[5] = 0xFF, data[6] = 0xFF, data[7] = 0xFF;    // -1 × 2^-26
  data[8] = 0x00, data[9] = 0x00, data[10] = 0x00, data[11] = 0x80;  // -2^31 → -32
  data[16] = 0x01;
  data[17] = 0x02;  // bit 0 clear
  data[23] = 0xFF;
  data[28] = 0xE8, data[29] = 0x03;  // pMISFCCS 1000
  data[32] = 0x80, data[33] = 0x02;  // pMISFICS 640 / 128 = 5
  data[34] = 0x40;                   // pMISFIC[0] 0.5 → "1" with no decimals
  data[66] = 0x07;                   // pMISFTRIP[3]
  m.Feed(Record04(data));
  const view::Grid& g = m.page.StringGrid5();
  EXPECT_EQ(g.Cell(1, 1), "1");
  EXPECT_EQ(g.Cell(1, 2), "0");  // -2^-26: below the last decimal
  EXPECT_EQ(g.Cell(1, 3), "-32");
  EXPECT_EQ(g.Cell(1, 4), "0");
  EXPECT_EQ(g.Cell(1, 5), "ДА");
  EXPECT_EQ(g.Cell(1, 6), "НЕТ");
  EXPECT_EQ(g.Cell(1, 12), "ДА");
  EXPECT_EQ(g.Cell(1, 17), "1000");
  EXPECT_EQ(g.Cell(1, 19), "5");
  EXPECT_EQ(g.Cell(1, 20), "1");
  EXPECT_EQ(g.Cell(1, 36), "7");
  EXPECT_EQ(g.Cell(1, 37), "");  // the empty entry decodes nothing
}

TEST(Misfire, OtherRepliesAndUnsupportedTypesDecodeNothing) {
  Misfire m(EcuCode::Jan72);
  m.Feed(Long(WithData({0x61, 0x05}, Bytes(80, 0xFF))));
  m.Feed(Long(WithData({0x61, 0x01}, Bytes(80, 0xFF))));
  EXPECT_EQ(m.page.StringGrid5().Cell(1, 1), "");
  EXPECT_EQ(m.Request(), (Bytes{0x21, 0x04}));
  m.Switch(EcuCode::M154);
  m.Feed(Record04(Bytes(68, 0xFF)));
  EXPECT_EQ(m.page.StringGrid5().Cell(1, 1), "");
  EXPECT_EQ(m.Request(), (Bytes{0x21, 0x04}));
}

// Entries read from a list are offsets that are not trusted: far outside the reply reads 0.
TEST(Misfire, EntriesOutsideTheReplyReadZero) {
  catalogue::ParamRecord r;
  r.kind = 'P';
  r.width = 4;
  r.scale = 1;
  r.dataOffset = 1000000;
  link::ReplyCopy reply{};
  reply.fill(0xFF);
  ASSERT_TRUE(DecodeMisfireEntry(r, reply));
  EXPECT_EQ(r.value, 0.0f);
  r.dataOffset = -100;
  r.value = 5;
  EXPECT_FALSE(DecodeMisfireEntry(r, reply));
  r.dataOffset = 0;
  r.width = 3;
  EXPECT_FALSE(DecodeMisfireEntry(r, reply));
  r.kind = 'B';
  r.bit = 9;
  ASSERT_TRUE(DecodeMisfireEntry(r, reply));
  EXPECT_EQ(r.bitState, 0);
}

}  // namespace
}  // namespace kd::adaptation::test
