// The port worker: a tick's read window and write run on the worker's thread while the GUI
// thread goes on, the step and the outcome come back in order, and whatever the user does while
// an exchange is in flight ends it soundly.
#include "qt/port_worker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/port.h"

namespace kd::qt {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What the fake stack does and saw; shared between the test (GUI thread) and the worker.
struct Line {
  std::mutex mutex;
  std::deque<std::uint8_t> incoming;
  std::vector<std::string> calls;
  std::vector<Bytes> writes;
  int readMs = 60;  // a read window that ends by its time-out
  link::WriteStatus writeStatus = link::WriteStatus::Written;
  int pendingMs = 0;
  bool pendingCompletes = true;
  bool reopenOnWrite = false;
  bool open = false;
  QThread* thread = nullptr;  // where the stack was called last
  // A line that hands its bytes on one at a time, as a low-latency adapter does: each write
  // sets `trickle` on its way, a byte every `trickleUs` from the write on. A read then waits as a
  // serial port's does, up to its time-out, waking for each byte that comes; `wakes` counts them.
  Bytes trickle;
  int trickleUs = 0;
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::uint8_t>> due;
  int wakes = 0;
  int timeoutMs = 100;

  void Note(const std::string& call) {
    std::lock_guard lock(mutex);
    calls.push_back(call);
    thread = QThread::currentThread();
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex);
    return calls;
  }
};

class FakeStack : public link::SerialPort {
 public:
  explicit FakeStack(std::shared_ptr<Line> line) : line_(std::move(line)) {}
  bool Open(int) override {
    line_->Note("open");
    line_->open = true;
    return true;
  }
  bool IsOpen() const override { return line_->open; }
  bool Close() override {
    line_->Note("close");
    line_->open = false;
    return true;
  }
  bool ApplyLineSettings(const link::LineSettings&) override {
    line_->Note("settings");
    return true;
  }
  void SetReadTimeout(int ms) override {
    line_->Note("timeout");
    line_->timeoutMs = ms;
  }
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    line_->Note("read");
    if (line_->trickleUs > 0) return ReadTrickle(buffer, maxBytes);
    std::this_thread::sleep_for(std::chrono::milliseconds(line_->readMs));
    std::lock_guard lock(line_->mutex);
    std::size_t n = 0;
    while (n < maxBytes && !line_->incoming.empty()) {
      buffer[n++] = line_->incoming.front();
      line_->incoming.pop_front();
    }
    return n;
  }
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override {
    line_->Note("write");
    if (line_->reopenOnWrite) NoteReopen(true);
    std::lock_guard lock(line_->mutex);
    line_->writes.emplace_back(data, data + count);
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < line_->trickle.size(); ++i)
      line_->due.emplace_back(
          now + std::chrono::microseconds(line_->trickleUs * static_cast<int>(i + 1)),
          line_->trickle[i]);
    return line_->writeStatus;
  }
  bool WaitPendingWrite(int) override {
    line_->Note("wait");
    std::this_thread::sleep_for(std::chrono::milliseconds(line_->pendingMs));
    return line_->pendingCompletes;
  }
  void DiscardInput() override { line_->Note("discard"); }

 private:
  std::size_t ReadTrickle(std::uint8_t* buffer, std::size_t maxBytes) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(line_->timeoutMs);
    std::unique_lock lock(line_->mutex);
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      while (!line_->due.empty() && line_->due.front().first <= now) {
        line_->incoming.push_back(line_->due.front().second);
        line_->due.erase(line_->due.begin());
      }
      if (line_->incoming.size() >= maxBytes || now >= end) break;
      const auto next = line_->due.empty() ? end : std::min(end, line_->due.front().first);
      lock.unlock();
      std::this_thread::sleep_until(next);
      lock.lock();
      ++line_->wakes;
    }
    std::size_t n = 0;
    while (n < maxBytes && !line_->incoming.empty()) {
      buffer[n++] = line_->incoming.front();
      line_->incoming.pop_front();
    }
    return n;
  }

  std::shared_ptr<Line> line_;
};

