#include "qt/serial_devices.h"

#include <QSerialPortInfo>
#include <filesystem>

namespace kd::qt {

namespace {

// The by-id link that leads to `path`; empty where there is none (Windows, on-board ports).
std::string ByIdOf(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path folder = "/dev/serial/by-id";
  if (!fs::is_directory(folder, ec)) return {};
  const fs::path target = fs::weakly_canonical(path, ec);
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::error_code e;
    if (fs::weakly_canonical(entry.path(), e) == target && !e) return entry.path().string();
  }
  return {};
}

}  // namespace

std::vector<ui::SerialDevice> PresentDevices() {
  std::vector<ui::SerialDevice> out;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    ui::SerialDevice d;
    d.path = info.systemLocation().toStdString();
    d.description = info.description().toStdString();
    d.manufacturer = info.manufacturer().toStdString();
    d.serialNumber = info.serialNumber().toStdString();
    d.usb = info.hasVendorIdentifier();
    d.byId = ByIdOf(d.path);
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace kd::qt
