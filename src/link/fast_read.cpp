#include "link/fast_read.h"

#include <algorithm>
#include <cmath>

#include "link/kwp.h"

namespace kd::link {

namespace {

constexpr std::uint8_t kStartCommunication = 0x81;
constexpr std::uint8_t kAccessTiming = 0x83;
constexpr std::uint8_t kSetValues = 0x03;
constexpr std::uint8_t kResponsePending = 0x78;

// Where the service identifier stands in a frame, once its header has come.
std::optional<std::size_t> ServiceAt(std::span<const std::uint8_t> frame) {
  if (frame.empty()) return std::nullopt;
  const auto header = KwpHeaderLength(frame[0]);
  if (!header || frame.size() <= *header) return std::nullopt;
  return header;
}

}  // namespace

std::int64_t LineTimeUs(std::size_t bytes, double p4MinMs) {
  if (bytes == 0) return 0;
  const double us =
      static_cast<double>(bytes) * kKLineByteUs + static_cast<double>(bytes - 1) * p4MinMs * 1000.0;
  return static_cast<std::int64_t>(std::ceil(us));
}

std::optional<std::size_t> KwpHeaderLength(std::uint8_t format) {
  const std::uint8_t mode = format >> 6;
  if (mode == 0b01) return std::nullopt;
  const std::size_t lengthByte = (format & 0x3F) == 0 ? 1 : 0;
  return (mode == 0b00 ? 1 : 3) + lengthByte;
}

std::optional<std::size_t> KwpFrameLength(std::span<const std::uint8_t> frame) {
  if (frame.empty()) return std::nullopt;
  const auto header = KwpHeaderLength(frame[0]);
  if (!header) return std::nullopt;
  std::size_t data = frame[0] & 0x3F;
  if (data == 0) {
    if (frame.size() < *header) return std::nullopt;
    data = frame[*header - 1];
  }
  return *header + data + 1;
}

std::optional<KwpTiming> TimingAskedBy(std::span<const std::uint8_t> frame) {
  const auto at = ServiceAt(frame);
  if (!at || frame.size() < *at + 7) return std::nullopt;
  if (frame[*at] != kAccessTiming || frame[*at + 1] != kSetValues) return std::nullopt;
  // ISO 14230-3's resolutions: P2min, P3min, P4min in 0.5 ms, P2max in 25 ms.
  return KwpTiming{frame[*at + 2] * 0.5, frame[*at + 3] * 25.0, frame[*at + 4] * 0.5,
                   frame[*at + 6] * 0.5};
}

void TimingFollower::Exchange(std::span<const std::uint8_t> read,
                              std::span<const std::uint8_t> written) {
  if (asked_) {
    if (read.size() > askedEcho_) {
      const auto reply = read.subspan(askedEcho_);
      const auto at = ServiceAt(reply);
      if (at && reply[*at] == Add8(kAccessTiming, 0x40)) timing_ = *asked_;
    }
    asked_.reset();
  }
  if (written.size() <= 5 ||
      !std::equal(std::begin(kEnvelope), std::end(kEnvelope), written.begin()))
    return;
  const auto frame = written.subspan(5);
  const auto at = ServiceAt(frame);
  if (at && frame[*at] == kStartCommunication) timing_ = kIso14230Timing;
  asked_ = TimingAskedBy(frame);
  askedEcho_ = frame.size();
}

std::optional<FastRead> FastRead::For(std::span<const std::uint8_t> written,
                                      const KwpTiming& timing) {
  if (written.size() <= 5 ||
      !std::equal(std::begin(kEnvelope), std::end(kEnvelope), written.begin()))
    return std::nullopt;
  // A count with its wake-up or initialisation bits asks the adapter for more than the frame.
  if (written[4] != written.size()) return std::nullopt;
  const auto frame = written.subspan(5);
  const auto at = ServiceAt(frame);
  if (!at || frame[*at] == kStartCommunication) return std::nullopt;
  return FastRead(frame.size(), timing);
}

FastRead::State FastRead::Look(std::span<const std::uint8_t> read) const {
  if (read.size() <= echo_) return State::Waiting;
  const auto reply = read.subspan(echo_);
  if (!KwpHeaderLength(reply[0])) return State::FallBack;
  const auto length = KwpFrameLength(reply);
  if (!length || reply.size() < *length) return State::Waiting;
  // A controller that asks for more time answers twice; the normal tick reads both.
  const std::size_t at = *KwpHeaderLength(reply[0]);
  if (*length > at + 2 && reply[at] == 0x7F && reply[at + 2] == kResponsePending)
    return State::FallBack;
  return State::Whole;
}

std::size_t FastRead::Missing(std::span<const std::uint8_t> read) const {
  if (read.size() <= echo_) return echo_ + 1 - read.size();
  const auto reply = read.subspan(echo_);
  const auto header = KwpHeaderLength(reply[0]);
  if (!header) return 0;
  const std::size_t wanted = KwpFrameLength(reply).value_or(*header);
  return wanted > reply.size() ? wanted - reply.size() : 0;
}

std::int64_t FastRead::DeadlineUs(std::span<const std::uint8_t> read) const {
  const double p2Max = std::min(timing_.p2MaxMs, kLongestP2MaxMs);
  const std::int64_t us =
      LineTimeUs(echo_, timing_.p4MinMs) + static_cast<std::int64_t>(p2Max * 1000) + kHostSlackUs;
  // An adapter may hand the reply on only once it is whole: until its header has come, the
  // longest reply a read window takes may still be on the line.
  std::size_t reply = kLongestRead > echo_ ? kLongestRead - echo_ : 0;
  if (read.size() > echo_)
    if (const auto length = KwpFrameLength(read.subspan(echo_))) reply = *length;
  return us + LineTimeUs(reply, 0);
}

std::int64_t FastRead::EarliestWholeUs(std::span<const std::uint8_t> read) const {
  // The shortest frame: a format byte with a length, one data byte, the checksum.
  std::size_t reply = 3;
  if (read.size() > echo_) {
    const auto frame = read.subspan(echo_);
    if (const auto length = KwpFrameLength(frame))
      reply = *length;
    else if (const auto header = KwpHeaderLength(frame[0]))
      reply = *header + 1;  // a length byte still to come may say no data
  }
  return LineTimeUs(echo_, timing_.p4MinMs) + static_cast<std::int64_t>(timing_.p2MinMs * 1000) +
         LineTimeUs(reply, 0);
}

}  // namespace kd::link
