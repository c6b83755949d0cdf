#include "link/obd_protocol.h"

namespace kd::link {

ObdProtocolReporter* ObdProtocolOf(SerialPort& port) {
  return dynamic_cast<ObdProtocolReporter*>(&port);
}

}  // namespace kd::link
