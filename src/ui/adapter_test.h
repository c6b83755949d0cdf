// "Проверка адаптера…": checks one by one what stands between the program and the car, and
// lists each with its result, so that a technician sees where the chain breaks before blaming
// the car: the device, its opening, its line settings, and the adapter's own answer (the cable's
// echo, which only a K-line powered by a car gives; the controller's answer to StartCommunication
// behind the K-line adapter).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "view/form.h"

namespace kd::ui {

class AdapterTestForm : public view::Form {
 public:
  using Run = std::function<std::vector<std::string>()>;
  // `run` performs the checks and gives the lines of the log; they run once as the dialog is
  // created and again on "Проверить".
  explicit AdapterTestForm(Run run);

 private:
  void RunChecks();

  Run run_;
  view::Memo& log_;
};

}  // namespace kd::ui
