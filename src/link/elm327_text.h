// The ELM327's side of the link in plain functions: what an enveloped K-line request asks of the
// chip, the AT commands and request text that carry it, and the chip's answer text read back into
// the bytes the K-line adapter would have given (the echo of the frame, then the reply frames
// with their headers and checksums). Kept free of any port so each rule is tested on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kd::link::elm {

using Bytes = std::vector<std::uint8_t>;

// What one write of the session asks for.
enum class Ask {
  Frame,     // a frame to send; the bus is started by the chip if it is not yet
  FastInit,  // count bit 7: the fast initialisation, then the frame (a StartCommunication)
  SlowInit,  // count bit 6: the 5-baud initialisation at the generic OBD address, nothing else
};

// Which K-line protocol a frame belongs to, as AT SP numbers them.
inline constexpr int kIso9141 = 3;
inline constexpr int kIso14230Fast = 5;

struct Outgoing {
  Ask ask = Ask::Frame;
  int protocol = kIso14230Fast;
  Bytes frame;  // the frame behind the envelope, as written: what the adapter echoes
  std::uint8_t header[3] = {0, 0, 0};  // the header the chip is to put in front (AT SH)
  Bytes service;                       // the bytes the chip is given as text
};

// Reads an enveloped write (55 56 57 AA count frame). Nothing when it is no envelope, when the
// count does not match what was written, or when the frame inside is not a whole frame.
std::optional<Outgoing> ReadEnvelope(const std::uint8_t* data, std::size_t count);

// "AT SH 81 10 F1": the chip fills the length into the first byte itself.
std::string HeaderCommand(const std::uint8_t header[3]);
// "21 01"
std::string ServiceText(const Bytes& service);
// The chip's answer time-out from P2max: "AT ST hh" in units of 4 ms, at least 1, at most FF.
std::string TimeoutCommand(int p2maxMs);
// P2max in milliseconds from an AccessTimingParameters request or its positive answer (the
// service bytes, SID first); nothing when the bytes carry no timing set.
std::optional<int> P2MaxOf(const Bytes& service);
// "AT WM 82 10 F1 3E 01": the keep-alive the chip sends on its own, a TesterPresent to `target`
// (ISO 9141: the generic request 01 00 under the line's own header).
std::string WakeupCommand(const std::uint8_t header[3]);

// The error words and states an ELM answer can end in.
enum class Condition {
  Ok,
  NoData,           // NO DATA
  BusInit,          // BUS INIT: ...ERROR
  UnableToConnect,  // UNABLE TO CONNECT
  BufferFull,       // BUFFER FULL
  DataError,        // <DATA ERROR, DATA ERROR
  Stopped,          // STOPPED
  Refused,          // ?
  BusError,         // BUS ERROR, BUS BUSY, FB ERROR, CAN ERROR, LV RESET, ERR..
  NoPrompt,         // the chip did not finish its answer in time
  TooLong,          // the request is longer than the chip can send
  Unsupported,      // the controller type cannot be reached through an ELM327
};

// The link status a condition is shown as; empty for Ok.
std::string ConditionText(Condition c);

struct Answer {
  std::vector<Bytes> messages;  // each line of hexadecimal bytes, in order
  Condition condition = Condition::Ok;
  bool searching = false;         // SEARCHING... came first
  bool busInitOk = false;         // BUS INIT: ...OK
  std::vector<std::string> text;  // lines that are neither bytes nor known words (AT answers)
};

// The text of one answer, prompt excluded; echo and blank lines are skipped. Lines with and
// without spaces are read alike; "<DATA ERROR" at the end of a line keeps the bytes before it.
Answer ParseAnswer(std::string_view text);

// Gathers the chip's output, arriving in pieces, up to its prompt. Bounded: a chip that talks
// without end fills it and the rest is dropped.
class PromptCollector {
 public:
  static constexpr std::size_t kLimit = 8192;
  // True once a prompt arrived; bytes after it are kept for the next answer.
  bool Feed(const std::uint8_t* data, std::size_t count);
  bool Complete() const { return complete_; }
  // The answer text before the prompt; starts the next answer.
  std::string Take();
  void Clear();
  bool Overflowed() const { return overflowed_; }

 private:
  std::string text_;
  std::string after_;
  bool complete_ = false;
  bool overflowed_ = false;
};

// What the session reads back: the echo of the frame, then every reply message. A slow
// initialisation gives back the byte sent behind the envelope and, once the chip reports the
// line up, the unit's complement of the address; a refused one gives nothing.
Bytes LineBytes(const Outgoing& out, const Answer& answer);

}  // namespace kd::link::elm

namespace kd::link::elm {

// ---- CAN (ISO 15765-4), protocols 6 to 9 ----

inline constexpr int kCan11At500 = 6;
inline constexpr int kCan29At500 = 7;
inline constexpr int kCan11At250 = 8;
inline constexpr int kCan29At250 = 9;

// The protocol's name as the EOBD window shows it.
std::string ObdProtocolName(int protocol);

// One unit's whole answer, reassembled from its frames.
struct CanMessage {
  std::uint32_t id = 0;  // 7E8.., 18DAF110..; 0 when the chip printed no identifiers
  Bytes payload;         // SID + 40 and data
};

struct CanAnswer {
  std::vector<CanMessage> messages;  // in the order their first frames came
  Condition condition = Condition::Ok;
  bool searching = false;
};

// Reads a CAN answer: with identifiers (AT H1: "7E8 10 14 49 02 ..." or "18 DA F1 10 06 41 ..."),
// single and multi-frame, several units interleaved; or without (a single frame's data bytes,
// a multi-frame message as its byte count followed by "0: ...", "1: ..." lines).
CanAnswer ParseCanAnswer(std::string_view text);

// The K-line address of a CAN unit: 7E8 + n and 18 DA F1 xx answer as 10 + 8n and xx.
std::uint8_t KLineAddressOf(std::uint32_t id);

// A reply frame as the K-line adapter gives it: header to the tester from `source`, the
// payload, the checksum (the long form once the payload passes 63 bytes).
Bytes KLineReply(std::uint8_t source, const Bytes& payload);

// Turns the CAN answers to one request into the K-line reply frames the EOBD window decodes:
// data (modes 01, 02, 04, 08, 09's single values) from the lowest identifier that answered;
// stored and pending codes (03, 07) of every unit, each once, three a message, the messages
// starting at `codeTurn` (advanced, so that successive answers bring every code to the front);
// the VIN, calibration identifiers and verification numbers (09 02, 04, 06) cut into the
// K-line's numbered four-byte messages; the K-line's message counts (09 01, 03, 05), which a
// CAN controller does not know, from the messages their items make. `request` is the service
// the window sent.
Bytes KLineFromCan(const Bytes& request, const std::vector<CanMessage>& messages,
                   std::size_t& codeTurn);

// What is sent on CAN for a window's request: the K-line message counts are asked as the items
// they count; nothing for what CAN does not have (StartCommunication, mode 05).
std::optional<Bytes> CanRequestFor(const Bytes& request);

}  // namespace kd::link::elm
