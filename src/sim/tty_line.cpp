#include "sim/tty_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kd::sim {

std::optional<link::LineSettings> ReadTtyLine(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0 || t.c_ospeed == 0) return std::nullopt;
  link::LineSettings s;
  s.baud = static_cast<int>(t.c_ospeed);
  switch (t.c_cflag & CSIZE) {
    case CS5:
      s.dataBits = 5;
      break;
    case CS6:
      s.dataBits = 6;
      break;
    case CS7:
      s.dataBits = 7;
      break;
    default:
      s.dataBits = 8;
      break;
  }
  s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  if (!(t.c_cflag & PARENB))
    s.parity = 'n';
  else if (t.c_cflag & CMSPAR)
    s.parity = (t.c_cflag & PARODD) ? 'm' : 's';
  else
    s.parity = (t.c_cflag & PARODD) ? 'o' : 'e';
  return s;
}

}  // namespace kd::sim
