// The equipment page (TabSheet5 "Комплектация"): what the controller's calibration enables, the
// state of its immobilizer algorithm and the serial numbers it keeps, as lines of the memo Comp.
// The page asks in turn for the records that hold them; the memo is rewritten only when a
// reported byte changes, so the text stays still while the controller repeats itself.
#pragma once

#include <cstdint>

#include "identity/ident_page_step.h"
#include "session/pages.h"
#include "session/session_step.h"
#include "view/form.h"

namespace kd::identity {

// The bytes last shown. They live as long as the main window: coming back to the page, or to a
// type, shows nothing new until a reported byte changes.
struct EquipmentDetectors {
  std::uint8_t equipByte0 = 0;
  std::uint8_t equipByte1 = 0;
  std::uint8_t immoByte0 = 1;
  std::uint8_t immoByte1 = 0;
  std::uint8_t immoByte2 = 0;
};

inline constexpr const char* kNoEquipment = "Комплектация для выбранного блока отсутствует";

class EquipmentPageStep : public session::PageStep {
 public:
  // RequestStep and PageTickCount live in `session`: the identifiers page of January 4.1 turns
  // RequestStep as well. The serial numbers are the identifiers page's buffers.
  EquipmentPageStep(view::Form& form, const std::uint32_t& ecuType, session::SessionState& session,
                    Identifiers& identifiers);

  void TypeApplied() override;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  bool Serves() const override;
  // The lists go and the detectors start again, so the next car's bytes are all shown.
  void NewCar() override;

  view::Memo& Comp() { return comp_; }
  const EquipmentDetectors& Detectors() const { return detectors_; }

 private:
  void RotateRequest(link::ExchangeBuffer& buffer);
  void January41Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void EmurStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void RecordsStep(const link::ReplyCopy& reply);
  void Immobilizer(const link::ReplyCopy& reply);
  // A serial-number block: appended once each time the controller's text changes.
  void Serial(const link::ReplyCopy& reply, std::string& target, const char* heading);

  const std::uint32_t& ecuType_;
  session::SessionState& session_;
  Identifiers& identifiers_;
  view::Memo& comp_;
  EquipmentDetectors detectors_;
  bool notSupportedShown_ = false;
};

}  // namespace kd::identity
