#include "sim/elm327_sim.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "sim/line_frames.h"

namespace kd::sim {

namespace {

constexpr std::size_t kLineLimit = 128;  // the chip's input buffer
constexpr std::size_t kShortRequest = 7;
constexpr std::size_t kLongRequest = 8;
constexpr std::uint8_t kStartCommunication = 0x81;
constexpr std::uint8_t kStartCommunicationReply = 0xC1;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsHex(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return HexDigit(c) >= 0; });
}

std::optional<Bytes> HexBytes(const std::string& s) {
  if (s.size() % 2 != 0 || !IsHex(s)) return std::nullopt;
  Bytes out;
  for (std::size_t i = 0; i < s.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
  return out;
}

bool IsKwp(int protocol) {
  return protocol == 4 || protocol == 5;
}

// How the K-line protocols end a message: ISO 14230 by the length in its header, ISO 9141-2 by a
// pause the simulated line does not have, so there a message ends where its checksum holds and
// the next header (48 6B) follows.
std::optional<std::size_t> KwpLength(const Bytes& r, std::size_t at) {
  if (at + 4 > r.size()) return std::nullopt;
  const std::size_t len = r[at] & 0x3F;
  const std::size_t total = len != 0 ? 3 + len + 1 : 4 + r[at + 3] + 1;
  if ((r[at] & 0x3F) == 0 && r[at + 3] == 0) return std::nullopt;
  if (at + total > r.size()) return std::nullopt;
  return total;
}

std::optional<std::size_t> IsoLength(const Bytes& r, std::size_t at) {
  for (std::size_t end = at + 4; end < r.size(); ++end) {
    if (Sum8(r.data() + at, end - at) != r[end]) continue;
    if (end + 1 == r.size() || (end + 2 < r.size() && r[end + 1] == 0x48 && r[end + 2] == 0x6B))
      return end - at + 1;
  }
  return std::nullopt;
}

}  // namespace

Elm327Sim::Elm327Sim(SimulatedPort& car, ElmOptions options)
    : car_(car), options_(options), can_(car.Obd()) {
  Reset();
}

std::string Elm327Sim::Version() const {
  return options_.clone == ElmClone::V15 ? "ELM327 v1.5" : "ELM327 v2.2";
}

void Elm327Sim::Reset() {
  echo_ = true;
  linefeeds_ = true;
  spaces_ = true;
  headers_ = false;
  allowLong_ = false;
  protocol_ = 0;
  automatic_ = true;
  header_.reset();
  initAddress_ = 0x33;
  active_ = 0;
  busUp_ = false;
  lastRequest_.clear();
}

bool Elm327Sim::Open(int portNumber) {
  if (!car_.IsOpen() && !car_.Open(portNumber)) return false;
  open_ = true;
  line_.clear();
  out_.clear();
  return true;
}

bool Elm327Sim::Close() {
  open_ = false;
  out_.clear();
  return true;
}

bool Elm327Sim::ApplyLineSettings(const link::LineSettings& settings) {
  if (!open_ || car_.FaultOn(Fault::Unplugged) || settings.baud <= 0) return false;
  settings_ = settings;
  return true;
}

std::size_t Elm327Sim::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  if (!open_ || car_.FaultOn(Fault::Unplugged)) return 0;
  std::size_t n = 0;
  while (n < maxBytes && !out_.empty()) {
    buffer[n++] = out_.front();
    out_.pop_front();
  }
  return n;
}

