// The session trace never fails silently: a full disk or a removed folder is shown once, the
// lines of the gap are written when the file can be written again, and no torn line is left.
// And the trace is read back for the program's own replay.
#include "ui/session_trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "link/fake_port.h"
#include "support/null_host.h"
#include "support/temp_folder.h"
#include "ui/main_form.h"

namespace kd::ui {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(TraceFileTest, AFullDiskFailsAndNothingTornStays) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TraceFile full("/dev/full");
  EXPECT_TRUE(full.Writable());
  EXPECT_FALSE(full.Append("line 1\n"));
  EXPECT_TRUE(full.Failing());
}

TEST(TraceFileTest, ARemovedFolderIsWrittenAgainWithTheGapsLines) {
  testing::TempFolder folder;
  const fs::path dir = folder.Path() / "traces";
  fs::create_directories(dir);
  TraceFile trace((dir / "s.trace").string());
  ASSERT_TRUE(trace.Append("a\n"));
  fs::remove_all(dir);
  EXPECT_FALSE(trace.Append("b\n"));
  EXPECT_FALSE(trace.Append("c\n"));
  EXPECT_TRUE(trace.Failing());
  fs::create_directories(dir);
  EXPECT_TRUE(trace.Append("d\n"));
  EXPECT_FALSE(trace.Failing());
  EXPECT_EQ(Read(dir / "s.trace"), "b\nc\nd\n");
}

TEST(TraceFileTest, WaitingLinesAreBoundedToTheNewestWholeLines) {
  testing::TempFolder folder;
  TraceFile trace((folder.Path() / "none" / "s.trace").string());
  const std::string line(1000, 'x');
  for (int i = 0; i < 2000; ++i) trace.Append(std::to_string(i) + line + "\n");
  fs::create_directories(folder.Path() / "none");
  ASSERT_TRUE(trace.Append("last\n"));
  const std::string kept = Read(folder.Path() / "none" / "s.trace");
  EXPECT_LE(kept.size(), TraceFile::kWaitingLimit);
  EXPECT_EQ(kept.substr(kept.size() - 5), "last\n");
  // Only whole lines: the first one starts with its number.
  EXPECT_NE(kept[0], 'x');
  EXPECT_EQ(kept.find("1999" + line), kept.size() - 5 - line.size() - 5);
}

class ClockHost : public testing::NullHost {
 public:
  view::LocalTime Now() override { return now; }
  view::LocalTime now;
};

TEST(MainFormTraceTest, AFailingTraceIsShownOnceAndResumes) {
  testing::TempFolder folder(testing::TempFolder::Enter);
  fs::create_directories("t");
  testing::FakePort port;
  ClockHost host;
  MainForm form{port, host};
  ASSERT_TRUE(form.StartTrace("t/s.trace"));
  form.Start();
  std::vector<std::string> shown;
  form.StatusBar1().OnText = [&](int panel, const std::string& text) {
    if (panel == 0 && text != "Send Message" && text != "Error Message") shown.push_back(text);
  };
  form.Timer1().Fire();
  fs::remove_all("t");
  for (int i = 0; i < 3; ++i) {
    host.now.second = i + 1;
    form.Timer1().Fire();
  }
  EXPECT_EQ(shown, std::vector<std::string>{kTraceFailed});
  fs::create_directories("t");
  host.now.second = 9;
  form.Timer1().Fire();
  form.Timer1().Fire();
  EXPECT_EQ(shown, (std::vector<std::string>{kTraceFailed, kTraceWrittenAgain}));
  std::istringstream lines(Read("t/s.trace"));
  std::vector<std::string> times;
  for (std::string line; std::getline(lines, line);) times.push_back(line.substr(0, 23));
  EXPECT_EQ(times, (std::vector<std::string>{"2024-01-01 12:00:01.000", "2024-01-01 12:00:02.000",
                                             "2024-01-01 12:00:03.000", "2024-01-01 12:00:09.000",
                                             "2024-01-01 12:00:09.000"}));
}

