// A plain K-line cable (a USB-serial bridge such as an FT232 or CH340 with a K-line level
// shifter, nothing more): the PC does the adapter's work. KWP2000 goes out at 10,400 baud 8N1,
// byte by byte with P4 between, behind the ISO 14230-2 fast initialisation when the count byte
// asks for it; the ISO 9141 window's packet becomes the ISO 9141-2 5-baud initialisation at
// address 0x33; escaped and GM frames go out as they are at their own speeds. The line gives
// every sent byte back; the driver takes that echo off the wire and hands the core what the
// K-line adapter would have: the echo of the frame without its envelope, then the reply.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "link/adapter.h"

namespace kd::link {

// A plain cable's line timing, in microseconds (ISO 14230-2 and ISO 9141-2 values).
struct KLineTiming {
  std::int64_t p4Us = 5000;                // between the tester's bytes until told otherwise
  std::int64_t idleBeforeInitUs = 300000;  // W5: the line idle before an initialisation
  std::int64_t fastLowUs = 25000;          // TiniL
  std::int64_t fastHighUs = 25000;         // TWuP - TiniL
  std::int64_t slowBitUs = 200000;         // one bit of the 5-baud address
  std::int64_t syncWaitUs = 300000;        // W1: the sync byte after the address
  std::int64_t keyWaitUs = 40000;          // W2 + W3: both key bytes after the sync
  std::int64_t w4Us = 30000;               // before the complement of the key byte
  std::int64_t closingWaitUs = 60000;      // the unit's complement of the address
  // The echo's allowance beyond the bytes' own time: a USB bridge hands over what it received
  // every 16 ms by default, and a busy PC adds its own delay.
  std::int64_t echoMarginUs = 60000;
};

class KLineCable : public Adapter {
 public:
  using Timing = KLineTiming;

  // The wake-up pattern of the fast initialisation: a zero byte at 360 baud holds the line low
  // for nine bit times, 25 ms, which FT232 and CH340 bridges send as they send any byte; a timed
  // break needs a driver that honours break lengths this short.
  enum class FastInitMethod { ZeroByte, Break };
  static constexpr int kFastInitBaud = 360;
  // The 5-baud address is sent by holding a break for each zero bit. A pseudo-terminal carries
  // no break, so the line is also set to this rate for the length of the pattern: a bridge does
  // nothing with it (no byte goes out at that rate), a simulator on a pseudo-terminal sees it.
  static constexpr int kSlowInitBaud = 5;
  static constexpr std::uint8_t kSlowInitAddress = 0x33;

  // How the last transmission's echo came back.
  enum class Echo { None, Ok, Missing, Corrupt };

  KLineCable(SerialPort& device, LineClock& clock, Timing timing = {},
             FastInitMethod method = FastInitMethod::ZeroByte);
  AdapterKind Kind() const override { return AdapterKind::KLineCable; }

  bool Open(int portNumber) override;
  bool Close() override;
  bool ApplyLineSettings(const LineSettings& settings) override;
  void SetReadTimeout(int totalMs) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  // Every write is carried out before Write returns.
  bool WaitPendingWrite(int) override { return true; }
  // The echo still held for the core is as stale as the device's unread bytes.
  void DiscardInput() override {
    toCore_.clear();
    Adapter::DiscardInput();
  }

  Echo LastEcho() const { return echo_; }
  std::int64_t P4Us() const { return p4Us_; }
  // The settings the device runs at for the settings the core asked for.
  static LineSettings WireSettings(const LineSettings& core);

 private:
  enum class Mode { Kwp, Bare };

  bool SendBytes(const std::vector<std::uint8_t>& bytes, std::int64_t gapUs);
  // Reads exactly `count` bytes unless `waitUs` runs out first.
  std::vector<std::uint8_t> ReadFor(std::size_t count, std::int64_t waitUs);
  // Whatever already stands in the device's input.
  std::vector<std::uint8_t> ReadWaiting();
  // Sends `bytes` and takes their echo off the line; the core is given what the adapter would.
  bool Transmit(const std::vector<std::uint8_t>& bytes, std::int64_t gapUs);
  void WaitIdle();
  bool FastInit();
  bool SlowInit(std::uint8_t complement);
  std::int64_t ByteUs(int baud) const;
  void NoteActivity() { lastActivityUs_ = clock_.NowUs(); }
  void WatchTiming(const std::vector<std::uint8_t>& frame);
  void TakeTiming(const std::vector<std::uint8_t>& reply);

  LineClock& clock_;
  Timing timing_;
  FastInitMethod method_;
  Mode mode_ = Mode::Bare;
  LineSettings wire_;
  int coreTimeoutMs_ = 100;
  std::int64_t p4Us_;
  // P4 asked for by an AccessTimingParameters request, in force once the unit accepts it.
  std::optional<std::int64_t> askedP4Us_;
  std::int64_t lastActivityUs_ = 0;
  bool active_ = false;
  std::deque<std::uint8_t> toCore_;
  Echo echo_ = Echo::None;
};

}  // namespace kd::link
