// The recording and its two files, against bytes worked out by hand: the limits of the buffer,
// the table of values, and the statistics (minimum and maximum from measured values only).
#include "livedata/recording.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::livedata {
namespace {

using catalogue::ParamRecord;
using Bytes = std::vector<std::uint8_t>;

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override { text::SetDecimalSeparator('.'); }
  void TearDown() override { text::ResetDecimalSeparator(); }
};

ParamRecord Record(const char* name, char kind, std::int32_t position, std::int32_t width = 1,
                   float scale = 1, std::int32_t decimals = 0) {
  ParamRecord r;
  catalogue::SetFieldText(r.name, text::Utf8ToCp1251(name));
  r.kind = kind;
  r.width = width;
  r.dataOffset = position;
  r.scale = scale;
  r.decimals = decimals;
  r.chartMax = 100;
  r.shown = 1;
  return r;
}

// A frame of the type's size: position 0 (a format byte, never 0), then the bytes given from
// position 1 on, zeros behind.
Bytes Frame(std::uint32_t type, const Bytes& fromPosition1) {
  Bytes f(static_cast<std::size_t>(catalogue::Lookup(type).frameSize), 0);
  f[0] = 0x22;
  for (std::size_t i = 0; i < fromPosition1.size() && i + 1 < f.size(); ++i)
    f[i + 1] = fromPosition1[i];
  return f;
}

std::string Cp(const char* utf8) {
  return text::Utf8ToCp1251(utf8);
}

TEST_F(RecordingTest, BufferOfType1TakesFrame1757AndStopsAt1758) {
  RecordBuffer record;
  const Bytes frame = Frame(1, {0x61, 0x01});
  EXPECT_EQ(record.AppendFrame(frame, 37), RecordBuffer::Appended::Ignored) << "not started";
  record.Start();
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(record.AppendFrame(frame, 37), RecordBuffer::Appended::Stored);
  EXPECT_EQ(record.RecordFill(), 37000);
  EXPECT_EQ(FillText(record.RecordFill()), "56% заполнено");
  for (int i = 1000; i < 1757; ++i)
    ASSERT_EQ(record.AppendFrame(frame, 37), RecordBuffer::Appended::Stored);
  EXPECT_EQ(record.RecordFill(), 65009);
  EXPECT_EQ(FillText(record.RecordFill()), "100% заполнено");
  EXPECT_TRUE(record.Recording());
  EXPECT_EQ(record.AppendFrame(frame, 37), RecordBuffer::Appended::Full);
  EXPECT_FALSE(record.Recording());
  EXPECT_EQ(record.RecordFill(), 65009);
  EXPECT_EQ(record.FrameCount(37), 1757);
  EXPECT_EQ(record.Frame(1756, 37).size(), 37u);
  EXPECT_TRUE(record.Frame(1757, 37).empty());
}

TEST_F(RecordingTest, BufferOfType8TakesFrame638AndStopsAt639) {
  RecordBuffer record;
  record.Start();
  const Bytes frame = Frame(8, {0x61, 0x01, 0x55});
  for (int i = 0; i < 638; ++i)
    ASSERT_EQ(record.AppendFrame(frame, 102), RecordBuffer::Appended::Stored);
  EXPECT_EQ(record.RecordFill(), 65076);
  EXPECT_EQ(record.AppendFrame(frame, 102), RecordBuffer::Appended::Full);
  EXPECT_EQ(record.Frame(637, 102)[3], 0x55);
  // Starting again empties it.
  record.Start();
  EXPECT_EQ(record.RecordFill(), 0);
  EXPECT_TRUE(record.Recording());
}

TEST_F(RecordingTest, ReplyWithoutPositionZeroAndDamagedFrameSizesAreNotKept) {
  RecordBuffer record;
  record.Start();
  EXPECT_EQ(record.AppendFrame(Bytes(37, 0), 37), RecordBuffer::Appended::Ignored);
  EXPECT_EQ(record.AppendFrame(Frame(1, {}), 0), RecordBuffer::Appended::Ignored);
  EXPECT_EQ(record.AppendFrame(Frame(1, {}), 5000), RecordBuffer::Appended::Ignored);
  // A short frame is kept whole: what it lacks reads as 0.
  EXPECT_EQ(record.AppendFrame(Bytes{0x22, 0x61}, 37), RecordBuffer::Appended::Stored);
  EXPECT_EQ(record.Frame(0, 37)[36], 0);
  EXPECT_EQ(record.RecordFill(), 37);
}

