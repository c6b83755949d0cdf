// An ELM327 (or one of its clones) in the K-line adapter's place: a port that takes the
// enveloped frames every window writes and gives back what the K-line adapter would, the echo of
// the frame and the controller's reply with its header and checksum, so that the session engine
// and every page run unchanged. Underneath it drives the chip's text protocol on the raw port:
// it finds the chip's rate, resets and sets it up, and turns each frame into AT commands and a
// request line. It blocks on its own exchanges with the chip; the time it waits is measured on
// an injectable clock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/adapter.h"
#include "link/elm327_text.h"
#include "link/obd_protocol.h"
#include "link/serial_port.h"

namespace kd::link {

class Elm327Adapter : public Adapter, public ObdProtocolReporter {
 public:
  // Rates the chip is looked for at, in this order: its default, the old default, then the
  // rates clones are set to.
  static constexpr int kRates[] = {38400, 9600, 115200, 230400, 57600};
  // How long a raw read may wait; the driver reads in such slices until its own limit.
  static constexpr int kSliceMs = 20;
  static constexpr int kProbeMs = 300;
  static constexpr int kResetMs = 1500;
  static constexpr int kCommandMs = 1000;
  // The default P2max of ISO 14230 until AccessTimingParameters set another.
  static constexpr int kDefaultP2MaxMs = 50;

  // One line of the adapter check: a command the driver relies on and whether the chip took it.
  struct CheckLine {
    std::string command;
    bool accepted = false;
    std::string answer;
  };
  struct Identity {
    std::string version;      // AT I
    std::string description;  // AT @1
    bool knownClone = false;  // a version clones are known to report
  };

  Elm327Adapter(SerialPort& device, LineClock& clock);
  AdapterKind Kind() const override { return AdapterKind::Elm327; }

  bool Open(int portNumber) override;
  bool IsOpen() const override;
  bool Close() override;
  // The chip talks at its own rate; only the KWP2000 line settings have a meaning through it.
  // Any other (January 4.1, Mikas, GM) is refused and every later write fails.
  bool ApplyLineSettings(const LineSettings& settings) override;
  void SetReadTimeout(int totalMs) override { readTimeoutMs_ = totalMs; }
  void RaiseDtr() override { raw_.RaiseDtr(); }
  void RaiseRts() override { raw_.RaiseRts(); }
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int) override { return true; }

  // The rate the chip was found at; 0 while none.
  int Rate() const { return rate_; }
  const Identity& Chip() const { return identity_; }
  // The most data bytes one request may carry through this chip.
  std::size_t RequestLimit() const { return longRequests_ ? 8 : 7; }
  // How the last exchange ended, and its link status text (empty when it went well).
  elm::Condition LastCondition() const { return condition_; }
  std::string LastStatus() const { return elm::ConditionText(condition_); }
  // Sees every condition as an exchange ends, with a text that says it in full (for a refused
  // request, with its length and the limit).
  using ConditionListener = std::function<void(elm::Condition, const std::string& text)>;
  void SetConditionListener(ConditionListener l) { listener_ = std::move(l); }

  // The generic OBD protocol found for the EOBD window's functional requests: ISO 14230 first,
  // then ISO 15765-4 (CAN) when the car does not answer there; 0 while none was found. Kept
  // until forgotten (a new EOBD window searches again) or the port is opened again.
  int ObdProtocol() const override { return obdProtocol_; }
  std::string ObdProtocolName() const override { return elm::ObdProtocolName(obdProtocol_); }
  void ForgetObdProtocol() override {
    obdProtocol_ = 0;
    codeTurn_ = 0;
  }

  // Asks the chip for its identity and tries every command the driver uses, one line each; the
  // results decide the work-arounds taken from then on.
  std::vector<CheckLine> Check();

  // Sends one text command and returns the chip's answer before its prompt; nothing when the
  // prompt did not come within `limitMs`.
  std::optional<std::string> Command(const std::string& text, int limitMs = kCommandMs);

 private:
  bool FindRate();
  bool SetUp();
  bool Probe();
  void Note(elm::Condition c, const std::string& text = {});
  bool WaitPrompt(int limitMs);
  // One line to the chip, ended by its carriage return.
  bool Send(const std::string& text);
  // Collects an outstanding answer and turns it into the bytes of the next read.
  void Finish(int limitMs);
  bool Ensure(const std::string& command, std::string& state);
  bool Accepted(const std::optional<std::string>& answer) const;
  // The functional fast init on the K-line; false when no unit answered it. A clone without
  // AT FI is started by the StartCommunication itself, whose answer then lands in `answer`.
  bool KLineObdUp(const elm::Outgoing& out, std::optional<elm::Answer>& answer);
  bool SearchCan();
  bool EnsureCan(int protocol);
  WriteStatus WriteCan(const elm::Outgoing& out);
  std::int64_t Now() const;

  SerialPort& raw_;
  LineClock& clock_;
  int readTimeoutMs_ = 100;
  int rate_ = 0;
  bool lineSupported_ = true;
  Identity identity_;
  bool fastInitCommand_ = true;
  bool slowInitCommand_ = true;
  bool longRequests_ = false;
  bool wakeupCommand_ = true;

  // What was last set on the chip; a command is sent again only when it would change it.
  std::string protocol_;
  std::string header_;
  std::string timeout_;
  std::string wakeup_;
  std::string initAddress_;
  int p2maxMs_ = kDefaultP2MaxMs;

  elm::PromptCollector collector_;
  std::optional<elm::Outgoing> outstanding_;
  bool outstandingCan_ = false;
  int obdProtocol_ = 0;
  std::size_t codeTurn_ = 0;
  std::int64_t outstandingSince_ = 0;
  std::vector<std::uint8_t> toRead_;
  elm::Condition condition_ = elm::Condition::Ok;
  ConditionListener listener_;
};

}  // namespace kd::link
