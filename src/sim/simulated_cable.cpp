#include "sim/simulated_cable.h"

#include <algorithm>

namespace kd::sim {

SimulatedCable::SimulatedCable(SimulatedPort& car, link::LineClock& clock)
    : car_(car), clock_(clock), line_(car) {
  car_.SetClock([this] { return NowMs(); });
}

SimulatedCable::~SimulatedCable() {
  car_.SetClock(nullptr);
}

bool SimulatedCable::Open(int portNumber) {
  open_ = !car_.FaultOn(Fault::Unplugged) && portNumber >= 1 && portNumber <= 8;
  return open_;
}

bool SimulatedCable::Close() {
  open_ = false;
  return true;
}

bool SimulatedCable::ApplyLineSettings(const link::LineSettings& settings) {
  if (!open_ || settings.baud <= 0) return false;
  baud_ = settings.baud;
  line_.Rate(baud_, NowMs());
  return true;
}

std::size_t SimulatedCable::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  if (!open_) return 0;
  const std::int64_t deadline = NowMs() + std::max(timeoutMs_, 0);
  std::size_t n = 0;
  for (;;) {
    line_.Step(NowMs());
    const Bytes due = line_.Due(NowMs());
    // What the read has no room for waits in the driver's buffer for the next one.
    held_.insert(held_.end(), due.begin(), due.end());
    while (n < maxBytes && !held_.empty()) {
      buffer[n++] = held_.front();
      held_.pop_front();
    }
    if (n >= maxBytes || NowMs() >= deadline) break;
    std::int64_t next = deadline;
    if (const auto at = line_.NextDue()) next = std::min(next, *at);
    clock_.SleepUs(std::max<std::int64_t>(next - NowMs(), 1) * 1000);
  }
  return n;
}

link::WriteStatus SimulatedCable::Write(const std::uint8_t* data, std::size_t count) {
  if (!open_) return link::WriteStatus::Failed;
  line_.Heard(Bytes(data, data + count), baud_, NowMs());
  return link::WriteStatus::Written;
}

}  // namespace kd::sim
