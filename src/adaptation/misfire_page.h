// The misfire page (TabSheet8 "Пропуски Заж."): the controller's misfire-detection record
// (local identifier 04), decoded by the type's MisfireParamList into a three-column grid.
#pragma once

#include <cstdint>
#include <vector>

#include "catalogue/param_record.h"
#include "session/pages.h"
#include "view/controls.h"
#include "view/form.h"

namespace kd::adaptation {

class MisfirePageStep : public session::PageStep {
 public:
  MisfirePageStep(view::Form& form, const std::uint32_t& ecuType);

  void TypeApplied() override;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  bool Serves() const override;

  view::Grid& StringGrid5() { return grid_; }
  // The list in force, with the values last decoded.
  const std::vector<catalogue::ParamRecord>& Entries() const { return entries_; }

 private:
  const std::uint32_t& ecuType_;
  view::Grid& grid_;
  std::vector<catalogue::ParamRecord> entries_;
};

}  // namespace kd::adaptation
