#include "qt/qt_serial_port.h"

#include <QElapsedTimer>
#include <algorithm>

#ifndef _WIN32
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#endif

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace kd::qt {

namespace {

std::optional<QSerialPort::Parity> ParityOf(char p) {
  switch (p) {
    case 'n':
      return QSerialPort::NoParity;
    case 'o':
      return QSerialPort::OddParity;
    case 'e':
      return QSerialPort::EvenParity;
    case 'm':
      return QSerialPort::MarkParity;
    case 's':
      return QSerialPort::SpaceParity;
    default:
      return std::nullopt;
  }
}

std::optional<QSerialPort::DataBits> DataBitsOf(int bits) {
  switch (bits) {
    case 5:
      return QSerialPort::Data5;
    case 6:
      return QSerialPort::Data6;
    case 7:
      return QSerialPort::Data7;
    case 8:
      return QSerialPort::Data8;
    default:
      return std::nullopt;
  }
}

std::optional<QSerialPort::StopBits> StopBitsOf(int bits) {
  switch (bits) {
    case 1:
      return QSerialPort::OneStop;
    case 2:
      return QSerialPort::TwoStop;
    default:
      return std::nullopt;
  }
}

// Asks the serial driver to hand over each received byte at once. Only real serial drivers know
// the request; a pty or a driver without it refuses, and nothing changes.
bool RequestLowLatency(QSerialPort& port) {
#ifdef __linux__
  const int fd = static_cast<int>(port.handle());
  serial_struct serial{};
  if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  if (serial.flags & ASYNC_LOW_LATENCY) return true;
  serial.flags |= ASYNC_LOW_LATENCY;
  return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
  (void)port;
  return false;
#endif
}

// A tty whose device went away (a USB adapter pulled out, the far end of a pty closed) is hung up:
// its reads end at once with nothing, which QSerialPort reports as a read error with whatever
// errno was left, and every ioctl fails with EIO, which tells it from a passing error.
bool HungUp(const QSerialPort& port) {
#ifndef _WIN32
  const int fd = static_cast<int>(port.handle());
  int unread = 0;
  return fd >= 0 && ::ioctl(fd, FIONREAD, &unread) != 0 && errno == EIO;
#else
  (void)port;
  return false;
#endif
}

}  // namespace

link::OpenError ClassifyOpenError(const std::string& device, QSerialPort::SerialPortError error) {
  switch (error) {
    case QSerialPort::NoError:
      return link::OpenError::None;
    case QSerialPort::DeviceNotFoundError:
      return link::OpenError::Missing;
    case QSerialPort::PermissionError:
#ifndef _WIN32
      // The file itself refuses us: the user lacks the group; otherwise someone holds it.
      if (::access(device.c_str(), F_OK) != 0) return link::OpenError::Missing;
      if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        return link::OpenError::Permission;
      return link::OpenError::Busy;
#else
      (void)device;
      return link::OpenError::Busy;
#endif
    case QSerialPort::OpenError:
      return link::OpenError::Busy;
    default:
      return link::OpenError::Other;
  }
}

QtSerialPort::QtSerialPort(PortMap map) : map_(std::move(map)) {}

QtSerialPort::~QtSerialPort() {
  Close();
}

bool QtSerialPort::Open(int portNumber) {
  if (port_.isOpen()) port_.close();
  lost_ = false;
  applied_.reset();
  device_ = map_.Device(portNumber);
  openError_ = link::OpenError::Missing;
  if (device_.empty()) return false;
  port_.setPortName(QString::fromStdString(device_));
  port_.clearError();
  // QSerialPort takes the port exclusively (TIOCEXCL and a lock file on Unix, no sharing on
  // Windows): a second program on the same adapter would corrupt every exchange.
  const bool opened = OpenDevice();
  openError_ = opened ? link::OpenError::None : ClassifyOpenError(device_, port_.error());
  return opened;
}

bool QtSerialPort::OpenDevice() {
  port_.setReadBufferSize(kReadBufferBytes);
  if (!port_.open(QIODevice::ReadWrite)) return false;
  lowLatency_ = RequestLowLatency(port_);
  return true;
}

bool QtSerialPort::SetBreak(bool on) {
  if (!port_.isOpen()) return false;
  const bool done = port_.setBreakEnabled(on);
  if (!done) port_.clearError();
  return done;
}

bool QtSerialPort::IsOpen() const {
  return port_.isOpen();
}

bool QtSerialPort::Close() {
  lost_ = false;
  if (port_.isOpen()) port_.close();
  return !port_.isOpen();
}

bool QtSerialPort::ApplyLineSettings(const link::LineSettings& settings) {
  if (!port_.isOpen() || settings.baud <= 0) return false;
  const auto parity = ParityOf(settings.parity);
  const auto dataBits = DataBitsOf(settings.dataBits);
  const auto stopBits = StopBitsOf(settings.stopBits);
  if (!parity || !dataBits || !stopBits) return false;
  // 8192 baud is no standard rate: on Linux QSerialPort sets it through termios2 (BOTHER), which
  // USB adapters and ptys accept; a driver that cannot do it makes setBaudRate fail here.
  bool ok = port_.setBaudRate(settings.baud);
  ok = port_.setParity(*parity) && ok;
  ok = port_.setDataBits(*dataBits) && ok;
  ok = port_.setStopBits(*stopBits) && ok;
  ok = port_.setFlowControl(QSerialPort::NoFlowControl) && ok;
  if (ok) applied_ = settings;
  return ok;
}

void QtSerialPort::NoteLoss() {
  const auto error = port_.error();
  const bool gone =
      error == QSerialPort::ResourceError ||
      ((error == QSerialPort::ReadError || error == QSerialPort::WriteError) && HungUp(port_));
  if (!gone) return;
  port_.close();
  lost_ = true;
}

bool QtSerialPort::Recover() {
  port_.clearError();
  if (!OpenDevice()) {
    NoteReopen(false);
    return false;
  }
  lost_ = false;
  if (applied_) {
    const link::LineSettings settings = *applied_;
    ApplyLineSettings(settings);
  }
  RaiseDtr();
  RaiseRts();
  NoteReopen(true);
  return true;
}

void QtSerialPort::SetReadTimeout(int totalMs) {
  readTimeoutMs_ = totalMs > 0 ? totalMs : 0;
}

// Adapters on a pty or some USB bridges have no modem lines; the K-line adapter is powered from
// them where they exist, and nothing is lost where they do not, so a refusal is not an error.
void QtSerialPort::RaiseDtr() {
  if (port_.isOpen() && !port_.setDataTerminalReady(true)) port_.clearError();
}

void QtSerialPort::RaiseRts() {
  if (port_.isOpen() && !port_.setRequestToSend(true)) port_.clearError();
}

std::size_t QtSerialPort::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  if (!port_.isOpen() || maxBytes == 0) return 0;
  const auto wanted = static_cast<qint64>(maxBytes);
  QElapsedTimer clock;
  clock.start();
  while (port_.bytesAvailable() < wanted) {
    const qint64 left = readTimeoutMs_ - clock.elapsed();
    if (left <= 0) break;
    // False on time-out and on errors alike; either way the read ends with what has arrived.
    if (!port_.waitForReadyRead(static_cast<int>(left))) break;
  }
  const qint64 n = port_.read(reinterpret_cast<char*>(buffer), wanted);
  NoteLoss();
  port_.clearError();
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool QtSerialPort::HardError() const {
  const auto e = port_.error();
  return e != QSerialPort::NoError && e != QSerialPort::TimeoutError;
}

bool QtSerialPort::Drain(int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (port_.bytesToWrite() > 0) {
    // With no time left this still goes on while the driver takes bytes without waiting.
    const qint64 left = std::max<qint64>(0, timeoutMs - clock.elapsed());
    if (!port_.waitForBytesWritten(static_cast<int>(left))) break;
  }
  return port_.bytesToWrite() == 0;
}

// A frame counts as written once the driver has taken all of it; that happens at once unless
// its buffer is full (an adapter that stopped reading). Pending then means "bytes are still
// queued in QSerialPort", and WaitPendingWrite gives them the program's bounded wait.
link::WriteStatus QtSerialPort::Write(const std::uint8_t* data, std::size_t count) {
  if (!port_.isOpen() && !(lost_ && Recover())) return link::WriteStatus::Failed;
  port_.clearError();
  const auto n = static_cast<qint64>(count);
  if (n > 0 && port_.write(reinterpret_cast<const char*>(data), n) != n)
    return link::WriteStatus::Failed;
  if (Drain(0)) return link::WriteStatus::Written;
  if (HardError()) {
    NoteLoss();
    return link::WriteStatus::Failed;
  }
  port_.clearError();
  return link::WriteStatus::Pending;
}

void QtSerialPort::DiscardInput() {
  if (!port_.isOpen()) return;
  // Both what QSerialPort holds and what the driver still has (tcflush on Unix).
  port_.clear(QSerialPort::Input);
  port_.clearError();
}

bool QtSerialPort::WaitPendingWrite(int timeoutMs) {
  if (!port_.isOpen()) return false;
  port_.clearError();
  const bool done = Drain(timeoutMs);
  if (!HardError()) port_.clearError();
  return done;
}

}  // namespace kd::qt
