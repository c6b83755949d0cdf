// QtSerialPort against a pseudo-terminal: the test holds the master end as the adapter would,
// QtSerialPort opens the slave through the port map's override, as `--port N=DEVICE` does.
#include "link/serial_port.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "qt/port_map.h"
#include "qt/qt_serial_port.h"
#include "tty_speed.h"

namespace kd::qt {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PortMapTest, LinuxPrefersTheUsbAdapterAndFallsBackToTheOnBoardPort) {
  std::vector<std::string> probed;
  PortMap map(PortPlatform::Linux, [&probed](const std::string& path) {
    probed.push_back(path);
    return path == "/dev/ttyUSB1";
  });
  EXPECT_EQ(map.Device(2), "/dev/ttyUSB1");
  EXPECT_EQ(map.Device(1), "/dev/ttyS0");
  EXPECT_EQ(map.Device(8), "/dev/ttyS7");
  EXPECT_EQ(probed, (std::vector<std::string>{"/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyUSB7"}));
  EXPECT_EQ(map.Device(0), "");
  EXPECT_EQ(map.Device(9), "");
  ASSERT_TRUE(map.Override(2, "/dev/pts/7"));
  EXPECT_EQ(map.Device(2), "/dev/pts/7") << "an override wins over the probe";
}

TEST(PortMapTest, WindowsNamesComPortsAndOverridesReplaceOneEntry) {
  PortMap map(PortPlatform::Windows, nullptr);
  EXPECT_EQ(map.Device(1), "COM1");
  EXPECT_EQ(map.Device(8), "COM8");
  EXPECT_TRUE(map.Override(3, "\\\\.\\COM12"));
  EXPECT_EQ(map.Device(3), "\\\\.\\COM12");
  EXPECT_EQ(map.Device(4), "COM4");
  EXPECT_FALSE(map.Override(9, "COM9"));
  EXPECT_FALSE(map.Override(0, "COM0"));
  EXPECT_FALSE(map.Override(2, ""));
  EXPECT_EQ(map.Device(2), "COM2");
}

TEST(PortMapTest, ParsesPortOverridesAndRejectsMalformedOnes) {
  auto parsed = ParsePortOverride("2=/dev/pts/4");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->first, 2);
  EXPECT_EQ(parsed->second, "/dev/pts/4");
  auto withEquals = ParsePortOverride("8=/dev/serial/by-id/a=b");
  ASSERT_TRUE(withEquals);
  EXPECT_EQ(withEquals->second, "/dev/serial/by-id/a=b");
  for (const char* bad : {"", "2", "=/dev/x", "2=", "0=/dev/x", "9=/dev/x", "-1=/dev/x", "x=/dev/x",
                          "2x=/dev/x", " 2=/dev/x", "+2=/dev/x", "99999999999=/dev/x"})
    EXPECT_FALSE(ParsePortOverride(bad)) << bad;
}

// The adapter's end of the line.
class PtyTest : public ::testing::Test {
 protected:
  static constexpr int kPort = 2;

  void SetUp() override {
    char name[256] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    slavePath_ = name;
    ASSERT_TRUE(port_.Map().Override(kPort, slavePath_));
  }
  void TearDown() override {
    port_.Close();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  void OpenWith(const std::string& mode) {
    ASSERT_TRUE(port_.Open(kPort)) << slavePath_;
    const auto settings = link::BuildLineSettings(mode);
    ASSERT_TRUE(settings) << mode;
    ASSERT_TRUE(port_.ApplyLineSettings(*settings)) << mode;
    port_.SetReadTimeout(100);
    port_.RaiseDtr();
    port_.RaiseRts();
  }

  // What the master receives within `ms`, up to `count` bytes.
  Bytes MasterRead(std::size_t count, int ms = 2000) {
    Bytes got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && clock.elapsed() < ms) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(ms - clock.elapsed())) <= 0) break;
      std::uint8_t buf[4096];
      const ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  void MasterWrite(const Bytes& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  QtSerialPort port_;
};

class LineSettingsTest : public PtyTest, public ::testing::WithParamInterface<const char*> {};

