// The Qt program's port: the whole port stack (the raw device, and whatever drives it) lives on a
// thread of its own, so that neither a tick's read window nor a pending write, nor a driver that
// waits for the line's timing inside Read or Write, ever holds the window.
//
// To the link layer it is the process's one `SerialPort` (what `OpenPort` configures) and the
// handle's `Exchanger` (how every window's tick runs). A tick hands its read window to the worker
// and returns at once; the step follows on the GUI thread when the window has closed, and the
// write goes back to the worker, so the bytes go out at the moment the synchronous tick would
// have written them. One exchange at a time: a tick that fires while one is in flight is skipped.
// Configuring the port (a type, port or configuration change) cancels the exchange in flight: its
// step and outcome are dropped, and the call waits until the worker has ended the read window or
// the write it was in.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/adapter.h"
#include "link/exchanger.h"
#include "link/serial_port.h"

namespace kd::qt {

class PortWorker : public link::SerialPort, public link::Exchanger {
 public:
  // Builds the stack; called on the worker thread, where the stack lives and is destroyed.
  using Factory = std::function<std::unique_ptr<link::SerialPort>()>;
  // Runs a link event (a step or an outcome) on the GUI thread; false when it threw. The
  // program passes the binders' guard, which also copies what changed onto the windows.
  using Dispatcher = std::function<bool(const std::function<void()>&)>;

  explicit PortWorker(const Factory& factory);
  ~PortWorker() override;
  PortWorker(const PortWorker&) = delete;
  PortWorker& operator=(const PortWorker&) = delete;

  void SetDispatcher(Dispatcher dispatcher) { dispatcher_ = std::move(dispatcher); }
  // Runs `job` on the worker thread with the stack, between exchanges, and waits for it.
  void WithStack(const std::function<void(link::SerialPort&)>& job) override;
  bool InFlight() const { return inFlight_.has_value(); }

  // link::SerialPort: each call runs on the worker and is waited for.
  bool Open(int portNumber) override;
  bool IsOpen() const override { return open_.load(); }
  bool Close() override;
  bool ApplyLineSettings(const link::LineSettings& settings) override;
  void SetReadTimeout(int totalMs) override;
  void RaiseDtr() override;
  void RaiseRts() override;
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int timeoutMs) override;
  void DiscardInput() override;
  std::string DeviceName() const override { return deviceName_; }
  link::OpenError LastOpenError() const override { return openError_; }
  bool SetBreak(bool on) override;
  void SetWireListener(WireListener listener) override { wireListener_ = std::move(listener); }

  // link::Exchanger
  bool Start(const void* owner, std::size_t readLimit, Stepped stepped, Written written) override;
  bool StartFast(const void* owner, const link::FastRead& fast, Stepped stepped,
                 Written written) override;
  void Forget(const void* owner) override;

 private:
  struct Exchange {
    const void* owner = nullptr;
    std::uint64_t id = 0;
    Stepped stepped;
    Written written;
    bool cancelled = false;
  };

  // Runs `job` on the worker and waits; a configuring call cancels the exchange in flight.
  void Call(const std::function<void()>& job, bool configures);
  void OnWorker(std::function<void()> job);
  void OnGui(std::function<void()> job);
  bool Dispatch(const std::function<void()>& event);
  bool Begin(const void* owner, Stepped stepped, Written written, std::uint64_t& id);
  void RunReadWindow(std::uint64_t id, std::size_t limit);
  void RunFastRead(std::uint64_t id, const link::FastRead& fast);
  void FellBack(std::uint64_t id);
  void StepOnGui(std::uint64_t id, std::vector<std::uint8_t> read);
  void Finish(std::uint64_t id, link::WriteOutcome outcome);

  QThread thread_;
  QObject* workerContext_ = nullptr;  // lives on thread_
  std::unique_ptr<QObject> guiContext_;
  std::unique_ptr<link::SerialPort> stack_;  // touched on thread_ only
  // Worker thread only: what a fast read that fell back had read (the next read window's
  // first bytes), and when the last write began and ended.
  std::vector<std::uint8_t> carry_;
  std::int64_t lastWriteStartUs_ = 0;
  std::int64_t lastWriteEndUs_ = 0;
  std::atomic<bool> open_{false};
  // As the last configuring call left them; written on the worker while the GUI thread waits.
  std::string deviceName_;
  link::OpenError openError_ = link::OpenError::None;
  // GUI thread only.
  Dispatcher dispatcher_;
  WireListener wireListener_;
  std::optional<Exchange> inFlight_;
  std::uint64_t lastId_ = 0;
};

namespace detail {
struct OwnedDevice {
  std::unique_ptr<link::SerialPort> device;
};
}  // namespace detail

// The stack the program's worker builds: the raw device and the adapter layer over it, owned
// together (the driver goes first).
class DeviceWithAdapter : private detail::OwnedDevice, public link::AdapterPort {
 public:
  DeviceWithAdapter(std::unique_ptr<link::SerialPort> owned, link::AdapterKind kind)
      : OwnedDevice{std::move(owned)}, AdapterPort(*device, kind) {}
};

}  // namespace kd::qt
