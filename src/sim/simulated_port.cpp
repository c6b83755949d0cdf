#include "sim/simulated_port.h"

#include <algorithm>
#include <cctype>

#include "catalogue/ecu_catalogue.h"

namespace kd::sim {

namespace {

constexpr std::uint8_t kEnvelope[4] = {0x55, 0x56, 0x57, 0xAA};
constexpr std::uint8_t kFastInit = 0x80;
constexpr std::uint8_t kIso9141Init = 0x40;
// The address an ISO 9141-2 line is initialised with: the generic OBD one.
constexpr std::uint8_t kIso9141Address = 0x33;

bool Matches(const link::LineSettings& s, int baud, int stopBits) {
  return s.baud == baud && s.dataBits == 8 && s.stopBits == stopBits &&
         std::tolower(static_cast<unsigned char>(s.parity)) == 'n';
}

}  // namespace

SimulatedPort::SimulatedPort() : SimulatedPort(1) {}

SimulatedPort::SimulatedPort(std::uint32_t ecuType) {
  SetEcuType(ecuType);
}

SimulatedPort::~SimulatedPort() = default;

void SimulatedPort::SetEcuType(std::uint32_t ecuType) {
  ecuType_ = catalogue::IsKnownType(ecuType) ? ecuType : 1;
  auto& memory = faultMemories_[ecuType_];
  if (!memory) memory = std::make_shared<FaultMemory>(ecuType_);
  bus_.clear();
  bus_.push_back(MakeMainController(ecuType_, model_, memory));
}

void SimulatedPort::SetClock(Clock clock) {
  clock_ = std::move(clock);
}

std::int64_t SimulatedPort::Now() const {
  return clock_ ? clock_() : static_cast<std::int64_t>(reads_) * kTickMs;
}

void SimulatedPort::SetFault(Fault fault, int parameter) {
  faults_.Set(fault, parameter);
  // What the adapter had buffered goes with it.
  if (fault == Fault::Unplugged) pending_.clear();
}

void SimulatedPort::ClearFault(Fault fault) {
  faults_.Clear(fault);
}

void SimulatedPort::ClearFaults() {
  faults_.ClearAll();
}

std::size_t SimulatedPort::Waiting() const {
  std::size_t n = 0;
  for (const Chunk& c : pending_) n += c.bytes.size() - c.taken;
  return n;
}

bool SimulatedPort::Open(int portNumber) {
  if (faults_.On(Fault::Unplugged) || portNumber < 1 || portNumber > 8) {
    open_ = false;
    return false;
  }
  open_ = true;
  pending_.clear();
  return true;
}

bool SimulatedPort::Close() {
  open_ = false;
  pending_.clear();
  return true;
}

bool SimulatedPort::ApplyLineSettings(const link::LineSettings& settings) {
  if (!open_ || faults_.On(Fault::Unplugged) || settings.baud <= 0) return false;
  settings_ = settings;
  return true;
}

std::size_t SimulatedPort::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  if (!open_ || faults_.On(Fault::Unplugged)) return 0;
  ++reads_;
  std::size_t n = 0;
  // In order of arrival: a byte held back for a later read keeps everything behind it back too.
  while (n < maxBytes && !pending_.empty() && pending_.front().visibleAtRead <= reads_) {
    Chunk& c = pending_.front();
    while (n < maxBytes && c.taken < c.bytes.size()) buffer[n++] = c.bytes[c.taken++];
    if (c.taken == c.bytes.size()) pending_.pop_front();
  }
  return n;
}

KwpController::LineTiming SimulatedPort::LineTiming() const {
  for (const auto& unit : bus_)
    if (const auto* kwp = dynamic_cast<const KwpController*>(unit.get())) return kwp->Timing();
  return {};
}

