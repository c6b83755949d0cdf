#include "qt/port_map.h"

#include <charconv>
#include <filesystem>

namespace kd::qt {

namespace {

bool InRange(int portNumber) {
  return portNumber >= PortMap::kFirstPort && portNumber <= PortMap::kLastPort;
}

PortPlatform HostPlatform() {
#ifdef _WIN32
  return PortPlatform::Windows;
#else
  return PortPlatform::Linux;
#endif
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

PortMap::PortMap() : PortMap(HostPlatform(), FileExists) {}

PortMap::PortMap(PortPlatform platform, DeviceExists exists)
    : platform_(platform), exists_(std::move(exists)) {}

std::string PortMap::Device(int portNumber) const {
  if (!InRange(portNumber)) return {};
  if (resolver_) return resolver_(portNumber);
  if (const auto& chosen = overrides_[portNumber - 1]) return *chosen;
  return Platform(portNumber);
}

std::optional<std::string> PortMap::Forced(int portNumber) const {
  if (!InRange(portNumber)) return std::nullopt;
  return overrides_[portNumber - 1];
}

std::string PortMap::Platform(int portNumber) const {
  if (!InRange(portNumber)) return {};
  const std::string index = std::to_string(portNumber - 1);
  if (platform_ == PortPlatform::Windows) return "COM" + std::to_string(portNumber);
  // Probed at every open, not once: an adapter plugged in after start-up is found.
  std::string usb = "/dev/ttyUSB" + index;
  if (exists_ && exists_(usb)) return usb;
  return "/dev/ttyS" + index;
}

bool PortMap::Override(int portNumber, std::string device) {
  if (!InRange(portNumber) || device.empty()) return false;
  overrides_[portNumber - 1] = std::move(device);
  return true;
}

std::optional<std::pair<int, std::string>> ParsePortOverride(std::string_view text) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0) return std::nullopt;
  int number = 0;
  const char* first = text.data();
  const char* last = text.data() + eq;
  auto [ptr, ec] = std::from_chars(first, last, number);
  if (ec != std::errc() || ptr != last || !InRange(number)) return std::nullopt;
  std::string device(text.substr(eq + 1));
  if (device.empty()) return std::nullopt;
  return std::pair{number, std::move(device)};
}

}  // namespace kd::qt
