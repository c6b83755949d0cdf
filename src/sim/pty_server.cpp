#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "catalogue/ecu_catalogue.h"
#include "sim/elm327_sim.h"
#include "sim/tty_line.h"

namespace kd::sim {

namespace {

// The adapter's envelope as the pty sees the program's writes: what ends one, and the ISO 9141
// initialisation's count flag.
constexpr std::uint8_t kEnvelope[4] = {0x55, 0x56, 0x57, 0xAA};
constexpr std::uint8_t kIso9141Init = 0x40;

std::int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

link::LineSettings ExpectedSettings(std::uint32_t ecuType) {
  link::LineSettings s;
  s.parity = 'n';
  s.dataBits = 8;
  switch (catalogue::Lookup(ecuType).family) {
    case catalogue::LinkFamily::Escaped:
      s.baud = 9600;
      s.stopBits = 1;
      break;
    case catalogue::LinkFamily::Gm:
      s.baud = 8192;
      s.stopBits = 1;
      break;
    case catalogue::LinkFamily::Kwp2000:
      s.baud = 115200;
      s.stopBits = 2;
      break;
  }
  return s;
}

PtyServer::PtyServer(SimulatedPort& port, PtyOptions options)
    : port_(port), options_(options), startNs_(MonotonicNs()), cable_(port) {
  port_.SetClock([this] { return Elapsed(); });
}

PtyServer::~PtyServer() {
  port_.SetClock(nullptr);
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

std::int64_t PtyServer::Elapsed() const {
  return (MonotonicNs() - startNs_) / 1000000;
}

std::int64_t PtyServer::ElapsedUs() const {
  return (MonotonicNs() - startNs_) / 1000;
}

bool PtyServer::Open(std::string& error) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    error = std::string("no pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[256];
  if (::ptsname_r(master_, name, sizeof name) != 0) {
    error = std::string("no pseudo-terminal name: ") + std::strerror(errno);
    return false;
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) {
    error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
    return false;
  }
  // Raw until the program sets its own: no echo of what the adapter sends, no CR translation
  // of the escaped frames' terminator.
  termios t{};
  if (::tcgetattr(slave_, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (!port_.Open(1) && !port_.FaultOn(Fault::Unplugged)) {
    error = "the simulated adapter refused to open";
    return false;
  }
  if (options_.front && !options_.front->Open(1) && !port_.FaultOn(Fault::Unplugged)) {
    error = "the simulated adapter refused to open";
    return false;
  }
  return true;
}

bool PtyServer::Step(int waitMs) {
  if (options_.cable) return StepCable(waitMs);
  std::int64_t now = Elapsed();
  std::int64_t timeout = waitMs;
  if (!written_.empty()) timeout = std::min(timeout, lastByteMs_ + options_.gapMs - now);
  if (drainAtMs_) timeout = std::min(timeout, *drainAtMs_ - now);
  if (!due_.empty()) {
    // Rounded up: paced bytes never come early.
    const std::int64_t waitUs = due_.front().atUs - ElapsedUs();
    timeout = std::min<std::int64_t>(timeout, (std::max<std::int64_t>(waitUs, 0) + 999) / 1000);
  }

  pollfd p{master_, POLLIN, 0};
  const int ready = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(timeout, 0)));
  if (ready < 0 && errno != EINTR) return false;
  if (ready > 0 && (p.revents & POLLIN)) {
    std::uint8_t buffer[512];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
      written_.insert(written_.end(), buffer, buffer + n);
      lastByteMs_ = Elapsed();
    } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
      return false;
    }
  }

