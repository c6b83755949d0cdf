// The viewer's reader on the program's own data files and CSV exports, whole and cut at every
// byte, and on damaged and foreign files: what is sound is read, and where it stopped is said.
#include "livedata/recording_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "livedata/csv_export.h"
#include "livedata/recording.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::livedata {
namespace {

using catalogue::ParamRecord;
using Bytes = std::vector<std::uint8_t>;

class RecordingFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetDecimalSeparator(',');
    params_ = {Record("ОБ.ДВ.", "об/мин", 'P', 3, 40), Record("ТЕМП.ОЖ", "°C", 'S', 5, 0.5f, 1),
               Record("ХХ", "", 'B', 6), Record("КОД", "", 'H', 7)};
    params_[2].bit = 1;
    record_.Start();
    times_.Start({2024, 3, 5, 9, 7, 0, 0});
    const Bytes values[] = {{0x19, 0x00, 0x55, 0x02, 0xAB},
                            {0x14, 0x00, 0x03, 0x00, 0x00},
                            {0x00, 0x00, 0xF0, 0x02, 0x10}};
    int ms = 0;
    for (const Bytes& v : values) {
      Bytes frame(37, 0);
      frame[0] = 0x22;
      frame[1] = 0x61;
      frame[2] = 0x01;
      for (std::size_t i = 0; i < v.size(); ++i) frame[3 + i] = v[i];
      record_.AppendFrame(frame, 37);
      times_.Stamp({2024, 3, 5, 9, 7, ms / 1000, ms % 1000});
      ms += 1250;
    }
  }
  void TearDown() override { text::ResetDecimalSeparator(); }

  static ParamRecord Record(const char* name, const char* unit, char kind, std::int32_t position,
                            float scale = 1, std::int32_t decimals = 0) {
    ParamRecord r;
    catalogue::SetFieldText(r.name, text::Utf8ToCp1251(name));
    catalogue::SetFieldText(r.unit, text::Utf8ToCp1251(unit));
    r.kind = kind;
    r.width = 1;
    r.dataOffset = position;
    r.scale = scale;
    r.decimals = decimals;
    r.shown = 1;
    return r;
  }

  std::string Dat() {
    return text::Utf8ToCp1251("Дата  записи: 05.03.2024\r\nВремя записи: 09.07\r\n") +
           DataFileBody(1, params_, record_);
  }
  std::string Csv() { return CsvFile(1, params_, record_, times_); }

  std::vector<ParamRecord> params_;
  RecordBuffer record_;
  FrameTimes times_;
};

TEST_F(RecordingFileTest, OwnDataFileReadsWholeWithFramesATickApart) {
  const RecordingFile file = ReadRecording(Dat());
  EXPECT_EQ(file.kind, RecordingFile::Kind::Dat);
  EXPECT_EQ(file.problem, "");
  ASSERT_EQ(file.columns.size(), 4u);
  EXPECT_EQ(file.columns[0].name, "ОБ.ДВ.");
  EXPECT_EQ(file.columns[0].unit, "");
  ASSERT_EQ(file.rows.size(), 3u);
  EXPECT_DOUBLE_EQ(file.rows[2].seconds, 0.6);
  EXPECT_EQ(file.rows[0].texts, (std::vector<std::string>{"1000", "42,5", "ДА", "00AB"}));
  EXPECT_EQ(file.rows[2].texts[1], "-8");
  EXPECT_EQ(RecordingValue(file.rows[0].texts[1]), 42.5);
  EXPECT_EQ(RecordingValue(file.rows[1].texts[2]), 0.0);
}

