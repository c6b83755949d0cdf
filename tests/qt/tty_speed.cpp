#include "tty_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kd::test {

std::optional<TtyLine> ReadTtyLine(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return std::nullopt;
  TtyLine line;
  line.outputBaud = t.c_ospeed;
  line.inputBaud = t.c_ispeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      line.dataBits = 5;
      break;
    case CS6:
      line.dataBits = 6;
      break;
    case CS7:
      line.dataBits = 7;
      break;
    default:
      line.dataBits = 8;
      break;
  }
  line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  line.parity = (t.c_cflag & PARENB) != 0;
  return line;
}

}  // namespace kd::test
