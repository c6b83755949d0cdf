#include "sim/obd_unit.h"

#include <algorithm>
#include <cmath>

#include "sim/fault_memory.h"
#include "sim/line_frames.h"

namespace kd::sim {

namespace {

constexpr std::uint8_t kTester = 0xF1;
// ISO 9141-2 request and reply headers.
constexpr std::uint8_t kIsoRequest[] = {0x68, 0x6A, kTester};
constexpr std::uint8_t kIsoReplyHeader = 0x48;
constexpr std::uint8_t kIsoReplyTarget = 0x6B;
// StartCommunication's key bytes: normal timing, short and long headers.
constexpr std::uint8_t kKeyBytes[] = {0xEF, 0x8F};
// When the car first stored its freeze frame: under way, on the first acceleration.
constexpr std::int64_t kFreezeAtMs = 95000;

std::uint8_t ClampByte(double v) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

Bytes Hi16(double v) {
  const auto raw = static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
  return {static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw & 0xFF)};
}

// Supported PIDs 01, 03-07, 0B-11, 13-15 and 1C; 20 is clear: nothing beyond.
constexpr std::uint8_t kMode1Pids[] = {0xBE, 0x3F, 0xB8, 0x10};
// The freeze frame keeps PIDs 02-06 and 0B-0D.
constexpr std::uint8_t kMode2Pids[] = {0x7C, 0x38, 0x00, 0x00};
// Oxygen-sensor tests 01-09.
constexpr std::uint8_t kMode5Tests[] = {0xFF, 0x80, 0x00, 0x00};

// The data bytes a current-data PID carries, from one moment of the engine.
std::optional<Bytes> EngineData(std::uint8_t pid, const EngineState& s) {
  switch (pid) {
    case 0x03:
      return Bytes{static_cast<std::uint8_t>(s.closedLoop ? 0x02 : 0x01), 0x00};
    case 0x04:
      return Bytes{ClampByte(s.load * 255 / 100)};
    case 0x05:
      return Bytes{ClampByte(s.coolant + 40)};
    case 0x06:
      return Bytes{ClampByte(128 + (s.closedLoop ? (s.o2Rich ? -6 : 5) : 0))};
    case 0x07:
      return Bytes{ClampByte(128 + 3)};
    case 0x0B:
      return Bytes{ClampByte(s.manifoldKpa)};
    case 0x0C:
      return Hi16(s.rpm * 4);
    case 0x0D:
      return Bytes{ClampByte(s.speed)};
    // The window shows 0.5° a step without the standard's -64° offset.
    case 0x0E:
      return Bytes{ClampByte(s.ignition * 2)};
    case 0x0F:
      return Bytes{ClampByte(s.intakeAir + 40)};
    case 0x10:
      return Hi16(s.airFlow / 3.6 * 100);
    case 0x11:
      return Bytes{ClampByte(s.throttle * 255 / 100)};
    case 0x13:
      return Bytes{0x03};
    case 0x14:
      return Bytes{ClampByte(s.o2Volts / 0.005), ClampByte(128 + (s.o2Rich ? -6 : 5))};
    case 0x15:
      return Bytes{ClampByte(s.o2AfterCatVolts / 0.005), 0xFF};
    case 0x1C:
      return Bytes{0x06};  // EOBD
    default:
      return std::nullopt;
  }
}

Bytes Join(std::initializer_list<std::uint8_t> head, const Bytes& tail) {
  Bytes out(head);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

}  // namespace

ObdUnit::ObdUnit(const EngineModel& model)
    : model_(model),
      codes_{{0x0171, true, false},
             {0x0133, true, true},
             {0x0300, false, false},
             {0x0443, false, true}} {}

bool ObdUnit::Present(const Code& c, std::int64_t nowMs) const {
  if (!clearedAtMs_) return true;
  return c.stillThere && nowMs - *clearedAtMs_ >= kRedetectMs;
}

std::vector<std::uint16_t> ObdUnit::StoredCodes(std::int64_t nowMs) const {
  std::vector<std::uint16_t> out;
  for (const Code& c : codes_)
    if (c.stored && Present(c, nowMs)) out.push_back(c.code);
  return out;
}

std::vector<std::uint16_t> ObdUnit::PendingCodes(std::int64_t nowMs) const {
  std::vector<std::uint16_t> out;
  for (const Code& c : codes_)
    if (!c.stored && Present(c, nowMs)) out.push_back(c.code);
  return out;
}

std::optional<Bytes> ObdUnit::CurrentData(std::uint8_t pid, std::int64_t nowMs) const {
  if (pid == 0x00) return Bytes(std::begin(kMode1Pids), std::end(kMode1Pids));
  if (pid == 0x01) {
    const auto stored = StoredCodes(nowMs);
    const bool monitorsRun = !clearedAtMs_ || nowMs - *clearedAtMs_ >= kMonitorsReadyMs;
    // MIL with any stored code; misfire, fuel system and components monitored continuously;
    // catalyst, evaporative system, oxygen sensor and its heater supported, incomplete after a
    // clear until they have run again.
    return Bytes{static_cast<std::uint8_t>((stored.empty() ? 0x00 : 0x80) | stored.size()), 0x07,
                 0x65, static_cast<std::uint8_t>(monitorsRun ? 0x00 : 0x65)};
  }
  return EngineData(pid, model_.At(nowMs));
}

std::optional<Bytes> ObdUnit::FreezeFrame(std::uint8_t pid, std::uint8_t frame,
                                          std::int64_t nowMs) const {
  const auto stored = StoredCodes(nowMs);
  // One frame, kept with the first stored code; a clear takes it away.
  if (frame != 0 || stored.empty()) return std::nullopt;
  const std::int64_t at = clearedAtMs_ ? *clearedAtMs_ + kRedetectMs : kFreezeAtMs;
  if (pid == 0x00) return Bytes(std::begin(kMode2Pids), std::end(kMode2Pids));
  if (pid == 0x02)
    return Bytes{static_cast<std::uint8_t>(stored.front() >> 8),
                 static_cast<std::uint8_t>(stored.front())};
  if (pid > 0x20 || !((kMode2Pids[(pid - 1) / 8] >> (7 - (pid - 1) % 8)) & 1)) return std::nullopt;
  return EngineData(pid, model_.At(at));
}

std::optional<Bytes> ObdUnit::O2Test(std::uint8_t tid, std::uint8_t sensor) const {
  if (sensor != 1 && sensor != 2) return std::nullopt;
  if (tid == 0x00) return Bytes(std::begin(kMode5Tests), std::end(kMode5Tests));
  const bool front = sensor == 1;
  // Thresholds (01-04) come without limits; measured values (05-09) with their minimum and
  // maximum. Volts are 5 mV a step, times 4 ms.
  switch (tid) {
    case 0x01:
      return Bytes{90};
    case 0x02:
      return Bytes{90};
    case 0x03:
      return Bytes{60};
    case 0x04:
      return Bytes{120};
    case 0x05:
      return front ? Bytes{18, 0, 64} : Bytes{70, 0, 125};
    case 0x06:
      return front ? Bytes{21, 0, 64} : Bytes{82, 0, 125};
    case 0x07:
      return front ? Bytes{12, 0, 40} : Bytes{110, 0, 160};
    case 0x08:
      return front ? Bytes{164, 140, 200} : Bytes{150, 120, 200};
    case 0x09:
      return front ? Bytes{225, 50, 250} : Bytes{240, 50, 250};
    default:
      return std::nullopt;
  }
}

std::vector<Bytes> ObdUnit::VehicleInfo(std::uint8_t infoType) const {
  // Four data bytes a message; the first VIN message carries three zeros and the first
  // character, a calibration identifier is padded with zeros.
  const auto messages = [infoType](const Bytes& data) {
    std::vector<Bytes> out;
    for (std::size_t at = 0; at < data.size(); at += 4) {
      Bytes m{0x49, infoType, static_cast<std::uint8_t>(at / 4 + 1)};
      for (std::size_t j = 0; j < 4; ++j) m.push_back(at + j < data.size() ? data[at + j] : 0);
      out.push_back(m);
    }
    return out;
  };
  const Bytes vin = Join({0, 0, 0}, Bytes(std::begin(kVin), std::end(kVin) - 1));
  const Bytes calibration(std::begin(kCalibration), std::end(kCalibration) - 1);
  switch (infoType) {
    case 0x00:
      return {{0x49, 0x00, 0x01, 0xFC, 0x00, 0x00, 0x00}};
    case 0x01:
      return {{0x49, 0x01, static_cast<std::uint8_t>(vin.size() / 4)}};
    case 0x02:
      return messages(vin);
    case 0x03:
      return {{0x49, 0x03, static_cast<std::uint8_t>((calibration.size() + 3) / 4)}};
    case 0x04:
      return messages(calibration);
    case 0x05:
      return {{0x49, 0x05, 0x01}};
    case 0x06:
      return {{0x49, 0x06, 0x01, 0x12, 0x34, 0x56, 0x78}};
    default:
      return {};
  }
}

std::vector<Bytes> ObdUnit::CodeMessages(std::uint8_t sid,
                                         const std::vector<std::uint16_t>& codes) {
  // Three codes a message, the last one padded with zero codes; no codes is one empty message.
  std::vector<Bytes> out;
  std::size_t at = 0;
  do {
    Bytes m{sid};
    for (std::size_t j = 0; j < 3; ++j, ++at) {
      const std::uint16_t c = at < codes.size() ? codes[at] : 0;
      m.push_back(static_cast<std::uint8_t>(c >> 8));
      m.push_back(static_cast<std::uint8_t>(c & 0xFF));
    }
    out.push_back(m);
  } while (at < codes.size());
  return out;
}

std::vector<Bytes> ObdUnit::Answer(const Bytes& service, std::int64_t nowMs) {
  if (service.empty()) return {};
  const std::uint8_t sid = service[0];
  const std::uint8_t p1 = service.size() > 1 ? service[1] : 0;
  const std::uint8_t p2 = service.size() > 2 ? service[2] : 0;
  auto one = [&](std::optional<Bytes> data,
                 std::initializer_list<std::uint8_t> head) -> std::vector<Bytes> {
    if (!data) return {};
    return {Join(head, *data)};
  };
  switch (sid) {
    case 0x01:
      if (service.size() != 2) return {};
      return one(CurrentData(p1, nowMs), {0x41, p1});
    case 0x02:
      if (service.size() != 3) return {};
      return one(FreezeFrame(p1, p2, nowMs), {0x42, p1, p2});
    case 0x03:
      return CodeMessages(0x43, StoredCodes(nowMs));
    case 0x04:
      clearedAtMs_ = nowMs;
      return {{0x44}};
    case 0x05:
      if (service.size() != 3) return {};
      return one(O2Test(p1, p2), {0x45, p1, p2});
    case 0x07:
      return CodeMessages(0x47, PendingCodes(nowMs));
    case 0x09:
      if (service.size() != 2) return {};
      return VehicleInfo(p1);
    default:
      // Services outside the emission-related set are not this address's business.
      return {};
  }
}

std::optional<std::uint8_t> ObdUnit::HearSlowInit(std::uint8_t address, std::int64_t nowMs) {
  if (address != kFunctional) return std::nullopt;
  isoLine_ = true;
  isoLastMs_ = nowMs;
  return static_cast<std::uint8_t>(~address);
}

Bytes ObdUnit::Hear(const Heard& heard, const Shaping& shaping) {
  if (heard.mode != LineMode::Kwp) return {};
  const Bytes& line = heard.frame;
  const std::int64_t now = heard.nowMs;
  Bytes out;

  if (line.size() >= 5 &&
      std::equal(std::begin(kIsoRequest), std::end(kIsoRequest), line.begin())) {
    if (Sum8(line.data(), line.size() - 1) != line.back()) return {};
    if (isoLine_ && now - isoLastMs_ > kSessionMs) isoLine_ = false;
    if (!isoLine_) return {};
    isoLastMs_ = now;
    const Bytes service(line.begin() + 3, line.end() - 1);
    std::vector<Bytes> answer = Answer(service, now);
    if (shaping.negativeCode) answer = {{0x7F, service[0], *shaping.negativeCode}};
    for (const Bytes& m : answer) {
      Bytes frame{kIsoReplyHeader, kIsoReplyTarget, kAddress};
      frame.insert(frame.end(), m.begin(), m.end());
      frame.push_back(Add8(Sum8(frame), shaping.checksumSkew));
      out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
  }

  const auto frame = ParseKwpFrame(line);
  // Functional addressing only (format bits 11), at the OBD address.
  if (!frame || (frame->format & 0xC0) != 0xC0 || frame->target != kFunctional ||
      frame->service.empty())
    return {};
  if (kwpSession_ && now - kwpLastMs_ > kSessionMs) kwpSession_ = false;
  const std::uint8_t sid = frame->service[0];
  std::vector<Bytes> answer;
  if (sid == 0x81) {
    // Only a fast init in front of it wakes the line.
    if (!kwpSession_ && !heard.wakeUp) return {};
    kwpSession_ = true;
    answer = {{0xC1, kKeyBytes[0], kKeyBytes[1]}};
  } else if (!kwpSession_) {
    return {};
  } else {
    answer = Answer(frame->service, now);
  }
  kwpLastMs_ = now;
  if (shaping.negativeCode) answer = {{0x7F, sid, *shaping.negativeCode}};
  for (const Bytes& m : answer) {
    const Bytes f = BuildKwpFrame(kTester, kAddress, m, false, shaping.checksumSkew);
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

}  // namespace kd::sim
