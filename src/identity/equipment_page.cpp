#include "identity/equipment_page.h"

#include "catalogue/ecu_catalogue.h"

namespace kd::identity {

EquipmentPage::EquipmentPage(view::Form& form, const std::uint32_t& ecuType,
                             session::SessionState& session)
    : ecuType_(ecuType), session_(session), comp_(form.Add<view::Memo>("Comp")) {}

void EquipmentPage::Step(link::ReplyCopy& /*reply*/, link::ExchangeBuffer& buffer) {
  const catalogue::EcuInfo& ecu = catalogue::Lookup(ecuType_);
  // January 4.1's single cell is asked for by its own step, which comes with the page.
  if (ecu.family != catalogue::LinkFamily::Kwp2000) return;
  if (ecu.equipment == catalogue::EquipmentKind::Absent) {
    comp_.SetItems({kNoEquipment});
    return;
  }
  RotateRequest(buffer);
}

// Six ticks a cycle: the default request's length and parameter, then 02, A0, A1, A2, A3.
void EquipmentPage::RotateRequest(link::ExchangeBuffer& buffer) {
  static constexpr std::uint8_t kIdentifiers[] = {0x02, 0xA0, 0xA1, 0xA2, 0xA3};
  buffer.transmitFrame[3] = 0x21;
  const std::uint8_t s = session_.requestStep;
  session_.requestStep = link::Add8(s, 1);
  if (s >= 1 && s <= 5) {
    buffer.transmitFrame[4] = kIdentifiers[s - 1];
    buffer.dataLength = 2;
  } else {
    session_.requestStep = 1;
  }
}

}  // namespace kd::identity
