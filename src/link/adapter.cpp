#include "link/adapter.h"

#include <chrono>
#include <thread>

#include "link/elm327_adapter.h"
#include "link/kline_cable.h"

namespace kd::link {

namespace {

class SteadyClock : public LineClock {
 public:
  std::int64_t NowUs() override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepUs(std::int64_t us) override {
    if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
  }
};

}  // namespace

const std::vector<AdapterInfo>& Adapters() {
  static const std::vector<AdapterInfo> kinds = {
      {AdapterKind::KLineAdapter, "adapter", "K-line адаптер"},
      {AdapterKind::KLineCable, "kline", "K-line кабель"},
      {AdapterKind::Elm327, "elm327", "ELM327"},
  };
  return kinds;
}

const AdapterInfo& InfoOf(AdapterKind kind) {
  for (const AdapterInfo& info : Adapters())
    if (info.kind == kind) return info;
  return Adapters().front();
}

std::optional<AdapterKind> AdapterByName(std::string_view name) {
  for (const AdapterInfo& info : Adapters())
    if (info.name == name) return info.kind;
  return std::nullopt;
}

bool AdapterAvailable(AdapterKind kind) {
  return kind == AdapterKind::KLineAdapter || kind == AdapterKind::KLineCable ||
         kind == AdapterKind::Elm327;
}

LineClock& SystemLineClock() {
  static SteadyClock clock;
  return clock;
}

std::unique_ptr<Adapter> MakeAdapter(AdapterKind kind, SerialPort& device, LineClock& clock) {
  switch (kind) {
    case AdapterKind::KLineAdapter:
      return std::make_unique<KLineAdapterDriver>(device);
    case AdapterKind::KLineCable:
      return std::make_unique<KLineCable>(device, clock);
    case AdapterKind::Elm327:
      return std::make_unique<Elm327Adapter>(device, clock);
  }
  return nullptr;
}

AdapterPort::AdapterPort(SerialPort& device, AdapterKind kind, LineClock& clock)
    : device_(device), clock_(clock), wanted_(kind) {
  Build(kind);
}

AdapterPort::~AdapterPort() = default;

void AdapterPort::Build(AdapterKind kind) {
  driver_ = MakeAdapter(kind, device_, clock_);
  if (driver_) driver_->SetWireListener(wire_);
}

void AdapterPort::SetWireListener(WireListener listener) {
  wire_ = std::move(listener);
  if (driver_) driver_->SetWireListener(wire_);
}

bool AdapterPort::Open(int portNumber) {
  const AdapterKind wanted = wanted_.load();
  if (!driver_ || driver_->Kind() != wanted) {
    if (device_.IsOpen()) device_.Close();
    Build(wanted);
  }
  // A kind this program cannot drive opens nothing rather than talk past the hardware.
  if (!driver_) {
    if (device_.IsOpen()) device_.Close();
    return false;
  }
  return driver_->Open(portNumber);
}

bool AdapterPort::IsOpen() const {
  return driver_ ? driver_->IsOpen() : false;
}

bool AdapterPort::Close() {
  return driver_ ? driver_->Close() : device_.Close();
}

bool AdapterPort::ApplyLineSettings(const LineSettings& settings) {
  return driver_ && driver_->ApplyLineSettings(settings);
}

void AdapterPort::SetReadTimeout(int totalMs) {
  if (driver_) driver_->SetReadTimeout(totalMs);
}

void AdapterPort::RaiseDtr() {
  if (driver_) driver_->RaiseDtr();
}

void AdapterPort::RaiseRts() {
  if (driver_) driver_->RaiseRts();
}

std::size_t AdapterPort::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  return driver_ ? driver_->Read(buffer, maxBytes) : 0;
}

WriteStatus AdapterPort::Write(const std::uint8_t* data, std::size_t count) {
  return driver_ ? driver_->Write(data, count) : WriteStatus::Failed;
}

bool AdapterPort::WaitPendingWrite(int timeoutMs) {
  return driver_ && driver_->WaitPendingWrite(timeoutMs);
}

OpenError AdapterPort::LastOpenError() const {
  return driver_ ? driver_->LastOpenError() : OpenError::Other;
}

}  // namespace kd::link
