// Actuator control rides on the parameter page: the page calls it around its own request, and it
// may put an actuator's request in place of the page's. The panel and the requests of each
// family come with the actuator feature; until then the panel is never up and nothing is
// replaced, so the page's requests go out as they are.
#pragma once

#include "link/exchange_buffer.h"

namespace kd::actuators {

class ActuatorControl {
 public:
  virtual ~ActuatorControl() = default;

  // KWP2000: after a data reply was shown; may replace the page's request.
  virtual void AfterDataReply(link::ExchangeBuffer& /*buffer*/) {}
  // KWP2000: every reply the page got, the answers to actuator requests among them.
  virtual void Reply(const link::ReplyCopy& /*reply*/) {}
  // Escaped frames and GM: whether the panel is up, so that the page paces actuator requests.
  virtual bool PanelVisible() const { return false; }
  // Escaped frames and GM: the paced actuator request, in place of the page's.
  virtual void PacedRequest(link::ExchangeBuffer& /*buffer*/) {}
};

}  // namespace kd::actuators