// The three line settings the controller types use, each set on the device for real and each
// carrying bytes both ways. 8192 baud is no standard rate; QSerialPort sets it through termios2.
TEST_P(LineSettingsTest, SetsTheLineAndCarriesBytesBothWays) {
  const std::string mode = GetParam();
  OpenWith(mode);
  const auto want = *link::BuildLineSettings(mode);

  const auto line = test::ReadTtyLine(slave_);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->outputBaud, static_cast<unsigned>(want.baud));
  EXPECT_EQ(line->inputBaud, static_cast<unsigned>(want.baud));
  EXPECT_EQ(line->dataBits, want.dataBits);
  EXPECT_EQ(line->stopBits, want.stopBits);
  EXPECT_FALSE(line->parity);

  const Bytes request = {0x55, 0x56, 0x57, 0xAA, 0x0B, 0x82, 0x10, 0xF1, 0x3E, 0x01, 0xC2};
  ASSERT_EQ(port_.Write(request.data(), request.size()), link::WriteStatus::Written);
  EXPECT_EQ(MasterRead(request.size()), request);

  const Bytes reply = {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0x43, 0x00, 0x0A, 0x0D};
  MasterWrite(reply);
  std::uint8_t buf[200] = {};
  const std::size_t n = port_.Read(buf, sizeof buf);
  EXPECT_EQ(Bytes(buf, buf + n), reply);
}

INSTANTIATE_TEST_SUITE_P(ControllerLines, LineSettingsTest,
                         ::testing::Values("COM2:115200,n,8,2", "COM2:9600,n,8,1",
                                           "COM2:8192,n,8,1"));

TEST_F(PtyTest, ReadReturnsEarlyOnceTheLimitIsThereAndKeepsTheRest) {
  OpenWith("COM2:115200,n,8,2");
  port_.SetReadTimeout(2000);
  MasterWrite({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  std::uint8_t buf[16] = {};
  QElapsedTimer clock;
  clock.start();
  ASSERT_EQ(port_.Read(buf, 4), 4u);
  EXPECT_LT(clock.elapsed(), 1000);
  EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{1, 2, 3, 4}));
  port_.SetReadTimeout(100);
  const std::size_t n = port_.Read(buf, sizeof buf);
  EXPECT_EQ(Bytes(buf, buf + n), (Bytes{5, 6, 7, 8, 9, 10}));
}

TEST_F(PtyTest, ReadGivesUpAfterTheTotalTimeOutWhenNothingComes) {
  OpenWith("COM2:115200,n,8,2");
  std::uint8_t buf[200] = {};
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(port_.Read(buf, sizeof buf), 0u);
  const auto elapsed = clock.elapsed();
  EXPECT_GE(elapsed, 90);
  EXPECT_LT(elapsed, 1000);
}

// A USB adapter hands a reply over in pieces wherever its chip's timer cut it; the read window
// must take the whole reply whatever the cut, ending at the limit as soon as it is reached and
// at its time-out otherwise.
TEST_F(PtyTest, AReplyArrivingInTwoPiecesIsReadWholeAtEverySplit) {
  OpenWith("COM2:115200,n,8,2");
  const Bytes reply = {0x8A, 0xF1, 0x10, 0x61, 0x01, 0x00, 0x12,
                       0x34, 0x56, 0x78, 0x9A, 0xFF, 0x42};
  for (std::size_t split = 1; split < reply.size(); ++split) {
    for (const std::size_t limit : {reply.size(), std::size_t{200}}) {
      SCOPED_TRACE(testing::Message() << "split " << split << ", limit " << limit);
      MasterWrite(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(split)));
      std::thread rest([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        MasterWrite(Bytes(reply.begin() + static_cast<std::ptrdiff_t>(split), reply.end()));
      });
      std::uint8_t buf[200] = {};
      QElapsedTimer clock;
      clock.start();
      const std::size_t n = port_.Read(buf, limit);
      const auto elapsed = clock.elapsed();
      rest.join();
      EXPECT_EQ(Bytes(buf, buf + n), reply);
      if (limit == reply.size())
        EXPECT_LT(elapsed, 90) << "the limit ends the window as soon as the last piece is in";
      else
        EXPECT_GE(elapsed, 90) << "short of the limit the window runs to its time-out";
    }
  }
}

