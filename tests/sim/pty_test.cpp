// The simulator on a pseudo-terminal, opened from outside as a serial port is: in process
// through PtyServer, and as the klinediag-sim program.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <string>

#include "sim/pty_server.h"
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

// Raw, at the given speed and stop bits, as a serial-port library sets a terminal.
void SetLine(int fd, speed_t speed, bool twoStopBits) {
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
  t.c_cflag = twoStopBits ? (t.c_cflag | CSTOPB) : (t.c_cflag & ~static_cast<tcflag_t>(CSTOPB));
  ::tcsetattr(fd, TCSANOW, &t);
}

// Writes `bytes`, then gathers what comes back within `ms` (or `enough` bytes), running `serve`
// between polls when the server shares this thread. The time until the last byte in `tookMs`.
Bytes Talk(int fd, const Bytes& bytes, int ms, std::size_t enough,
           const std::function<void()>& serve, std::int64_t* tookMs = nullptr) {
  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  const auto start = std::chrono::steady_clock::now();
  Bytes got;
  while (got.size() < enough &&
         std::chrono::steady_clock::now() - start < std::chrono::milliseconds(ms)) {
    if (serve) serve();
    pollfd p{fd, POLLIN, 0};
    std::uint8_t b[256];
    if (::poll(&p, 1, 5) <= 0) continue;
    const ssize_t n = ::read(fd, b, sizeof b);
    if (n > 0) got.insert(got.end(), b, b + n);
    if (tookMs)
      *tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count();
  }
  return got;
}

TEST(Pty, FollowsTheSettingsTheProgramGivesTheTerminalAndDelaysLateAnswers) {
  SimulatedPort port(1);
  PtyOptions options;
  options.lateDelayMs = 200;
  PtyServer server(port, options);
  std::string error;
  ASSERT_TRUE(server.Open(error)) << error;
  const int fd = ::open(server.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  auto serve = [&] { server.Step(5); };
  const Bytes frame = KwpRequest(0x10, {0x3E, 0x01});

  SetLine(fd, B115200, true);
  const Bytes got = Talk(fd, Envelope(frame), 2000, frame.size() + 5, serve);
  ASSERT_EQ(got.size(), frame.size() + 5);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), got.begin()));
  EXPECT_EQ(KwpService(Bytes(got.begin() + 6, got.end()), 0x10), Bytes{0x7E});

  SetLine(fd, B115200, false);
  EXPECT_TRUE(Talk(fd, Envelope(frame), 150, 1, serve).empty()) << "one stop bit: not served";

  SetLine(fd, B115200, true);
  port.SetFault(Fault::LateReply);
  std::int64_t tookMs = 0;
  EXPECT_EQ(Talk(fd, Envelope(frame), 2000, frame.size() + 5, serve, &tookMs).size(),
            frame.size() + 5);
  EXPECT_GE(tookMs, 150) << "the answer came with the echo";
  ::close(fd);
}

// klinediag-sim with `args`, standard output on a pipe; killed if the test leaves early.
struct Child {
  pid_t pid = -1;
  int out = -1;
  explicit Child(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    if ((pid = ::fork()) == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      std::vector<char*> argv{const_cast<char*>(KLINEDIAG_SIM_BINARY)};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    out = fds[0];
  }
  ~Child() {
    if (pid > 0) Exit(SIGKILL);
    ::close(out);
  }
  int Exit(int signal) {
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST(SimProgram, PrintsThePathServesItWithItsFaultsAndStopsCleanlyOnSigterm) {
  Child sim({"--pty", "--ecu", "8", "--fault", "negative=0x33"});
  std::string path;
  for (char c; ::read(sim.out, &c, 1) == 1 && c != '\n';) path += c;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0) << path;
  SetLine(fd, B115200, true);
  const Bytes frame = KwpRequest(0x10, {0x3E, 0x01});
  const Bytes got = Talk(fd, Envelope(frame), 2000, frame.size() + 7, nullptr);
  ::close(fd);
  ASSERT_EQ(got.size(), frame.size() + 7);
  EXPECT_EQ(KwpService(Bytes(got.begin() + 6, got.end()), 0x10), (Bytes{0x7F, 0x3E, 0x33}));
  EXPECT_EQ(sim.Exit(SIGTERM), 0);
}

}  // namespace
}  // namespace kd::sim::test
