#include "link/elm327_adapter.h"

#include <algorithm>
#include <cctype>

namespace kd::link {

namespace {

constexpr int kInitMs = 4000;  // a 5-baud initialisation alone takes over two seconds
// How long an answer may take before the chip counts as gone: a bus initialisation and a few
// messages at the longest time-out.
constexpr int kAnswerMs = 5000;

std::string Squeezed(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  return out;
}

// The chip's answer without the echo of the command, should echo still be on.
std::string WithoutEcho(const std::string& answer, const std::string& command) {
  const auto end = answer.find_first_of("\r\n");
  const std::string first = answer.substr(0, end);
  if (!first.empty() && Squeezed(first) == Squeezed(command))
    return end == std::string::npos ? std::string() : answer.substr(end + 1);
  return answer;
}

std::string FirstText(const std::optional<std::string>& answer) {
  if (!answer) return {};
  const elm::Answer a = elm::ParseAnswer(*answer);
  return a.text.empty() ? std::string() : a.text.front();
}

}  // namespace

Elm327Adapter::Elm327Adapter(SerialPort& device, LineClock& clock)
    : Adapter(device), raw_(device), clock_(clock) {}

std::int64_t Elm327Adapter::Now() const {
  return clock_.NowUs() / 1000;
}

void Elm327Adapter::Note(elm::Condition c, const std::string& text) {
  condition_ = c;
  if (listener_) listener_(c, text.empty() ? elm::ConditionText(c) : text);
}

bool Elm327Adapter::Open(int portNumber) {
  Close();
  // What an earlier opening found says nothing about this one.
  condition_ = elm::Condition::Ok;
  if (!raw_.Open(portNumber)) return false;
  raw_.SetReadTimeout(kSliceMs);
  if (!FindRate() || !SetUp()) {
    Note(elm::Condition::NoPrompt);
    raw_.Close();
    rate_ = 0;
    return false;
  }
  return true;
}

bool Elm327Adapter::IsOpen() const {
  return raw_.IsOpen() && rate_ != 0;
}

bool Elm327Adapter::Close() {
  outstanding_.reset();
  toRead_.clear();
  collector_.Clear();
  const int had = rate_;
  rate_ = 0;
  if (!raw_.IsOpen()) return true;
  const bool closed = raw_.Close();
  rate_ = closed ? 0 : had;
  return closed;
}

bool Elm327Adapter::ApplyLineSettings(const LineSettings& settings) {
  lineSupported_ = settings.baud == 115200;
  if (!lineSupported_) {
    Note(elm::Condition::Unsupported);
    return false;
  }
  return IsOpen();
}

bool Elm327Adapter::FindRate() {
  std::vector<int> rates(std::begin(kRates), std::end(kRates));
  if (rate_ != 0) {
    rates.erase(std::remove(rates.begin(), rates.end(), rate_), rates.end());
    rates.insert(rates.begin(), rate_);
  }
  for (int rate : rates) {
    LineSettings s;
    s.baud = rate;
    s.parity = 'n';
    s.dataBits = 8;
    s.stopBits = 1;
    if (!raw_.ApplyLineSettings(s)) continue;
    rate_ = rate;
    if (Probe()) return true;
  }
  rate_ = 0;
  return false;
}

bool Elm327Adapter::Probe() {
  collector_.Clear();
  // A half-typed line left in the chip spoils the first command; the second then gets through.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto answer = Command("AT I", kProbeMs);
    if (!answer) return false;
    if (answer->find("ELM") != std::string::npos) return true;
  }
  return false;
}

bool Elm327Adapter::SetUp() {
  protocol_.clear();
  header_.clear();
  timeout_.clear();
  wakeup_.clear();
  initAddress_.clear();
  p2maxMs_ = kDefaultP2MaxMs;
  ForgetObdProtocol();
  if (!Command("AT Z", kResetMs)) return false;
  for (const char* c : {"AT E0", "AT L0", "AT S1", "AT H1"})
    if (!Accepted(Command(c))) return false;
  longRequests_ = Accepted(Command("AT AL"));
  const auto version = Command("AT I");
  const auto description = Command("AT @1");
  identity_.version = FirstText(version);
  identity_.description = FirstText(description);
  identity_.knownClone = identity_.version.find("v1.5") != std::string::npos ||
                         identity_.version.find("v2.1") != std::string::npos;
  return true;
}

