// The adapter layer: what stands between the core's bytes and the serial device. The core speaks
// one language to every adapter — the envelope with its count byte (bit 7: wake the controller
// up first, bit 6: initialise an ISO 9141 line), bare escaped and GM frames, and back the echo of
// the frame followed by the reply. A driver turns that into what its hardware needs and turns
// the hardware's answer back, so the session code never knows which adapter hangs on the port.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/serial_port.h"

namespace kd::link {

enum class AdapterKind { KLineAdapter, KLineCable, Elm327 };

struct AdapterInfo {
  AdapterKind kind;
  std::string_view name;     // on the command line and in the settings: "adapter", "kline"
  std::string_view caption;  // in the port dialog
};

// Every kind the program knows, in the order the port dialog offers them.
const std::vector<AdapterInfo>& Adapters();
const AdapterInfo& InfoOf(AdapterKind kind);
std::optional<AdapterKind> AdapterByName(std::string_view name);
// A kind the factory can build in this program.
bool AdapterAvailable(AdapterKind kind);

// The line's time, injected so that drivers can be tested without real waits.
class LineClock {
 public:
  virtual ~LineClock() = default;
  // Monotonic microseconds.
  virtual std::int64_t NowUs() = 0;
  virtual void SleepUs(std::int64_t us) = 0;
  void SleepMs(std::int64_t ms) { SleepUs(ms * 1000); }
};

// The steady clock and real sleeps.
LineClock& SystemLineClock();

// Time that passes only by sleeping: the harness and the tests, where nothing may really wait.
class ManualLineClock : public LineClock {
 public:
  std::int64_t NowUs() override { return nowUs_; }
  void SleepUs(std::int64_t us) override {
    if (us > 0) nowUs_ += us;
  }
  void Advance(std::int64_t us) { SleepUs(us); }

 private:
  std::int64_t nowUs_ = 0;
};

// A driver: a SerialPort to the core over another SerialPort, the device. By default every call
// goes straight through; a driver overrides what it translates.
class Adapter : public SerialPort {
 public:
  explicit Adapter(SerialPort& device) : device_(device) {}
  virtual AdapterKind Kind() const = 0;
  SerialPort& Device() { return device_; }

  bool Open(int portNumber) override { return device_.Open(portNumber); }
  bool IsOpen() const override { return device_.IsOpen(); }
  bool Close() override { return device_.Close(); }
  bool ApplyLineSettings(const LineSettings& settings) override {
    return device_.ApplyLineSettings(settings);
  }
  void SetReadTimeout(int totalMs) override { device_.SetReadTimeout(totalMs); }
  void RaiseDtr() override { device_.RaiseDtr(); }
  void RaiseRts() override { device_.RaiseRts(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    return device_.Read(buffer, maxBytes);
  }
  WriteStatus Write(const std::uint8_t* data, std::size_t count) override {
    return device_.Write(data, count);
  }
  bool WaitPendingWrite(int timeoutMs) override { return device_.WaitPendingWrite(timeoutMs); }
  void DiscardInput() override { device_.DiscardInput(); }
  std::string DeviceName() const override { return device_.DeviceName(); }
  OpenError LastOpenError() const override { return device_.LastOpenError(); }
  bool SetBreak(bool on) override { return device_.SetBreak(on); }
  void SetWireListener(WireListener listener) override { wire_ = std::move(listener); }
  void SetReopenListener(ReopenListener listener) override {
    device_.SetReopenListener(std::move(listener));
  }

 protected:
  void NoteWire(WireEvent::Kind kind, std::vector<std::uint8_t> bytes = {}) const {
    if (wire_) wire_(WireEvent{kind, std::move(bytes)});
  }

 private:
  SerialPort& device_;
  WireListener wire_;
};

// The K-line adapter the core was written for: it takes the envelope itself, so its driver
// hands every byte through unchanged.
class KLineAdapterDriver : public Adapter {
 public:
  using Adapter::Adapter;
  AdapterKind Kind() const override { return AdapterKind::KLineAdapter; }
};

// The driver of `kind` over `device`; nothing for a kind this program cannot drive.
std::unique_ptr<Adapter> MakeAdapter(AdapterKind kind, SerialPort& device, LineClock& clock);

// The port the core is given: the device with the driver of the chosen kind on top. The kind
// can be changed while the program runs (the port dialog); the new driver takes over at the
// next Open, which always follows, so a tick in flight never sees the driver change under it.
class AdapterPort : public SerialPort {
 public:
  AdapterPort(SerialPort& device, AdapterKind kind, LineClock& clock = SystemLineClock());
  ~AdapterPort() override;

  // The kind asked for; it is in force from the next Open.
  void SetKind(AdapterKind kind) { wanted_.store(kind); }
  AdapterKind WantedKind() const { return wanted_.load(); }
  // The kind of the driver in use.
  AdapterKind Kind() const { return driver_ ? driver_->Kind() : wanted_.load(); }
  SerialPort& Device() { return device_; }
  Adapter* Driver() { return driver_.get(); }
  SerialPort* Inner() override { return driver_.get(); }

  bool Open(int portNumber) override;
  bool IsOpen() const override;
  bool Close() override;
  bool ApplyLineSettings(const LineSettings& settings) override;
  void SetReadTimeout(int totalMs) override;
  void RaiseDtr() override;
  void RaiseRts() override;
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int timeoutMs) override;
  void DiscardInput() override {
    if (driver_)
      driver_->DiscardInput();
    else
      device_.DiscardInput();
  }
  std::string DeviceName() const override { return device_.DeviceName(); }
  OpenError LastOpenError() const override;
  bool SetBreak(bool on) override { return device_.SetBreak(on); }
  void SetWireListener(WireListener listener) override;
  void SetReopenListener(ReopenListener listener) override {
    device_.SetReopenListener(std::move(listener));
  }

 private:
  void Build(AdapterKind kind);

  SerialPort& device_;
  LineClock& clock_;
  std::atomic<AdapterKind> wanted_;
  std::unique_ptr<Adapter> driver_;
  WireListener wire_;
};

}  // namespace kd::link
