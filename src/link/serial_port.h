// The one serial port of the process, as the link layer needs it. Implementations: the Qt port
// (real adapters), the in-process simulator and the harness's scripted port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kd::link {

struct LineSettings {
  int baud = 0;  // 0: never built; applying it fails as applying an empty record would
  char parity = 'n';
  int dataBits = 8;
  int stopBits = 1;
  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Parses a mode text such as "COM2:115200,n,8,2"; nothing when the text is refused.
std::optional<LineSettings> BuildLineSettings(const std::string& modeText);

enum class WriteStatus { Written, Pending, Failed };

// Why an opening failed, in the terms the technician can act on.
enum class OpenError { None, Missing, Permission, Busy, Other };

// What a driver between the core and the device did on the wire, for the session trace: bytes
// it sent and took back, and the initialisation patterns it drove.
struct WireEvent {
  enum class Kind { Sent, Received, FastInit, SlowInit };
  Kind kind = Kind::Sent;
  std::vector<std::uint8_t> bytes;  // Sent, Received; SlowInit: the address
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Exclusive open of port 1..8; false leaves the port invalid.
  virtual bool Open(int portNumber) = 0;
  virtual bool IsOpen() const = 0;
  virtual bool Close() = 0;
  virtual bool ApplyLineSettings(const LineSettings& settings) = 0;
  // Total read time-out: a read returns at the latest this long after it started.
  virtual void SetReadTimeout(int totalMs) = 0;
  virtual void RaiseDtr() = 0;
  virtual void RaiseRts() = 0;
  // Up to maxBytes of what arrives within the read time-out.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) = 0;
  virtual WriteStatus Write(const std::uint8_t* data, std::size_t count) = 0;
  // After WriteStatus::Pending: true when the write completed within timeoutMs.
  virtual bool WaitPendingWrite(int timeoutMs) = 0;
  // Drops every received byte no read has taken yet: called just before a new request goes out,
  // so that what an earlier exchange left behind (a late reply, garbage) is never taken for the
  // echo or the reply of the new one. A port that wraps another passes it on; ports whose reads
  // are the script's (harness, in-process simulator) keep the default, which keeps everything.
  virtual void DiscardInput() {}

  // The device the last Open tried (a path, "COM3"), and why it did not open; ports without a
  // device of their own know neither.
  virtual std::string DeviceName() const { return {}; }
  virtual OpenError LastOpenError() const { return IsOpen() ? OpenError::None : OpenError::Other; }
  // Holds the line low (a break) or lets it go; false where the device cannot.
  virtual bool SetBreak(bool on) {
    (void)on;
    return false;
  }
  // Drivers that translate the core's bytes report what went over the wire here; a plain device
  // has nothing to add and ignores it.
  using WireListener = std::function<void(const WireEvent&)>;
  virtual void SetWireListener(WireListener listener) { (void)listener; }

  // The port this one hands its calls to (a tap, the adapter port in front of its driver), so
  // that what a driver offers beyond the contract can be found behind it; none for a device or
  // a driver.
  virtual SerialPort* Inner() { return nullptr; }

  // Runs `job` with the port's stack where the stack lives, and waits for it. What a driver
  // offers beyond the contract (found through Inner) is reached only inside it: a port that keeps
  // its stack on a thread of its own runs the job there, between exchanges.
  virtual void WithStack(const std::function<void(SerialPort&)>& job) { job(*this); }

  // A port that opens a lost device again by itself (an adapter pulled out and plugged back)
  // reports each attempt, true once the device is open again with the settings it had. The
  // session trace hangs here; ports that never lose their device never call it.
  using ReopenListener = std::function<void(bool reopened)>;
  virtual void SetReopenListener(ReopenListener listener) { reopenListener_ = std::move(listener); }

 protected:
  void NoteReopen(bool reopened) const {
    if (reopenListener_) reopenListener_(reopened);
  }

 private:
  ReopenListener reopenListener_;
};

}  // namespace kd::link
