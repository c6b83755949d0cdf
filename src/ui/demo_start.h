// The demo's start-up: the main window starts as the program does, and on the demo's very first
// start in a folder (no "default.cfg" there yet) every parameter of the list is shown, so the
// first screen already shows the simulated car. A real first start keeps the empty list.
#pragma once

#include "ui/main_form.h"

namespace kd::ui {

void StartDemo(MainForm& form);

}  // namespace kd::ui
