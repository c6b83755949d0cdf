// The equipment page (TabSheet5 "Комплектация"): what the controller's calibration enables, the
// state of its immobilizer algorithm and the serial numbers it keeps, as lines of the memo Comp.
// The memo is rewritten only when a reported byte changes, so the text stays still while the
// controller repeats itself.
#pragma once

#include <cstdint>

#include "identity/ident_page_step.h"
#include "link/exchange_buffer.h"
#include "view/controls.h"

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

class EquipmentPageStep {
 public:
  struct Shared {
    const std::uint32_t& ecuType;
    std::uint8_t& pageTickCount;
  };

  EquipmentPageStep(view::Memo& comp, Shared shared, Identifiers& identifiers);

  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer);

  const EquipmentDetectors& Detectors() const { return detectors_; }

 private:
  void January41Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void EmurStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void KwpStep(const link::ReplyCopy& reply);
  void Immobilizer(const link::ReplyCopy& reply);
  // A serial-number block: appended once each time the controller's text changes.
  void Serial(const link::ReplyCopy& reply, std::string& target, const char* heading);

  view::Memo& comp_;
  Shared shared_;
  Identifiers& identifiers_;
  EquipmentDetectors detectors_;
};

}  // namespace kd::identity
