// The controls of one window (or page) that show values read from a controller. A technician
// acts on what the screen says, so a value the link no longer confirms must look it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "view/controls.h"
#include "view/host.h"

namespace kd::view {

class StaleMarks {
 public:
  void Watch(Control& control) { controls_.push_back(&control); }
  const std::vector<Control*>& Watched() const { return controls_; }
  // Where "since when" comes from; without a clock the time stays empty.
  void SetClock(std::function<LocalTime()> clock) { clock_ = std::move(clock); }

  // A tick whose reply was missing: every watched value is stale from now, or from the earlier
  // time it already carries.
  void Lost();
  // A decoded reply has refreshed what is watched here.
  void Refreshed();
  // The tick's outcome: answered or not.
  void Answered(bool answered) { answered ? Refreshed() : Lost(); }

 private:
  std::vector<Control*> controls_;
  std::function<LocalTime()> clock_;
};

// "HH:MM:SS", as the tooltip of a stale value says it.
std::string ClockText(const LocalTime& t);

}  // namespace kd::view
