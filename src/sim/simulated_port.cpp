#include "sim/simulated_port.h"

#include <numeric>

namespace kd::sim {

namespace {

constexpr std::uint8_t kTester = 0xF1;

std::uint8_t Sum(const Bytes& b, std::size_t count) {
  return static_cast<std::uint8_t>(std::accumulate(b.begin(), b.begin() + count, 0u));
}

// A KWP2000 frame as a controller reads it: header, service and parameters, checksum.
struct KwpFrame {
  std::uint8_t target = 0;
  Bytes service;  // service identifier and parameters
};

bool ParseKwp(const Bytes& line, KwpFrame& out) {
  if (line.size() < 4 || (line[0] & 0xC0) != 0x80) return false;
  std::size_t headerLength = 3;
  std::size_t length = line[0] & 0x3F;
  if (length == 0) {
    headerLength = 4;
    length = line[3];
  }
  if (line.size() != headerLength + length + 1) return false;
  if (Sum(line, line.size() - 1) != line.back()) return false;
  out.target = line[1];
  out.service.assign(line.begin() + headerLength, line.end() - 1);
  return !out.service.empty();
}

}  // namespace

Bytes KwpController::Reply(std::initializer_list<std::uint8_t> body) const {
  Bytes out;
  if (body.size() < 64) {
    out = {static_cast<std::uint8_t>(0x80 + body.size()), kTester, address_};
  } else {
    out = {0x80, kTester, address_, static_cast<std::uint8_t>(body.size())};
  }
  out.insert(out.end(), body);
  out.push_back(Sum(out, out.size()));
  return out;
}

Bytes KwpController::Answer(const Bytes& frame) {
  KwpFrame request;
  if (!ParseKwp(frame, request) || request.target != address_) return {};
  const std::uint8_t service = request.service[0];
  switch (service) {
    case 0x81:
      return Reply({0xC1, 0xEF, 0x8F});
    case 0x82:
      return Reply({0xC2});
    case 0x83:
      return Reply({0xC3});
    case 0x3E:
      return Reply({0x7E});
    default:
      return Reply({0x7F, service, std::uint8_t{0x11}});
  }
}

SimulatedPort::SimulatedPort() {
  for (std::uint8_t address : {std::uint8_t{0x10}, std::uint8_t{0x11}, std::uint8_t{0x30}, std::uint8_t{0x60}})
    kwp_.emplace_back(address, std::make_unique<KwpController>(address));
}

SimulatedPort::~SimulatedPort() = default;

bool SimulatedPort::Open(int portNumber) {
  open_ = portNumber >= 1 && portNumber <= 8;
  pending_.clear();
  return open_;
}

bool SimulatedPort::Close() {
  open_ = false;
  pending_.clear();
  return true;
}

bool SimulatedPort::ApplyLineSettings(const link::LineSettings& settings) {
  if (!open_ || settings.baud <= 0) return false;
  settings_ = settings;
  return true;
}

std::size_t SimulatedPort::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  if (!open_) return 0;
  std::size_t n = 0;
  while (n < maxBytes && !pending_.empty()) {
    buffer[n++] = pending_.front();
    pending_.pop_front();
  }
  return n;
}

link::WriteStatus SimulatedPort::Write(const std::uint8_t* data, std::size_t count) {
  if (!open_) return link::WriteStatus::Failed;
  const Bytes written(data, data + count);
  const bool kwpLine = settings_.baud == 115200;
  if (kwpLine && count >= 5 && written[0] == 0x55 && written[1] == 0x56 && written[2] == 0x57 &&
      written[3] == 0xAA) {
    // The adapter sends what follows the envelope and echoes only that.
    Transmit(Bytes(written.begin() + 5, written.end()));
  } else if (!kwpLine) {
    Transmit(written);
  }
  return link::WriteStatus::Written;
}

Controller* SimulatedPort::ControllerAt(std::uint8_t address) {
  for (auto& [a, c] : kwp_)
    if (a == address) return c.get();
  return nullptr;
}

void SimulatedPort::Transmit(const Bytes& lineFrame) {
  pending_.insert(pending_.end(), lineFrame.begin(), lineFrame.end());
  if (settings_.baud != 115200 || lineFrame.size() < 2) return;
  if (Controller* c = ControllerAt(lineFrame[1])) {
    const Bytes answer = c->Answer(lineFrame);
    pending_.insert(pending_.end(), answer.begin(), answer.end());
  }
}

}  // namespace kd::sim
