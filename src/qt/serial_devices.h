// The machine's serial devices as the port dialog shows them, from QSerialPortInfo, with the
// stable /dev/serial/by-id name of each where udev made one.
#pragma once

#include <string>
#include <vector>

#include "ui/port_devices.h"

namespace kd::qt {

std::vector<ui::SerialDevice> PresentDevices();

}  // namespace kd::qt