link::WriteStatus SimulatedPort::Write(const std::uint8_t* data, std::size_t count) {
  if (!open_ || faults_.On(Fault::Unplugged)) return link::WriteStatus::Failed;
  const Bytes written(data, data + count);
  switch (Mode()) {
    case AdapterMode::Envelope:
      TakeEnvelope(written);
      break;
    case AdapterMode::Bare9600:
    case AdapterMode::Bare8192:
      // Bare frames go on the line as they are; the line gives every byte back.
      Queue(written, reads_ + 1);
      PutOnLine(written, Mode() == AdapterMode::Bare9600 ? LineMode::Escaped9600 : LineMode::Gm8192,
                false);
      break;
    case AdapterMode::Deaf:
      // Framing errors at the adapter's end: nothing reaches the K-line, nothing comes back.
      break;
  }
  return link::WriteStatus::Written;
}

SimulatedPort::AdapterMode SimulatedPort::Mode() const {
  if (Matches(settings_, 115200, 2)) return AdapterMode::Envelope;
  if (Matches(settings_, 9600, 1)) return AdapterMode::Bare9600;
  if (Matches(settings_, 8192, 1)) return AdapterMode::Bare8192;
  return AdapterMode::Deaf;
}

void SimulatedPort::TakeEnvelope(const Bytes& written) {
  if (written.size() < 6) return;
  for (int i = 0; i < 4; ++i)
    if (written[static_cast<std::size_t>(i)] != kEnvelope[i]) return;
  const std::uint8_t count = written[4];
  const Bytes frame(written.begin() + 5, written.end());
  if ((count & kIso9141Init) && (count & 0x3F) == written.size()) {
    // The 5-baud initialisation of an ISO 9141 line. The adapter sends the byte behind the
    // envelope (the complement of the key byte) only once a unit answered the address with its
    // key bytes; that byte comes back, then the unit's complement of the address.
    if (faults_.On(Fault::Silence)) return;
    if (const auto closing = obd_.HearSlowInit(kIso9141Address, Now()))
      Queue({frame[0], *closing}, reads_ + 1);
    return;
  }
  // The count covers the whole transmission; a mismatch means the adapter lost bytes and
  // drops the rest.
  if ((count & 0x7F) != written.size()) return;
  Queue(frame, reads_ + 1);
  PutOnLine(frame, LineMode::Kwp, (count & kFastInit) != 0);
}

void SimulatedPort::PutOnLine(const Bytes& frame, LineMode mode, bool wakeUp) {
  Bytes reply = AnswerOnLine(frame, mode, wakeUp);
  // An answer is complete by the next read; a late one misses that read's window.
  Queue(std::move(reply), reads_ + (faults_.On(Fault::LateReply) ? 2 : 1));
}

std::optional<std::uint8_t> SimulatedPort::AnswerSlowInit(std::uint8_t address) {
  if (faults_.On(Fault::Silence) || faults_.On(Fault::Unplugged)) return std::nullopt;
  return obd_.HearSlowInit(address, Now());
}

Bytes SimulatedPort::AnswerOnLine(const Bytes& frame, LineMode mode, bool wakeUp) {
  if (faults_.On(Fault::Silence)) return {};
  Shaping shaping;
  if (faults_.On(Fault::BadChecksum)) shaping.checksumSkew = 1;
  if (faults_.On(Fault::Negative))
    shaping.negativeCode = static_cast<std::uint8_t>(faults_.Parameter(Fault::Negative, 0x22));
  if (faults_.On(Fault::ResponsePending))
    shaping.pendingCount = faults_.Parameter(Fault::ResponsePending, 1);

  const Heard heard{frame, mode, wakeUp, Now()};
  Bytes reply;
  const auto hear = [&](Controller& unit) {
    const Bytes answer = unit.Hear(heard, shaping);
    reply.insert(reply.end(), answer.begin(), answer.end());
  };
  for (const auto& unit : bus_) hear(*unit);
  hear(immobilizer_);
  hear(sauo_);
  hear(obd_);
  if (reply.empty()) return reply;
  if (faults_.On(Fault::Garbage)) {
    const int count = std::clamp(faults_.Parameter(Fault::Garbage, 12), 1, 240);
    reply.assign(static_cast<std::size_t>(count), 0);
    for (std::uint8_t& b : reply) b = rng_.NextByte();
  }
  return reply;
}

void SimulatedPort::Queue(Bytes bytes, std::uint64_t visibleAtRead) {
  if (bytes.empty()) return;
  pending_.push_back({std::move(bytes), 0, visibleAtRead});
}

}  // namespace kd::sim