  now = Elapsed();
  if (options_.replugAfterMs > 0 && port_.FaultOn(Fault::Unplugged) &&
      now >= options_.replugAfterMs) {
    port_.ClearFault(Fault::Unplugged);
    if (!port_.IsOpen()) port_.Open(1);
    if (options_.front && !options_.front->IsOpen()) options_.front->Open(1);
  }
  if (!written_.empty() && (now - lastByteMs_ >= options_.gapMs || WriteComplete())) Deliver();
  if (drainAtMs_ && now >= *drainAtMs_) Drain();
  while (!due_.empty() && due_.front().atUs <= ElapsedUs()) {
    WriteBack(due_.front().bytes);
    due_.erase(due_.begin());
  }
  return true;
}

bool PtyServer::WriteComplete() const {
  if (!options_.pace || options_.front || written_.size() < 6) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (written_[i] != kEnvelope[i]) return false;
  const std::uint8_t count = written_[4];
  return written_.size() == (count & 0x7Fu) ||
         ((count & kIso9141Init) && written_.size() == (count & 0x3Fu));
}

std::size_t PtyServer::Waiting() const {
  return options_.front ? 0 : port_.Waiting();
}

void PtyServer::WriteBack(const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (w <= 0) break;  // nobody reads the slave: what does not fit is lost, as on a line
    done += static_cast<std::size_t>(w);
  }
}

// The cable's line: the rate the program set is read as each byte comes (a pseudo-terminal
// carries the rate, not the signal), and between bytes so that the 5-baud pattern is seen.
bool PtyServer::StepCable(int waitMs) {
  std::int64_t now = Elapsed();
  std::int64_t timeout = std::min<std::int64_t>(waitMs, options_.ratePollMs);
  if (const auto due = cable_.NextDue()) timeout = std::min(timeout, *due - now);
  pollfd p{master_, POLLIN, 0};
  const int ready = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(timeout, 0)));
  if (ready < 0 && errno != EINTR) return false;
  const auto line = ReadTtyLine(slave_);
  const int baud = line ? line->baud : 0;
  now = Elapsed();
  cable_.Rate(baud, now);
  if (ready > 0 && (p.revents & POLLIN)) {
    std::uint8_t buffer[512];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0)
      cable_.Heard(Bytes(buffer, buffer + n), baud, now);
    else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
      return false;
  }
  if (options_.replugAfterMs > 0 && port_.FaultOn(Fault::Unplugged) &&
      now >= options_.replugAfterMs)
    port_.ClearFault(Fault::Unplugged);
  cable_.Step(now);
  WriteBack(cable_.Due(now));
  return true;
}

void PtyServer::Deliver() {
  std::optional<link::LineSettings> settings;
  if (options_.followLineSettings) settings = ReadTtyLine(slave_);
  if (options_.front) {
    if (!settings) settings = options_.frontSettings;
    if (!(*settings == frontApplied_) && options_.front->ApplyLineSettings(*settings))
      frontApplied_ = *settings;
    options_.front->Write(written_.data(), written_.size());
    written_.clear();
    if (options_.pace) {
      DeliverElmPaced();
      return;
    }
    Drain();
    return;
  }
  if (!settings) settings = ExpectedSettings(port_.EcuType());
  if (!(*settings == port_.AppliedSettings())) port_.ApplyLineSettings(*settings);
  if (options_.pace && written_.size() >= 6 &&
      std::equal(std::begin(kEnvelope), std::end(kEnvelope), written_.begin())) {
    DeliverPaced();
    return;
  }
  port_.Write(written_.data(), written_.size());
  written_.clear();
  Drain();
}

