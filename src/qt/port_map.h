// Which device a port number 1..8 opens. Windows names them COMn; on Linux a USB adapter is the
// usual case, so /dev/ttyUSB(n-1) wins when it exists and the on-board /dev/ttyS(n-1) is the
// fall-back. `--port N=DEVICE` replaces one entry for adapters that live elsewhere (a pty, a
// udev alias).
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kd::qt {

enum class PortPlatform { Windows, Linux };

class PortMap {
 public:
  inline static constexpr int kFirstPort = 1;
  inline static constexpr int kLastPort = 8;

  using DeviceExists = std::function<bool(const std::string& path)>;

  // The running system's naming and a real look at the file system.
  PortMap();
  // Injected for tests: the naming of `platform` and `exists` in place of the file system.
  PortMap(PortPlatform platform, DeviceExists exists);

  // The device of `portNumber`; empty outside 1..8. With a resolver, what it says.
  std::string Device(int portNumber) const;
  // Replaces one entry; false (and nothing changed) for a number outside 1..8 or an empty path.
  bool Override(int portNumber, std::string device);
  // The entry --port gave the number, if any.
  std::optional<std::string> Forced(int portNumber) const;
  // The device by the platform's naming alone.
  std::string Platform(int portNumber) const;
  // Where the program keeps its own assignments of devices to numbers, it decides: Device()
  // asks `resolver` from then on.
  void SetResolver(std::function<std::string(int portNumber)> resolver) {
    resolver_ = std::move(resolver);
  }

 private:
  std::function<std::string(int)> resolver_;
  PortPlatform platform_;
  DeviceExists exists_;
  std::array<std::optional<std::string>, kLastPort> overrides_;
};

// "N=DEVICE" as given to --port; nothing when N is not a port number or DEVICE is empty.
std::optional<std::pair<int, std::string>> ParsePortOverride(std::string_view text);

}  // namespace kd::qt
