// A port whose every answer a test chooses, recording the calls the link makes on it.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace kd::testing {

class FakePort : public link::SerialPort {
 public:
  bool openSucceeds = true;
  bool closeSucceeds = true;
  bool applySucceeds = true;
  link::WriteStatus writeResult = link::WriteStatus::Written;
  bool pendingCompletes = true;

  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> writes;
  std::deque<std::uint8_t> incoming;
  link::LineSettings applied;
  std::size_t lastReadLimit = 0;
  // Outcomes of the reopen attempts the coming writes make, one each.
  std::deque<bool> reopenAttempts;

  bool Open(int n) override {
    calls.push_back("open " + std::to_string(n));
    open_ = openSucceeds;
    return open_;
  }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    calls.push_back("close");
    open_ = false;
    return closeSucceeds;
  }
  bool ApplyLineSettings(const link::LineSettings& s) override {
    calls.push_back("apply " + std::to_string(s.baud) + "," + s.parity + "," +
                    std::to_string(s.dataBits) + "," + std::to_string(s.stopBits));
    applied = s;
    return open_ && applySucceeds && s.baud > 0;
  }
  void SetReadTimeout(int ms) override { calls.push_back("timeout " + std::to_string(ms)); }
  void RaiseDtr() override { calls.push_back("dtr"); }
  void RaiseRts() override { calls.push_back("rts"); }
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    lastReadLimit = maxBytes;
    std::size_t n = 0;
    for (; n < maxBytes && !incoming.empty(); ++n) {
      buffer[n] = incoming.front();
      incoming.pop_front();
    }
    return n;
  }
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override {
    // A port that lost its device tries to open it again before each write, as the Qt port does.
    if (!reopenAttempts.empty()) {
      const bool reopened = reopenAttempts.front();
      reopenAttempts.pop_front();
      NoteReopen(reopened);
      if (!reopened) return link::WriteStatus::Failed;
    }
    writes.emplace_back(data, data + count);
    return writeResult;
  }
  bool WaitPendingWrite(int ms) override {
    calls.push_back("wait " + std::to_string(ms));
    return pendingCompletes;
  }

 private:
  bool open_ = false;
};

}  // namespace kd::testing
