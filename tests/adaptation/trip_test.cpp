// The trip page: every field of the record with its pattern, the VIN for the report header, and
// the report's body.
#include <gtest/gtest.h>

#include "adaptation/page_fixture.h"
#include "adaptation/trip_page.h"
#include "text/cp1251.h"

namespace kd::adaptation::test {
namespace {

struct Trip {
  view::Form form{"TForm1"};
  std::string vin = std::string(19, ' ');
  TripPageStep page{form, vin};
  link::ExchangeBuffer buffer;

  Trip() {
    text::SetDecimalSeparator('.');
    page.TypeApplied();
  }
  void Feed(const Bytes& bytes) {
    link::ReplyCopy reply = kd::testing::AsReply(bytes);
    page.Step(reply, buffer);
  }
  const std::string& Value(int row) { return page.StringGrid7().Cell(1, row); }
};

// The 80 data bytes of the record: reply byte 6 is data byte 0.
Bytes Data() {
  Bytes d(80, 0);
  const std::string texts[] = {"XTA21703090778899", "14.06.2009", "2170012", "2456789"};
  const std::size_t at[] = {0, 17, 27, 34};
  for (int k = 0; k < 4; ++k) std::copy(texts[k].begin(), texts[k].end(), d.begin() + at[k]);
  return d;
}

Bytes Record05(const Bytes& data) {
  return Long(WithData({0x61, 0x05}, data));
}

TEST(TripData, EveryFieldWithItsPattern) {
  Trip trip;
  Bytes d = Data();
  d[41] = 0x10, d[42] = 0x27;                // 10000 → 1000.0 km
  d[45] = 0x39, d[46] = 0x30;                // 12345 → 123.45 l
  d[49] = 0x40, d[50] = 0x42, d[51] = 0x0F;  // 1000000 minutes
  for (int k = 0; k < 13; ++k) d[53 + 2 * k] = static_cast<std::uint8_t>(k + 1);
  d[77] = 0xFF, d[78] = 0xFF;  // 65535
  d[79] = 1;
  trip.Feed(Record05(d));
  EXPECT_EQ(trip.buffer.dataLength, 2);
  EXPECT_EQ(trip.buffer.transmitFrame[3], 0x21);
  EXPECT_EQ(trip.buffer.transmitFrame[4], 0x05);
  EXPECT_EQ(trip.Value(1), "XTA21703090778899");
  EXPECT_EQ(trip.Value(2), "14.06.2009");
  EXPECT_EQ(trip.Value(3), "2170012");
  EXPECT_EQ(trip.Value(4), "2456789");
  EXPECT_EQ(trip.Value(5), "1000.0");
  EXPECT_EQ(trip.Value(6), "123.45");
  EXPECT_EQ(trip.Value(7), "1000000");
  for (int row = 8; row <= 19; ++row) EXPECT_EQ(trip.Value(row), std::to_string(row - 7)) << row;
  EXPECT_EQ(trip.Value(20), "65535");
  EXPECT_EQ(trip.Value(21), "1");
  EXPECT_EQ(trip.vin, "XTA21703090778899  ");
  // The high byte of the mileage: 1000000 hex tenths.
  d[41] = 0, d[42] = 0, d[43] = 0, d[44] = 0x01;
  d[45] = 0, d[46] = 0;
  trip.Feed(Record05(d));
  EXPECT_EQ(trip.Value(5), "1677721.6");
  EXPECT_EQ(trip.Value(6), "0.00");
}

TEST(TripData, TextsEndAtTheirFirstZeroByte) {
  Trip trip;
  Bytes d = Data();
  d[5] = 0;
  d[17 + 2] = 0;
  d[27] = 0;
  d[34 + 6] = 0;
  trip.Feed(Record05(d));
  EXPECT_EQ(trip.Value(1), "XTA21");
  EXPECT_EQ(trip.Value(2), "14");
  EXPECT_EQ(trip.Value(3), "");
  EXPECT_EQ(trip.Value(4), "245678");
  // No zero byte reaches the header: what the record leaves empty is blank.
  EXPECT_EQ(trip.vin, "XTA21              ");
}

TEST(TripData, AnotherReplyLeavesTheGrid) {
  Trip trip;
  trip.Feed(Record05(Data()));
  const std::string before = trip.page.ReportBody();
  trip.Feed(Long(WithData({0x61, 0x04}, Bytes(80, 0x41))));
  trip.Feed(Long(WithData({0x63}, Bytes(80, 0x41))));
  EXPECT_EQ(trip.page.ReportBody(), before);
  EXPECT_EQ(trip.buffer.transmitFrame[4], 0x05);
}

// 22 lines behind the title: the label, two tabs, the value.
TEST(TripData, ReportBodyIsTheTableRowByRow) {
  Trip trip;
  trip.Feed(Record05(Data()));
  const std::string body = trip.page.ReportBody();
  const std::string utf8 = text::Cp1251ToUtf8(body);
  EXPECT_EQ(utf8.rfind("\r\nПутевые параметры контроллера.\r\n"
                       "Наименование                   \t\tПараметр                       \r\n"
                       "VIN автомобиля                 \t\tXTA21703090778899\r\n",
                       0),
            0u);
  EXPECT_NE(utf8.find("Время раб.с неиспр.“030Х”, МИН\t\t0\r\n"), std::string::npos);
  EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 2 + 22);
  EXPECT_TRUE(utf8.ends_with("Совпадение\t\t0\r\n"));
  // The curly quotes are the code page's own.
  EXPECT_NE(body.find("\x93"
                      "030\xD5\x94"),
            std::string::npos);
}

}  // namespace
}  // namespace kd::adaptation::test