bool Elm327Adapter::Accepted(const std::optional<std::string>& answer) const {
  return answer && elm::ParseAnswer(*answer).condition != elm::Condition::Refused;
}

bool Elm327Adapter::WaitPrompt(int limitMs) {
  const std::int64_t deadline = Now() + limitMs;
  std::uint8_t buffer[256];
  while (!collector_.Complete()) {
    const std::int64_t before = Now();
    const std::size_t n = raw_.Read(buffer, sizeof buffer);
    if (n > 0) NoteWire(WireEvent::Kind::Received, std::vector<std::uint8_t>(buffer, buffer + n));
    if (n > 0 && collector_.Feed(buffer, n)) break;
    // A device that returns at once (or a clock that moves only when told) waits a slice here.
    if (n == 0 && Now() == before) clock_.SleepMs(kSliceMs);
    // A chip that keeps talking is given no more time than a silent one.
    if (Now() >= deadline) return false;
  }
  return true;
}

bool Elm327Adapter::Send(const std::string& text) {
  const std::string line = text + "\r";
  const std::vector<std::uint8_t> bytes(line.begin(), line.end());
  if (raw_.Write(bytes.data(), bytes.size()) == WriteStatus::Failed) return false;
  NoteWire(WireEvent::Kind::Sent, bytes);
  return true;
}

std::optional<std::string> Elm327Adapter::Command(const std::string& text, int limitMs) {
  if (outstanding_) Finish(kAnswerMs);
  if (!Send(text)) return std::nullopt;
  if (!WaitPrompt(limitMs)) return std::nullopt;
  return WithoutEcho(collector_.Take(), text);
}

bool Elm327Adapter::Ensure(const std::string& command, std::string& state) {
  if (state == command) return true;
  if (!Accepted(Command(command))) return false;
  state = command;
  return true;
}

void Elm327Adapter::Finish(int limitMs) {
  if (!outstanding_) return;
  if (!WaitPrompt(limitMs)) {
    if (Now() - outstandingSince_ >= kAnswerMs) {
      outstanding_.reset();
      collector_.Clear();
      Note(elm::Condition::NoPrompt);
    }
    return;
  }
  const std::string text = collector_.Take();
  if (outstandingCan_) {
    const elm::CanAnswer can = elm::ParseCanAnswer(text);
    elm::Bytes bytes = outstanding_->frame;
    const elm::Bytes replies = elm::KLineFromCan(outstanding_->service, can.messages, codeTurn_);
    bytes.insert(bytes.end(), replies.begin(), replies.end());
    toRead_.insert(toRead_.end(), bytes.begin(), bytes.end());
    outstanding_.reset();
    outstandingCan_ = false;
    Note(can.condition);
    return;
  }
  const elm::Answer answer = elm::ParseAnswer(text);
  for (const auto& m : answer.messages) {
    if (m.size() < 5) continue;
    const std::size_t header = (m[0] & 0x3F) == 0 ? 4 : 3;
    const elm::Bytes service(m.begin() + static_cast<std::ptrdiff_t>(header), m.end() - 1);
    if (const auto p2 = elm::P2MaxOf(service)) p2maxMs_ = *p2;
  }
  const elm::Bytes bytes = elm::LineBytes(*outstanding_, answer);
  toRead_.insert(toRead_.end(), bytes.begin(), bytes.end());
  outstanding_.reset();
  Note(answer.condition);
}

