// The ADC page (TabSheet6 "АЦП"): the raw converter readings and port states of the controller,
// one channel a row of StringGrid2, with the channel's hint on the grid when a row is selected.
#pragma once

#include <cstdint>

#include "link/exchange_buffer.h"
#include "session/pages.h"
#include "view/form.h"

namespace kd::identity {

class AdcPageStep : public session::PageStep {
 public:
  AdcPageStep(view::Form& form, const std::uint32_t& ecuType);

  // Header, channel names and the row count of the type in force.
  void TypeApplied() override;
  bool Serves() const override;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;

  view::Grid& StringGrid2() { return grid_; }
  // The channel the next memory read asks for (MP7.0).
  std::int32_t AdcStep() const { return adcStep_; }

 private:
  void LocalRecordStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void MemorySweepStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void January41Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void ScaledRecordStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);

  const std::uint32_t& ecuType_;
  view::Grid& grid_;
  std::int32_t adcStep_ = 0;
  std::uint32_t appliedType_ = 0;
};

}  // namespace kd::identity
