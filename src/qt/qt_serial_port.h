// The real adapter: link::SerialPort on QSerialPort, used synchronously exactly as the link layer
// expects (a read waits up to its total time-out, a write reports whether the driver took the
// whole frame). The program runs it on the port worker's thread (qt/port_worker.h), never on the
// GUI thread.
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
  void DiscardInput() override;
  std::string DeviceName() const override { return device_; }
  link::OpenError LastOpenError() const override { return openError_; }
  bool SetBreak(bool on) override;

  // What the port holds of received bytes no read took yet; beyond it the driver's own buffer
  // fills and then the line's bytes are lost, as a controller talking past every read window
  // must not grow the program.
  static constexpr qint64 kReadBufferBytes = 4096;
  // Whether the driver took the low-latency request at the last open (USB serial adapters
  // otherwise hold received bytes for up to 16 ms); false where it has no such mode (ptys).
  bool LowLatency() const { return lowLatency_; }
  // Received bytes no read took yet, as the port holds them.
  qint64 Unread() const { return port_.bytesAvailable(); }

 private:
  // Hands queued bytes to the driver for up to `timeoutMs`; true when none are left.
  bool Drain(int timeoutMs);
  bool HardError() const;
  // An adapter pulled out makes the device fail for good; the port is closed then and opened
  // again, with the settings it had, at each later write until the device is back.
  void NoteLoss();
  bool Recover();
  bool OpenDevice();

  QSerialPort port_;
  PortMap map_;
  std::string device_;
  int readTimeoutMs_ = 0;
  std::optional<link::LineSettings> applied_;
  bool lost_ = false;
  bool lowLatency_ = false;
  link::OpenError openError_ = link::OpenError::None;
};

// Why `device` did not open, from what QSerialPort said and what the file system shows: Qt
// reports a device another program holds as a permission error too.
link::OpenError ClassifyOpenError(const std::string& device, QSerialPort::SerialPortError error);

}  // namespace kd::qt
