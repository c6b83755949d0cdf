// An ELM327 in front of the simulated car: the text adapter most car owners have, written from
// the chip's data sheet and not from the program's driver. It takes AT commands and requests as
// hexadecimal text ended by a carriage return, frames them on the K-line itself (header and
// checksum added, fast or 5-baud initialisation done on the first request), and prints what came
// back, one message a line, then its prompt ">". Any ELM client can be tested against it: the
// automatic protocol search, the repeat of the last request on an empty line and the response
// count digit are there as phone apps and the open OBD tools use them.
//
// A clone of the "v1.5" kind differs as the cheap ones do: it refuses AT FI, AT SI, AT KW and
// AT AL with "?", starts the bus only with the first request, and cuts a request longer than
// seven data bytes instead of refusing it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "sim/can_obd.h"
#include "sim/sim_bytes.h"
#include "sim/simulated_port.h"

namespace kd::sim {

enum class ElmClone { Genuine, V15 };
// Where the car's generic OBD side answers: on the K-line (ISO 9141-2 and ISO 14230-4), or only
// on CAN with 11-bit (ELM protocol 6) or 29-bit identifiers (protocol 7), both at 500 kbit/s.
enum class ObdBus { KLine, Can11, Can29 };

struct ElmOptions {
  ElmClone clone = ElmClone::Genuine;
  // The one rate the chip talks at; at any other the client's bytes are noise to it.
  int baud = 38400;
  ObdBus obdBus = ObdBus::KLine;
};

class Elm327Sim : public link::SerialPort {
 public:
  Elm327Sim(SimulatedPort& car, ElmOptions options = {});

  const ElmOptions& Options() const { return options_; }
  std::string Version() const;

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

  // Text not read yet.
  std::size_t Waiting() const { return out_.size(); }
  // What the chip put on its K-line and took off it for the requests of the last write: the
  // framed request's bytes and the reply's (nothing while the write held only AT commands or
  // went to CAN). A paced line charges the chip's answer with their time.
  struct LineExchange {
    std::size_t requestBytes = 0;
    std::size_t replyBytes = 0;
  };
  std::optional<LineExchange> LastLineExchange() const { return lineExchange_; }

  // The protocol in use now (0 while none was found), as AT DPN numbers them.
  int ActiveProtocol() const { return active_; }

 private:
  std::optional<LineExchange> lineExchange_;
  void Reset();
  void TakeLine(const std::string& raw);
  std::vector<std::string> AtCommand(const std::string& cmd);
  std::vector<std::string> Request(const std::string& hex);
  bool StartBus(int protocol);
  std::vector<std::string> SendOnBus(const Bytes& data, int maxMessages);
  std::vector<std::string> SendOnCan(const Bytes& data, int maxMessages);
  std::vector<std::string> CanLines(std::uint32_t id, const Bytes& payload) const;
  bool ObdOnKLine() const { return options_.obdBus == ObdBus::KLine; }
  int CarCanProtocol() const;
  std::vector<Bytes> SplitMessages(const Bytes& reply) const;
  std::string FormatMessage(const Bytes& message, bool checksumGood) const;
  std::string Describe(int protocol) const;
  std::array<std::uint8_t, 3> HeaderFor(int protocol) const;
  void Emit(const std::vector<std::string>& lines);

  SimulatedPort& car_;
  ElmOptions options_;
  CanObd can_;
  bool open_ = false;
  link::LineSettings settings_;
  std::string line_;
  std::deque<std::uint8_t> out_;

  // Settings, as AT Z leaves them.
  bool echo_ = true;
  bool linefeeds_ = true;
  bool spaces_ = true;
  bool headers_ = false;
  bool allowLong_ = false;
  int protocol_ = 0;  // as set: 0 automatic, 1..9
  bool automatic_ = true;
  std::optional<std::array<std::uint8_t, 3>> header_;
  std::uint8_t initAddress_ = 0x33;

  // The bus.
  int active_ = 0;
  bool busUp_ = false;
  std::string lastRequest_;
};

}  // namespace kd::sim
