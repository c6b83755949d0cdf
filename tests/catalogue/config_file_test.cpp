// Configuration files byte for byte, built here by hand rather than by the writer, and the loader
// on whatever a damaged disk may hold.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "catalogue/config_file.h"
#include "support/temp_folder.h"
#include "catalogue/param_tables.h"

namespace kd::catalogue {
namespace {

using Bytes = std::vector<std::uint8_t>;

ParamRecord Sample(const char* name, const char* description, std::uint8_t shown) {
  ParamRecord r;
  SetFieldText(r.name, name);
  SetFieldText(r.unit, "Kg");
  r.kind = 'P';
  r.width = 2;
  r.chartMax = 100.0f;
  r.scale = 0.5f;
  r.offset = -40.0f;
  r.decimals = 1;
  r.dataOffset = 11;
  r.shown = shown;
  r.onChart = 1;
  SetFieldText(r.description, description);
  return r;
}

// One record as it must stand in a file: little-endian fields at their offsets, the texts XORed
// with the key, terminators and trailing zeros included, OnChart 0.
Bytes HandMadeRecord(const char* name, const char* description, std::uint8_t shown, std::uint8_t key) {
  Bytes b(352, 0);
  for (std::size_t i = 0; i < 25; ++i) b[i] = (i < std::strlen(name) ? name[i] : 0) ^ key;
  b[25] = 'K';
  b[26] = 'g';
  b[40] = 'P';
  b[44] = 2;
  const std::uint8_t f100[] = {0x00, 0x00, 0xC8, 0x42};   // 100.0f
  const std::uint8_t fHalf[] = {0x00, 0x00, 0x00, 0x3F};  // 0.5f
  const std::uint8_t fM40[] = {0x00, 0x00, 0x20, 0xC2};   // -40.0f
  std::copy(std::begin(f100), std::end(f100), b.begin() + 48);
  std::copy(std::begin(fHalf), std::end(fHalf), b.begin() + 56);
  std::copy(std::begin(fM40), std::end(fM40), b.begin() + 60);
  b[64] = 1;
  b[68] = 11;
  b[92] = shown;
  b[93] = 0;
  for (std::size_t i = 0; i < 255; ++i)
    b[94 + i] = (i < std::strlen(description) ? description[i] : 0) ^ key;
  return b;
}

TEST(ConfigFile, WriterProducesTheFileByteForByte) {
  const ParamRecord records[] = {Sample("ABCDEFGHIJKLMNOPQRSTUVWX", "first", 1),
                                 Sample("B", "second one", 0)};
  const Bytes file = EncodeConfiguration(7, 3, records);

  Bytes expected = {0x07, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00};
  for (const Bytes& r : {HandMadeRecord("ABCDEFGHIJKLMNOPQRSTUVWX", "first", 1, 7),
                         HandMadeRecord("B", "second one", 0, 7)})
    expected.insert(expected.end(), r.begin(), r.end());
  EXPECT_EQ(file, expected);
  // The record in memory keeps its texts and its chart mark.
  EXPECT_EQ(FieldText(records[0].name), "ABCDEFGHIJKLMNOPQRSTUVWX");
  EXPECT_EQ(records[0].onChart, 1);
}

TEST(ConfigFile, HandMadeFileReadsBack) {
  Bytes file = {0x0B, 0x00, 0x00, 0x00, 0x05, 0x00, 0x01, 0x00};
  const Bytes r = HandMadeRecord("\xDD\xCC\xD3\xD0", "\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5", 1, 0x0B);
  file.insert(file.end(), r.begin(), r.end());
  const auto c = DecodeConfiguration(file);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->ecuType, 11u);
  EXPECT_EQ(c->portNumber, 5);
  ASSERT_EQ(c->records.size(), 1u);
  EXPECT_EQ(FieldText(c->records[0].name), "\xDD\xCC\xD3\xD0");  // "ЭМУР" in Windows-1251
  EXPECT_EQ(FieldText(c->records[0].description), "\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5");
  EXPECT_EQ(c->records[0].shown, 1);
  EXPECT_FLOAT_EQ(c->records[0].offset, -40.0f);
  EXPECT_EQ(c->records[0].dataOffset, 11);
}

TEST(ConfigFile, DamagedFilesGiveOnlyCompleteRecords) {
  const ParamRecord records[] = {Sample("A", "a", 1), Sample("B", "b", 0), Sample("C", "c", 1)};
  const Bytes good = EncodeConfiguration(1, 2, records);

  EXPECT_FALSE(DecodeConfiguration(Bytes{}));
  EXPECT_FALSE(DecodeConfiguration(Bytes(good.begin(), good.begin() + 7)));

  // Cut inside the third record: two complete ones remain.
  auto cut = DecodeConfiguration(Bytes(good.begin(), good.end() - 1));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->storedCount, 3);
  EXPECT_EQ(cut->records.size(), 2u);

  // A count far above what follows.
  Bytes lying = good;
  lying[6] = 0xFF;
  lying[7] = 0xFF;
  EXPECT_EQ(DecodeConfiguration(lying)->records.size(), 3u);

  // Texts without terminators come back terminated.
  Bytes noTerminators = good;
  for (std::size_t i = 8; i < 8 + 352; ++i) noTerminators[i] = 0x41 ^ 0x01;
  const auto c = DecodeConfiguration(noTerminators);
  EXPECT_EQ(FieldText(c->records[0].name).size(), 24u);
  EXPECT_EQ(FieldText(c->records[0].unit).size(), 14u);
  EXPECT_EQ(FieldText(c->records[0].description).size(), 254u);
}

TEST(ConfigFile, RandomBytesNeverReadOutside) {
  std::mt19937 rng(352);
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes(rng() % 2000);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    if (bytes.size() >= 8 && rng() % 2) bytes[6] = static_cast<std::uint8_t>(rng() % 8);
    if (bytes.size() >= 8) bytes[7] = rng() % 4 ? 0 : bytes[7];
    const auto c = DecodeConfiguration(bytes);
    if (bytes.size() < 8) {
      EXPECT_FALSE(c);
      continue;
    }
    ASSERT_TRUE(c);
    EXPECT_LE(c->records.size(), (bytes.size() - 8) / 352);
    EXPECT_LE(c->records.size(), c->storedCount);
  }
}

TEST(ConfigFile, WrittenFileReadsBackAndAFailedWriteKeepsTheOldOne) {
  namespace fs = std::filesystem;
  const kd::testing::TempFolder dir;
  const std::string path = (dir / "x.cfg").string();
  const auto records = BuiltInParams(7);
  ASSERT_TRUE(WriteConfigurationFile(path, 7, 4, records));
  const auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, EncodeConfiguration(7, 4, records));
  // A folder that does not exist cannot take the file; a folder in the target's place neither.
  EXPECT_FALSE(WriteConfigurationFile((dir / "none" / "y.cfg").string(), 7, 4, records));
  fs::create_directory(dir / "z.cfg");
  EXPECT_FALSE(WriteConfigurationFile((dir / "z.cfg").string(), 1, 2, {}));
  EXPECT_EQ(ReadFileBytes(path), bytes);
  EXPECT_FALSE(ReadFileBytes((dir / "missing.cfg").string()));
}

}  // namespace
}  // namespace kd::catalogue
