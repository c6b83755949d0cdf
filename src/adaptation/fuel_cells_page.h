// The fuel adaptation page (TabSheet4 "Топливо"): the oxygen-sensor correction cells the
// controller has learnt, over engine speed (rows) and load (columns), in two halves. January 5.1
// and 7.2 give them as raw memory, swept block by block; M10 as two records read in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "session/pages.h"
#include "view/controls.h"
#include "view/form.h"

namespace kd::adaptation {

inline constexpr std::uint16_t kFuelSweepStart = 0xFD00;
inline constexpr std::uint8_t kFuelBlockCount = 32;
inline constexpr std::uint8_t kFuelBlockSize = 16;

class FuelCellsPageStep : public session::PageStep {
 public:
  FuelCellsPageStep(view::Form& form, const std::uint32_t& ecuType);

  void TypeApplied() override;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  bool Serves() const override;

  // Button2: the main window runs the report's save flow.
  std::function<void()> OnSave;
  // The ".ram" report's body (Windows-1251), which follows the common header.
  std::string ReportBody() const;

  view::Grid& StringGrid3() { return grid_; }
  view::Button& Button2() { return button2_; }
  std::uint16_t Address() const { return address_; }
  std::uint8_t Block() const { return block_; }

 private:
  void JanuaryStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void M10Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void RestartSweep(link::ExchangeBuffer& buffer);

  const std::uint32_t& ecuType_;
  view::Grid& grid_;
  view::Button& button2_;
  // The January sweep: the address asked for, and the block its answer is taken for.
  std::uint16_t address_ = kFuelSweepStart;
  std::uint8_t block_ = 0;
};

}  // namespace kd::adaptation
