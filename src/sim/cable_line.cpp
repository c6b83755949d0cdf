#include "sim/cable_line.h"

namespace kd::sim {

namespace {

constexpr int kKwpBaud = 10400;
constexpr int kFastInitBaud = 360;
constexpr int kSlowInitBaud = 5;
constexpr std::uint8_t kIso9141Address = 0x33;

}  // namespace

void CableLine::Send(std::int64_t atMs, const Bytes& bytes) {
  if (!bytes.empty()) out_.emplace(atMs, bytes);
}

void CableLine::Heard(const Bytes& bytes, int baud, std::int64_t nowMs) {
  // An adapter that is not there powers no line: nothing comes back.
  if (car_.FaultOn(Fault::Unplugged) || bytes.empty()) return;
  Send(nowMs, bytes);
  if (baud == kFastInitBaud) {
    bool zero = true;
    for (std::uint8_t b : bytes) zero = zero && b == 0x00;
    if (zero) {
      wakeUp_ = true;
      kwp_.clear();
    }
    return;
  }
  if (baud == kKwpBaud) {
    for (std::uint8_t b : bytes) HearKwp(b, nowMs);
    return;
  }
  if (baud == 9600 || baud == 8192) {
    if (!bare_.empty() && bareBaud_ != baud) bare_.clear();
    bare_.insert(bare_.end(), bytes.begin(), bytes.end());
    bareBaud_ = baud;
    lastBareMs_ = nowMs;
  }
}

void CableLine::HearKwp(std::uint8_t byte, std::int64_t nowMs) {
  if (kwp_.empty() && closing_ && byte == static_cast<std::uint8_t>(~kKeyByte)) {
    Send(nowMs + kW4Ms, {*closing_});
    closing_.reset();
    return;
  }
  closing_.reset();
  // A KWP2000 frame starts with its format byte; anything else is an ISO 9141-2 frame, which
  // the quiet after it ends.
  if (!iso_.empty() || (kwp_.empty() && (byte & 0x80) == 0)) {
    iso_.push_back(byte);
    lastIsoMs_ = nowMs;
    return;
  }
  kwp_.push_back(byte);
  std::size_t length = kwp_[0] & 0x3F;
  std::size_t header = 3;
  if (length == 0) {
    if (kwp_.size() < 4) return;
    length = kwp_[3];
    header = 4;
  }
  if (kwp_.size() < header + length + 1) return;
  const Bytes frame = kwp_;
  kwp_.clear();
  const Bytes answer = car_.AnswerOnLine(frame, LineMode::Kwp, wakeUp_);
  wakeUp_ = false;
  Send(nowMs + (car_.FaultOn(Fault::LateReply) ? kLateMs : kP2Ms), answer);
}

void CableLine::Rate(int baud, std::int64_t nowMs) {
  if (baud == kSlowInitBaud) {
    if (!slowSince_) slowSince_ = nowMs;
    return;
  }
  if (!slowSince_) return;
  slowSince_.reset();
  kwp_.clear();
  iso_.clear();
  closing_ = car_.AnswerSlowInit(kIso9141Address);
  if (!closing_) return;
  Send(nowMs + kW1Ms, {0x55});
  Send(nowMs + kW1Ms + kKeyGapMs, {kKeyByte});
  Send(nowMs + kW1Ms + 2 * kKeyGapMs, {kKeyByte});
}

void CableLine::Step(std::int64_t nowMs) {
  if (!iso_.empty() && nowMs - lastIsoMs_ >= kIso9141GapMs) {
    const Bytes frame = iso_;
    iso_.clear();
    const Bytes answer = car_.AnswerOnLine(frame, LineMode::Kwp, false);
    Send(nowMs + (car_.FaultOn(Fault::LateReply) ? kLateMs : kP2Ms), answer);
  }
  if (bare_.empty() || nowMs - lastBareMs_ < kBareGapMs) return;
  const Bytes frame = bare_;
  bare_.clear();
  const Bytes answer =
      car_.AnswerOnLine(frame, bareBaud_ == 9600 ? LineMode::Escaped9600 : LineMode::Gm8192, false);
  Send(nowMs + (car_.FaultOn(Fault::LateReply) ? kLateMs : 0), answer);
}

Bytes CableLine::Due(std::int64_t nowMs) {
  Bytes out;
  while (!out_.empty() && out_.begin()->first <= nowMs) {
    const Bytes& b = out_.begin()->second;
    out.insert(out.end(), b.begin(), b.end());
    out_.erase(out_.begin());
  }
  return out;
}

std::optional<std::int64_t> CableLine::NextDue() const {
  if (out_.empty()) return std::nullopt;
  return out_.begin()->first;
}

}  // namespace kd::sim
