#include "ui/port_devices.h"

#include <algorithm>

#include "fileio/settings_file.h"

namespace kd::ui {

namespace {

constexpr std::string_view kBySerial = "serial:";
constexpr std::string_view kByPath = "path:";
// With one USB adapter and no assignment yet, the number the program starts on opens it.
constexpr int kDefaultPort = 2;

std::string Key(int portNumber) {
  return PortAssignments::kKeyPrefix + std::to_string(portNumber);
}

}  // namespace

std::string DeviceLabel(const SerialDevice& device) {
  std::string details;
  const auto add = [&details](const std::string& part) {
    if (part.empty()) return;
    if (!details.empty()) details += ", ";
    details += part;
  };
  add(device.description);
  add(device.manufacturer);
  if (!device.serialNumber.empty()) add("s/n " + device.serialNumber);
  return details.empty() ? device.path : device.path + " — " + details;
}

std::vector<SerialDevice> PortAssignments::Present() const {
  return world_.present ? world_.present() : std::vector<SerialDevice>{};
}

std::optional<std::string> PortAssignments::Assigned(
    int portNumber, const std::vector<SerialDevice>& present) const {
  if (const auto value = settings_.Get(Key(portNumber))) {
    const std::string_view v = *value;
    if (v.starts_with(kBySerial)) {
      const std::string_view serial = v.substr(kBySerial.size());
      for (const SerialDevice& d : present)
        if (!serial.empty() && d.serialNumber == serial) return d.path;
      return std::string();
    }
    if (v.starts_with(kByPath)) return std::string(v.substr(kByPath.size()));
  }
  if (portNumber == kDefaultPort && settings_.KeysWithPrefix(kKeyPrefix).empty()) {
    const auto usb =
        std::count_if(present.begin(), present.end(), [](const SerialDevice& d) { return d.usb; });
    if (usb == 1)
      return std::find_if(present.begin(), present.end(),
                          [](const SerialDevice& d) { return d.usb; })
          ->path;
  }
  return std::nullopt;
}

std::string PortAssignments::DeviceOf(int portNumber) const {
  if (world_.forcedDevice)
    if (auto forced = world_.forcedDevice(portNumber)) return *forced;
  if (auto assigned = Assigned(portNumber, Present())) return *assigned;
  return world_.platformDevice ? world_.platformDevice(portNumber) : std::string();
}

std::string PortAssignments::Label(int portNumber) const {
  const auto present = Present();
  std::string path;
  if (world_.forcedDevice)
    if (auto forced = world_.forcedDevice(portNumber)) path = *forced;
  const bool forced = !path.empty();
  if (path.empty()) {
    if (auto assigned = Assigned(portNumber, present))
      path = *assigned;
    else if (world_.platformDevice)
      path = world_.platformDevice(portNumber);
  }
  if (path.empty()) return kNoDevice;
  for (const SerialDevice& d : present)
    if (d.path == path || (!d.byId.empty() && d.byId == path)) return DeviceLabel(d);
  // A device named on the command line is the technician's own choice, listed or not (a
  // pseudo-terminal, a udev alias).
  return forced ? path : kNoDevice;
}

bool PortAssignments::Assign(int portNumber, const SerialDevice& device) {
  if (!device.serialNumber.empty())
    return settings_.Set(Key(portNumber), std::string(kBySerial) + device.serialNumber);
  // The by-id name outlives a change of socket where there is one.
  return AssignPath(portNumber, device.byId.empty() ? device.path : device.byId);
}

bool PortAssignments::AssignPath(int portNumber, const std::string& path) {
  if (path.empty()) return false;
  return settings_.Set(Key(portNumber), std::string(kByPath) + path);
}

bool PortAssignments::Clear(int portNumber) {
  return settings_.Remove(Key(portNumber));
}

}  // namespace kd::ui