// Runs the GUI thread's event loop until `done` or `ms` have passed.
bool SpinUntil(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

class PortWorkerTest : public ::testing::Test {
 protected:
  PortWorkerTest()
      : line_(std::make_shared<Line>()),
        worker_([this] { return std::make_unique<FakeStack>(line_); }) {}

  // An exchange that records what it saw and writes `request`.
  bool StartExchange(const void* owner, Bytes request = {0x01, 0x02}) {
    return worker_.Start(
        owner, link::kReadLimit,
        [this, request](std::span<const std::uint8_t> read) {
          steppedOn_.emplace_back(read.begin(), read.end());
          stepThread_ = QThread::currentThread();
          return link::OutgoingFrame{request, true};
        },
        [this](link::WriteOutcome outcome) { outcomes_.push_back(outcome); });
  }
  bool Idle() const { return !worker_.InFlight(); }

  std::shared_ptr<Line> line_;
  PortWorker worker_;
  std::vector<Bytes> steppedOn_;
  std::vector<link::WriteOutcome> outcomes_;
  QThread* stepThread_ = nullptr;
  const int owner_ = 0;
};

TEST_F(PortWorkerTest, TheReadWindowRunsOffTheGuiThreadAndTheStepAndWriteFollowInOrder) {
  line_->incoming = {0xAA, 0xBB, 0xCC};
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(StartExchange(&owner_, {0x10, 0x20, 0x30}));
  // The read window takes 60 ms on the worker; starting it takes nothing on this thread.
  EXPECT_LT(clock.elapsed(), 30);
  EXPECT_TRUE(steppedOn_.empty()) << "no step before the read window closed";
  // The GUI thread's own timers run meanwhile.
  int probes = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&probes] { ++probes; });
  probe.start(5);
  ASSERT_TRUE(SpinUntil([this] { return !outcomes_.empty(); }));
  EXPECT_GE(probes, 3) << "the event loop went on during the read window";

  ASSERT_EQ(steppedOn_.size(), 1u);
  EXPECT_EQ(steppedOn_[0], (Bytes{0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(stepThread_, QThread::currentThread());
  EXPECT_NE(line_->thread, QThread::currentThread()) << "the stack is called on the worker";
  EXPECT_EQ(line_->Calls(), (std::vector<std::string>{"read", "discard", "write"}))
      << "what an earlier exchange left is dropped just before the new request";
  ASSERT_EQ(line_->writes.size(), 1u);
  EXPECT_EQ(line_->writes[0], (Bytes{0x10, 0x20, 0x30}));
  EXPECT_EQ(outcomes_, (std::vector{link::WriteOutcome::Written}));
  EXPECT_TRUE(Idle());
}

TEST_F(PortWorkerTest, NothingToWriteKeepsWhatArrivedAndWritesNothingTwice) {
  ASSERT_TRUE(StartExchange(&owner_, {}));
  ASSERT_TRUE(SpinUntil([this] { return !outcomes_.empty(); }));
  EXPECT_EQ(line_->Calls(), (std::vector<std::string>{"read", "write"}));
}

TEST_F(PortWorkerTest, NeverTwoExchangesAtOnce) {
  ASSERT_TRUE(StartExchange(&owner_));
  EXPECT_FALSE(StartExchange(&owner_)) << "a tick while one is in flight is skipped";
  const int other = 0;
  EXPECT_FALSE(StartExchange(&other)) << "also another window's";
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_EQ(steppedOn_.size(), 1u);
  EXPECT_EQ(outcomes_.size(), 1u);
  EXPECT_TRUE(StartExchange(&other));
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_EQ(outcomes_.size(), 2u);
}

TEST_F(PortWorkerTest, APendingWriteIsWaitedForOnTheWorker) {
  line_->writeStatus = link::WriteStatus::Pending;
  line_->pendingMs = 200;
  ASSERT_TRUE(StartExchange(&owner_));
  int probes = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&probes] { ++probes; });
  probe.start(10);
  ASSERT_TRUE(SpinUntil([this] { return !outcomes_.empty(); }));
  EXPECT_GE(probes, 15) << "the GUI thread ran through the 260 ms of read window and wait";
  EXPECT_EQ(outcomes_, (std::vector{link::WriteOutcome::Delayed}));

  line_->pendingCompletes = false;
  ASSERT_TRUE(StartExchange(&owner_));
  ASSERT_TRUE(SpinUntil([this] { return outcomes_.size() == 2; }));
  EXPECT_EQ(outcomes_.back(), link::WriteOutcome::DelayedFailed);
}

