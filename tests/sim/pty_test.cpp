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

#include "sim/elm327_sim.h"
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

// A line of text to the simulated ELM327, and its answer up to the prompt; how long that took.
std::string AskElm(int fd, const std::string& text, const std::function<void()>& serve,
                   std::int64_t* tookMs = nullptr) {
  const std::string line = text + "\r";
  EXPECT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  const auto start = std::chrono::steady_clock::now();
  std::string got;
  while (got.find('>') == std::string::npos &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    serve();
    pollfd p{fd, POLLIN, 0};
    char b[256];
    if (::poll(&p, 1, 1) <= 0) continue;
    const ssize_t n = ::read(fd, b, sizeof b);
    if (n > 0) got.append(b, static_cast<std::size_t>(n));
  }
  if (tookMs)
    *tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
  return got;
}

// Paced behind the simulated ELM327: the chip's commands come back at once, a request's answer
// no earlier than its K-line could carry the framed request and the controller's reply.
TEST(Pty, ThePacedElm327AnswersAtTheKLinesPace) {
  SimulatedPort car(6);
  Elm327Sim chip(car);
  PtyOptions options;
  options.front = &chip;
  options.frontSettings = {38400, 'n', 8, 1};
  options.pace = true;
  PtyServer server(car, options);
  std::string error;
  ASSERT_TRUE(server.Open(error)) << error;
  const int fd = ::open(server.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  SetLine(fd, B38400, false);
  auto serve = [&] { server.Step(1); };
  for (const char* command : {"AT E0", "AT H1", "AT SP 5", "AT SH 81 10 F1"})
    EXPECT_NE(AskElm(fd, command, serve).find("OK"), std::string::npos) << command;
  EXPECT_NE(AskElm(fd, "81", serve).find("C1"), std::string::npos);

  // 21 01 framed is six bytes, M7.9.7's answer 86: 92 bytes of 10 bits at 10,400 baud, 88 ms,
  // before P2min and P4min are counted.
  std::int64_t tookMs = 0;
  const std::string answer = AskElm(fd, "21 01", serve, &tookMs);
  EXPECT_NE(answer.find("61 01"), std::string::npos) << answer;
  EXPECT_GE(tookMs, 88);
  // A command of the chip's own takes no K-line time.
  EXPECT_NE(AskElm(fd, "AT H1", serve, &tookMs).find("OK"), std::string::npos);
  EXPECT_LT(tookMs, 80);
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