link::WriteStatus Elm327Sim::Write(const std::uint8_t* data, std::size_t count) {
  if (!open_ || car_.FaultOn(Fault::Unplugged)) return link::WriteStatus::Failed;
  const bool understood = settings_.baud == options_.baud && settings_.dataBits == 8 &&
                          std::tolower(static_cast<unsigned char>(settings_.parity)) == 'n';
  lineExchange_.reset();
  if (!understood) return link::WriteStatus::Written;  // noise at the wrong rate
  for (std::size_t i = 0; i < count; ++i) {
    const char c = static_cast<char>(data[i]);
    if (echo_) out_.push_back(data[i]);
    if (c == '\r') {
      const std::string line = line_;
      line_.clear();
      TakeLine(line);
    } else if (static_cast<unsigned char>(c) >= 0x20 && c != ' ') {
      if (line_.size() <= kLineLimit)
        line_.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  return link::WriteStatus::Written;
}

void Elm327Sim::Emit(const std::vector<std::string>& lines) {
  const std::string newline = linefeeds_ ? "\r\n" : "\r";
  std::string text;
  for (const std::string& l : lines) text += l + newline;
  text += newline + ">";
  out_.insert(out_.end(), text.begin(), text.end());
}

void Elm327Sim::TakeLine(const std::string& raw) {
  if (raw.size() > kLineLimit) {
    Emit({"?"});
    return;
  }
  if (raw.empty()) {
    // An empty line repeats the last request.
    if (lastRequest_.empty()) {
      Emit({"?"});
      return;
    }
    Emit(Request(lastRequest_));
    return;
  }
  if (raw.rfind("AT", 0) == 0) {
    Emit(AtCommand(raw.substr(2)));
    return;
  }
  lastRequest_ = raw;
  Emit(Request(raw));
}

std::string Elm327Sim::Describe(int protocol) const {
  static const char* const kNames[] = {"AUTO",
                                       "SAE J1850 PWM",
                                       "SAE J1850 VPW",
                                       "ISO 9141-2",
                                       "ISO 14230-4 (KWP 5BAUD)",
                                       "ISO 14230-4 (KWP FAST)",
                                       "ISO 15765-4 (CAN 11/500)",
                                       "ISO 15765-4 (CAN 29/500)",
                                       "ISO 15765-4 (CAN 11/250)",
                                       "ISO 15765-4 (CAN 29/250)"};
  return kNames[std::clamp(protocol, 0, 9)];
}

std::array<std::uint8_t, 3> Elm327Sim::HeaderFor(int protocol) const {
  if (header_) return *header_;
  if (protocol == 3) return {0x68, 0x6A, 0xF1};
  return {0xC1, 0x33, 0xF1};
}

std::vector<std::string> Elm327Sim::AtCommand(const std::string& cmd) {
  const bool clone = options_.clone == ElmClone::V15;
  const auto flag = [&](const std::string& name, bool& target) -> std::optional<bool> {
    if (cmd == name + "0")
      target = false;
    else if (cmd == name + "1")
      target = true;
    else
      return std::nullopt;
    return true;
  };
  const std::vector<std::string> ok{"OK"};

  if (cmd == "Z" || cmd == "WS") {
    Reset();
    return {"", Version()};
  }
  if (cmd == "D") {
    const bool e = echo_, l = linefeeds_;
    Reset();
    echo_ = e;
    linefeeds_ = l;
    return ok;
  }
  if (cmd == "I") return {Version()};
  if (cmd == "@1") return {"OBDII to RS232 Interpreter"};
  if (cmd == "RV") return {"12.6V"};
  if (flag("E", echo_) || flag("L", linefeeds_) || flag("S", spaces_) || flag("H", headers_))
    return ok;
  bool ignored = false;
  if (flag("M", ignored) || flag("CAF", ignored) || flag("R", ignored)) return ok;
  if (cmd == "AT0" || cmd == "AT1" || cmd == "AT2") return ok;
  if (cmd == "AL" || cmd == "NL") {
    if (clone && cmd == "AL") return {"?"};
    allowLong_ = cmd == "AL";
    return ok;
  }
  if (cmd == "KW0" || cmd == "KW1") return clone ? std::vector<std::string>{"?"} : ok;
  if (cmd == "KW") {
    if (clone) return {"?"};
    if (!busUp_ || (active_ != 3 && !IsKwp(active_))) return {"NO DATA"};
    return {active_ == 3 ? "1:08 2:08" : "1:EF 2:8F"};
  }
  if (cmd == "IB10" || cmd == "IB96" || cmd == "IB48") return ok;
  const auto hexArg = [&](std::size_t prefix) { return HexBytes(cmd.substr(prefix)); };
  if (cmd.rfind("ST", 0) == 0 || cmd.rfind("SW", 0) == 0) {
    const auto v = hexArg(2);
    return v && v->size() == 1 ? ok : std::vector<std::string>{"?"};
  }
  if (cmd.rfind("IIA", 0) == 0) {
    const auto v = hexArg(3);
    if (!v || v->size() != 1) return {"?"};
    initAddress_ = (*v)[0];
    return ok;
  }
  if (cmd.rfind("WM", 0) == 0) {
    const auto v = hexArg(2);
    return v && v->size() >= 4 && v->size() <= 9 ? ok : std::vector<std::string>{"?"};
  }
  if (cmd.rfind("CP", 0) == 0) {
    const auto v = hexArg(2);
    return v && v->size() == 1 ? ok : std::vector<std::string>{"?"};
  }
  if (cmd.rfind("SH", 0) == 0) {
    // A CAN identifier (3 digits for 11 bits): the simulated car answers any functional one.
    if (cmd.size() == 5 && IsHex(cmd.substr(2))) return ok;
    const auto v = hexArg(2);
    if (!v || v->size() != 3) return {"?"};
    header_ = std::array<std::uint8_t, 3>{(*v)[0], (*v)[1], (*v)[2]};
    return ok;
  }
  if (cmd.rfind("SP", 0) == 0 || cmd.rfind("TP", 0) == 0) {
    std::string arg = cmd.substr(2);
    const bool autoPrefix = !arg.empty() && arg[0] == 'A';
    if (autoPrefix) arg = arg.substr(1);
    if (arg.size() != 1 || arg[0] < '0' || arg[0] > '9') return {"?"};
    protocol_ = arg[0] - '0';
    automatic_ = autoPrefix || protocol_ == 0;
    busUp_ = false;
    active_ = automatic_ ? 0 : protocol_;
    return ok;
  }
  if (cmd == "DP") {
    if (!automatic_) return {Describe(protocol_)};
    const int shown = active_ != 0 ? active_ : protocol_;
    return {shown == 0 ? "AUTO" : "AUTO, " + Describe(shown)};
  }
  if (cmd == "DPN") {
    const int shown = active_ != 0 ? active_ : protocol_;
    return {(automatic_ ? "A" : "") + std::to_string(shown)};
  }
  if (cmd == "PC") {
    busUp_ = false;
    if (automatic_) active_ = 0;
    return ok;
  }
  if (cmd == "FI" || cmd == "SI") {
    if (clone) return {"?"};
    const int p = automatic_ ? active_ : protocol_;
    const bool fits = cmd == "FI" ? p == 5 : (p == 3 || p == 4);
    if (!fits) return {"?"};
    busUp_ = StartBus(p);
    if (busUp_) active_ = p;
    return {busUp_ ? "BUS INIT: ...OK" : "BUS INIT: ...ERROR"};
  }
  return {"?"};
}

int Elm327Sim::CarCanProtocol() const {
  switch (options_.obdBus) {
    case ObdBus::Can11:
      return 6;
    case ObdBus::Can29:
      return 7;
    case ObdBus::KLine:
      break;
  }
  return 0;
}

bool Elm327Sim::StartBus(int protocol) {
  if (protocol >= 6) return protocol == CarCanProtocol();  // CAN needs no initialisation
  if (protocol == 3)
    return (ObdOnKLine() || initAddress_ != ObdUnit::kFunctional) &&
           car_.AnswerSlowInit(initAddress_).has_value();
  if (protocol != 5) return false;  // the simulated car has no 5-baud ISO 14230 and no J1850
  const auto h = HeaderFor(5);
  if (!ObdOnKLine() && h[1] == ObdUnit::kFunctional) return false;
  const std::uint8_t format = static_cast<std::uint8_t>(((h[0] & 0xC0) ? (h[0] & 0xC0) : 0xC0) | 1);
  Bytes frame{format, h[1], h[2], kStartCommunication};
  frame.push_back(Sum8(frame));
  const Bytes reply = car_.AnswerOnLine(frame, LineMode::Kwp, true);
  for (const Bytes& m : SplitMessages(reply)) {
    const auto parsed = ParseKwpFrame(m);
    if (parsed && !parsed->service.empty() && parsed->service[0] == kStartCommunicationReply)
      return true;
  }
  return false;
}

std::vector<std::string> Elm327Sim::Request(const std::string& text) {
  std::string hex = text;
  int maxMessages = 0;
  if (hex.size() % 2 == 1 && IsHex(hex)) {
    maxMessages = HexDigit(hex.back());
    hex.pop_back();
  }
  auto data = HexBytes(hex);
  if (!data || data->empty()) return {"?"};
  const std::size_t limit = allowLong_ ? kLongRequest : kShortRequest;
  if (data->size() > limit) {
    if (options_.clone != ElmClone::V15) return {"?"};
    data->resize(kShortRequest);
  }

  std::vector<std::string> lines;
  if (!busUp_) {
    if (automatic_) {
      lines.push_back("SEARCHING...");
      std::vector<int> order;
      if (protocol_ != 0) order.push_back(protocol_);
      for (int p = 1; p <= 9; ++p)
        if (p != protocol_) order.push_back(p);
      for (int p : order) {
        if (StartBus(p)) {
          active_ = p;
          busUp_ = true;
          break;
        }
      }
      if (!busUp_) {
        lines.push_back("UNABLE TO CONNECT");
        return lines;
      }
    } else if (protocol_ >= 6) {
      // CAN: no initialisation, but a bus at another speed, or none, is an error of its own.
      const int car = CarCanProtocol();
      if (car == 0 || (car <= 7) != (protocol_ <= 7)) return {"CAN ERROR"};
      active_ = protocol_;
      busUp_ = true;
    } else {
      if (protocol_ != 3 && !IsKwp(protocol_)) return {"NO DATA"};
      busUp_ = StartBus(protocol_);
      if (!busUp_) return {"BUS INIT: ...ERROR"};
      active_ = protocol_;
      lines.push_back("BUS INIT: ...OK");
    }
  }
  const auto answer = SendOnBus(*data, maxMessages);
  lines.insert(lines.end(), answer.begin(), answer.end());
  return lines;
}

std::vector<std::string> Elm327Sim::SendOnBus(const Bytes& data, int maxMessages) {
  car_.Age();
  if (active_ >= 6) return SendOnCan(data, maxMessages);
  const auto h = HeaderFor(active_);
  Bytes frame;
  if (IsKwp(active_)) {
    const std::uint8_t kind = (h[0] & 0xC0) ? (h[0] & 0xC0) : 0xC0;
    frame = {static_cast<std::uint8_t>(kind | data.size()), h[1], h[2]};
  } else {
    frame = {h[0], h[1], h[2]};
  }
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(Sum8(frame));
  // A late answer comes after the chip stopped waiting for it.
  const bool obdFrame = frame[1] == ObdUnit::kFunctional || active_ == 3;
  const Bytes reply = car_.FaultOn(Fault::LateReply) || (obdFrame && !ObdOnKLine())
                          ? Bytes{}
                          : car_.AnswerOnLine(frame, LineMode::Kwp, false);
  lineExchange_ = LineExchange{frame.size(), reply.size()};

  std::vector<std::string> lines;
  std::size_t at = 0;
  for (const Bytes& m : SplitMessages(reply)) {
    at += m.size();
    if (maxMessages > 0 && static_cast<int>(lines.size()) >= maxMessages) break;
    const bool good = Sum8(m.data(), m.size() - 1) == m.back();
    lines.push_back(FormatMessage(m, good));
  }
  if (at < reply.size() && (maxMessages == 0 || static_cast<int>(lines.size()) < maxMessages)) {
    // Bytes that make no message: shown as they came, flagged.
    const Bytes rest(reply.begin() + static_cast<std::ptrdiff_t>(at), reply.end());
    std::string line;
    for (std::uint8_t b : rest) {
      char buf[4];
      std::snprintf(buf, sizeof buf, spaces_ ? "%02X " : "%02X", b);
      line += buf;
    }
    lines.push_back(line + (spaces_ ? "" : " ") + "<DATA ERROR");
  }
  if (lines.empty()) lines.push_back("NO DATA");
  return lines;
}

std::vector<std::string> Elm327Sim::SendOnCan(const Bytes& data, int maxMessages) {
  // Only the protocol the car's CAN bus runs has anyone to answer.
  if (active_ != CarCanProtocol()) return {"NO DATA"};
  if (car_.FaultOn(Fault::Silence) || car_.FaultOn(Fault::LateReply) ||
      car_.FaultOn(Fault::Unplugged))
    return {"NO DATA"};
  std::vector<CanAnswer> answers = can_.Answer(data, car_.Now());
  if (answers.empty()) return {"NO DATA"};
  const bool wide = active_ == 7 || active_ == 9;
  Rng rng(static_cast<std::uint32_t>(car_.Now() + 1));
  std::vector<std::string> lines;
  for (CanAnswer& a : answers) {
    if (maxMessages > 0 && static_cast<int>(lines.size()) >= maxMessages) break;
    const std::uint32_t id = wide ? 0x18DAF110u + a.unit * 8u : 0x7E8u + a.unit;
    if (car_.FaultOn(Fault::Negative)) a.data = {0x7F, data[0], 0x22};
    if (car_.FaultOn(Fault::ResponsePending)) {
      const auto pending = CanLines(id, {0x7F, data[0], 0x78});
      lines.insert(lines.end(), pending.begin(), pending.end());
    }
    if (car_.FaultOn(Fault::Garbage)) {
      Bytes noise(8);
      for (auto& b : noise) b = rng.NextByte();
      a.data = noise;
    }
    auto shown = CanLines(id, a.data);
    if (car_.FaultOn(Fault::BadChecksum) && !shown.empty()) shown.back() += " <DATA ERROR";
    lines.insert(lines.end(), shown.begin(), shown.end());
  }
  return lines;
}

std::vector<std::string> Elm327Sim::CanLines(std::uint32_t id, const Bytes& payload) const {
  const bool wide = active_ == 7 || active_ == 9;
  const auto hex = [&](const Bytes& bytes) {
    std::string s;
    for (std::uint8_t b : bytes) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%02X", b);
      if (!s.empty() && spaces_) s += ' ';
      s += buf;
    }
    return s;
  };
  std::string idText;
  if (wide) {
    idText = hex({static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
                  static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)});
  } else {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03X", static_cast<unsigned>(id & 0x7FF));
    idText = buf;
  }
  const auto framed = [&](Bytes frame) {
    frame.resize(8, 0x00);  // frames are padded to eight bytes
    return idText + (spaces_ ? " " : "") + hex(frame);
  };
  std::vector<std::string> lines;
  if (payload.size() <= 7) {
    Bytes f{static_cast<std::uint8_t>(payload.size())};
    f.insert(f.end(), payload.begin(), payload.end());
    if (headers_)
      lines.push_back(framed(f));
    else
      lines.push_back(hex(payload));
    return lines;
  }
  // A first frame with the length and six bytes, then consecutive frames of seven.
  if (!headers_) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03X", static_cast<unsigned>(payload.size()));
    lines.push_back(buf);
  }
  std::size_t at = 0;
  int index = 0;
  while (at < payload.size()) {
    const std::size_t take = std::min<std::size_t>(index == 0 ? 6 : 7, payload.size() - at);
    const Bytes part(payload.begin() + static_cast<std::ptrdiff_t>(at),
                     payload.begin() + static_cast<std::ptrdiff_t>(at + take));
    if (headers_) {
      Bytes f;
      if (index == 0) {
        f = {static_cast<std::uint8_t>(0x10 | (payload.size() >> 8)),
             static_cast<std::uint8_t>(payload.size() & 0xFF)};
      } else {
        f = {static_cast<std::uint8_t>(0x20 | (index & 0x0F))};
      }
      f.insert(f.end(), part.begin(), part.end());
      lines.push_back(framed(f));
    } else {
      lines.push_back(std::to_string(index) + ":" + (spaces_ ? " " : "") + hex(part));
    }
    at += take;
    ++index;
  }
  return lines;
}

std::vector<Bytes> Elm327Sim::SplitMessages(const Bytes& reply) const {
  std::vector<Bytes> out;
  std::size_t at = 0;
  while (at < reply.size()) {
    const auto len = active_ == 3 ? IsoLength(reply, at) : KwpLength(reply, at);
    if (!len) break;
    out.emplace_back(reply.begin() + static_cast<std::ptrdiff_t>(at),
                     reply.begin() + static_cast<std::ptrdiff_t>(at + *len));
    at += *len;
  }
  return out;
}

std::string Elm327Sim::FormatMessage(const Bytes& m, bool checksumGood) const {
  std::size_t from = 0;
  std::size_t to = m.size();
  if (!headers_) {
    // Data only: no header (3 bytes, 4 with a length byte) and no checksum.
    from = (active_ != 3 && (m[0] & 0x3F) == 0) ? 4 : 3;
    to = m.size() - 1;
  }
  std::string line;
  for (std::size_t i = from; i < to; ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", m[i]);
    if (!line.empty() && spaces_) line += ' ';
    line += buf;
  }
  if (!checksumGood) line += " <DATA ERROR";
  return line;
}

}  // namespace kd::sim
