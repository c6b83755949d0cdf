// A K-line behind a plain cable, on a clock that moves only when someone waits: every byte
// written comes back (when a car powers the line), bytes a unit sends arrive at the times a test
// gives, and everything the driver does to the line is logged with its time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/adapter.h"

namespace kd::testing {

class FakeLine : public link::SerialPort {
 public:
  explicit FakeLine(link::ManualLineClock& clock) : clock_(clock) {}

  struct Sent {
    std::int64_t us;
    std::uint8_t byte;
    int baud;
  };
  struct Level {
    std::int64_t us;
    bool low;
  };

  bool powered = true;           // the car's battery feeds the line: every byte comes back
  std::size_t chunk = 4096;      // at most this many bytes a read
  std::int64_t echoDelayUs = 0;  // how long after the write the echo arrives
  bool breaks = true;            // the bridge can hold a break
  std::vector<Sent> sent;
  std::vector<Level> levels;  // break on/off as set
  std::vector<link::LineSettings> settings;
  // Called once per write with the bytes and the rate they went out at; a unit answers here.
  std::function<void(FakeLine&, const std::vector<std::uint8_t>&, int baud)> onWrite;
  // Called when a break pattern ends (the break let go).
  std::function<void(FakeLine&)> onBreakReleased;

  // Bytes the line carries to the reader from `atUs` on.
  void Arrive(std::int64_t atUs, std::vector<std::uint8_t> bytes) {
    auto& slot = scheduled_[atUs];
    slot.insert(slot.end(), bytes.begin(), bytes.end());
  }
  link::ManualLineClock& Clock() { return clock_; }
  int Baud() const { return settings.empty() ? 0 : settings.back().baud; }
  std::vector<std::uint8_t> SentBytes() const {
    std::vector<std::uint8_t> out;
    for (const Sent& s : sent) out.push_back(s.byte);
    return out;
  }

  bool Open(int) override {
    open_ = true;
    return true;
  }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    open_ = false;
    return true;
  }
  bool ApplyLineSettings(const link::LineSettings& s) override {
    settings.push_back(s);
    return open_;
  }
  void SetReadTimeout(int ms) override { timeoutMs_ = ms; }
  void RaiseDtr() override {}
  void RaiseRts() override {}
  bool SetBreak(bool on) override {
    if (!breaks) return false;
    if (!levels.empty() && levels.back().low && !on && onBreakReleased) {
      levels.push_back({clock_.NowUs(), on});
      onBreakReleased(*this);
      return true;
    }
    levels.push_back({clock_.NowUs(), on});
    return true;
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    const std::int64_t deadline = clock_.NowUs() + timeoutMs_ * 1000LL;
    for (;;) {
      Collect();
      if (!input_.empty() || clock_.NowUs() >= deadline) break;
      // Wait for the next arrival or the end of the time-out, whichever comes first.
      std::int64_t next = deadline;
      if (!scheduled_.empty()) next = std::min(next, scheduled_.begin()->first);
      clock_.SleepUs(std::max<std::int64_t>(next - clock_.NowUs(), 1));
    }
    std::size_t n = 0;
    while (n < maxBytes && n < chunk && !input_.empty()) {
      buffer[n++] = input_.front();
      input_.pop_front();
    }
    return n;
  }
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override {
    if (!open_) return link::WriteStatus::Failed;
    std::vector<std::uint8_t> bytes(data, data + count);
    for (std::uint8_t b : bytes) sent.push_back({clock_.NowUs(), b, Baud()});
    if (powered) Arrive(clock_.NowUs() + echoDelayUs, bytes);
    if (onWrite) onWrite(*this, bytes, Baud());
    return link::WriteStatus::Written;
  }
  bool WaitPendingWrite(int) override { return true; }

 private:
  void Collect() {
    while (!scheduled_.empty() && scheduled_.begin()->first <= clock_.NowUs()) {
      const auto& bytes = scheduled_.begin()->second;
      input_.insert(input_.end(), bytes.begin(), bytes.end());
      scheduled_.erase(scheduled_.begin());
    }
  }

  link::ManualLineClock& clock_;
  bool open_ = false;
  int timeoutMs_ = 0;
  std::deque<std::uint8_t> input_;
  std::map<std::int64_t, std::vector<std::uint8_t>> scheduled_;
};

}  // namespace kd::testing