std::size_t Elm327Adapter::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  if (!IsOpen()) return 0;
  if (outstanding_) Finish(readTimeoutMs_);
  const std::size_t n = std::min(maxBytes, toRead_.size());
  std::copy(toRead_.begin(), toRead_.begin() + static_cast<std::ptrdiff_t>(n), buffer);
  toRead_.erase(toRead_.begin(), toRead_.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

WriteStatus Elm327Adapter::Write(const std::uint8_t* data, std::size_t count) {
  if (!IsOpen()) return WriteStatus::Failed;
  if (outstanding_) Finish(kAnswerMs);
  if (!lineSupported_) {
    Note(elm::Condition::Unsupported);
    return WriteStatus::Failed;
  }
  const auto out = elm::ReadEnvelope(data, count);
  if (!out) {
    Note(elm::Condition::Unsupported);
    return WriteStatus::Failed;
  }
  if (out->service.size() > RequestLimit()) {
    Note(elm::Condition::TooLong,
         "Запрос длиннее, чем может отправить ELM327: " + std::to_string(out->service.size()) +
             " байт данных, предел " + std::to_string(RequestLimit()) + ".");
    return WriteStatus::Failed;
  }

  const bool functional = out->protocol == elm::kIso14230Fast && out->header[1] == 0x33 &&
                          (out->header[0] & 0xC0) == 0xC0;
  if (functional && obdProtocol_ >= elm::kCan11At500) return WriteCan(*out);

  const bool iso = out->protocol == elm::kIso9141;
  if (!Ensure(iso ? "AT SP 3" : "AT SP 5", protocol_) ||
      !Ensure(elm::HeaderCommand(out->header), header_) ||
      !Ensure(elm::TimeoutCommand(p2maxMs_), timeout_)) {
    Note(elm::Condition::Refused);
    return WriteStatus::Failed;
  }
  // The chip keeps the session alive on its own while nothing is asked; a clone without the
  // command keeps its default keep-alive.
  if (wakeupCommand_ && !Ensure(elm::WakeupCommand(out->header), wakeup_)) wakeupCommand_ = false;
  if (const auto p2 = elm::P2MaxOf(out->service)) p2maxMs_ = *p2;

  if (out->ask == elm::Ask::SlowInit) {
    Ensure("AT IIA 33", initAddress_);
    Command("AT PC");
    if (slowInitCommand_) {
      const auto answer = Command("AT SI", kInitMs);
      if (Accepted(answer)) {
        const elm::Answer a = elm::ParseAnswer(*answer);
        const elm::Bytes bytes = elm::LineBytes(*out, a);
        toRead_.insert(toRead_.end(), bytes.begin(), bytes.end());
        Note(a.busInitOk ? elm::Condition::Ok : elm::Condition::BusInit);
        return WriteStatus::Written;
      }
      slowInitCommand_ = false;
    }
    // Without AT SI the chip starts the line with the first request: only the echo comes back.
    toRead_.push_back(out->frame.front());
    Note(elm::Condition::Ok);
    return WriteStatus::Written;
  }

  if (out->ask == elm::Ask::FastInit && functional) {
    // The EOBD window: ISO 14230 first; a car that does not answer there is looked for on CAN.
    std::optional<elm::Answer> started;
    if (KLineObdUp(*out, started)) {
      obdProtocol_ = elm::kIso14230Fast;
      if (started) {
        const elm::Bytes bytes = elm::LineBytes(*out, *started);
        toRead_.insert(toRead_.end(), bytes.begin(), bytes.end());
        Note(started->condition);
        return WriteStatus::Written;
      }
    } else {
      // StartCommunication has no meaning on CAN: the window takes whatever follows it as the
      // answer, so only the echo comes back.
      const bool found = SearchCan();
      toRead_.insert(toRead_.end(), out->frame.begin(), out->frame.end());
      Note(found ? elm::Condition::Ok : elm::Condition::UnableToConnect);
      return WriteStatus::Written;
    }
  } else if (out->ask == elm::Ask::FastInit) {
    Command("AT PC");
    if (fastInitCommand_) {
      const auto answer = Command("AT FI", kInitMs);
      if (!Accepted(answer)) {
        // The first request starts the bus instead.
        fastInitCommand_ = false;
      } else if (!elm::ParseAnswer(*answer).busInitOk) {
        toRead_.insert(toRead_.end(), out->frame.begin(), out->frame.end());
        Note(elm::Condition::BusInit);
        return WriteStatus::Written;
      }
    }
  }

  if (!Send(elm::ServiceText(out->service))) return WriteStatus::Failed;
  outstanding_ = *out;
  outstandingSince_ = Now();
  return WriteStatus::Written;
}

bool Elm327Adapter::KLineObdUp(const elm::Outgoing& out, std::optional<elm::Answer>& answer) {
  Command("AT PC");
  if (fastInitCommand_) {
    const auto init = Command("AT FI", kInitMs);
    if (Accepted(init)) return elm::ParseAnswer(*init).busInitOk;
    fastInitCommand_ = false;
  }
  const auto started = Command(elm::ServiceText(out.service), kInitMs);
  if (!started) return false;
  answer = elm::ParseAnswer(*started);
  return !answer->messages.empty();
}

bool Elm327Adapter::EnsureCan(int protocol) {
  if (!Ensure("AT SP " + std::to_string(protocol), protocol_)) return false;
  // The functional request identifier: 7DF, or 18 DB 33 F1 with its priority byte.
  if (protocol == elm::kCan11At500 || protocol == elm::kCan11At250)
    return Ensure("AT SH 7DF", header_);
  return Accepted(Command("AT CP 18")) && Ensure("AT SH DB 33 F1", header_);
}

bool Elm327Adapter::SearchCan() {
  for (int p : {elm::kCan11At500, elm::kCan29At500, elm::kCan11At250, elm::kCan29At250}) {
    if (!EnsureCan(p)) continue;
    const auto answer = Command("01 00", kInitMs);
    if (answer && !elm::ParseCanAnswer(*answer).messages.empty()) {
      obdProtocol_ = p;
      return true;
    }
  }
  // The next request of any kind sets its own protocol again.
  protocol_.clear();
  header_.clear();
  return false;
}

WriteStatus Elm327Adapter::WriteCan(const elm::Outgoing& out) {
  const auto request = elm::CanRequestFor(out.service);
  if (!request) {
    toRead_.insert(toRead_.end(), out.frame.begin(), out.frame.end());
    Note(out.service.empty() || out.service[0] == 0x81 ? elm::Condition::Ok
                                                       : elm::Condition::NoData);
    return WriteStatus::Written;
  }
  if (!EnsureCan(obdProtocol_)) {
    Note(elm::Condition::Refused);
    return WriteStatus::Failed;
  }
  if (!Send(elm::ServiceText(*request))) return WriteStatus::Failed;
  outstanding_ = out;
  outstandingCan_ = true;
  outstandingSince_ = Now();
  return WriteStatus::Written;
}

std::vector<Elm327Adapter::CheckLine> Elm327Adapter::Check() {
  std::vector<CheckLine> lines;
  const auto run = [&](const std::string& command, int limitMs = kCommandMs) {
    const auto answer = Command(command, limitMs);
    CheckLine line{command, Accepted(answer), {}};
    if (answer) {
      const elm::Answer a = elm::ParseAnswer(*answer);
      line.answer = !a.text.empty()                     ? a.text.front()
                    : a.busInitOk                       ? "BUS INIT: ...OK"
                    : a.condition != elm::Condition::Ok ? elm::ConditionText(a.condition)
                                                        : std::string();
    }
    lines.push_back(line);
    return line.accepted;
  };
  run("AT I");
  run("AT @1");
  for (const char* c : {"AT E0", "AT L0", "AT S1", "AT H1"}) run(c);
  longRequests_ = run("AT AL");
  run("AT SP 5");
  run("AT SH 81 10 F1");
  run(elm::TimeoutCommand(kDefaultP2MaxMs));
  wakeupCommand_ = run("AT WM 82 10 F1 3E 01");
  fastInitCommand_ = run("AT FI", kInitMs);
  run("AT SP 3");
  run("AT IIA 33");
  slowInitCommand_ = run("AT SI", kInitMs);
  run("AT KW");
  run("AT PC");
  // Whatever the check left set is set again by the next request.
  protocol_.clear();
  header_.clear();
  timeout_.clear();
  wakeup_.clear();
  initAddress_.clear();
  return lines;
}

}  // namespace kd::link
