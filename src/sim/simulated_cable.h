// The car on a plain K-line cable, in process: the device a cable driver talks to in the demo,
// the harness and the tests. The line's time is the driver's clock, so a run with a clock that
// moves only when waited on repeats exactly and takes no real time.
#pragma once

#include <deque>

#include "link/adapter.h"
#include "sim/cable_line.h"
#include "sim/simulated_port.h"

namespace kd::sim {

class SimulatedCable : public link::SerialPort {
 public:
  // `car` is the simulator whose units answer; it takes its time from `clock` from now on.
  SimulatedCable(SimulatedPort& car, link::LineClock& clock);
  ~SimulatedCable() override;

  bool Open(int portNumber) override;
  bool IsOpen() const override { return open_; }
  bool Close() override;
  bool ApplyLineSettings(const link::LineSettings& settings) override;
  void SetReadTimeout(int totalMs) override { timeoutMs_ = totalMs; }
  void RaiseDtr() override {}
  void RaiseRts() override {}
  // A read waits, on the clock, until it has `maxBytes` or its time-out has run out.
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int) override { return true; }
  // The bridge holds a break as asked; the line's units take the pattern from the rate set.
  bool SetBreak(bool) override { return open_; }

 private:
  std::int64_t NowMs() const { return clock_.NowUs() / 1000; }

  SimulatedPort& car_;
  link::LineClock& clock_;
  CableLine line_;
  bool open_ = false;
  int baud_ = 0;
  int timeoutMs_ = 0;
  std::deque<std::uint8_t> held_;
};

}  // namespace kd::sim
