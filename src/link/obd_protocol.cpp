#include "link/obd_protocol.h"

namespace kd::link {

ObdProtocolReporter* ObdProtocolOf(SerialPort& port) {
  // The core is handed the adapter port, maybe behind a tap; the driver in use stands behind.
  SerialPort* p = &port;
  for (int depth = 0; p && depth < 4; ++depth) {
    if (auto* r = dynamic_cast<ObdProtocolReporter*>(p)) return r;
    p = p->Inner();
  }
  return nullptr;
}

}  // namespace kd::link