TEST_F(PortWorkerTest, AMarkedWriteIsNotWaitedFor) {
  line_->writeStatus = link::WriteStatus::Pending;
  ASSERT_TRUE(worker_.Start(
      &owner_, link::kReadLimit,
      [](std::span<const std::uint8_t>) {
        return link::OutgoingFrame{{0x81}, false};
      },
      [this](link::WriteOutcome o) { outcomes_.push_back(o); }));
  ASSERT_TRUE(SpinUntil([this] { return !outcomes_.empty(); }));
  EXPECT_EQ(outcomes_, (std::vector{link::WriteOutcome::Failed}));
  const auto calls = line_->Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "wait"), 0);
}

// A type, port or configuration change reopens the port: the exchange in flight is cancelled,
// the port is configured after the worker ended what it was doing, and the next tick runs.
TEST_F(PortWorkerTest, ConfiguringDuringTheReadWindowCancelsTheExchange) {
  line_->incoming = {0x55};
  ASSERT_TRUE(StartExchange(&owner_));
  QThread::msleep(10);  // the worker is inside the read window
  EXPECT_TRUE(worker_.Close());
  EXPECT_TRUE(worker_.Open(3));
  EXPECT_TRUE(worker_.IsOpen());
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_TRUE(steppedOn_.empty()) << "no step on the old line's bytes";
  EXPECT_TRUE(outcomes_.empty());
  EXPECT_TRUE(line_->writes.empty());
  EXPECT_EQ(line_->Calls(), (std::vector<std::string>{"read", "close", "open"}));
  ASSERT_TRUE(StartExchange(&owner_));
  ASSERT_TRUE(SpinUntil([this] { return !outcomes_.empty(); }));
  EXPECT_EQ(steppedOn_.size(), 1u);
}

TEST_F(PortWorkerTest, ConfiguringDuringThePendingWriteDropsItsOutcome) {
  line_->writeStatus = link::WriteStatus::Pending;
  line_->pendingMs = 150;
  ASSERT_TRUE(StartExchange(&owner_));
  ASSERT_TRUE(SpinUntil([this] { return steppedOn_.size() == 1; }));
  EXPECT_TRUE(worker_.ApplyLineSettings(*link::BuildLineSettings("9600,n,8,1")));
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_TRUE(outcomes_.empty());
  EXPECT_EQ(line_->Calls(),
            (std::vector<std::string>{"read", "discard", "write", "wait", "settings"}));
}

// A side window closed while its exchange is in flight: nothing of it runs afterwards, and the
// main window's next tick is free to go.
TEST_F(PortWorkerTest, AWindowThatWentAwayHearsNothing) {
  const int window = 0;
  ASSERT_TRUE(StartExchange(&window));
  worker_.Forget(&owner_);  // another window's going changes nothing
  worker_.Forget(&window);
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_TRUE(steppedOn_.empty());
  EXPECT_TRUE(outcomes_.empty());

  // A write that takes its time, so that the window goes while it runs.
  line_->writeStatus = link::WriteStatus::Pending;
  line_->pendingMs = 200;
  ASSERT_TRUE(StartExchange(&window));
  ASSERT_TRUE(SpinUntil([this] { return steppedOn_.size() == 1; }));
  worker_.Forget(&window);  // gone after its step, before its outcome
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_TRUE(outcomes_.empty());
}

TEST_F(PortWorkerTest, AStepThatThrowsWritesNothing) {
  ASSERT_TRUE(worker_.Start(
      &owner_, link::kReadLimit,
      [](std::span<const std::uint8_t>) -> link::OutgoingFrame { throw std::runtime_error("x"); },
      [this](link::WriteOutcome o) { outcomes_.push_back(o); }));
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_TRUE(outcomes_.empty());
  EXPECT_TRUE(line_->writes.empty());
}

