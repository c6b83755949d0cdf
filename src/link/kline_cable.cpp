#include "link/kline_cable.h"

#include <algorithm>
#include <array>

namespace kd::link {

namespace {

constexpr std::uint8_t kEnvelope[4] = {0x55, 0x56, 0x57, 0xAA};
constexpr std::uint8_t kFastInitFlag = 0x80;
constexpr std::uint8_t kSlowInitFlag = 0x40;
constexpr std::uint8_t kSync = 0x55;
constexpr std::uint8_t kAccessTiming = 0x83;
constexpr int kKwpBaud = 10400;
// The most a write takes off the line in front of itself.
constexpr std::size_t kMaxWaiting = 4096;
// How long before the end of the wake-up pattern its echo is taken off the line.
constexpr std::int64_t kDiscardLeadUs = 3000;

bool IsKwpContract(const LineSettings& s) {
  return s.baud == 115200 && s.dataBits == 8 && s.stopBits == 2 &&
         (s.parity == 'n' || s.parity == 'N');
}

// Where a KWP2000 frame's service identifier stands: behind the length byte of the long form.
std::size_t ServiceAt(const std::vector<std::uint8_t>& frame, std::size_t at = 0) {
  return at + ((frame[at] & 0x3F) == 0 ? 4 : 3);
}

}  // namespace

KLineCable::KLineCable(SerialPort& device, LineClock& clock, Timing timing, FastInitMethod method)
    : Adapter(device), clock_(clock), timing_(timing), method_(method), p4Us_(timing.p4Us) {}

LineSettings KLineCable::WireSettings(const LineSettings& core) {
  if (IsKwpContract(core)) return {kKwpBaud, 'n', 8, 1};
  return core;
}

std::int64_t KLineCable::ByteUs(int baud) const {
  return baud > 0 ? 10 * 1000000LL / baud : 0;
}

bool KLineCable::Open(int portNumber) {
  toCore_.clear();
  echo_ = Echo::None;
  p4Us_ = timing_.p4Us;
  askedP4Us_.reset();
  const bool opened = Device().Open(portNumber);
  // The line is taken as busy until W5 has passed since it was opened.
  lastActivityUs_ = clock_.NowUs();
  return opened;
}

bool KLineCable::Close() {
  toCore_.clear();
  return Device().Close();
}

bool KLineCable::ApplyLineSettings(const LineSettings& settings) {
  mode_ = IsKwpContract(settings) ? Mode::Kwp : Mode::Bare;
  wire_ = WireSettings(settings);
  return Device().ApplyLineSettings(wire_);
}

void KLineCable::SetReadTimeout(int totalMs) {
  coreTimeoutMs_ = std::max(totalMs, 0);
  Device().SetReadTimeout(coreTimeoutMs_);
}

std::vector<std::uint8_t> KLineCable::ReadFor(std::size_t count, std::int64_t waitUs) {
  std::vector<std::uint8_t> got;
  const std::int64_t deadline = clock_.NowUs() + waitUs;
  std::array<std::uint8_t, 256> chunk{};
  while (got.size() < count) {
    const std::int64_t left = deadline - clock_.NowUs();
    if (left <= 0) break;
    Device().SetReadTimeout(static_cast<int>((left + 999) / 1000));
    const std::size_t n = Device().Read(chunk.data(), std::min(chunk.size(), count - got.size()));
    got.insert(got.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    // A device that returns at once with nothing must not spin: let a little time pass.
    if (n == 0) clock_.SleepUs(std::min<std::int64_t>(1000, deadline - clock_.NowUs()));
  }
  Device().SetReadTimeout(coreTimeoutMs_);
  if (!got.empty()) NoteActivity();
  return got;
}

std::vector<std::uint8_t> KLineCable::ReadWaiting() {
  std::vector<std::uint8_t> got;
  std::array<std::uint8_t, 256> chunk{};
  // One millisecond, not zero: a serial driver hands over what it holds only while waited on.
  // A line that never falls quiet (noise, a babbling unit) is read no further than a buffer's
  // worth, so that a write always goes out.
  Device().SetReadTimeout(1);
  while (got.size() < kMaxWaiting) {
    const std::size_t n = Device().Read(chunk.data(), chunk.size());
    if (n == 0) break;
    got.insert(got.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
  }
  Device().SetReadTimeout(coreTimeoutMs_);
  return got;
}

bool KLineCable::SendBytes(const std::vector<std::uint8_t>& bytes, std::int64_t gapUs) {
  // With no gap the frame goes out in one write, as the bridge sends it back to back.
  const std::size_t step = gapUs > 0 ? 1 : bytes.size();
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    if (at > 0) clock_.SleepUs(gapUs);
    const std::size_t n = std::min(step, bytes.size() - at);
    WriteStatus status = Device().Write(bytes.data() + at, n);
    if (status == WriteStatus::Pending && Device().WaitPendingWrite(1000))
      status = WriteStatus::Written;
    if (status != WriteStatus::Written) return false;
  }
  NoteActivity();
  return true;
}

bool KLineCable::Transmit(const std::vector<std::uint8_t>& bytes, std::int64_t gapUs) {
  if (bytes.empty()) return true;
  if (!SendBytes(bytes, gapUs)) return false;
  NoteWire(WireEvent::Kind::Sent, bytes);
  // By now all but the last byte has had a gap's time on the line.
  const std::int64_t wireUs =
      static_cast<std::int64_t>(gapUs > 0 ? 1 : bytes.size()) * ByteUs(wire_.baud);
  const auto echo = ReadFor(bytes.size(), wireUs + timing_.echoMarginUs);
  if (echo == bytes) {
    echo_ = Echo::Ok;
    toCore_.insert(toCore_.end(), bytes.begin(), bytes.end());
    return true;
  }
  // No echo: the line is not powered (no car on the cable) and nothing reached a controller.
  // A wrong one: another sender spoke at the same time; the core sees what the line carried.
  echo_ = echo.empty() ? Echo::Missing : Echo::Corrupt;
  if (!echo.empty()) {
    NoteWire(WireEvent::Kind::Received, echo);
    toCore_.insert(toCore_.end(), echo.begin(), echo.end());
  }
  return true;
}

void KLineCable::WaitIdle() {
  const std::int64_t idle = clock_.NowUs() - lastActivityUs_;
  if (idle < timing_.idleBeforeInitUs) clock_.SleepUs(timing_.idleBeforeInitUs - idle);
}

bool KLineCable::FastInit() {
  WaitIdle();
  NoteWire(WireEvent::Kind::FastInit);
  const std::int64_t start = clock_.NowUs();
  const std::int64_t highEnd = start + timing_.fastLowUs + timing_.fastHighUs;
  bool ok = true;
  if (method_ == FastInitMethod::ZeroByte) {
    if (!Device().ApplyLineSettings({kFastInitBaud, 'n', 8, 1})) return false;
    const std::uint8_t zero = 0x00;
    WriteStatus status = Device().Write(&zero, 1);
    if (status == WriteStatus::Pending && Device().WaitPendingWrite(1000))
      status = WriteStatus::Written;
    ok = status == WriteStatus::Written;
    // The byte's nine low bit times are the pulse; its stop bit already belongs to the high
    // time, so the rate changes back only once that bit has begun.
    clock_.SleepUs(start + timing_.fastLowUs + 1000000 / kFastInitBaud - clock_.NowUs());
    Device().ApplyLineSettings(wire_);
  } else {
    if (!Device().SetBreak(true)) return false;
    clock_.SleepUs(start + timing_.fastLowUs - clock_.NowUs());
    Device().SetBreak(false);
  }
  // The line gave the pattern back too; it is no part of any answer. Taken off just before the
  // high time ends, so that a bridge's latency has delivered it by then.
  clock_.SleepUs(highEnd - kDiscardLeadUs - clock_.NowUs());
  ReadWaiting();
  clock_.SleepUs(highEnd - clock_.NowUs());
  NoteActivity();
  return ok;
}

bool KLineCable::SlowInit(std::uint8_t complement) {
  WaitIdle();
  NoteWire(WireEvent::Kind::SlowInit, {kSlowInitAddress});
  Device().ApplyLineSettings({kSlowInitBaud, 'n', 8, 1});
  // Start bit, eight data bits from the lowest, stop bit: low is a break.
  bool ok = true;
  for (int bit = 0; bit < 10 && ok; ++bit) {
    const bool high = bit == 9 || (bit > 0 && ((kSlowInitAddress >> (bit - 1)) & 1));
    ok = Device().SetBreak(!high);
    clock_.SleepUs(timing_.slowBitUs);
  }
  Device().SetBreak(false);
  Device().ApplyLineSettings(wire_);
  // A device without a break cannot send the address; it says so by sending nothing at all.
  if (!ok) {
    echo_ = Echo::Missing;
    return false;
  }
  ReadWaiting();
  NoteActivity();
  const auto sync = ReadFor(1, timing_.syncWaitUs);
  std::vector<std::uint8_t> keys;
  if (sync.size() == 1 && sync[0] == kSync) keys = ReadFor(2, timing_.keyWaitUs);
  std::vector<std::uint8_t> heard = sync;
  heard.insert(heard.end(), keys.begin(), keys.end());
  if (!heard.empty()) NoteWire(WireEvent::Kind::Received, heard);
  // No unit answered the address: the adapter gives nothing back either.
  if (keys.size() != 2) {
    echo_ = Echo::None;
    return true;
  }
  clock_.SleepUs(timing_.w4Us);
  // The unit waits for the complement of its second key byte. The packet carries the
  // complement of 0x08, the key byte of ISO 9141-2 units; a unit with other key bytes gets its
  // own, and the core still reads the packet's byte as the echo, as the adapter gives it.
  const std::uint8_t mine = static_cast<std::uint8_t>(~keys[1]);
  const std::size_t before = toCore_.size();
  Transmit({mine}, 0);
  if (echo_ == Echo::Ok) toCore_[before] = complement;
  const auto closing = ReadFor(1, timing_.closingWaitUs);
  if (!closing.empty()) {
    NoteWire(WireEvent::Kind::Received, closing);
    toCore_.insert(toCore_.end(), closing.begin(), closing.end());
  }
  return true;
}

void KLineCable::WatchTiming(const std::vector<std::uint8_t>& frame) {
  askedP4Us_.reset();
  const std::size_t sid = ServiceAt(frame);
  if (sid + 1 >= frame.size() || frame[sid] != kAccessTiming) return;
  const std::uint8_t parameterSet = frame[sid + 1];
  if (parameterSet == 0x01) askedP4Us_ = timing_.p4Us;
  // Set given values: P2min, P2max, P3min, P3max, P4min (0.5 ms steps), then the checksum.
  if (parameterSet == 0x03 && sid + 7 < frame.size()) askedP4Us_ = frame[sid + 6] * 500LL;
}

void KLineCable::TakeTiming(const std::vector<std::uint8_t>& reply) {
  if (!askedP4Us_) return;
  for (std::size_t i = 0; i + 4 < reply.size(); ++i) {
    if ((reply[i] & 0xC0) != 0x80 || reply[i + 1] != 0xF1) continue;
    const std::size_t sid = ServiceAt(reply, i);
    if (sid >= reply.size()) continue;
    if (reply[sid] == kAccessTiming + 0x40) p4Us_ = *askedP4Us_;
    if (reply[sid] == kAccessTiming + 0x40 ||
        (reply[sid] == 0x7F && sid + 1 < reply.size() && reply[sid + 1] == kAccessTiming)) {
      askedP4Us_.reset();
      return;
    }
  }
}

std::size_t KLineCable::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  std::size_t n = 0;
  while (n < maxBytes && !toCore_.empty()) {
    buffer[n++] = toCore_.front();
    toCore_.pop_front();
  }
  if (n < maxBytes && IsOpen()) {
    Device().SetReadTimeout(coreTimeoutMs_);
    const std::size_t m = Device().Read(buffer + n, maxBytes - n);
    if (m > 0) {
      const std::vector<std::uint8_t> reply(buffer + n, buffer + n + m);
      NoteWire(WireEvent::Kind::Received, reply);
      TakeTiming(reply);
      NoteActivity();
      n += m;
    }
  }
  return n;
}

WriteStatus KLineCable::Write(const std::uint8_t* data, std::size_t count) {
  if (!IsOpen()) return WriteStatus::Failed;
  // Bytes that came after the last read (a late answer) stand in front of this echo, as they
  // would behind the adapter.
  if (auto late = ReadWaiting(); !late.empty()) {
    NoteWire(WireEvent::Kind::Received, late);
    TakeTiming(late);
    toCore_.insert(toCore_.end(), late.begin(), late.end());
  }
  echo_ = Echo::None;
  if (count == 0) return WriteStatus::Written;
  if (mode_ == Mode::Bare)
    return Transmit({data, data + count}, 0) ? WriteStatus::Written : WriteStatus::Failed;

  // What the adapter does not take (no envelope, a count that does not match) it drops.
  if (count < 6 || !std::equal(kEnvelope, kEnvelope + 4, data)) return WriteStatus::Written;
  const std::uint8_t countByte = data[4];
  if ((countByte & kSlowInitFlag) && (countByte & 0x3F) == count)
    return SlowInit(data[5]) ? WriteStatus::Written : WriteStatus::Failed;
  if ((countByte & 0x7F) != count) return WriteStatus::Written;
  const std::vector<std::uint8_t> frame(data + 5, data + count);
  if ((countByte & kFastInitFlag) && !FastInit()) return WriteStatus::Failed;
  WatchTiming(frame);
  return Transmit(frame, p4Us_) ? WriteStatus::Written : WriteStatus::Failed;
}

}  // namespace kd::link
