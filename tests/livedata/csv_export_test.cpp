// The CSV export against a file written out by hand, and read back by a CSV parser of the test's
// own (RFC 4180 with ";"), so that a writer and a reader sharing one mistake cannot agree on it.
#include "livedata/csv_export.h"

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
using Table = std::vector<std::vector<std::string>>;

// RFC 4180, section 2, with ';' for ',': records end with CRLF, fields may be enclosed in
// quotes, and a quote inside an enclosed field is written twice.
Table ParseCsv(const std::string& s, bool& wellFormed) {
  enum class State { FieldStart, Plain, Quoted, QuoteInQuoted } state = State::FieldStart;
  Table table(1);
  std::string field;
  wellFormed = true;
  auto endField = [&] {
    table.back().push_back(field);
    field.clear();
  };
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool crlf = c == '\r' && i + 1 < s.size() && s[i + 1] == '\n';
    switch (state) {
      case State::FieldStart:
      case State::Plain:
        if (state == State::FieldStart && c == '"') {
          state = State::Quoted;
        } else if (c == ';') {
          endField();
          state = State::FieldStart;
        } else if (crlf) {
          endField();
          table.emplace_back();
          ++i;
          state = State::FieldStart;
        } else if (c == '"' || c == '\r' || c == '\n') {
          wellFormed = false;  // a quote or a bare line break inside a plain field
          field += c;
        } else {
          field += c;
          state = State::Plain;
        }
        break;
      case State::Quoted:
        if (c == '"')
          state = State::QuoteInQuoted;
        else
          field += c;
        break;
      case State::QuoteInQuoted:
        if (c == '"') {
          field += '"';
          state = State::Quoted;
        } else if (c == ';') {
          endField();
          state = State::FieldStart;
        } else if (crlf) {
          endField();
          table.emplace_back();
          ++i;
          state = State::FieldStart;
        } else {
          wellFormed = false;
          field += c;
        }
        break;
    }
  }
  if (state == State::Quoted) wellFormed = false;
  // The last record ends with CRLF, which opens an empty one.
  if (table.back().empty() && field.empty())
    table.pop_back();
  else
    wellFormed = false;
  return table;
}

class CsvExportTest : public ::testing::Test {
 protected:
  // The screen's separator must not reach the file.
  void SetUp() override { text::SetDecimalSeparator('.'); }
  void TearDown() override { text::ResetDecimalSeparator(); }
};

ParamRecord Record(const char* name, const char* unit, char kind, std::int32_t position,
                   float scale = 1, std::int32_t decimals = 0) {
  ParamRecord r;
  catalogue::SetFieldText(r.name, text::Utf8ToCp1251(name));
  catalogue::SetFieldText(r.unit, text::Utf8ToCp1251(unit));
  r.kind = kind;
  r.width = 1;
  r.dataOffset = position;
  r.scale = scale;
  r.decimals = decimals;
  r.chartMax = 100;
  r.shown = 1;
  return r;
}

Bytes Frame(const Bytes& fromPosition1) {
  Bytes f(static_cast<std::size_t>(catalogue::Lookup(1).frameSize), 0);
  f[0] = 0x22;
  for (std::size_t i = 0; i < fromPosition1.size(); ++i) f[i + 1] = fromPosition1[i];
  return f;
}

TEST_F(CsvExportTest, FieldsAreQuotedWhereTheyNeedIt) {
  EXPECT_EQ(CsvField("ОБ.ДВ., об/мин"), "ОБ.ДВ., об/мин");
  EXPECT_EQ(CsvField("a;b"), "\"a;b\"");
  EXPECT_EQ(CsvField("дюйм \"5\""), "\"дюйм \"\"5\"\"\"");
  EXPECT_EQ(CsvField("две\r\nстроки"), "\"две\r\nстроки\"");
  EXPECT_EQ(CsvField(" хвост "), "\" хвост \"");
  EXPECT_EQ(CsvField(""), "");
}

TEST_F(CsvExportTest, NumbersHaveTheCommaWhateverTheScreenUses) {
  EXPECT_EQ(CsvNumber(12.345, 2), "12,35");
  EXPECT_EQ(CsvNumber(-10, 0), "-10");
  EXPECT_EQ(CsvNumber(0.5, 1), "0,5");
  text::SetDecimalSeparator(',');
  EXPECT_EQ(CsvNumber(3.25, 2), "3,25");
}

TEST_F(CsvExportTest, FileMatchesTheHandWrittenOneAndReadsBack) {
  std::vector<ParamRecord> params = {
      Record("ОБ.ДВ.", "об/мин", 'P', 3, 40),
      Record("СКРЫТ", "В", 'P', 4),
      Record("ТЕМП.\"ОЖ\"", "°C", 'S', 5, 0.5f, 1),
      Record("ХХ", "", 'B', 6),
      Record("КОД;1", "", 'H', 7),
  };
  params[1].shown = 0;
  params[3].bit = 1;
  RecordBuffer record;
  record.Start();
  FrameTimes times;
  times.Start({2024, 12, 31, 23, 59, 59, 800});
  record.AppendFrame(Frame({0x61, 0x01, 0x19, 0x00, 0x55, 0x02, 0xAB}), 37);
  times.Stamp({2024, 12, 31, 23, 59, 59, 800});
  record.AppendFrame(Frame({0x61, 0x01, 0x14, 0x00, 0x03, 0x00, 0x00}), 37);
  times.Stamp({2025, 1, 1, 0, 0, 0, 100});
  record.AppendFrame(Frame({0x61, 0x01, 0x00, 0x00, 0x00, 0x03, 0x10}), 37);
  times.Stamp({2025, 1, 1, 0, 0, 12, 345});

  const std::string expected =
      "\xEF\xBB\xBF"
      "Дата и время;Время, с;ОБ.ДВ., об/мин;\"ТЕМП.\"\"ОЖ\"\", °C\";ХХ;\"КОД;1\"\r\n"
      "2024-12-31T23:59:59.800;0,000;1000;42,5;ДА;00AB\r\n"
      "2025-01-01T00:00:00.100;0,300;800;1,5;НЕТ;0000\r\n"
      "2025-01-01T00:00:12.345;12,545;0;0;ДА;0010\r\n";
  const std::string file = CsvFile(1, params, record, times);
  EXPECT_EQ(file, expected);

  ASSERT_EQ(file.substr(0, 3), "\xEF\xBB\xBF");
  bool wellFormed = false;
  const Table table = ParseCsv(file.substr(3), wellFormed);
  EXPECT_TRUE(wellFormed);
  ASSERT_EQ(table.size(), 4u);
  for (const auto& row : table) EXPECT_EQ(row.size(), 6u);
  EXPECT_EQ(table[0][3], "ТЕМП.\"ОЖ\", °C");
  EXPECT_EQ(table[0][5], "КОД;1");
  EXPECT_EQ(table[3][1], "12,545");
  EXPECT_EQ(table[1][3], "42,5");
}

TEST_F(CsvExportTest, EmptyRecordingIsTheHeadingsOnly) {
  std::vector<ParamRecord> params = {Record("А", "В", 'P', 3)};
  RecordBuffer record;
  FrameTimes times;
  EXPECT_EQ(CsvFile(1, params, record, times), "\xEF\xBB\xBFДата и время;Время, с;А, В\r\n");
}

}  // namespace
}  // namespace kd::livedata
