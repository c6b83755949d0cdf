// Which device each COM number opens, and what the port dialog says about it. The technician
// thinks in COM numbers; the system names devices by path, and a USB adapter's path changes with
// the socket it is plugged into. So a number can be assigned a device, kept in the program's
// settings by the device's serial number where it has one (it then keeps its number in any
// socket), by its path otherwise.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace kd::fileio {
class SettingsFile;
}

namespace kd::ui {

struct SerialDevice {
  std::string path;          // "/dev/ttyUSB0", "COM3"
  std::string description;   // "FT232R USB UART"
  std::string manufacturer;  // "FTDI"
  std::string serialNumber;  // "A50285BI"
  std::string byId;          // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
  bool usb = false;
};

inline constexpr const char* kNoDevice = "нет устройства";

// The message box text of an opening that failed: the number, the device and what to do.
std::string OpenFailureText(int portNumber, const std::string& device, link::OpenError reason);

// "/dev/ttyUSB0 — FT232R USB UART, FTDI, s/n A50285BI"; the parts the device lacks are left out.
std::string DeviceLabel(const SerialDevice& device);

// What the host knows of the machine: the devices present now, the device a number opens by the
// platform's naming, and a device forced for a number on the command line (--port).
struct DeviceWorld {
  std::function<std::vector<SerialDevice>()> present;
  std::function<std::string(int portNumber)> platformDevice;
  std::function<std::optional<std::string>(int portNumber)> forcedDevice;
};

class PortAssignments {
 public:
  static constexpr const char* kKeyPrefix = "port.assign.";

  PortAssignments(fileio::SettingsFile& settings, DeviceWorld world)
      : settings_(settings), world_(std::move(world)) {}

  // The device port `portNumber` opens; empty when its assigned device is not present.
  std::string DeviceOf(int portNumber) const;
  // The dialog's line for the number: the device's label, or "нет устройства".
  std::string Label(int portNumber) const;
  std::vector<SerialDevice> Present() const;

  // Assigns a present device (by serial number where it has one) or a typed path.
  bool Assign(int portNumber, const SerialDevice& device);
  bool AssignPath(int portNumber, const std::string& path);
  // Back to the platform's naming.
  bool Clear(int portNumber);

 private:
  std::optional<std::string> Assigned(int portNumber,
                                      const std::vector<SerialDevice>& present) const;

  fileio::SettingsFile& settings_;
  DeviceWorld world_;
};

}  // namespace kd::ui