TEST_F(PortWorkerTest, AReopeningIsHeardOnTheGuiThreadBeforeTheOutcome) {
  std::vector<std::string> heard;
  worker_.SetReopenListener([&heard](bool reopened) {
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    heard.push_back(reopened ? "reopened" : "missed");
  });
  line_->reopenOnWrite = true;
  ASSERT_TRUE(worker_.Start(
      &owner_, link::kReadLimit,
      [](std::span<const std::uint8_t>) {
        return link::OutgoingFrame{{0x01}, true};
      },
      [&heard](link::WriteOutcome) { heard.push_back("outcome"); }));
  ASSERT_TRUE(SpinUntil([&heard] { return heard.size() == 2; }));
  EXPECT_EQ(heard, (std::vector<std::string>{"reopened", "outcome"}));
}

// The link's own tick over the worker: the same texts and the same bytes as the synchronous one.
TEST_F(PortWorkerTest, PollTickShowsItsTextsWhenTheWriteEnded) {
  link::PortHandle handle(worker_);
  handle.exchanger = &worker_;
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  link::ExchangeBuffer buffer;
  line_->incoming = {0x01, 0x02};
  std::vector<Bytes> traced;
  handle.onTick = [&traced](std::span<const std::uint8_t> read, std::span<const std::uint8_t>) {
    traced.emplace_back(read.begin(), read.end());
  };
  link::PollTick(
      handle, buffer, false,
      [](link::ExchangeBuffer& b) {
        b.transmitFrame[0] = 0x42;
        b.dataLength = 0xFD;  // one byte to write
      },
      status);
  EXPECT_EQ(status.Text(link::kMessagePanel), "") << "nothing shown before the write ended";
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_EQ(status.Text(link::kMessagePanel), "Send Message");
  ASSERT_EQ(traced.size(), 1u);
  EXPECT_EQ(traced[0], (Bytes{0x01, 0x02}));
  EXPECT_EQ(buffer.receiveArea[0], 0x01);
  ASSERT_EQ(line_->writes.size(), 1u);
  EXPECT_EQ(line_->writes[0], (Bytes{0x42}));
}

// Fast poll's read: the step gets the echo and the whole reply and not a byte more, as soon as
// they are there; a reply that does not become whole in time gives no step, and what came of it
// is the start of the next read window, unless a configuring call made it another line's bytes.
TEST_F(PortWorkerTest, AFastReadStepsOnTheWholeReplyOrLeavesItToTheNextReadWindow) {
  line_->readMs = 2;
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  Bytes written{0x55, 0x56, 0x57, 0xAA, 0x0B};
  written.insert(written.end(), request.begin(), request.end());
  const auto fast = link::FastRead::For(written, link::kIso14230Timing);
  ASSERT_TRUE(fast);
  const Bytes reply{0x84, 0xF1, 0x10, 0x61, 0x01, 0x22, 0x33, 0x3C};
  Bytes whole = request;
  whole.insert(whole.end(), reply.begin(), reply.end());
  auto startFast = [&] {
    return worker_.StartFast(
        &owner_, *fast,
        [this](std::span<const std::uint8_t> read) {
          steppedOn_.emplace_back(read.begin(), read.end());
          return link::OutgoingFrame{{0x01}, true};
        },
        [this](link::WriteOutcome outcome) { outcomes_.push_back(outcome); });
  };

  // A fast read follows a write: its deadline counts from that write's end.
  ASSERT_TRUE(StartExchange(&owner_));
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  steppedOn_.clear();
  outcomes_.clear();
  line_->incoming.assign(whole.begin(), whole.end());
  line_->incoming.push_back(0xEE);
  ASSERT_TRUE(startFast());
  EXPECT_FALSE(StartExchange(&owner_)) << "one exchange at a time, fast or not";
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  ASSERT_EQ(steppedOn_.size(), 1u);
  EXPECT_EQ(steppedOn_[0], whole);
  EXPECT_EQ(line_->incoming.size(), 1u) << "the byte behind the reply is not read";

  // The header alone: the exchange gives up at its deadline with neither step nor outcome.
  line_->incoming.assign(whole.begin(), whole.begin() + 9);
  QElapsedTimer waited;
  waited.start();
  ASSERT_TRUE(startFast());
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_EQ(steppedOn_.size(), 1u);
  EXPECT_EQ(outcomes_.size(), 1u);
  EXPECT_GE(waited.elapsed(), 60) << "not before the line's time and P2max";
  // The rest comes late; the normal tick's read window takes it behind what the fast read had.
  line_->incoming.assign(whole.begin() + 9, whole.end());
  ASSERT_TRUE(StartExchange(&owner_));
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  ASSERT_EQ(steppedOn_.size(), 2u);
  EXPECT_EQ(steppedOn_[1], whole);

  line_->incoming.assign(whole.begin(), whole.begin() + 9);
  ASSERT_TRUE(startFast());
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_EQ(steppedOn_.size(), 2u);
  worker_.Open(1);
  line_->incoming = {0x42};
  ASSERT_TRUE(StartExchange(&owner_));
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  ASSERT_EQ(steppedOn_.size(), 3u);
  EXPECT_EQ(steppedOn_[2], (Bytes{0x42})) << "an opening drops what the fast read had";
}

