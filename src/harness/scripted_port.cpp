#include "harness/scripted_port.h"

namespace kd::harness {

bool ScriptedPort::Open(int portNumber) {
  open_ = mode_ != Mode::OpenFails && portNumber >= 1 && portNumber <= 8;
  return open_;
}

bool ScriptedPort::Close() {
  open_ = false;
  return true;
}

bool ScriptedPort::ApplyLineSettings(const link::LineSettings& settings) {
  if (!open_ || settings.baud <= 0) return false;
  settings_ = settings;
  return true;
}

std::size_t ScriptedPort::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  if (!open_) return 0;
  std::size_t n = 0;
  for (; n < maxBytes && !rx_.empty(); ++n) {
    buffer[n] = rx_.front();
    rx_.pop_front();
  }
  return n;
}

void ScriptedPort::Echo(const std::uint8_t* data, std::size_t count) {
  if (!echo_) return;
  // The adapter echoes the frame it puts on the K-line: what follows an envelope, or a bare frame.
  const bool enveloped = count >= 5 && data[0] == 0x55 && data[1] == 0x56 && data[2] == 0x57 &&
                         data[3] == 0xAA;
  const std::size_t from = enveloped ? 5 : 0;
  rx_.insert(rx_.end(), data + from, data + count);
}

link::WriteStatus ScriptedPort::Write(const std::uint8_t* data, std::size_t count) {
  if (!open_ || mode_ == Mode::WriteFails) return link::WriteStatus::Failed;
  if (mode_ == Mode::WritePending || mode_ == Mode::WriteStuck) {
    pendingWrite_.assign(data, data + count);
    return link::WriteStatus::Pending;
  }
  Echo(data, count);
  return link::WriteStatus::Written;
}

bool ScriptedPort::WaitPendingWrite(int) {
  // A stuck write is given up with the wait: nothing reaches the adapter, so nothing echoes.
  const bool completes = mode_ != Mode::WriteStuck;
  if (completes) Echo(pendingWrite_.data(), pendingWrite_.size());
  pendingWrite_.clear();
  return completes;
}

std::vector<std::uint8_t> TapPort::TakeWritten() {
  std::vector<std::uint8_t> out;
  out.swap(sinceTaken_);
  return out;
}

void TapPort::Record(const std::vector<std::uint8_t>& bytes) {
  lastWritten_ = bytes;
  sinceTaken_.insert(sinceTaken_.end(), bytes.begin(), bytes.end());
}

link::WriteStatus TapPort::Write(const std::uint8_t* data, std::size_t count) {
  const auto status = inner_.Write(data, count);
  if (status == link::WriteStatus::Written) Record({data, data + count});
  if (status == link::WriteStatus::Pending) pending_.assign(data, data + count);
  return status;
}

bool TapPort::WaitPendingWrite(int timeoutMs) {
  const bool done = inner_.WaitPendingWrite(timeoutMs);
  if (done) Record(pending_);
  pending_.clear();
  return done;
}

}  // namespace kd::harness