void PtyServer::DeliverPaced() {
  const KwpController::LineTiming timing = port_.LineTiming();
  const Bytes frame(written_.begin() + 5, written_.end());
  const auto n = static_cast<double>(frame.size());
  const std::int64_t start = std::max(ElapsedUs(), lineFreeUs_);
  const auto requestEnd = start + static_cast<std::int64_t>(
                                      std::ceil(n * kKLineByteUs + (n - 1) * timing.p4Min * 1000));
  const bool tooEarly = start < lastAnswerEndUs_ + static_cast<std::int64_t>(timing.p3Min * 1000);
  lineFreeUs_ = requestEnd;
  if (tooEarly) {
    // The controller ignores a request inside P3min; the line still gives the bytes back.
    Carry(start, 0, frame, timing.p4Min * 1000);
    written_.clear();
    return;
  }
  port_.Write(written_.data(), written_.size());
  written_.clear();
  std::uint8_t buffer[4096];
  const std::size_t got = port_.Read(buffer, sizeof buffer);
  const Bytes out(buffer, buffer + got);
  // The adapter's echo of the frame first, then the controller's answer.
  const std::size_t echo = std::equal(frame.begin(), frame.end(), out.begin(),
                                      out.begin() + std::min(out.size(), frame.size()))
                               ? std::min(out.size(), frame.size())
                               : 0;
  if (echo > 0) Carry(start, 0, Bytes(out.begin(), out.begin() + echo), timing.p4Min * 1000);
  if (out.size() > echo) {
    const auto answer = static_cast<double>(out.size() - echo);
    const auto answerEnd = requestEnd + static_cast<std::int64_t>(
                                            std::ceil(timing.p2Min * 1000 + answer * kKLineByteUs));
    Carry(requestEnd, timing.p2Min * 1000, Bytes(out.begin() + echo, out.end()), 0);
    lastAnswerEndUs_ = answerEnd;
    lineFreeUs_ = answerEnd;
  }
  drainAtMs_.reset();
  if (port_.Waiting() > 0) drainAtMs_ = Elapsed() + options_.lateDelayMs;
}

void PtyServer::Carry(std::int64_t baseUs, double offsetUs, const Bytes& bytes, double gapUs) {
  auto in = [&](std::size_t i) {
    const auto before = static_cast<double>(i);
    return baseUs + static_cast<std::int64_t>(
                        std::ceil(offsetUs + (before + 1) * kKLineByteUs + before * gapUs));
  };
  if (bytes.empty()) return;
  if (!options_.paceBytes) {
    due_.push_back({in(bytes.size() - 1), bytes});
    return;
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) due_.push_back({in(i), Bytes{bytes[i]}});
}

void PtyServer::DeliverElmPaced() {
  std::uint8_t buffer[4096];
  const Bytes out(buffer, buffer + Io().Read(buffer, sizeof buffer));
  const auto* chip = dynamic_cast<const Elm327Sim*>(options_.front);
  const auto exchange = chip ? chip->LastLineExchange() : std::nullopt;
  if (!exchange) {
    WriteBack(out);  // the chip's own commands take no K-line time
    return;
  }
  // The chip waits P3min after the last answer and sends with P4 between bytes; the reply comes
  // P2min after the request.
  const KwpController::LineTiming timing = port_.LineTiming();
  const auto request = static_cast<double>(exchange->requestBytes);
  const std::int64_t start =
      std::max(ElapsedUs(), lastAnswerEndUs_ + static_cast<std::int64_t>(timing.p3Min * 1000));
  const auto requestEnd =
      start + static_cast<std::int64_t>(
                  std::ceil(request * kKLineByteUs + (request - 1) * timing.p4Min * 1000));
  const auto answer = static_cast<double>(exchange->replyBytes);
  const auto answerEnd = answer > 0 ? requestEnd + static_cast<std::int64_t>(std::ceil(
                                                       timing.p2Min * 1000 + answer * kKLineByteUs))
                                    : requestEnd;
  due_.push_back({answerEnd, out});
  lastAnswerEndUs_ = answerEnd;
  lineFreeUs_ = answerEnd;
}

void PtyServer::Drain() {
  // One read is one read window of the adapter: a late answer waits for the next.
  std::uint8_t buffer[4096];
  const std::size_t n = Io().Read(buffer, sizeof buffer);
  WriteBack(Bytes(buffer, buffer + n));
  drainAtMs_.reset();
  if (Waiting() > 0) drainAtMs_ = Elapsed() + options_.lateDelayMs;
}

}  // namespace kd::sim
