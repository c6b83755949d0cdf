// What an adapter that finds the generic OBD protocol itself (the ELM327) tells the OBD windows:
// the protocol it found for their functional requests, and a way to have it searched again.
// Adapters that only pass frames on have none.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace kd::link {

class ObdProtocolReporter {
 public:
  virtual ~ObdProtocolReporter() = default;
  // As AT SP numbers them; 0 while none was found.
  virtual int ObdProtocol() const = 0;
  // "ISO 14230-4 (KWP2000)", "ISO 15765-4 CAN, 11 бит, 500 кбит/с", ...; empty while none.
  virtual std::string ObdProtocolName() const = 0;
  virtual void ForgetObdProtocol() = 0;
  // ISO 15765-4: the protocols from 6 on.
  bool OnCan() const { return ObdProtocol() >= 6; }
};

// The reporter behind `port`, if its adapter is one.
ObdProtocolReporter* ObdProtocolOf(SerialPort& port);

}  // namespace kd::link
