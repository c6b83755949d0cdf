// Fast poll's read: the next request may go out as soon as the reply to the last one is whole
// and the line's rest time has passed. The adapter gives back the echo of the request's frame
// followed by the controller's reply; the reply's length is in its header (ISO 14230-2), so
// whether it is whole can be told byte by byte, and how long the line may still take from the
// timing in force.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kd::link {

// The K-line's timing parameters in milliseconds.
struct KwpTiming {
  double p2MinMs = 25;
  double p2MaxMs = 50;
  double p3MinMs = 55;
  double p4MinMs = 5;
  bool operator==(const KwpTiming&) const = default;
};

// ISO 14230-2's default timing, in force until AccessTimingParameters sets other values.
inline constexpr KwpTiming kIso14230Timing{};

// A byte at 10,400 baud takes 10 bits on the K-line.
inline constexpr double kKLineByteUs = 10.0 * 1e6 / 10400.0;

// The bytes' time on the line: each byte's bits and P4min between them.
std::int64_t LineTimeUs(std::size_t bytes, double p4MinMs);

// The whole frame's length (header, data, checksum) from its first bytes, the format byte first;
// nothing while those bytes cannot tell yet (none, or a length byte still to come), and never
// for a format that carries no length (the exception mode, A1 A0 = 0 1).
std::optional<std::size_t> KwpFrameLength(std::span<const std::uint8_t> frame);
// The header's length of a format byte (1 to 4); nothing for the exception mode.
std::optional<std::size_t> KwpHeaderLength(std::uint8_t format);

// What the controller's session keeps as its timing, followed through the exchanges: the values
// an accepted AccessTimingParameters request set, the defaults again with a new session.
class TimingFollower {
 public:
  // One exchange: the frame written (the envelope's bytes included) and the bytes read back for
  // the frame written before it.
  void Exchange(std::span<const std::uint8_t> read, std::span<const std::uint8_t> written);
  const KwpTiming& Timing() const { return timing_; }

 private:
  KwpTiming timing_ = kIso14230Timing;
  // The timing asked for by the last request, until its answer says whether it holds.
  std::optional<KwpTiming> asked_;
  std::size_t askedEcho_ = 0;
};

// The timing an AccessTimingParameters request (service 0x83, "set values") asks for; `frame`
// starts at the format byte.
std::optional<KwpTiming> TimingAskedBy(std::span<const std::uint8_t> frame);

// One fast read: what has come back for a request written in the adapter's envelope.
class FastRead {
 public:
  enum class State {
    Waiting,   // the reply is not whole yet
    Whole,     // the reply is whole: the next request may follow after P3min
    FallBack,  // nothing fast to do with it (a reply pending, a frame without length)
  };
  // Upper bound of the time-out's P2max: never later than a normal tick would read the reply.
  static constexpr double kLongestP2MaxMs = 300;
  // The most a read window takes: the echo and the reply together.
  static constexpr std::size_t kLongestRead = 200;
  // What the PC adds between the line and the program (a USB adapter's latency).
  static constexpr std::int64_t kHostSlackUs = 20000;

  FastRead(std::size_t echo, const KwpTiming& timing) : echo_(echo), timing_(timing) {}

  // The request's frame in its envelope: the echo is the frame behind the envelope's five bytes.
  // Nothing for what is not an enveloped KWP2000 request without a wake-up or initialisation.
  static std::optional<FastRead> For(std::span<const std::uint8_t> written,
                                     const KwpTiming& timing);

  State Look(std::span<const std::uint8_t> read) const;
  // How many bytes the next read needs for the reply to say more (at least 1 while Waiting).
  std::size_t Missing(std::span<const std::uint8_t> read) const;
  // Microseconds after the write ended by which the reply must be whole: the request's and the
  // reply's time on the line (until its header has come, the longest reply's), P2max, and the
  // PC's slack.
  std::int64_t DeadlineUs(std::span<const std::uint8_t> read) const;
  // Microseconds after the write began before which the reply cannot be whole: the request's
  // bytes P4min apart, P2min and the reply's bytes on the line (until its length is known, the
  // shortest frame what has come of its header allows). The line's bits and the least time the
  // standard lets the tester and the controller take: a read before that moment can only wait.
  std::int64_t EarliestWholeUs(std::span<const std::uint8_t> read) const;
  std::int64_t RestUs() const { return static_cast<std::int64_t>(timing_.p3MinMs * 1000); }
  std::size_t Echo() const { return echo_; }

 private:
  std::size_t echo_;
  KwpTiming timing_;
};

}  // namespace kd::link
