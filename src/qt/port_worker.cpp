#include "qt/port_worker.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "link/port.h"

namespace kd::qt {

namespace {

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

PortWorker::PortWorker(const Factory& factory) : guiContext_(std::make_unique<QObject>()) {
  thread_.setObjectName("klinediag-port");
  workerContext_ = new QObject;
  workerContext_->moveToThread(&thread_);
  thread_.start();
  QMetaObject::invokeMethod(
      workerContext_,
      [this, &factory] {
        stack_ = factory();
        // The stack reopens a lost device inside a write, on this thread; the listener (the
        // session trace) hears it on the GUI thread, ahead of the outcome of that write.
        stack_->SetReopenListener(
            [this](bool reopened) { OnGui([this, reopened] { NoteReopen(reopened); }); });
        stack_->SetWireListener([this](const link::WireEvent& event) {
          OnGui([this, event] {
            if (wireListener_) wireListener_(event);
          });
        });
      },
      Qt::BlockingQueuedConnection);
}

PortWorker::~PortWorker() {
  inFlight_.reset();
  QMetaObject::invokeMethod(
      workerContext_, [this] { stack_.reset(); }, Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
  delete workerContext_;
}

void PortWorker::OnWorker(std::function<void()> job) {
  QMetaObject::invokeMethod(workerContext_, std::move(job), Qt::QueuedConnection);
}

void PortWorker::OnGui(std::function<void()> job) {
  QMetaObject::invokeMethod(guiContext_.get(), std::move(job), Qt::QueuedConnection);
}

bool PortWorker::Dispatch(const std::function<void()>& event) {
  if (dispatcher_) return dispatcher_(event);
  try {
    event();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void PortWorker::Call(const std::function<void()>& job, bool configures) {
  if (configures && inFlight_) inFlight_->cancelled = true;
  QMetaObject::invokeMethod(
      workerContext_,
      [this, &job, configures] {
        // A new configuration makes what a fast read left behind another line's bytes.
        if (configures) carry_.clear();
        job();
        open_ = stack_->IsOpen();
        deviceName_ = stack_->DeviceName();
        openError_ = stack_->LastOpenError();
      },
      Qt::BlockingQueuedConnection);
}

void PortWorker::WithStack(const std::function<void(link::SerialPort&)>& job) {
  Call([this, &job] { job(*stack_); }, false);
}

bool PortWorker::Open(int portNumber) {
  bool ok = false;
  Call([&] { ok = stack_->Open(portNumber); }, true);
  return ok;
}

bool PortWorker::Close() {
  bool ok = false;
  Call([&] { ok = stack_->Close(); }, true);
  return ok;
}

bool PortWorker::ApplyLineSettings(const link::LineSettings& settings) {
  bool ok = false;
  Call([&] { ok = stack_->ApplyLineSettings(settings); }, true);
  return ok;
}

void PortWorker::SetReadTimeout(int totalMs) {
  Call([&] { stack_->SetReadTimeout(totalMs); }, true);
}

void PortWorker::RaiseDtr() {
  Call([&] { stack_->RaiseDtr(); }, true);
}

void PortWorker::RaiseRts() {
  Call([&] { stack_->RaiseRts(); }, true);
}

std::size_t PortWorker::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  std::size_t n = 0;
  Call([&] { n = stack_->Read(buffer, maxBytes); }, false);
  return n;
}

link::WriteStatus PortWorker::Write(const std::uint8_t* data, std::size_t count) {
  link::WriteStatus status = link::WriteStatus::Failed;
  Call([&] { status = stack_->Write(data, count); }, false);
  return status;
}

bool PortWorker::WaitPendingWrite(int timeoutMs) {
  bool ok = false;
  Call([&] { ok = stack_->WaitPendingWrite(timeoutMs); }, false);
  return ok;
}

bool PortWorker::SetBreak(bool on) {
  bool ok = false;
  Call([&] { ok = stack_->SetBreak(on); }, false);
  return ok;
}

void PortWorker::DiscardInput() {
  Call([&] { stack_->DiscardInput(); }, false);
}

bool PortWorker::Begin(const void* owner, Stepped stepped, Written written, std::uint64_t& id) {
  if (inFlight_) return false;
  id = ++lastId_;
  inFlight_ = Exchange{owner, id, std::move(stepped), std::move(written), false};
  return true;
}

bool PortWorker::Start(const void* owner, std::size_t readLimit, Stepped stepped, Written written) {
  std::uint64_t id = 0;
  if (!Begin(owner, std::move(stepped), std::move(written), id)) return false;
  OnWorker([this, id, readLimit] { RunReadWindow(id, readLimit); });
  return true;
}

bool PortWorker::StartFast(const void* owner, const link::FastRead& fast, Stepped stepped,
                           Written written) {
  std::uint64_t id = 0;
  if (!Begin(owner, std::move(stepped), std::move(written), id)) return false;
  OnWorker([this, id, fast] { RunFastRead(id, fast); });
  return true;
}

void PortWorker::Forget(const void* owner) {
  if (inFlight_ && inFlight_->owner == owner) inFlight_->cancelled = true;
}

// Worker thread: the read window, as the synchronous tick has it (the stack's read time-out).
void PortWorker::RunReadWindow(std::uint64_t id, std::size_t limit) {
  std::vector<std::uint8_t> bytes = std::move(carry_);
  carry_.clear();
  if (bytes.size() > limit) bytes.resize(limit);
  const std::size_t had = bytes.size();
  bytes.resize(limit);
  const std::size_t n = limit > had ? stack_->Read(bytes.data() + had, limit - had) : 0;
  bytes.resize(had + std::min(n, limit - had));
  open_ = stack_->IsOpen();
  OnGui([this, id, bytes = std::move(bytes)]() mutable { StepOnGui(id, std::move(bytes)); });
}

// Worker thread: the reply read in the pieces its header asks for, each read ending at the
// exchange's deadline; the step waits for P3min after the reply's last byte. Each read waits
// first for the moment the line can have carried what it asks for: a low-latency adapter hands
// the reply on a byte a millisecond, and a read opened earlier wakes the thread for each.
void PortWorker::RunFastRead(std::uint64_t id, const link::FastRead& fast) {
  std::vector<std::uint8_t> bytes = std::move(carry_);
  carry_.clear();
  const std::int64_t writeStartUs = lastWriteStartUs_;
  const std::int64_t writeEndUs = lastWriteEndUs_;
  std::int64_t lastByteUs = NowUs();
  std::uint8_t chunk[link::kReadLimit];
  for (;;) {
    const link::FastRead::State state = fast.Look(bytes);
    if (state == link::FastRead::State::Whole) break;
    const std::int64_t deadlineUs = writeEndUs + fast.DeadlineUs(bytes);
    const std::int64_t left = deadlineUs - NowUs();
    const std::size_t missing = std::min(fast.Missing(bytes), sizeof chunk);
    if (state == link::FastRead::State::FallBack || left <= 0 || missing == 0 ||
        bytes.size() >= link::kReadLimit) {
      stack_->SetReadTimeout(link::kReadTimeoutMs);
      carry_ = std::move(bytes);
      open_ = stack_->IsOpen();
      OnGui([this, id] { FellBack(id); });
      return;
    }
    const std::int64_t wakeUs = std::min(writeStartUs + fast.EarliestWholeUs(bytes), deadlineUs);
    if (const std::int64_t sleep = wakeUs - NowUs(); sleep > 0)
      std::this_thread::sleep_for(std::chrono::microseconds(sleep));
    const std::int64_t open = std::max<std::int64_t>(deadlineUs - NowUs(), 1);
    stack_->SetReadTimeout(static_cast<int>((open + 999) / 1000));
    const std::size_t n = stack_->Read(chunk, missing);
    if (n > 0) lastByteUs = NowUs();
    bytes.insert(bytes.end(), chunk, chunk + std::min(n, missing));
  }
  stack_->SetReadTimeout(link::kReadTimeoutMs);
  open_ = stack_->IsOpen();
  const std::int64_t rest = lastByteUs + fast.RestUs() - NowUs();
  if (rest > 0) std::this_thread::sleep_for(std::chrono::microseconds(rest));
  OnGui([this, id, bytes = std::move(bytes)]() mutable { StepOnGui(id, std::move(bytes)); });
}

void PortWorker::FellBack(std::uint64_t id) {
  if (inFlight_ && inFlight_->id == id) inFlight_.reset();
}

// GUI thread: the step on the whole read window, then the write goes back to the worker.
void PortWorker::StepOnGui(std::uint64_t id, std::vector<std::uint8_t> read) {
  if (!inFlight_ || inFlight_->id != id) return;
  if (inFlight_->cancelled) {
    inFlight_.reset();
    return;
  }
  link::OutgoingFrame frame;
  // Keep the step alive while it runs: a nested loop inside it (a message box) may see the
  // exchange cancelled, but not destroyed under its feet.
  const Exchanger::Stepped step = inFlight_->stepped;
  const bool ran = Dispatch([&] { frame = step(read); });
  if (!inFlight_ || inFlight_->id != id) return;
  if (!ran || inFlight_->cancelled) {
    // A step that threw wrote nothing, as a synchronous tick that threw.
    inFlight_.reset();
    return;
  }
  OnWorker([this, id, frame = std::move(frame)] {
    // Whatever an earlier exchange left unread goes before the new request's echo can come.
    if (!frame.bytes.empty()) stack_->DiscardInput();
    lastWriteStartUs_ = NowUs();
    const link::WriteOutcome outcome = link::WriteOutgoing(*stack_, frame);
    lastWriteEndUs_ = NowUs();
    open_ = stack_->IsOpen();
    OnGui([this, id, outcome] { Finish(id, outcome); });
  });
}

void PortWorker::Finish(std::uint64_t id, link::WriteOutcome outcome) {
  if (!inFlight_ || inFlight_->id != id) return;
  Exchange ended = std::move(*inFlight_);
  inFlight_.reset();
  if (!ended.cancelled && ended.written) Dispatch([&] { ended.written(outcome); });
}

}  // namespace kd::qt
