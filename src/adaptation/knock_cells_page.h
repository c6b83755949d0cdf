// The knock adaptation page (TabSheet7 "Об.УОЗ"): the ignition-advance corrections the knock
// control has learnt, one column per cylinder. January 5.1 and 7.2 give them as one memory block,
// M7.9.7 as a block readable only inside its special diagnostic session, M10 as two records
// (noise levels, then corrections).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "session/pages.h"
#include "view/controls.h"
#include "view/form.h"

namespace kd::adaptation {

class KnockCellsPageStep : public session::PageStep {
 public:
  KnockCellsPageStep(view::Form& form, const std::uint32_t& ecuType);

  void TypeApplied() override;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  bool Serves() const override;

  // Button4: the main window runs the report's save flow.
  std::function<void()> OnSave;
  // The ".uoz" report's body (Windows-1251), which follows the common header.
  std::string ReportBody() const;

  view::Grid& StringGrid6() { return grid_; }
  view::Button& Button4() { return button4_; }

 private:
  void M797Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void M10Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);

  const std::uint32_t& ecuType_;
  view::Grid& grid_;
  view::Button& button4_;
};

}  // namespace kd::adaptation
