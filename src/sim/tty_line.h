// A terminal's line settings as the kernel holds them, read with termios2 so that a speed that is
// not one of the standard constants (8192 baud) comes back as the number it is. Apart from the
// pseudo-terminal code because <asm/termbits.h> clashes with <termios.h>.
#pragma once

#include <optional>

#include "link/serial_port.h"

namespace kd::sim {

// Nothing when the descriptor is no terminal or reports no output speed.
std::optional<link::LineSettings> ReadTtyLine(int fd);

}  // namespace kd::sim
