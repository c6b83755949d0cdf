// Opening the port with the controller type's line settings, and the main window's poll tick.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "link/exchange_buffer.h"
#include "link/exchanger.h"
#include "link/serial_port.h"
#include "view/controls.h"

namespace kd::link {

// The process-wide port: every window uses it as the main window last configured it.
struct PortHandle {
  explicit PortHandle(SerialPort& p) : port(p) {}
  SerialPort& port;
  int openPortNumber = 0;
  // Kept across opens: a type without line settings of its own applies the last ones again.
  LineSettings lineSettings;
  // Sees each tick's exchange: the bytes read and the bytes written (empty when the write
  // failed). The session trace hangs here.
  std::function<void(std::span<const std::uint8_t> read, std::span<const std::uint8_t> written)>
      onTick;
  // The same for the ticks of the side windows, which run on the port with their own timer.
  std::function<void(std::span<const std::uint8_t> read, std::span<const std::uint8_t> written)>
      onWindowTick;
  // Set where the port must not be waited on by the ticks (the Qt program); null: every tick
  // runs through at once.
  Exchanger* exchanger = nullptr;
};

inline constexpr int kMessagePanel = 0;
inline constexpr int kPortPanel = 1;
inline constexpr int kReadTimeoutMs = 100;
inline constexpr int kWriteWaitMs = 1000;
inline constexpr std::size_t kReadLimit = 200;

// "COMn:115200,n,8,2" and its like; nothing for a type outside 1..11.
std::optional<std::string> ModeText(std::uint32_t ecuType, int portNumber);

void OpenPort(PortHandle& handle, int portNumber, std::uint32_t ecuType, view::StatusBar& status);

// The two ends every window's tick shares on the one port: the read that starts it, and the
// write that ends it with the bounded wait. Each window shows the outcome in its own words.
// Zeroes the first 250 bytes of the ReceiveArea and reads up to 200 bytes into it; how many came.
std::size_t ReadIntoArea(PortHandle& handle, ExchangeBuffer& buffer);

// Writes `count` bytes of the TransmitFrame (no more than it holds); a pending write is waited
// for at most kWriteWaitMs: Delayed when it then completed, DelayedFailed when not.
WriteOutcome WriteFrame(PortHandle& handle, const ExchangeBuffer& buffer, std::size_t count);

// Writes `frame` as a tick does: with the bounded wait for a pending write, or without it.
WriteOutcome WriteOutgoing(SerialPort& port, const OutgoingFrame& frame);

// The shape every window's tick has: zero and fill the ReceiveArea (ReadIntoArea), `step`
// decodes and says what to write, the write, `done` shows the outcome. Through the handle's
// exchanger when it has one: then `step` and `done` run later, on the caller's thread, and not
// at all when an exchange is still in flight (the tick is skipped) or the window went away
// (ForgetTicks). The window's buffer is its identity.
// With `fast`, the read window is a fast read (Exchanger::StartFast); false when the tick was
// not started (an exchange in flight, or no exchanger that reads fast).
bool RunTick(PortHandle& handle, ExchangeBuffer& buffer,
             std::function<OutgoingFrame(std::size_t read)> step,
             std::function<void(WriteOutcome)> done, const std::optional<FastRead>& fast = {});
// The window that owns `buffer` closes: nothing of its ticks still in flight is called.
void ForgetTicks(PortHandle& handle, const ExchangeBuffer& buffer);

// Read, let `sessionStep` decode and prepare, write. Every outcome ends as a status text.
// `marksStartCommunication`: a StartCommunication goes out with bit 7 of the envelope's count
// byte set (the controller type's trait; side windows pass their own). `shown` follows the
// outcome's status text, on the same terms as the outcome, with the exchange's bytes as the
// trace sees them. `fast`: as RunTick's.
using TickShown =
    std::function<void(std::span<const std::uint8_t> read, std::span<const std::uint8_t> written)>;
bool PollTick(PortHandle& handle, ExchangeBuffer& buffer, bool marksStartCommunication,
              std::function<void(ExchangeBuffer&)> sessionStep, view::StatusBar& status,
              TickShown shown = nullptr, const std::optional<FastRead>& fast = {});

}  // namespace kd::link