// An adapter pulled out mid-session: the read window ends at once with nothing (no spinning on
// the dead device, no stale bytes), writes fail while it is away, and when it is plugged back
// under the same name the next write opens it again with the line it had.
TEST_F(PtyTest, ALostDeviceEndsTheReadAndIsOpenedAgainWhenItIsBack) {
  char dir[] = "/tmp/klinediag-lost-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string link = std::string(dir) + "/ttyUSB0";
  ASSERT_EQ(symlink(slavePath_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(port_.Map().Override(kPort, link));
  std::vector<bool> reopens;
  port_.SetReopenListener([&](bool reopened) { reopens.push_back(reopened); });
  OpenWith("COM2:9600,n,8,1");

  close(slave_);
  slave_ = -1;
  close(master_);
  master_ = -1;
  std::uint8_t buf[200] = {};
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(port_.Read(buf, sizeof buf), 0u);
  EXPECT_LT(clock.elapsed(), 1000);
  EXPECT_FALSE(port_.IsOpen()) << "the dead device is let go";
  const Bytes request = {0x81, 0x10, 0xF1, 0x81, 0x03};
  EXPECT_EQ(port_.Write(request.data(), request.size()), link::WriteStatus::Failed);
  EXPECT_EQ(reopens, (std::vector<bool>{false}));

  // Plugged back: a new device behind the same name.
  char name[256] = {};
  ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
  ASSERT_EQ(unlink(link.c_str()), 0);
  ASSERT_EQ(symlink(name, link.c_str()), 0);
  EXPECT_EQ(port_.Write(request.data(), request.size()), link::WriteStatus::Written);
  EXPECT_EQ(reopens, (std::vector<bool>{false, true}));
  EXPECT_TRUE(port_.IsOpen());
  EXPECT_EQ(MasterRead(request.size()), request);
  const auto line = test::ReadTtyLine(slave_);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->outputBaud, 9600u) << "the line it had is set again";
  EXPECT_EQ(line->stopBits, 1);
  const Bytes reply = {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0x43};
  MasterWrite(reply);
  const std::size_t n = port_.Read(buf, sizeof buf);
  EXPECT_EQ(Bytes(buf, buf + n), reply);

  port_.Close();
  unlink(link.c_str());
  rmdir(dir);
}

TEST_F(PtyTest, WriteIsPendingWhileTheAdapterDoesNotReadAndCompletesWhenItDoes) {
  OpenWith("COM2:115200,n,8,2");
  const Bytes frame(256, 0x5A);
  std::size_t frames = 0;
  bool stuck = false;
  // The pty holds some kilobytes and moves them on by itself for a while; past that, a frame
  // stays pending however long it waits.
  while (!stuck && frames < 4096) {
    ++frames;
    if (port_.Write(frame.data(), frame.size()) == link::WriteStatus::Pending) {
      QElapsedTimer clock;
      clock.start();
      stuck = !port_.WaitPendingWrite(50);
      if (stuck) {
        EXPECT_GE(clock.elapsed(), 40) << "the wait takes its bound before giving up";
      }
    }
  }
  ASSERT_TRUE(stuck) << frames << " frames";

  const std::size_t total = frames * frame.size();
  std::thread adapter([this, total] { EXPECT_EQ(MasterRead(total, 5000).size(), total); });
  EXPECT_TRUE(port_.WaitPendingWrite(1000));
  adapter.join();
}

TEST_F(PtyTest, TheDeviceIsTakenExclusivelyAndFreedByClose) {
  OpenWith("COM2:115200,n,8,2");
  QtSerialPort second;
  ASSERT_TRUE(second.Map().Override(kPort, slavePath_));
  EXPECT_FALSE(second.Open(kPort));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_TRUE(port_.Close());
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_TRUE(second.Open(kPort));
}

TEST_F(PtyTest, RefusesSettingsItCannotApply) {
  const link::LineSettings twoStop{115200, 'n', 8, 2};
  EXPECT_FALSE(port_.ApplyLineSettings(twoStop)) << "not open yet";
  ASSERT_TRUE(port_.Open(kPort));
  EXPECT_TRUE(port_.ApplyLineSettings(twoStop));
  EXPECT_TRUE(port_.ApplyLineSettings({9600, 'n', 8, 1}));
  const auto line = test::ReadTtyLine(slave_);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->stopBits, 1);
  EXPECT_EQ(line->outputBaud, 9600u);
  // A pty keeps eight data bits without parity whatever it is told; the refusal must show.
  EXPECT_FALSE(port_.ApplyLineSettings({9600, 'e', 8, 1}));
  EXPECT_FALSE(port_.ApplyLineSettings({9600, 'n', 7, 1}));
  EXPECT_FALSE(port_.ApplyLineSettings({}));
  EXPECT_FALSE(port_.ApplyLineSettings({-9600, 'n', 8, 1}));
  EXPECT_FALSE(port_.ApplyLineSettings({9600, 'x', 8, 1}));
  EXPECT_FALSE(port_.ApplyLineSettings({9600, 'n', 9, 1}));
  EXPECT_FALSE(port_.ApplyLineSettings({9600, 'n', 8, 3}));
}

TEST(QtSerialPortTest, AMissingDeviceDoesNotOpen) {
  QtSerialPort port;
  ASSERT_TRUE(port.Map().Override(3, "/dev/klinediag-no-such-device"));
  EXPECT_FALSE(port.Open(3));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.ApplyLineSettings({115200, 'n', 8, 2}));
  const std::uint8_t byte = 0x55;
  EXPECT_EQ(port.Write(&byte, 1), link::WriteStatus::Failed);
  std::uint8_t buf[4];
  EXPECT_EQ(port.Read(buf, sizeof buf), 0u);
  EXPECT_FALSE(port.Open(0));
  EXPECT_FALSE(port.Open(9));
}

}  // namespace
}  // namespace kd::qt
