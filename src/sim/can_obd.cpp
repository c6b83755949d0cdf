#include "sim/can_obd.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace kd::sim {

namespace {

Bytes CodeList(std::uint8_t sid, const std::vector<std::uint16_t>& codes) {
  Bytes m{sid, static_cast<std::uint8_t>(codes.size())};
  for (std::uint16_t c : codes) {
    m.push_back(static_cast<std::uint8_t>(c >> 8));
    m.push_back(static_cast<std::uint8_t>(c & 0xFF));
  }
  return m;
}

}  // namespace

std::vector<CanAnswer> CanObd::Answer(const Bytes& service, std::int64_t nowMs) {
  std::vector<CanAnswer> out;
  if (service.empty()) return out;
  if (auto a = Engine(service, nowMs)) out.push_back({0, std::move(*a)});
  if (auto a = Second(service)) out.push_back({1, std::move(*a)});
  return out;
}

std::optional<Bytes> CanObd::Engine(const Bytes& service, std::int64_t nowMs) {
  const std::uint8_t sid = service[0];
  switch (sid) {
    case 0x03: {
      auto codes = engine_.StoredCodes(nowMs);
      if (!moreCleared_) codes.insert(codes.end(), std::begin(kMoreStored), std::end(kMoreStored));
      return CodeList(0x43, codes);
    }
    case 0x07:
      return CodeList(0x47, engine_.PendingCodes(nowMs));
    case 0x04:
      moreCleared_ = true;
      break;
    case 0x05:
      return std::nullopt;  // no such mode on CAN
    case 0x09: {
      if (service.size() != 2) return std::nullopt;
      const std::uint8_t info = service[1];
      if (info == 0x00) return Bytes{0x49, 0x00, 0x54, 0x40, 0x00, 0x00};  // 02, 04, 06, 0A
      if (info == 0x02) {
        Bytes m{0x49, 0x02, 0x01};
        m.insert(m.end(), std::begin(ObdUnit::kVin), std::end(ObdUnit::kVin) - 1);
        return m;
      }
      if (info == 0x04) {
        // One identifier of 16 characters, padded with zeros.
        Bytes m{0x49, 0x04, 0x01};
        const std::string cal = ObdUnit::kCalibration;
        for (std::size_t i = 0; i < 16; ++i)
          m.push_back(i < cal.size() ? static_cast<std::uint8_t>(cal[i]) : 0);
        return m;
      }
      if (info == 0x06) return Bytes{0x49, 0x06, 0x01, 0x12, 0x34, 0x56, 0x78};
      if (info == 0x0A) {
        Bytes m{0x49, 0x0A, 0x01};
        const std::string name = "ECM-EngineControl";
        for (std::size_t i = 0; i < 20; ++i)
          m.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
        return m;
      }
      // The message counts (01, 03, 05) are the K-line's; a CAN controller does not know them.
      return Bytes{0x7F, 0x09, 0x12};
    }
    default:
      break;
  }
  auto answers = engine_.Answer(service, nowMs);
  if (answers.empty()) return std::nullopt;
  // PID 01 counts the codes this controller keeps on CAN, beyond the K-line's.
  Bytes& first = answers.front();
  if (sid == 0x01 && service.size() == 2 && service[1] == 0x01 && first.size() >= 3 &&
      !moreCleared_) {
    const int count = (first[2] & 0x7F) + static_cast<int>(std::size(kMoreStored));
    first[2] = static_cast<std::uint8_t>(0x80 | std::min(count, 0x7F));
  }
  return first;
}

std::optional<Bytes> CanObd::Second(const Bytes& service) {
  switch (service[0]) {
    case 0x01:
      // Only PID 00, and it supports only PID 01 (whose answer it never gives on its own).
      if (service.size() == 2 && service[1] == 0x00)
        return Bytes{0x41, 0x00, 0x80, 0x00, 0x00, 0x00};
      return std::nullopt;
    case 0x03:
      if (secondCleared_) return Bytes{0x43, 0x00};
      return Bytes{0x43, 0x01, static_cast<std::uint8_t>(kSecondUnitCode >> 8),
                   static_cast<std::uint8_t>(kSecondUnitCode & 0xFF)};
    case 0x07:
      return Bytes{0x47, 0x00};
    case 0x04:
      secondCleared_ = true;
      return Bytes{0x44};
    default:
      return std::nullopt;
  }
}

}  // namespace kd::sim
