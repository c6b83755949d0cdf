// The simulator on a pseudo-terminal: the program opens the slave side as it would a serial
// port, and everything it writes goes through the simulated adapter and back. Lets the real
// serial-port code of the program be tested end to end without an adapter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sim/cable_line.h"
#include "sim/simulated_port.h"

namespace kd::sim {

struct PtyOptions {
  // Take the line settings the program gave the slave; false: take every write at the settings
  // the connected controller needs (for systems whose pseudo-terminals report no speed).
  bool followLineSettings = true;
  // A byte gap this long ends one write of the program.
  int gapMs = 5;
  // When a late answer is given back: past the 100 ms read window that opens 300 ms after the
  // request, before the next one.
  int lateDelayMs = 450;
  // With the adapter unplugged at start: plug it back in after this long (0: never).
  int replugAfterMs = 0;
  // Keep the K-line's time for enveloped frames: the request and the answer take their bytes'
  // time at 10,400 baud (10 bits a byte, P4min between the request's bytes), the answer comes
  // P2min after the request, and a request that starts before P3min has passed since the last
  // answer is not answered (its echo still comes). The timing is the controller's in force.
  bool pace = false;
  // With `pace`: hand each byte on when its last bit is in, as a low-latency USB adapter does,
  // instead of the echo and the answer each in one piece when the last of it is in.
  bool paceBytes = false;
  // Another adapter in front of the car's K-line (the simulated ELM327): the program talks to
  // it, and it to the car. Its line settings are its own.
  link::SerialPort* front = nullptr;
  link::LineSettings frontSettings;
  // Serve a plain K-line cable instead of the K-line adapter: the program drives the line.
  bool cable = false;
  // How often the cable's line rate is looked at while nothing arrives.
  int ratePollMs = 2;
};

// One byte on the K-line: 10 bits at 10,400 baud, in microseconds.
inline constexpr double kKLineByteUs = 10 * 1e6 / 10400;

// The settings the program applies for a controller type.
link::LineSettings ExpectedSettings(std::uint32_t ecuType);

class PtyServer {
 public:
  explicit PtyServer(SimulatedPort& port, PtyOptions options = {});
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pseudo-terminal; false with a reason when the system refuses one.
  bool Open(std::string& error);
  const std::string& SlavePath() const { return slavePath_; }

  // Waits up to `waitMs` for the program's bytes, hands a finished write to the adapter and
  // writes back what comes out. False when the pseudo-terminal broke down.
  bool Step(int waitMs);

  // Milliseconds since the server was created; the car's clock.
  std::int64_t Elapsed() const;

 private:
  void Deliver();
  void DeliverPaced();
  // Through the simulated ELM327 with pacing: the chip's answer to a request line comes when the
  // K-line would have carried the request it framed and the controller's reply.
  void DeliverElmPaced();
  void Drain();
  // `bytes` on the paced line: byte i is in at `baseUs` + `offsetUs` + its bits and `gapUs`
  // before each byte but the first; handed on whole or byte by byte.
  void Carry(std::int64_t baseUs, double offsetUs, const Bytes& bytes, double gapUs);
  // Expected end of the program's write: an envelope's count says it; nothing for bare frames.
  bool WriteComplete() const;
  std::int64_t ElapsedUs() const;
  link::SerialPort& Io() { return options_.front ? *options_.front : port_; }
  std::size_t Waiting() const;
  bool StepCable(int waitMs);
  void WriteBack(const Bytes& bytes);

  SimulatedPort& port_;
  PtyOptions options_;
  int master_ = -1;
  int slave_ = -1;  // held open so that the master side survives the program closing the port
  std::string slavePath_;
  Bytes written_;
  std::int64_t lastByteMs_ = 0;
  std::optional<std::int64_t> drainAtMs_;
  link::LineSettings frontApplied_;
  std::int64_t startNs_ = 0;
  // Paced line: bytes due at a time, the end of the line's last answer, and when it is free.
  struct Due {
    std::int64_t atUs;
    Bytes bytes;
  };
  std::vector<Due> due_;
  std::int64_t lastAnswerEndUs_ = -1000000000;
  std::int64_t lineFreeUs_ = 0;
  CableLine cable_;
};

}  // namespace kd::sim
