// The OBD windows as the main window opens them: its own timer silent while one is shown and
// running again after, and the state the windows keep from one opening to the next.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>

#include "../link/fake_port.h"
#include "support/null_host.h"
#include "ui/main_form.h"

namespace kd::obd {
namespace {

// Runs a test's own steps while a window is shown, as a person would between opening and
// closing it.
class ScriptedHost : public testing::NullHost {
 public:
  std::function<void(view::Form&)> whileShown;
  void ShowModal(view::Form& form) override {
    if (whileShown) whileShown(form);
  }
};

struct ObdWindows : ::testing::Test {
  void SetUp() override {
    old_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() / ("kd_obd_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    form.Start();
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  void Open(const char* button, std::function<void(view::Form&)> steps) {
    host.whileShown = std::move(steps);
    form.FindAs<view::Button>(button)->Click();
  }
  std::vector<std::uint8_t> Tick(view::Form& window) {
    port.writes.clear();
    window.LinkTimer()->Fire();
    return port.writes.empty() ? std::vector<std::uint8_t>{} : port.writes.back();
  }

  std::filesystem::path old_, dir_;
  testing::FakePort port;
  ScriptedHost host;
  ui::MainForm form{port, host};
};

TEST_F(ObdWindows, OnlyTheOpenWindowsTimerDrivesThePort) {
  for (const char* button : {"ToolButton7", "ToolButton12"}) {
    bool ran = false;
    Open(button, [&](view::Form& window) {
      ran = true;
      EXPECT_FALSE(form.Timer1().Enabled()) << button;
      ASSERT_NE(window.LinkTimer(), nullptr);
      EXPECT_NE(window.LinkTimer(), &form.Timer1());
      EXPECT_TRUE(window.LinkTimer()->Enabled());
      // A main-window tick now would write nothing.
      port.writes.clear();
      form.Timer1().Fire();
      EXPECT_TRUE(port.writes.empty());
      EXPECT_FALSE(Tick(window).empty());
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(form.Timer1().Enabled()) << button;
    port.writes.clear();
    form.Timer1().Fire();
    EXPECT_EQ(port.writes.size(), 1u);
  }
}

TEST_F(ObdWindows, FrameNumberAndClearRequestOutliveTheWindow) {
  Open("ToolButton7", [&](view::Form& w) {
    w.FindAs<view::Button>("Button1")->Click();
    w.FindAs<view::Button>("Button1")->Click();
    w.FindAs<view::Button>("Button2")->Click();
  });
  Open("ToolButton7", [&](view::Form& w) {
    EXPECT_EQ(w.FindAs<view::Button>("Button1")->Caption(), "Frame:2");
    w.FindAs<view::PageControl>("PageControl1")->ClickTab(2);
    Tick(w);  // StartCommunication
    EXPECT_EQ(Tick(w), (std::vector<std::uint8_t>{0x55, 0x56, 0x57, 0xAA, 0x0A, 0xC1, 0x33, 0xF1,
                                                  0x03, 0xE8}));
    // Echo, then a code reply: the clear asked for in the earlier window goes out now.
    for (std::uint8_t b :
         std::initializer_list<std::uint8_t>{0xC1, 0x33, 0xF1, 0x03, 0xE8, 0x87, 0xF1, 0x10, 0x43,
                                             0x01, 0x33, 0x00, 0x00, 0x00, 0x00, 0x07})
      port.incoming.push_back(b);
    EXPECT_EQ(Tick(w), (std::vector<std::uint8_t>{0x55, 0x56, 0x57, 0xAA, 0x0A, 0xC1, 0x33, 0xF1,
                                                  0x04, 0xE9}));
  });
  // The ISO 9141 window keeps its own frame number (always 0) and its own clear.
  Open("ToolButton12", [&](view::Form& w) {
    w.FindAs<view::PageControl>("PageControl1")->ClickTab(1);
    Tick(w);
    port.incoming.push_back(0xF7);
    EXPECT_EQ(Tick(w), (std::vector<std::uint8_t>{0x55, 0x56, 0x57, 0xAA, 0x0C, 0x68, 0x6A, 0xF1,
                                                  0x02, 0x00, 0x00, 0xC5}));
  });
}

}  // namespace
}  // namespace kd::obd