// A host whose modal windows run a few ticks of their own timer, as a technician's look at one.
class TickingHost : public ClockHost {
 public:
  void ShowModal(view::Form& window) override {
    for (int i = 0; i < 2; ++i) {
      if (beforeTick) beforeTick();
      if (view::Timer* timer = window.LinkTimer()) timer->Fire();
    }
  }
  std::function<void()> beforeTick;
};

TEST(MainFormTraceTest, SideWindowTicksAreTracedAsTheirOwnAndSkippedByTheReplay) {
  testing::TempFolder folder(testing::TempFolder::Enter);
  testing::FakePort port;
  TickingHost host;
  MainForm form{port, host};
  ASSERT_TRUE(form.StartTrace("s.trace"));
  form.Start();
  form.Timer1().Fire();
  // The EOBD window's functional StartCommunication, then the controller's answer to it.
  host.beforeTick = [&] {
    const std::uint8_t line[] = {0xC1, 0x33, 0xF1, 0x81, 0x66, 0x83,
                                 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};
    for (std::uint8_t b : line) port.incoming.push_back(b);
  };
  form.FindAs<view::Button>("ToolButton7")->Click();
  host.beforeTick = nullptr;
  form.Timer1().Fire();

  std::istringstream lines(Read("s.trace"));
  std::vector<std::string> ticks;
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 24 && line[0] != '#' && line.compare(24, 4, "open") != 0)
      ticks.push_back(line.substr(24));
  ASSERT_EQ(ticks.size(), 4u);
  EXPECT_EQ(ticks[0].substr(0, 22), "type 1 page TabSheet1 ");
  EXPECT_EQ(
      ticks[1],
      "window TEOBD page TabSheet1 rx C1 33 F1 81 66 83 F1 10 C1 EF 8F C3 | tx 55 56 57 AA 8A "
      "C1 33 F1 81 66 | COM:2; Send Message");
  EXPECT_EQ(ticks[2].substr(0, 48), "window TEOBD page TabSheet1 rx C1 33 F1 81 66 83");
  EXPECT_EQ(ticks[3].substr(0, 22), "type 1 page TabSheet1 ");

  // The replay plays the main window's ticks; a side window's line is no tick of it.
  std::string error;
  EXPECT_FALSE(ParseTraceLine("2024-01-01 12:00:00.000 " + ticks[1], 5, error));
  EXPECT_EQ(error, "");
}

TEST(TraceReadTest, LinesOfTicksAndTheRest) {
  std::string error;
  auto tick = ParseTraceLine(
      "2024-01-01 12:00:00.300 type 8 page TabSheet2 rx 82 10 F1 | tx 55 56 | Данные получены.", 7,
      error);
  ASSERT_TRUE(tick);
  EXPECT_EQ(tick->line, 7);
  EXPECT_EQ(tick->type, 8u);
  EXPECT_EQ(tick->page, "TabSheet2");
  EXPECT_EQ(tick->rx, (std::vector<std::uint8_t>{0x82, 0x10, 0xF1}));
  EXPECT_EQ(tick->tx, (std::vector<std::uint8_t>{0x55, 0x56}));
  EXPECT_FALSE(ParseTraceLine("# klinediag session trace", 1, error));
  EXPECT_FALSE(ParseTraceLine("2024-01-01 12:00:00.000 open Com:2 115200,n,8,2 ok", 2, error));
  EXPECT_EQ(error, "");
  EXPECT_FALSE(ParseTraceLine("2024-01-01 12:00:00.300 type 8 page", 3, error));
  EXPECT_EQ(error, "malformed line 3");
  EXPECT_FALSE(ParseTraceLine("2024-01-01 12:00:00.300 type 1 page P rx 8G | tx |", 4, error));
  EXPECT_EQ(error, "malformed byte: 8G");
}

}  // namespace
}  // namespace kd::ui
