#include "link/port.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

#include "catalogue/ecu_catalogue.h"

namespace kd::link {

namespace {

bool ParseInt(std::string_view text, int& out) {
  const auto* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

}  // namespace

std::optional<LineSettings> BuildLineSettings(const std::string& modeText) {
  std::string_view text = modeText;
  if (auto colon = text.find(':'); colon != std::string_view::npos) {
    if (text.substr(0, 3) != "COM") return std::nullopt;
    text.remove_prefix(colon + 1);
  }
  std::string_view fields[4];
  for (int i = 0; i < 4; ++i) {
    const auto comma = text.find(',');
    if ((comma == std::string_view::npos) != (i == 3)) return std::nullopt;
    fields[i] = text.substr(0, comma);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
  }
  LineSettings s;
  if (!ParseInt(fields[0], s.baud) || s.baud <= 0) return std::nullopt;
  if (fields[1].size() != 1 ||
      std::string_view("noems").find(fields[1][0]) == std::string_view::npos)
    return std::nullopt;
  s.parity = fields[1][0];
  if (!ParseInt(fields[2], s.dataBits) || s.dataBits < 5 || s.dataBits > 8) return std::nullopt;
  if (!ParseInt(fields[3], s.stopBits) || s.stopBits < 1 || s.stopBits > 2) return std::nullopt;
  return s;
}

std::optional<std::string> ModeText(std::uint32_t ecuType, int portNumber) {
  if (!catalogue::IsKnownType(ecuType)) return std::nullopt;
  const std::string_view settings = catalogue::Lookup(ecuType).lineMode;
  return "COM" + std::to_string(portNumber) + ":" + std::string(settings);
}

void OpenPort(PortHandle& handle, int portNumber, std::uint32_t ecuType, view::StatusBar& status) {
  SerialPort& port = handle.port;
  if (port.IsOpen() && !port.Close()) status.SetText(kMessagePanel, "Error close port.");
  handle.openPortNumber = portNumber;
  if (!port.Open(portNumber)) status.SetText(kMessagePanel, "Error opening port.");
  if (auto mode = ModeText(ecuType, portNumber)) {
    if (auto built = BuildLineSettings(*mode))
      handle.lineSettings = *built;
    else
      status.SetText(kMessagePanel, "Error init DCB.");
  }
  status.SetText(kPortPanel, "Com:" + std::to_string(portNumber));
  if (!port.ApplyLineSettings(handle.lineSettings))
    status.SetText(kMessagePanel, "Error init port.");
  port.SetReadTimeout(kReadTimeoutMs);
  port.RaiseDtr();
  port.RaiseRts();
}

std::size_t ReadIntoArea(PortHandle& handle, ExchangeBuffer& buffer) {
  std::fill_n(buffer.receiveArea, 250, 0);
  return std::min(handle.port.Read(buffer.receiveArea, kReadLimit), kReadLimit);
}

WriteOutcome WriteOutgoing(SerialPort& port, const OutgoingFrame& frame) {
  const WriteStatus status = port.Write(frame.bytes.data(), frame.bytes.size());
  if (!frame.waitPending)
    return status == WriteStatus::Written ? WriteOutcome::Written : WriteOutcome::Failed;
  switch (status) {
    case WriteStatus::Written:
      return WriteOutcome::Written;
    case WriteStatus::Pending:
      return port.WaitPendingWrite(kWriteWaitMs) ? WriteOutcome::Delayed
                                                 : WriteOutcome::DelayedFailed;
    case WriteStatus::Failed:
      break;
  }
  return WriteOutcome::Failed;
}

WriteOutcome WriteFrame(PortHandle& handle, const ExchangeBuffer& buffer, std::size_t count) {
  const std::size_t n = std::min(count, kAreaSize);
  return WriteOutgoing(handle.port, {{buffer.transmitFrame, buffer.transmitFrame + n}, true});
}

namespace {

// RunTick, with `traced`: the exchange's bytes go to the handle's onWindowTick once the outcome
// was shown. The main window's tick traces itself (PollTick), with what only it knows.
bool RunTraced(PortHandle& handle, ExchangeBuffer& buffer,
               std::function<OutgoingFrame(std::size_t read)> step,
               std::function<void(WriteOutcome)> done, const std::optional<FastRead>& fast,
               bool traced) {
  struct Exchange {
    std::vector<std::uint8_t> arrived;
    std::vector<std::uint8_t> sent;
  };
  std::shared_ptr<Exchange> exchange;
  if (traced && handle.onWindowTick) {
    exchange = std::make_shared<Exchange>();
    step = [&buffer, exchange, step = std::move(step)](std::size_t read) {
      exchange->arrived.assign(buffer.receiveArea, buffer.receiveArea + read);
      OutgoingFrame frame = step(read);
      exchange->sent = frame.bytes;
      return frame;
    };
    done = [&handle, exchange, done = std::move(done)](WriteOutcome outcome) {
      if (done) done(outcome);
      const bool succeeded = outcome == WriteOutcome::Written || outcome == WriteOutcome::Delayed;
      if (handle.onWindowTick)
        handle.onWindowTick(exchange->arrived, succeeded
                                                   ? std::span<const std::uint8_t>(exchange->sent)
                                                   : std::span<const std::uint8_t>());
    };
  }
  if (!handle.exchanger) {
    if (fast) return false;
    const std::size_t read = ReadIntoArea(handle, buffer);
    const WriteOutcome outcome = WriteOutgoing(handle.port, step(read));
    if (done) done(outcome);
    return true;
  }
  ExchangeBuffer* b = &buffer;
  Exchanger::Stepped stepped = [b, step = std::move(step)](std::span<const std::uint8_t> read) {
    std::fill_n(b->receiveArea, 250, 0);
    const std::size_t n = std::min(read.size(), kReadLimit);
    std::copy_n(read.begin(), n, b->receiveArea);
    return step(n);
  };
  Exchanger::Written written = [done = std::move(done)](WriteOutcome outcome) {
    if (done) done(outcome);
  };
  if (fast) return handle.exchanger->StartFast(b, *fast, std::move(stepped), std::move(written));
  return handle.exchanger->Start(b, kReadLimit, std::move(stepped), std::move(written));
}

}  // namespace

bool RunTick(PortHandle& handle, ExchangeBuffer& buffer,
             std::function<OutgoingFrame(std::size_t read)> step,
             std::function<void(WriteOutcome)> done, const std::optional<FastRead>& fast) {
  return RunTraced(handle, buffer, std::move(step), std::move(done), fast, true);
}

void ForgetTicks(PortHandle& handle, const ExchangeBuffer& buffer) {
  if (handle.exchanger) handle.exchanger->Forget(&buffer);
}

bool PollTick(PortHandle& handle, ExchangeBuffer& buffer, bool marksStartCommunication,
              std::function<void(ExchangeBuffer&)> sessionStep, view::StatusBar& status,
              TickShown shown, const std::optional<FastRead>& fast) {
  // The decoders may rewrite the area; the trace wants the bytes as they arrived.
  struct Traced {
    std::vector<std::uint8_t> arrived;
    bool marked = false;
  };
  auto traced = std::make_shared<Traced>();
  const bool keepArrived = shown != nullptr;
  return RunTraced(
      handle, buffer,
      [&handle, &buffer, keepArrived, marksStartCommunication, sessionStep = std::move(sessionStep),
       traced](std::size_t read) {
        if (handle.onTick || keepArrived)
          traced->arrived.assign(buffer.receiveArea, buffer.receiveArea + read);
        if (sessionStep) sessionStep(buffer);
        buffer.dataLength = Add8(buffer.dataLength, 4);
        traced->marked = marksStartCommunication && buffer.transmitFrame[8] == 0x81;
        if (traced->marked) buffer.transmitFrame[4] |= 0x80;
        return OutgoingFrame{{buffer.transmitFrame, buffer.transmitFrame + buffer.dataLength},
                             !traced->marked};
      },
      [&handle, &buffer, &status, traced, shown = std::move(shown)](WriteOutcome outcome) {
        const bool succeeded = outcome == WriteOutcome::Written || outcome == WriteOutcome::Delayed;
        if (!traced->marked) {
          if (outcome == WriteOutcome::Delayed || outcome == WriteOutcome::DelayedFailed)
            status.SetText(kMessagePanel, "Error write port by delayed.");
          else if (outcome == WriteOutcome::Failed)
            status.SetText(kMessagePanel, "Error write port.");
        }
        status.SetText(kMessagePanel, succeeded ? "Send Message" : "Error Message");
        const std::span<const std::uint8_t> written{buffer.transmitFrame,
                                                    succeeded ? buffer.dataLength : std::size_t{0}};
        if (handle.onTick) handle.onTick(traced->arrived, written);
        if (shown) shown(traced->arrived, written);
      },
      fast, false);
}

}  // namespace kd::link
