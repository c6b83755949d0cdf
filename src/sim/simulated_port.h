// The car without the car: a K-line adapter and the controllers behind it, served through the
// same port interface the program uses. Its framing is its own, written from the protocol and not
// from the program's encoder, so that a mistake on one side is not copied to the other.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "link/serial_port.h"

namespace kd::sim {

using Bytes = std::vector<std::uint8_t>;

// One controller on the K-line, answering complete request frames.
class Controller {
 public:
  virtual ~Controller() = default;
  // Bytes the controller puts on the line in answer to `frame`; empty for silence.
  virtual Bytes Answer(const Bytes& frame) = 0;
};

// A KWP2000 engine controller: opens a session, keeps it on TesterPresent.
class KwpController : public Controller {
 public:
  explicit KwpController(std::uint8_t address) : address_(address) {}
  Bytes Answer(const Bytes& frame) override;

 private:
  Bytes Reply(std::initializer_list<std::uint8_t> body) const;
  std::uint8_t address_;
};

class SimulatedPort : public link::SerialPort {
 public:
  SimulatedPort();
  ~SimulatedPort() override;

  bool Open(int portNumber) override;
  bool IsOpen() const override { return open_; }
  bool Close() override;
  bool ApplyLineSettings(const link::LineSettings& settings) override;
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int) override { return true; }

 private:
  Controller* ControllerAt(std::uint8_t address);
  void Transmit(const Bytes& lineFrame);

  bool open_ = false;
  link::LineSettings settings_;
  std::deque<std::uint8_t> pending_;
  std::vector<std::pair<std::uint8_t, std::unique_ptr<Controller>>> kwp_;
};

}  // namespace kd::sim
