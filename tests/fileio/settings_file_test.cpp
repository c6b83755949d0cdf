// The program's own settings: kept across starts, never lost to a damaged file, and never able to
// inject a line of their own through a value.
#include "fileio/settings_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "support/temp_folder.h"

namespace kd::fileio {
namespace {

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Put(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(SettingsFile, EveryChangeIsOnDiskAtOnceAndReadBackByTheNextStart) {
  kd::testing::TempFolder dir;
  const std::string path = (dir / SettingsFile::kFileName).string();
  {
    SettingsFile settings(path);
    EXPECT_FALSE(settings.Get("link.fastPoll"));
    EXPECT_TRUE(settings.SetBool("link.fastPoll", true));
    EXPECT_TRUE(settings.SetInt("port.com", -3));
    EXPECT_TRUE(settings.Set("port.assign.2", "/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0"));
    EXPECT_TRUE(settings.Set("a.note", "две\nстроки \\ и\r"));
    EXPECT_EQ(Read(path),
              "a.note=две\\nстроки \\\\ и\\r\n"
              "link.fastPoll=1\n"
              "port.assign.2=/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0\n"
              "port.com=-3\n");
  }
  SettingsFile again(path);
  EXPECT_TRUE(again.GetBool("link.fastPoll", false));
  EXPECT_EQ(again.GetInt("port.com", 0, -10, 10), -3);
  EXPECT_EQ(again.GetString("a.note"), "две\nстроки \\ и\r");
  EXPECT_EQ(again.KeysWithPrefix("port."), (std::vector<std::string>{"port.assign.2", "port.com"}));
  EXPECT_TRUE(again.Remove("port.com"));
  EXPECT_EQ(SettingsFile(path).Get("port.com"), std::nullopt);
  EXPECT_EQ(SettingsFile(path).GetString("port.assign.2"),
            "/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0");
}

TEST(SettingsFile, ValuesOutsideTheirRangeOrFormFallBack) {
  SettingsFile s;
  s.Set("n", "12");
  s.Set("big", "99999999999999999999");
  s.Set("text", "12abc");
  s.Set("empty", "");
  s.Set("flag", "yes");
  EXPECT_EQ(s.GetInt("n", 7, 0, 12), 12);
  EXPECT_EQ(s.GetInt("n", 7, 0, 11), 7);
  EXPECT_EQ(s.GetInt("n", 7, 13, 20), 7);
  EXPECT_EQ(s.GetInt("big", 7, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()),
            7);
  EXPECT_EQ(s.GetInt("text", 7, 0, 100), 7);
  EXPECT_EQ(s.GetInt("empty", 7, 0, 100), 7);
  EXPECT_EQ(s.GetInt("missing", 7, 0, 100), 7);
  EXPECT_TRUE(s.GetBool("flag", true));
  EXPECT_FALSE(s.GetBool("flag", false));
  s.Set("flag", "false");
  EXPECT_FALSE(s.GetBool("flag", true));
}

TEST(SettingsFile, KeysThatWouldBreakTheFileAreRefused) {
  SettingsFile s;
  EXPECT_FALSE(s.Set("", "x"));
  EXPECT_FALSE(s.Set("a=b", "x"));
  EXPECT_FALSE(s.Set("a\nb", "x"));
  EXPECT_FALSE(s.Set("ключ", "x"));
  EXPECT_FALSE(s.Set(std::string(201, 'k'), "x"));
  EXPECT_TRUE(s.Set(std::string(200, 'k'), "x"));
  EXPECT_TRUE(s.KeysWithPrefix("a").empty());
}

TEST(SettingsFile, ADamagedFileKeepsWhatCanBeUnderstood) {
  kd::testing::TempFolder dir;
  const auto path = dir / SettingsFile::kFileName;
  Put(path, std::string("good=1\r\n") + "no equals sign\n" + "bad key=2\n" + "=3\n" +
                "dangling=ab\\\n" + "unknown=\\t\n" + std::string("nul\0=4\n", 7) + "last=x=y");
  SettingsFile s(path.string());
  EXPECT_EQ(s.KeysWithPrefix(""), (std::vector<std::string>{"good", "last"}));
  EXPECT_EQ(s.GetString("good"), "1");
  EXPECT_EQ(s.GetString("last"), "x=y");
}

TEST(SettingsFile, AnOversizedFileIsReadOnlyUpToItsLimit) {
  kd::testing::TempFolder dir;
  const auto path = dir / SettingsFile::kFileName;
  Put(path, "first=1\n" + std::string(SettingsFile::kMaxFileSize, 'x') + "\nafter=2\n");
  SettingsFile s(path.string());
  EXPECT_EQ(s.GetString("first"), "1");
  EXPECT_FALSE(s.Get("after"));
}

TEST(SettingsFile, AFailedSaveKeepsTheValueInMemoryAndSaysSo) {
  kd::testing::TempFolder dir;
  SettingsFile s((dir / "missing-folder" / SettingsFile::kFileName).string());
  EXPECT_FALSE(s.Set("k", "v"));
  EXPECT_EQ(s.GetString("k"), "v");
}

}  // namespace
}  // namespace kd::fileio
