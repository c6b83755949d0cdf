// The harness's serial port: reads deliver what the script queued, writes are recorded, and the
// failures a real port shows can be switched on.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "link/serial_port.h"

namespace kd::harness {

class ScriptedPort : public link::SerialPort {
 public:
  // WritePending completes within the wait; WriteStuck does not, and its bytes never go out.
  enum class Mode { Ok, OpenFails, WriteFails, WritePending, WriteStuck };

  void SetMode(Mode m) { mode_ = m; }
  // Why an opening fails while the mode is OpenFails.
  void SetOpenError(link::OpenError e) { openError_ = e; }
  link::OpenError LastOpenError() const override { return open_ ? link::OpenError::None : openError_; }
  void SetEcho(bool on) { echo_ = on; }
  bool Echo() const { return echo_; }
  void Clear() { rx_.clear(); }
  void Queue(const std::vector<std::uint8_t>& bytes) { rx_.insert(rx_.end(), bytes.begin(), bytes.end()); }
  std::vector<std::uint8_t> Waiting() const { return {rx_.begin(), rx_.end()}; }
  const link::LineSettings& Settings() const { return settings_; }

  bool Open(int portNumber) override;
  bool IsOpen() const override { return open_; }
  bool Close() override;
  bool ApplyLineSettings(const link::LineSettings& settings) override;
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int) override;

 private:
  void Echo(const std::uint8_t* data, std::size_t count);

  Mode mode_ = Mode::Ok;
  link::OpenError openError_ = link::OpenError::Other;
  bool echo_ = false;
  bool open_ = false;
  link::LineSettings settings_;
  std::deque<std::uint8_t> rx_;
  std::vector<std::uint8_t> pendingWrite_;
};

// Records what goes out through any port, so that each tick can print what it wrote.
class TapPort : public link::SerialPort {
 public:
  explicit TapPort(link::SerialPort& inner) : inner_(inner) {}
  const std::vector<std::uint8_t>& LastWritten() const { return lastWritten_; }
  // Bytes written since the last call; empty when nothing went out.
  std::vector<std::uint8_t> TakeWritten();

  bool Open(int portNumber) override { return inner_.Open(portNumber); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  bool Close() override { return inner_.Close(); }
  bool ApplyLineSettings(const link::LineSettings& s) override { return inner_.ApplyLineSettings(s); }
  void SetReadTimeout(int ms) override { inner_.SetReadTimeout(ms); }
  void RaiseDtr() override { inner_.RaiseDtr(); }
  void RaiseRts() override { inner_.RaiseRts(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    return inner_.Read(buffer, maxBytes);
  }
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int timeoutMs) override;
  void SetReopenListener(ReopenListener listener) override {
    inner_.SetReopenListener(std::move(listener));
  }
  void SetWireListener(WireListener listener) override {
    inner_.SetWireListener(std::move(listener));
  }
  std::string DeviceName() const override { return inner_.DeviceName(); }
  link::OpenError LastOpenError() const override { return inner_.LastOpenError(); }
  bool SetBreak(bool on) override { return inner_.SetBreak(on); }
  link::SerialPort* Inner() override { return &inner_; }

 private:
  void Record(const std::vector<std::uint8_t>& bytes);

  link::SerialPort& inner_;
  std::vector<std::uint8_t> lastWritten_;
  std::vector<std::uint8_t> sinceTaken_;
  std::vector<std::uint8_t> pending_;
};

}  // namespace kd::harness
