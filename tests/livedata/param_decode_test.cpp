// The live-data decoders on replies as they come off the line, one family after the other, against
// values worked out by hand from the formulas: byte order, positions counted from the right base,
// the reciprocal and signed readings, and positions no reply reaches.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "catalogue/param_tables.h"
#include "livedata/param_page.h"
#include "support/frames.h"

namespace kd::livedata {
namespace {

using catalogue::ParamRecord;
using testing::Bytes;
using testing::Header;
using testing::Hex;

// A record as a test needs it; everything not named is zero.
ParamRecord Record(char kind, std::int32_t width, std::int32_t position, float scale = 1,
                   float offset = 0, std::int32_t bit = 0) {
  ParamRecord r;
  r.kind = kind;
  r.width = width;
  r.dataOffset = position;
  r.scale = scale;
  r.offset = offset;
  r.bit = bit;
  r.chartMax = 100;
  r.shown = 1;
  return r;
}

std::vector<ParamRecord> Decode(std::uint32_t type, const Bytes& reply, std::vector<ParamRecord> records) {
  DecodeParamValues(type, testing::AsReply(reply), records);
  return records;
}

// A KWP2000 data record (61 01 ...) with the given bytes at their positions: position 1 is the
// service identifier, so position p is service byte p - 1.
Bytes KwpDataRecord(std::uint8_t from, const std::map<int, std::uint8_t>& at, std::size_t length,
                    Header header = Header::Long) {
  Bytes service(length, 0);
  service[0] = 0x61;
  service[1] = 0x01;
  for (auto [position, value] : at) service.at(static_cast<std::size_t>(position - 1)) = value;
  return testing::KwpReply(from, service, header);
}

// A GM data stream reply (mode 1): position 1 is the first byte behind the mode.
Bytes GmDataStream(const std::map<int, std::uint8_t>& at) {
  Bytes data(63, 0);
  for (auto [position, value] : at) data.at(static_cast<std::size_t>(position - 1)) = value;
  return testing::GmFrame(0x01, data);
}

// M1.5.4's data record as the controller sends it, through the built-in list: the long form with
// its length byte 0x22 in front of the service identifier.
TEST(KwpDecode, M154DataRecordThroughTheBuiltInList) {
  const Bytes reply = Hex(
      "80 F1 10 22 61 01 00 00 01 00 00 00 00 00 82 C0 00 19 00 00 00 00 F0 00 00 00 E8 03 00 00 "
      "00 00 00 00 00 00 34 12 82");
  ASSERT_EQ(testing::Sum8(reply, 0, reply.size() - 1), reply.back()) << "the sample itself";
  const auto builtIn = catalogue::BuiltInParams(1);
  const auto r = Decode(1, reply, {builtIn.begin(), builtIn.end()});
  EXPECT_EQ(r[0].bitState, 1) << "engine off: bit 0 of position 5";
  EXPECT_EQ(r[1].bitState, 0);
  EXPECT_FLOAT_EQ(r[6].value, 90) << "0x82 = 130, offset -40";
  EXPECT_FLOAT_EQ(r[6].chartPercent, 90.0f * 100 / 190);
  EXPECT_FLOAT_EQ(r[7].value, -0.25) << "0xC0 signed, / 256; scale and offset unused";
  EXPECT_FLOAT_EQ(r[9].value, 1000) << "0x19 x 40";
  EXPECT_FLOAT_EQ(r[9].chartPercent, 10);
  EXPECT_FLOAT_EQ(r[14].value, -8) << "0xF0 signed x 0.5";
  EXPECT_FLOAT_EQ(r[18].value, 8) << "E8 03 low byte first = 1000, x 0.008";
  EXPECT_FLOAT_EQ(r[23].value, 0x1234) << "the ROM checksum, low byte first";
  EXPECT_FLOAT_EQ(r[16].value, 5.2f) << "hidden rows are decoded too: 0 x 0.05 + 5.2";
  EXPECT_EQ(ValueText(r[6], "CDPS"), "90");
  EXPECT_EQ(ValueText(r[7], "CDPS"), "-0.25");
  EXPECT_EQ(ValueText(r[23], "CDPS"), "1234");
  EXPECT_EQ(ValueText(r[0], "CDPS"), "ДА");
  EXPECT_EQ(ValueText(r[1], "CDPS"), "НЕТ");
}

// The short form has no length byte: the base moves one byte down and the values stay.
TEST(KwpDecode, ShortAndLongFormsReadTheSamePositions) {
  const std::map<int, std::uint8_t> at{{3, 0x07}, {4, 0x2A}, {5, 0x81}};
  const std::vector<ParamRecord> records{Record('P', 1, 3), Record('P', 2, 4), Record('B', 1, 5, 1, 0, 7)};
  for (Header header : {Header::Short, Header::Long}) {
    const auto r = Decode(8, KwpDataRecord(0x10, at, 6, header), records);
    EXPECT_FLOAT_EQ(r[0].value, 7);
    EXPECT_FLOAT_EQ(r[1].value, 0x812A) << "2A 81 low byte first";
    EXPECT_EQ(r[2].bitState, 1);
  }
}

// Two-byte values: MP7.0, MP7.0 Euro-3 and M7.9.7 put the high byte first, every other KWP2000
// type the low byte; a signed value turns negative by the same order. The ROM checksum ('H') and
// the reciprocal divisor are read low byte first on every type.
TEST(KwpDecode, ByteOrderOfEachType) {
  const Bytes reply = KwpDataRecord(0x10, {{3, 0x01}, {4, 0x02}, {5, 0xFF}, {6, 0x38},
                                           {7, 0x34}, {8, 0x12}, {9, 0x04}, {10, 0x00}}, 12);
  const std::vector<ParamRecord> records{Record('P', 2, 3), Record('S', 2, 5, 0.5f),
                                         Record('H', 2, 7), Record('P', 2, 9, -1, 1000)};
  for (std::uint32_t type : {1u, 2u, 3u, 6u, 7u, 8u, 9u, 11u}) {
    const bool highFirst = type == 3 || type == 6 || type == 7;
    const auto r = Decode(type, reply, records);
    EXPECT_FLOAT_EQ(r[0].value, highFirst ? 258 : 513) << type;
    EXPECT_FLOAT_EQ(r[1].value, highFirst ? -100 : 7295.5f) << "FF 38 / 38 FF, type " << type;
    EXPECT_FLOAT_EQ(r[2].value, 0x1234) << type;
    EXPECT_FLOAT_EQ(r[3].value, 250) << "1000 / 4, type " << type;
  }
}

TEST(KwpDecode, ReciprocalAndSignedReadings) {
  const Bytes reply = KwpDataRecord(0x10, {{3, 0x03}, {5, 0x10}, {6, 0x80}, {7, 0xFE}, {9, 0x00}, {10, 0x80}}, 12);
  const auto r = Decode(1, reply, {
      Record('P', 1, 3, -1, 2.5f),     // one byte: 3 x 2.5
      Record('P', 2, 11, -1, 1000),    // both bytes zero: the plain formula, 0 x -1 + 1000
      Record('S', 2, 5, -1, 1000),     // 1000 / (0x8010 - 32768)
      Record('S', 1, 7, -1, 2.5f),     // -2 x 2.5
      Record('S', 1, 7, 0.5f, 1),      // -2 x 0.5 + 1
      Record('S', 2, 9, -1, 1000),     // 00 80: the divisor would be zero
  });
  EXPECT_FLOAT_EQ(r[0].value, 7.5f);
  EXPECT_FLOAT_EQ(r[1].value, 1000);
  EXPECT_FLOAT_EQ(r[2].value, 62.5f);
  EXPECT_FLOAT_EQ(r[3].value, -5);
  EXPECT_FLOAT_EQ(r[4].value, 0);
  EXPECT_TRUE(std::isfinite(r[5].value)) << "no division by zero";
  EXPECT_FLOAT_EQ(r[5].value, 32768 + 1000) << "read as the signed word -32768 by the plain formula";
}

// Kind 'D' takes its low byte from the position in Bit (MP7.0 Euro-3's idle integrator reads
// positions 23 and 92); 'C' ignores scale and offset; a bit beyond 7 is never set.
TEST(KwpDecode, SplitWordCoefficientAndBits) {
  const Bytes reply = KwpDataRecord(0x11, {{23, 0x90}, {92, 0x40}, {30, 0x40}, {31, 0xFF}}, 96);
  const auto r = Decode(7, reply, {
      Record('D', 2, 23, 0.00390625f, -128, 92),
      Record('C', 1, 30, 5, 7),
      Record('B', 1, 31, 1, 0, 8),
      Record('B', 1, 31, 1, 0, -1),
  });
  EXPECT_FLOAT_EQ(r[0].value, 16.25f) << "0x9040 / 256 - 128";
  EXPECT_FLOAT_EQ(r[1].value, 0.25f);
  EXPECT_EQ(r[2].bitState, 0);
  EXPECT_EQ(r[3].bitState, 0);
  EXPECT_EQ(ValueText(r[0], "CDPS"), "16") << "no decimals";
  EXPECT_EQ(ValueText(r[0], "CP"), "0010") << "outside the number kinds: hexadecimal";
}

// Positions come from files the user may edit: nothing beyond the copy is read, it counts as 0.
TEST(KwpDecode, PositionsOutsideTheReplyReadZero) {
  const Bytes reply = KwpDataRecord(0x10, {{3, 0xAA}}, 4);
  const auto r = Decode(6, reply, {Record('P', 2, 5000, 2, 3), Record('S', 2, -5000, 2, 3),
                                   Record('D', 2, 3, 1, 0, 100000), Record('H', 2, 239)});
  EXPECT_FLOAT_EQ(r[0].value, 3);
  EXPECT_FLOAT_EQ(r[1].value, 3);
  EXPECT_FLOAT_EQ(r[2].value, 0xAA00);
  EXPECT_FLOAT_EQ(r[3].value, 0);
}

// A record whose chart range is empty would divide by zero.
TEST(KwpDecode, EmptyChartRangeGivesNoPercent) {
  ParamRecord flat = Record('P', 1, 3, 1, 0);
  flat.chartMax = flat.chartMin = 5;
  const auto r = Decode(1, KwpDataRecord(0x10, {{3, 50}}, 4), {flat});
  EXPECT_FLOAT_EQ(r[0].value, 50);
  EXPECT_EQ(r[0].chartPercent, 0);
}

TEST(KwpDecode, UnknownTypesLeaveTheRecordsAlone) {
  ParamRecord untouched = Record('P', 1, 3);
  untouched.value = 42;
  for (std::uint32_t type : {0u, 12u, 0xFFFFFFFFu}) {
    const auto r = Decode(type, KwpDataRecord(0x10, {{3, 9}}, 4), {untouched});
    EXPECT_FLOAT_EQ(r[0].value, 42) << type;
  }
}

// GM: base at the mode byte, every two-byte value high byte first, engine speed and air/fuel
// ratio as periods. Kinds 'D' and 'S' mean nothing here.
TEST(GmDecode, DataStreamThroughTheBuiltInList) {
  const auto builtIn = catalogue::BuiltInParams(5);
  const std::vector<ParamRecord> list(builtIn.begin(), builtIn.end());
  auto r = Decode(5, GmDataStream({{58, 0x20}, {17, 0xA0}, {23, 0x03}, {24, 0xC0}, {41, 0x00},
                                   {42, 0x80}, {1, 0x12}, {2, 0x34}}), list);
  EXPECT_EQ(r[0].bitState, 1) << "bit 5 of position 58";
  EXPECT_FLOAT_EQ(r[5].value, 0x1234) << "ROM identifier, high byte first";
  EXPECT_FLOAT_EQ(r[6].value, 80) << "160 x 0.75 - 40";
  EXPECT_FLOAT_EQ(r[12].value, 4096) << "3932160 / 0x03C0";
  EXPECT_FLOAT_EQ(r[27].value, 12.8f) << "1638.4 / 128";
  EXPECT_EQ(ValueText(r[12], "CP"), "4096");

  r = Decode(5, GmDataStream({}), list);
  EXPECT_FLOAT_EQ(r[12].value, 3932160) << "no period: 0 x -1 + 3932160";
}

TEST(GmDecode, KindsOfTheStream) {
  ParamRecord signedRow = Record('S', 2, 1, 1, 0);
  signedRow.value = 11;
  ParamRecord splitRow = Record('D', 2, 1, 1, 0, 2);
  splitRow.value = 12;
  const auto r = Decode(5, GmDataStream({{1, 0x01}, {2, 0x02}, {3, 0x40}, {4, 0xC0}, {5, 0x80}, {6, 0x04}}), {
      Record('P', 2, 1),           // 01 02 high byte first
      Record('H', 2, 1),
      Record('C', 1, 3), Record('C', 1, 4), Record('C', 1, 5),
      Record('P', 1, 6, -1, 2.5f),  // one byte: 4 x 2.5
      signedRow, splitRow,
  });
  EXPECT_FLOAT_EQ(r[0].value, 258);
  EXPECT_FLOAT_EQ(r[1].value, 258);
  EXPECT_FLOAT_EQ(r[2].value, -0.25f) << "|(0x40 - 128) / 256| - 0.5";
  EXPECT_FLOAT_EQ(r[3].value, -0.25f);
  EXPECT_FLOAT_EQ(r[4].value, -0.5f);
  EXPECT_FLOAT_EQ(r[5].value, 10);
  EXPECT_FLOAT_EQ(r[6].value, 11) << "'S' is not decoded";
  EXPECT_FLOAT_EQ(r[7].value, 12) << "'D' is not decoded";
}

// January 4.1 and Mikas answer the shown parameters back to back, from the first byte of the
// unstuffed reply; hidden records take no bytes and keep their values.
TEST(EscapedDecode, ShownValuesBackToBack) {
  const auto builtIn = catalogue::BuiltInParams(4);
  std::vector<ParamRecord> list(builtIn.begin(), builtIn.end());
  list[0].shown = 1;  // engine speed, one byte x 40
  list[3].shown = 1;  // air per cycle, two bytes x 0.1666667
  auto r = Decode(4, Hex("14 58 02"), list);
  EXPECT_FLOAT_EQ(r[0].value, 800);
  EXPECT_NEAR(r[3].value, 100, 1e-4);
  EXPECT_EQ(ValueText(r[3], "CP"), "100");

  ParamRecord hidden = Record('P', 1, 0x31);
  hidden.shown = 0;
  hidden.value = 77;
  for (std::uint32_t type : {4u, 10u}) {
    r = Decode(type, Hex("08 34 12 C0 58 02 04 00"), {
        Record('B', 1, 7, 1, 0, 3), hidden, Record('H', 2, 0x31), Record('C', 1, 0x31),
        Record(0, 2, 0x31), Record('P', 2, 0x31, 0.5f, 1), Record('P', 2, 0x31, -1, 1000)});
    EXPECT_EQ(r[0].bitState, 1) << type;
    EXPECT_FLOAT_EQ(r[1].value, 77) << type;
    EXPECT_FLOAT_EQ(r[2].value, 0x1234) << "low byte first, type " << type;
    EXPECT_FLOAT_EQ(r[3].value, -0.25f) << "|0xC0 / 256 - 0.5| - 0.5, type " << type;
    EXPECT_FLOAT_EQ(r[5].value, 301) << "600 x 0.5 + 1: the empty kind took no byte, type " << type;
    EXPECT_FLOAT_EQ(r[6].value, 996) << "no reciprocal reading: 4 x -1 + 1000, type " << type;
  }
}

TEST(EscapedDecode, MoreShownValuesThanTheReplyHoldsReadZero) {
  std::vector<ParamRecord> many(200, Record('P', 2, 0x31, 1, 5));
  const auto r = Decode(10, Bytes(240, 0x01), many);
  EXPECT_FLOAT_EQ(r[0].value, 0x0101 + 5);
  EXPECT_FLOAT_EQ(r[119].value, 0x0101 + 5) << "the last pair inside the copy";
  EXPECT_FLOAT_EQ(r[120].value, 5);
  EXPECT_FLOAT_EQ(r[199].value, 5);
}

// The data record by its identifiers, in either header form; a negative answer, another record
// and the actuator answer (service 0x70) are not.
TEST(DataReply, RecognisedByItsIdentifiers) {
  EXPECT_TRUE(IsDataReply(testing::AsReply(KwpDataRecord(0x10, {}, 6, Header::Short))));
  EXPECT_TRUE(IsDataReply(testing::AsReply(KwpDataRecord(0x10, {}, 0x22, Header::Long))));
  EXPECT_TRUE(IsDataReply(testing::AsReply(Hex("80 F1 10 02 61 01 E5"))));
  EXPECT_FALSE(IsDataReply(testing::AsReply(Hex("83 F1 10 7F 21 11 75"))));
  EXPECT_FALSE(IsDataReply(testing::AsReply(testing::KwpReply(0x10, {0x61, 0x02, 0x00}))));
  EXPECT_FALSE(IsDataReply(testing::AsReply(testing::KwpReply(0x10, {0x70, 0x61, 0x01}))));
  EXPECT_FALSE(IsDataReply(testing::AsReply(Bytes{})));
}

// The grid's text: flags as words, the number kinds by the record's decimals, the rest as four
// hexadecimal digits of the truncated value.
TEST(ValueText, NumbersFlagsAndHex) {
  ParamRecord r = Record('P', 1, 0);
  r.value = 7.3f;
  r.decimals = 0;
  EXPECT_EQ(ValueText(r, "CP"), "7");
  r.decimals = 1;
  EXPECT_EQ(ValueText(r, "CP"), "7.3");
  r.value = 1.23456f;
  r.decimals = 2;
  EXPECT_EQ(ValueText(r, "CP"), "1.23");
  r.decimals = 6;
  EXPECT_EQ(ValueText(r, "CP"), "1.23") << "two places at most";
  r.kind = 'S';
  r.value = 300.9f;
  r.decimals = 0;
  EXPECT_EQ(ValueText(r, "CDPS"), "301");
  EXPECT_EQ(ValueText(r, "CP"), "012C") << "signed rows of the counted families: hexadecimal";
  r.kind = 0;
  EXPECT_EQ(ValueText(r, "CDPS"), "012C") << "an empty kind is no number kind";
  r.kind = 'B';
  r.bitState = 1;
  EXPECT_EQ(ValueText(r, ""), "ДА");
}

}  // namespace
}  // namespace kd::livedata