TEST_F(RecordingTest, DataFileHasTitleNamesAndOneLinePerFrame) {
  std::vector<ParamRecord> params = {
      Record("ОБ.ДВ.", 'P', 3, 1, 40),  // engine speed, 40 a step
      Record("СКРЫТ", 'P', 4),          // not shown: neither a name nor a column
      Record("ХХ", 'B', 5),
      Record("КОНТР.СУММА", 'H', 6),
  };
  params[1].shown = 0;
  params[2].bit = 1;
  RecordBuffer record;
  record.Start();
  record.AppendFrame(Frame(1, {0x61, 0x01, 0x19, 0x00, 0x02, 0x34, 0x12}), 37);
  record.AppendFrame(Frame(1, {0x61, 0x01, 0x14, 0x00, 0x00, 0xFF, 0x00}), 37);
  record.AppendFrame(Frame(1, {0x61, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00}), 37);
  const std::string expected = Cp("\r\nПараметры контроллера.\r\nОБ.ДВ.\tХХ\tКОНТР.СУММА\t\r\n") +
                               Cp("1000\tДА\t1234\t\r\n800\tНЕТ\t00FF\t\r\n0\tДА\t0000\t\r\n");
  EXPECT_EQ(DataFileBody(1, params, record), expected);
  // Decoding leaves the last frame in the records.
  EXPECT_FLOAT_EQ(params[0].value, 0);
  EXPECT_EQ(params[2].bitState, 1);
}

TEST_F(RecordingTest, EmptyRecordingGivesTitleAndNamesOnly) {
  std::vector<ParamRecord> params = {Record("А", 'P', 3)};
  RecordBuffer record;
  EXPECT_EQ(DataFileBody(1, params, record), Cp("\r\nПараметры контроллера.\r\nА\t\r\n"));
}

TEST_F(RecordingTest, StatisticsTakeMinimumAndMaximumFromMeasuredValues) {
  std::vector<ParamRecord> params = {
      Record("P", 'P', 3, 1, 1, 2), Record("D", 'D', 4, 1, 0.5f, 1), Record("B", 'B', 5),
      Record("H", 'H', 6),          Record("OFF", 'P', 3),           Record("C", 'C', 9, 1, 1, 2),
  };
  params[0].chartMax = 10;  // every value lies above it: still no minimum of 10
  params[1].bit = 8;        // low byte of 'D'
  params[4].shown = 0;
  RecordBuffer record;
  record.Start();
  //                               P     D hi  B     H lo  H hi  D lo  C
  record.AppendFrame(Frame(1, {0x61, 0x01, 0x64, 0x00, 0x01, 0x10, 0x00, 0x04, 0x80}), 37);
  record.AppendFrame(Frame(1, {0x61, 0x01, 0x32, 0x01, 0x00, 0x20, 0x00, 0x00, 0x40}), 37);
  record.AppendFrame(Frame(1, {0x61, 0x01, 0x96, 0x00, 0x00, 0x30, 0x00, 0x02, 0x00}), 37);
  // P: 100, 50, 150 -> 50 / 100 / 150. D: (0*256+4)/2=2, (256+0)/2=128, (0+2)/2=1 -> 1 / 43.7 /
  // 128. C: -0.5, 0.25, 0 -> -0.5 / -0.08 / 0.25. B and H: the last frame.
  const std::string expected =
      Cp("Статистические параметры контроллера.\r\nПараметр\tминимум\tсреднее\tмаксимум.\r\n") +
      "P\t50\t100\t150\r\n" + "D\t1\t43.7\t128\r\n" + Cp("B\tНЕТ\tНЕТ\tНЕТ\t\r\n") +
      "H\t0030\t0030\t0030\r\n" + "\r\n" + "C\t-0.5\t-0.08\t0.25\r\n" + "\r\n";
  EXPECT_EQ(StatisticsFile(1, params, record), expected);
}

TEST_F(RecordingTest, NegativeSignedValueIsWrittenAsOnScreen) {
  // Type 8 reads two bytes low byte first: 00 FB is -1280, times 0.0078125 is -10.
  std::vector<ParamRecord> params = {Record("УОЗ", 'S', 3, 2, 0.0078125f)};
  RecordBuffer record;
  record.Start();
  record.AppendFrame(Frame(8, {0x61, 0x01, 0x00, 0xFB}), 102);
  record.AppendFrame(Frame(8, {0x61, 0x01, 0x00, 0xFB}), 102);
  EXPECT_EQ(DataFileBody(8, params, record),
            Cp("\r\nПараметры контроллера.\r\nУОЗ\t\r\n-10\t\r\n-10\t\r\n"));
  EXPECT_EQ(StatisticsFile(8, params, record),
            Cp("Статистические параметры контроллера.\r\nПараметр\tминимум\tсреднее\tмаксимум.\r\n"
               "УОЗ\t-10\t-10\t-10\r\n\r\n"));
}

}  // namespace
}  // namespace kd::livedata
