#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "catalogue/ecu_catalogue.h"
#include "sim/tty_line.h"

namespace kd::sim {

namespace {

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
  if (!written_.empty() && now - lastByteMs_ >= options_.gapMs) Deliver();
  if (drainAtMs_ && now >= *drainAtMs_) Drain();
  return true;
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
    Drain();
    return;
  }
  if (!settings) settings = ExpectedSettings(port_.EcuType());
  if (!(*settings == port_.AppliedSettings())) port_.ApplyLineSettings(*settings);
  port_.Write(written_.data(), written_.size());
  written_.clear();
  Drain();
}

void PtyServer::Drain() {
  // One read is one read window of the adapter: a late answer waits for the next.
  std::uint8_t buffer[4096];
  const std::size_t n = Io().Read(buffer, sizeof buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(master_, buffer + done, n - done);
    if (w <= 0) break;  // nobody reads the slave: what does not fit is lost, as on a line
    done += static_cast<std::size_t>(w);
  }
  drainAtMs_.reset();
  if (Waiting() > 0) drainAtMs_ = Elapsed() + options_.lateDelayMs;
}

}  // namespace kd::sim
