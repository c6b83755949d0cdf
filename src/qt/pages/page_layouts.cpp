#include "qt/pages/page_layouts.h"

namespace kd::qt {

PageLayout LayoutOf(session::Page page) {
  switch (page) {
    case session::Page::Params:
      return LayOutParamPage;
    case session::Page::Faults:
      return LayOutFaultPage;
    case session::Page::Idents:
      return LayOutIdentPage;
    case session::Page::Equipment:
      return LayOutEquipmentPage;
    case session::Page::Adc:
      return LayOutAdcPage;
    case session::Page::Fuel:
      return LayOutFuelPage;
    case session::Page::Knock:
      return LayOutKnockPage;
    case session::Page::Misfire:
      return LayOutMisfirePage;
    case session::Page::Trip:
      return LayOutTripPage;
    default:
      return nullptr;
  }
}

}  // namespace kd::qt
