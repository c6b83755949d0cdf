// The equipment page of the main window (TabSheet5 "Комплектация"). So far it asks in turn for
// the records that hold the equipment, the immobilizer status and the serial numbers, and says
// so when the controller keeps none; decoding the answers into Comp comes with the page itself.
#pragma once

#include <cstdint>

#include "session/pages.h"
#include "session/session_step.h"
#include "view/controls.h"
#include "view/form.h"

namespace kd::identity {

inline constexpr const char* kNoEquipment = "Комплектация для выбранного блока отсутствует";

class EquipmentPage : public session::PageStep {
 public:
  // RequestStep lives in `session`: the identifiers page of January 4.1 turns it as well.
  EquipmentPage(view::Form& form, const std::uint32_t& ecuType, session::SessionState& session);

  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;

  view::Memo& Comp() { return comp_; }

 private:
  void RotateRequest(link::ExchangeBuffer& buffer);

  const std::uint32_t& ecuType_;
  session::SessionState& session_;
  view::Memo& comp_;
};

}  // namespace kd::identity