TEST_F(RecordingFileTest, OwnCsvReadsWholeWithItsTimesAndUnits) {
  const RecordingFile file = ReadRecording(Csv());
  EXPECT_EQ(file.kind, RecordingFile::Kind::Csv);
  EXPECT_EQ(file.problem, "");
  ASSERT_EQ(file.columns.size(), 4u);
  EXPECT_EQ(file.columns[1].name, "ТЕМП.ОЖ");
  EXPECT_EQ(file.columns[1].unit, "°C");
  ASSERT_EQ(file.rows.size(), 3u);
  EXPECT_DOUBLE_EQ(file.rows[1].seconds, 1.25);
  EXPECT_DOUBLE_EQ(file.rows[2].seconds, 2.5);
  EXPECT_EQ(file.rows[2].dateTime, "2024-03-05T09:07:02.500");
  EXPECT_EQ(file.rows[0].texts, (std::vector<std::string>{"1000", "42,5", "ДА", "00AB"}));
  // A spreadsheet that saved it again without the byte-order mark.
  EXPECT_EQ(ReadRecording(Csv().substr(3)).rows.size(), 3u);
}

// Every prefix of a sound file: never more than the whole, every row read is the whole file's,
// and a cut that is not on a line end is named.
void CheckEveryCut(const std::string& whole, std::size_t firstRowOffset) {
  const RecordingFile full = ReadRecording(whole);
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    const RecordingFile cut = ReadRecording(std::string_view(whole).substr(0, n));
    ASSERT_LE(cut.rows.size(), full.rows.size()) << n;
    for (std::size_t r = 0; r < cut.rows.size(); ++r) {
      ASSERT_EQ(cut.rows[r].texts, full.rows[r].texts) << n;
      ASSERT_EQ(cut.rows[r].seconds, full.rows[r].seconds) << n;
    }
    const bool onLineEnd = n > 0 && whole[n - 1] == '\n';
    if (n > firstRowOffset) {
      EXPECT_EQ(cut.problem.empty(), onLineEnd) << n << ": " << cut.problem;
      if (!onLineEnd) {
        EXPECT_NE(cut.problem.find("строке"), std::string::npos) << n;
      }
    }
  }
}

TEST_F(RecordingFileTest, DataFileCutAnywhereKeepsTheWholeLinesBeforeTheCut) {
  const std::string dat = Dat();
  CheckEveryCut(dat, dat.find(text::Utf8ToCp1251("ОБ.ДВ.")));
}

TEST_F(RecordingFileTest, CsvCutAnywhereKeepsTheWholeRowsBeforeTheCut) {
  CheckEveryCut(Csv(), 3);
}

TEST_F(RecordingFileTest, DamagedAndForeignFilesSayWhereReadingStopped) {
  std::string dat = Dat();
  dat.insert(dat.rfind("\r\n", dat.size() - 3) + 2, "1\t2\r\n");
  RecordingFile file = ReadRecording(dat);
  EXPECT_EQ(file.rows.size(), 2u);
  EXPECT_EQ(file.problem, "Чтение остановлено на строке 8: в строке 2 значений вместо 4.");

  file = ReadRecording("PK\x03\x04 whatever a zip holds");
  EXPECT_TRUE(file.rows.empty());
  EXPECT_EQ(file.problem, "Это не запись данных: в файле нет строки «Параметры контроллера.».");

  std::string csv = Csv();
  csv.insert(csv.find("2024-03-05T09:07:02"), "2024;\"открыто\r\n");
  file = ReadRecording(csv);
  EXPECT_EQ(file.rows.size(), 2u);
  EXPECT_EQ(file.problem, "Чтение остановлено на строке 4: кавычки не закрыты.");

  csv = Csv();
  csv.replace(csv.find("2,500"), 5, "0,100");
  file = ReadRecording(csv);
  EXPECT_EQ(file.rows.size(), 2u);
  EXPECT_EQ(file.problem,
            "Чтение остановлено на строке 4: время «0,100» не следует за предыдущим.");
}

TEST(RecordingValueTest, NumbersFlagsAndTheRest) {
  EXPECT_EQ(RecordingValue("12.5"), 12.5);
  EXPECT_EQ(RecordingValue("-3,25"), -3.25);
  EXPECT_EQ(RecordingValue("ДА"), 1.0);
  EXPECT_EQ(RecordingValue("НЕТ"), 0.0);
  for (const char* text : {"", "00AB", "1e5", "nan", "inf", "1,2,3", "-", "--1", "1-", " 1"})
    EXPECT_FALSE(RecordingValue(text)) << text;
}

}  // namespace
}  // namespace kd::livedata
