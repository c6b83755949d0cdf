// The trip and operation page (TabSheet9 "Парам.Экспл."): the controller's record of how the car
// has been used (local identifier 05), shown as a two-column table and saved as a ".txt" report.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "session/pages.h"
#include "view/controls.h"
#include "view/form.h"

namespace kd::adaptation {

inline constexpr int kTripRows = 22;
inline constexpr std::size_t kTripVinLength = 17;

class TripPageStep : public session::PageStep {
 public:
  // `vin`: the report header's VIN (Windows-1251, 19 characters); the record's VIN is copied
  // into its first 17.
  // `ecuType`: the type in force, where the page should know which types keep the record (only
  // KWP2000 controllers do); without it the page takes every type for one that does.
  TripPageStep(view::Form& form, std::string& vin, const std::uint32_t* ecuType = nullptr);

  void TypeApplied() override;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  bool Serves() const override;
  void NewCar() override;

  // Button5: the main window runs the report's save flow.
  std::function<void()> OnSave;
  // The ".txt" report's body (Windows-1251), which follows the common header.
  std::string ReportBody() const;

  view::Grid& StringGrid7() { return grid_; }
  view::Button& Button5() { return button5_; }

 private:
  void Show(const link::ReplyCopy& reply);

  std::string& vin_;
  const std::uint32_t* ecuType_;
  view::Label& title_;
  view::Grid& grid_;
  view::Button& button5_;
};

}  // namespace kd::adaptation
