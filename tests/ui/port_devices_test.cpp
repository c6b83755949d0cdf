// Which device each COM number opens and what the port dialog says of it, from a device list the
// test makes up; and what an opening that failed tells the technician.
#include "ui/port_devices.h"

#include <gtest/gtest.h>

#include "fileio/settings_file.h"

namespace kd::ui {
namespace {

const SerialDevice kFtdi{"/dev/ttyUSB0",
                         "FT232R USB UART",
                         "FTDI",
                         "A50285BI",
                         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                         true};
const SerialDevice kCh340{
    "/dev/ttyUSB1", "USB Serial", "", "", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", true};
const SerialDevice kOnBoard{"/dev/ttyS0", "", "", "", "", false};

class Ports : public ::testing::Test {
 protected:
  PortAssignments Make() {
    return PortAssignments(settings, {[this] { return present; },
                                      [this](int n) {
                                        const std::string usb =
                                            "/dev/ttyUSB" + std::to_string(n - 1);
                                        for (const auto& d : present)
                                          if (d.path == usb) return usb;
                                        return "/dev/ttyS" + std::to_string(n - 1);
                                      },
                                      [this](int n) -> std::optional<std::string> {
                                        if (n == forcedNumber) return forcedPath;
                                        return std::nullopt;
                                      }});
  }

  fileio::SettingsFile settings;  // in memory
  std::vector<SerialDevice> present;
  int forcedNumber = 0;
  std::string forcedPath;
};

TEST(DeviceLabel, NamesPathDescriptionMakerAndSerialAsTheyExist) {
  EXPECT_EQ(DeviceLabel(kFtdi), "/dev/ttyUSB0 — FT232R USB UART, FTDI, s/n A50285BI");
  EXPECT_EQ(DeviceLabel(kCh340), "/dev/ttyUSB1 — USB Serial");
  EXPECT_EQ(DeviceLabel(kOnBoard), "/dev/ttyS0");
}

TEST_F(Ports, OneUsbAdapterAndNoAssignmentOpensOnComTwo) {
  present = {kOnBoard, kFtdi};
  auto ports = Make();
  EXPECT_EQ(ports.DeviceOf(2), "/dev/ttyUSB0");
  EXPECT_EQ(ports.Label(2), "/dev/ttyUSB0 — FT232R USB UART, FTDI, s/n A50285BI");
  // Its own number by the platform's naming still leads to it as well.
  EXPECT_EQ(ports.Label(1), "/dev/ttyUSB0 — FT232R USB UART, FTDI, s/n A50285BI");
  EXPECT_EQ(ports.Label(3), kNoDevice);
  // Two adapters: nothing is guessed.
  present = {kFtdi, kCh340};
  EXPECT_EQ(Make().DeviceOf(2), "/dev/ttyUSB1");
  // Once anything is assigned, the guess is over too.
  present = {kFtdi};
  auto assigned = Make();
  ASSERT_TRUE(assigned.AssignPath(5, "/dev/ttyACM0"));
  EXPECT_EQ(assigned.DeviceOf(2), "/dev/ttyS1");
  EXPECT_EQ(assigned.DeviceOf(5), "/dev/ttyACM0");
}

TEST_F(Ports, AnAdapterWithASerialNumberKeepsItsNumberInAnySocket) {
  present = {kFtdi};
  auto ports = Make();
  ASSERT_TRUE(ports.Assign(4, kFtdi));
  EXPECT_EQ(settings.GetString("port.assign.4"), "serial:A50285BI");
  EXPECT_EQ(ports.DeviceOf(4), "/dev/ttyUSB0");
  // Plugged into another socket it is another path, the same adapter.
  SerialDevice moved = kFtdi;
  moved.path = "/dev/ttyUSB3";
  present = {kCh340, moved};
  EXPECT_EQ(ports.DeviceOf(4), "/dev/ttyUSB3");
  EXPECT_EQ(ports.Label(4), "/dev/ttyUSB3 — FT232R USB UART, FTDI, s/n A50285BI");
  // Pulled out: the number opens nothing rather than some other device.
  present = {kCh340};
  EXPECT_EQ(ports.DeviceOf(4), "");
  EXPECT_EQ(ports.Label(4), kNoDevice);
  ASSERT_TRUE(ports.Clear(4));
  EXPECT_EQ(ports.DeviceOf(4), "/dev/ttyS3");
}

TEST_F(Ports, ADeviceWithoutSerialNumberIsKeptByItsStableName) {
  present = {kCh340};
  auto ports = Make();
  ASSERT_TRUE(ports.Assign(3, kCh340));
  EXPECT_EQ(settings.GetString("port.assign.3"), "path:" + kCh340.byId);
  EXPECT_EQ(ports.DeviceOf(3), kCh340.byId);
  EXPECT_EQ(ports.Label(3), "/dev/ttyUSB1 — USB Serial");
  EXPECT_FALSE(ports.AssignPath(3, ""));
}

TEST_F(Ports, ThePortOptionWinsOverEverything) {
  present = {kFtdi};
  forcedNumber = 2;
  forcedPath = "/dev/pts/7";
  auto ports = Make();
  ports.Assign(2, kFtdi);
  EXPECT_EQ(ports.DeviceOf(2), "/dev/pts/7");
  EXPECT_EQ(ports.Label(2), "/dev/pts/7");
}

TEST(OpenFailure, SaysWhichPortWhichDeviceAndWhatToDo) {
  const std::string missing = OpenFailureText(2, "/dev/ttyUSB1", link::OpenError::Missing);
  EXPECT_NE(missing.find("COM2"), std::string::npos);
  EXPECT_NE(missing.find("/dev/ttyUSB1"), std::string::npos);
  EXPECT_NE(missing.find("не найдено"), std::string::npos);
  const std::string permission = OpenFailureText(3, "/dev/ttyUSB0", link::OpenError::Permission);
  EXPECT_NE(permission.find("COM3"), std::string::npos);
  EXPECT_NE(permission.find("\"dialout\""), std::string::npos);
  const std::string busy = OpenFailureText(1, "COM1", link::OpenError::Busy);
  EXPECT_NE(busy.find("занято другой программой"), std::string::npos);
  EXPECT_NE(OpenFailureText(4, "", link::OpenError::Missing).find("не подключено"),
            std::string::npos);
}

}  // namespace
}  // namespace kd::ui
