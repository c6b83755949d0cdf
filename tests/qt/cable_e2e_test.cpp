// Both OBD windows through the real serial-port code and the cable driver, against the
// simulator serving a plain K-line on a pseudo-terminal: the fast initialisation of the EOBD
// window and the 5-baud initialisation of the ISO 9141 window go over a real terminal, at the
// windows' own pace.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "link/adapter.h"
#include "link/port.h"
#include "obd/eobd_form.h"
#include "obd/iso9141_form.h"
#include "qt/qt_serial_port.h"
#include "sim/pty_server.h"

namespace kd::qt {
namespace {

class CableOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::PtyOptions options;
    options.cable = true;
    server_ = std::make_unique<sim::PtyServer>(car_, options);
    std::string error;
    ASSERT_TRUE(server_->Open(error)) << error;
    serving_ = std::thread([this] {
      while (!stop_) server_->Step(10);
    });
    ASSERT_TRUE(device_.Map().Override(2, server_->SlavePath()));
    view::StatusBar status("StatusBar1", std::vector<int>{200, 70, 70, 70});
    link::OpenPort(handle_, 2, 1, status);
    ASSERT_TRUE(port_.IsOpen());
  }
  void TearDown() override {
    stop_ = true;
    if (serving_.joinable()) serving_.join();
    port_.Close();
  }
  // Fires the window's timer as the toolkit would, waiting each interval first, until `done` or
  // `ticks` have passed. A loaded machine may cost an exchange now and then; the window starts
  // its cycle again, as on a car, and gets there a few ticks later.
  void Run(view::Form& window, int ticks, const std::function<bool()>& done) {
    view::Timer* timer = window.LinkTimer();
    for (int i = 0; i < ticks && !done(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(timer->Interval()));
      timer->Fire();
    }
  }
  static std::string Panel(view::Form& window, int panel) {
    return window.FindAs<view::StatusBar>("StatusBar1")->Text(panel);
  }

  sim::SimulatedPort car_{1};
  std::unique_ptr<sim::PtyServer> server_;
  std::thread serving_;
  std::atomic<bool> stop_{false};
  QtSerialPort device_;
  link::AdapterPort port_{device_, link::AdapterKind::KLineCable};
  link::PortHandle handle_{port_};
};

TEST_F(CableOnPty, EobdWindowReadsTheCarAfterTheFastInitialisation) {
  obd::EobdShared shared;
  obd::EobdForm window(handle_, shared);
  auto* grid = window.FindAs<view::Grid>("StringGrid1");
  ASSERT_NE(grid, nullptr);
  Run(window, 30, [grid] { return grid->RowCount() > 16 && !grid->Cell(3, 1).empty(); });
  EXPECT_GT(grid->RowCount(), 16);
  EXPECT_EQ(grid->Cell(3, 1), "КОЛ.ОШИБОК");
  EXPECT_EQ(Panel(window, 1), "Send Message");
}

TEST_F(CableOnPty, Iso9141WindowReadsTheCarAfterTheFiveBaudInitialisation) {
  obd::Iso9141Shared shared;
  obd::Iso9141Form window(handle_, shared);
  auto* grid = window.FindAs<view::Grid>("StringGrid1");
  ASSERT_NE(grid, nullptr);
  // 1 s, the 5-baud initialisation's 2 s, then requests at 300 ms.
  Run(window, 25, [&] {
    return Panel(window, 2) == "Данные получены." && grid->RowCount() > 16 &&
           !grid->Cell(3, 1).empty();
  });
  EXPECT_EQ(Panel(window, 2), "Данные получены.");
  EXPECT_GT(grid->RowCount(), 16);
  EXPECT_EQ(grid->Cell(3, 1), "КОЛ.ОШИБОК");
}

}  // namespace
}  // namespace kd::qt
