// What the kernel says a terminal is set to, read apart from QSerialPort so that a test sees the
// line as the driver sees it. Separate from the tests because <asm/termbits.h> clashes with
// <termios.h>.
#pragma once

#include <optional>

namespace kd::test {

struct TtyLine {
  unsigned outputBaud = 0;
  unsigned inputBaud = 0;
  int dataBits = 0;
  int stopBits = 0;
  bool parity = false;
};

std::optional<TtyLine> ReadTtyLine(int fd);

}  // namespace kd::test
