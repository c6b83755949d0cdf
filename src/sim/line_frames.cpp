#include "sim/line_frames.h"

namespace kd::sim {

std::optional<KwpFrame> ParseKwpFrame(const Bytes& line) {
  if (line.size() < 4) return std::nullopt;
  const std::uint8_t format = line[0];
  // Without address information (format bits 7..6 zero) a frame cannot be addressed to anyone
  // on a line with several controllers.
  if ((format & 0xC0) == 0) return std::nullopt;
  std::size_t header = 3;
  std::size_t length = format & 0x3F;
  if (length == 0) {
    header = 4;
    length = line[3];
  }
  if (length == 0 || line.size() != header + length + 1) return std::nullopt;
  if (Sum8(line.data(), line.size() - 1) != line.back()) return std::nullopt;
  KwpFrame frame;
  frame.format = format;
  frame.target = line[1];
  frame.source = line[2];
  frame.service.assign(line.begin() + static_cast<std::ptrdiff_t>(header), line.end() - 1);
  return frame;
}

Bytes BuildKwpFrame(std::uint8_t target, std::uint8_t source, const Bytes& service, bool longForm,
                    std::uint8_t checksumSkew) {
  Bytes out;
  // Physical addressing (format bits 10): the reply goes to one tester.
  if (!longForm && !service.empty() && service.size() <= 63) {
    out = {static_cast<std::uint8_t>(0x80 | service.size()), target, source};
  } else {
    out = {0x80, target, source, static_cast<std::uint8_t>(service.size())};
  }
  out.insert(out.end(), service.begin(), service.end());
  out.push_back(Add8(Sum8(out), checksumSkew));
  return out;
}

namespace {

void StuffByte(Bytes& out, std::uint8_t b) {
  if (b == kTerminator) {
    out.push_back(kEscape);
    out.push_back(0xCD);
  } else if (b == kEscape) {
    out.push_back(kEscape);
    out.push_back(0x00);
  } else {
    out.push_back(b);
  }
}

}  // namespace

Bytes BuildEscapedFrame(const Bytes& message, std::uint8_t checksumSkew) {
  Bytes out;
  for (std::uint8_t b : message) StuffByte(out, b);
  StuffByte(out, Add8(Complement8(Sum8(message)), checksumSkew));
  out.push_back(kTerminator);
  return out;
}

std::optional<Bytes> ParseEscapedFrame(const Bytes& line) {
  Bytes body;
  std::size_t i = 0;
  for (; i < line.size(); ++i) {
    const std::uint8_t b = line[i];
    if (b == kTerminator) break;
    if (b == kEscape) {
      if (++i == line.size()) return std::nullopt;
      body.push_back(line[i] == 0x00 ? kEscape : kTerminator);
    } else {
      body.push_back(b);
    }
  }
  // The terminator must close the frame: bytes behind it are a second, unexpected frame.
  if (i + 1 != line.size() || body.size() < 2) return std::nullopt;
  if (Sum8(body) != 0) return std::nullopt;
  body.pop_back();
  return body;
}

std::optional<GmFrame> ParseGmFrame(const Bytes& line) {
  if (line.size() < 4) return std::nullopt;
  const int n = line[1] - 0x55;
  if (n < 1 || line.size() != static_cast<std::size_t>(n) + 3) return std::nullopt;
  if (Sum8(line) != 0) return std::nullopt;
  GmFrame frame;
  frame.address = line[0];
  frame.mode = line[2];
  frame.data.assign(line.begin() + 3, line.end() - 1);
  return frame;
}

Bytes BuildGmFrame(std::uint8_t address, std::uint8_t mode, const Bytes& data,
                   std::uint8_t checksumSkew) {
  Bytes out{address, static_cast<std::uint8_t>(0x55 + 1 + data.size()), mode};
  out.insert(out.end(), data.begin(), data.end());
  out.push_back(Add8(Complement8(Sum8(out)), checksumSkew));
  return out;
}

}  // namespace kd::sim
