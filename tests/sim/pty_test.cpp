// The simulator on a pseudo-terminal, opened from outside as a serial port is: in process
// through PtyServer, and as the klinediag-sim program.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
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

// Each piece the slave side read: when, after the write, and how many bytes.
struct Piece {
  double ms;
  std::size_t bytes;
};

std::vector<Piece> Pieces(int fd, const Bytes& written, std::size_t expected) {
  // Before the write: the server may take the bytes before the write call has returned.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(::write(fd, written.data(), written.size()), static_cast<ssize_t>(written.size()));
  std::vector<Piece> pieces;
  std::size_t got = 0;
  while (got < expected && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    pollfd p{fd, POLLIN, 0};
    std::uint8_t b[256];
    if (::poll(&p, 1, 5) <= 0) continue;
    const ssize_t n = ::read(fd, b, sizeof b);
    if (n <= 0) continue;
    got += static_cast<std::size_t>(n);
    pieces.push_back(
        {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
             .count(),
         static_cast<std::size_t>(n)});
  }
  return pieces;
}

// The paced line never gives an answer before the K-line could have carried it: the request's
// bytes with P4min between them, P2min, the answer's bytes. Whole, it comes in one piece when its
// last bit is in; byte by byte, its first bytes come while the rest is still on the line.
TEST(Pty, ThePacedLineGivesTheAnswerWholeOrByteByByteNoEarlierThanTheLineCarriesIt) {
  for (const bool byteByByte : {false, true}) {
    SCOPED_TRACE(byteByByte ? "byte by byte" : "whole");
    SimulatedPort port(6);
    PtyOptions options;
    options.pace = true;
    options.paceBytes = byteByByte;
    PtyServer server(port, options);
    std::string error;
    ASSERT_TRUE(server.Open(error)) << error;
    struct Serving {
      PtyServer& server;
      std::atomic<bool> stop{false};
      std::thread thread{[this] {
        while (!stop) server.Step(1);
      }};
      ~Serving() {
        stop = true;
        thread.join();
      }
    } serving{server};
    const int fd = ::open(server.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    SetLine(fd, B115200, true);
    // The session first, with its wake-up; then P3min before the next request.
    const Bytes start = KwpRequest(0x10, {0x81});
    Pieces(fd, Envelope(start, 0x80), start.size() + 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const Bytes frame = KwpRequest(0x10, {0x21, 0x01});
    // M7.9.7's data behind the echo: 80 bytes, 77 ms on the line.
    constexpr std::size_t kAnswer = 80;
    const std::vector<Piece> pieces = Pieces(fd, Envelope(frame), frame.size() + kAnswer);
    std::size_t got = 0;
    for (const Piece& p : pieces) got += p.bytes;
    ASSERT_EQ(got, frame.size() + kAnswer);
    // The defaults: P4min 5 ms, P2min 25 ms; 10 bits a byte at 10,400 baud.
    const auto sent = static_cast<double>(frame.size());
    const double echoEnd = sent * kKLineByteUs / 1000 + (sent - 1) * 5.0;
    const double answerEnd = echoEnd + 25 + kAnswer * kKLineByteUs / 1000;
    EXPECT_GE(pieces.back().ms, answerEnd);
    std::size_t echoed = 0;
    const Piece* firstOfAnswer = nullptr;
    for (const Piece& p : pieces) {
      if (echoed >= frame.size()) {
        firstOfAnswer = &p;
        break;
      }
      echoed += p.bytes;
    }
    ASSERT_EQ(echoed, frame.size()) << "the echo and the answer come apart";
    ASSERT_NE(firstOfAnswer, nullptr);
    EXPECT_GE(firstOfAnswer->ms, echoEnd + 25 + kKLineByteUs / 1000);
    if (byteByByte) {
      // The answer's first byte is in some 76 ms before its last.
      EXPECT_LT(firstOfAnswer->ms, answerEnd - 40);
      EXPECT_GT(pieces.size(), 10u);
    } else {
      EXPECT_GE(firstOfAnswer->ms, answerEnd);
      EXPECT_EQ(firstOfAnswer, &pieces.back()) << "the answer in one piece";
    }
    ::close(fd);
  }
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

// Options that contradict each other end the program with status 2 before it serves anything;
// --pace-bytes serves as --pace does.
TEST(SimProgram, RefusesPacingWhereTheLineIsNotTheAdaptersAndPacesByteByByte) {
  const std::vector<std::vector<std::string>> refused{
      {"--pty", "--pace", "--adapter", "kline"},
      {"--pty", "--pace-bytes", "--adapter", "elm327"},
      {"--pty", "--pace", "--adapter", "elm327", "--obd-bus", "can11"}};
  for (const auto& args : refused) {
    Child sim(args);
    char c = 0;
    EXPECT_EQ(::read(sim.out, &c, 1), 0) << args[2] << " " << args[3] << ": no path printed";
    EXPECT_EQ(sim.Exit(0), 2) << args[2] << " " << args[3];
  }
  Child sim({"--pty", "--ecu", "1", "--pace-bytes"});
  std::string path;
  for (char c; ::read(sim.out, &c, 1) == 1 && c != '\n';) path += c;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0) << path;
  SetLine(fd, B115200, true);
  const Bytes frame = KwpRequest(0x10, {0x3E, 0x01});
  std::int64_t tookMs = 0;
  const Bytes got = Talk(fd, Envelope(frame), 2000, frame.size() + 5, nullptr, &tookMs);
  ::close(fd);
  ASSERT_EQ(got.size(), frame.size() + 5);
  EXPECT_EQ(KwpService(Bytes(got.begin() + 6, got.end()), 0x10), (Bytes{0x7E}));
  // Six bytes P4min 5 ms apart, P2min 25 ms, five bytes: 60 ms on the line.
  EXPECT_GE(tookMs, 60);
  EXPECT_EQ(sim.Exit(SIGTERM), 0);
}

}  // namespace
}  // namespace kd::sim::test
