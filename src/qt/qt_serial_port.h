// The real adapter: link::SerialPort on QSerialPort, used synchronously from the GUI thread's
// timer tick exactly as the link layer expects (a read waits up to its total time-out, a write
// reports whether the driver took the whole frame).
#pragma once

#include <QSerialPort>
#include <optional>

#include "link/serial_port.h"
#include "qt/port_map.h"

namespace kd::qt {

class QtSerialPort : public link::SerialPort {
 public:
  explicit QtSerialPort(PortMap map = PortMap());
  ~QtSerialPort() override;

  PortMap& Map() { return map_; }
  // The device the last Open tried; for messages and tests.
  const std::string& Device() const { return device_; }

  bool Open(int portNumber) override;
  bool IsOpen() const override;
  bool Close() override;
  bool ApplyLineSettings(const link::LineSettings& settings) override;
  void SetReadTimeout(int totalMs) override;
  void RaiseDtr() override;
  void RaiseRts() override;
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int timeoutMs) override;
  std::string DeviceName() const override { return device_; }
  link::OpenError LastOpenError() const override { return openError_; }
  bool SetBreak(bool on) override;

 private:
  // Hands queued bytes to the driver for up to `timeoutMs`; true when none are left.
  bool Drain(int timeoutMs);
  bool HardError() const;
  // An adapter pulled out makes the device fail for good; the port is closed then and opened
  // again, with the settings it had, at each later write until the device is back.
  void NoteLoss();
  bool Recover();

  QSerialPort port_;
  PortMap map_;
  std::string device_;
  int readTimeoutMs_ = 0;
  std::optional<link::LineSettings> applied_;
  bool lost_ = false;
  link::OpenError openError_ = link::OpenError::None;
};

// Why `device` did not open, from what QSerialPort said and what the file system shows: Qt
// reports a device another program holds as a permission error too.
link::OpenError ClassifyOpenError(const std::string& device, QSerialPort::SerialPortError error);

}  // namespace kd::qt