// A low-latency adapter hands the reply on a byte a millisecond. The fast read waits for the
// moment the line can have carried what it asks for, so the worker wakes a few times an exchange,
// not once a byte, and still steps on the whole reply as soon as its last byte is in.
TEST_F(PortWorkerTest, AFastReadOnALineThatHandsOnEachByteWakesAFewTimesNotOnceAByte) {
  const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
  Bytes written{0x55, 0x56, 0x57, 0xAA, 0x0B};
  written.insert(written.end(), request.begin(), request.end());
  // No P2min: the reply may follow the request's last bit at once, as M7.9.7's timing has it.
  const auto fast = link::FastRead::For(written, link::KwpTiming{0, 2000, 0.5, 0});
  ASSERT_TRUE(fast);
  const Bytes reply{0x8A, 0xF1, 0x10, 0x61, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x5A};
  Bytes whole = request;
  whole.insert(whole.end(), reply.begin(), reply.end());

  for (int round = 0; round < 3; ++round) {
    // 1 ms a byte: a little slower than the line's 0.96, as an adapter hands them on.
    line_->trickleUs = 1000;
    line_->trickle = whole;
    ASSERT_TRUE(StartExchange(&owner_, written));
    ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
    line_->trickle.clear();
    steppedOn_.clear();
    line_->wakes = 0;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(worker_.StartFast(
        &owner_, *fast,
        [&](std::span<const std::uint8_t> read) {
          steppedOn_.emplace_back(read.begin(), read.end());
          return link::OutgoingFrame{{}, true};
        },
        [](link::WriteOutcome) {}));
    ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
    ASSERT_EQ(steppedOn_.size(), 1u);
    EXPECT_EQ(steppedOn_[0], whole);
    // Reading from the start would wake for each of the 20 bytes.
    EXPECT_LE(line_->wakes, 5) << "round " << round;
    EXPECT_LT(clock.elapsed(), 80) << "the reply's 20 ms and P3min, not a time-out";
  }
}

// What a driver offers beyond the contract is reached through WithStack: on the worker, with the
// stack itself, after the exchange in flight has let go of it, and waited for.
TEST_F(PortWorkerTest, WithStackReachesTheStackOnItsThreadBetweenExchanges) {
  ASSERT_TRUE(StartExchange(&owner_));
  link::SerialPort* seen = nullptr;
  QThread* where = nullptr;
  std::vector<std::string> before;
  static_cast<link::SerialPort&>(worker_).WithStack([&](link::SerialPort& stack) {
    seen = &stack;
    where = QThread::currentThread();
    before = line_->Calls();
  });
  EXPECT_NE(dynamic_cast<FakeStack*>(seen), nullptr);
  EXPECT_NE(where, QThread::currentThread());
  EXPECT_EQ(before, (std::vector<std::string>{"read"})) << "after the read window, not inside it";
  ASSERT_TRUE(SpinUntil([this] { return Idle(); }));
  EXPECT_EQ(outcomes_.size(), 1u) << "the exchange goes on as if nothing had asked";
}

}  // namespace
}  // namespace kd::qt
