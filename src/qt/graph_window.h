// The skin of the graph window (TForm9): six group boxes with a value in large print on the
// left, the chart on the right.
#pragma once

#include <QDialog>
#include <memory>

#include "view/form.h"

namespace kd::qt {

// A dialog for the graph window's form; it copies the models every 300 ms, since the main
// window's timer feeds them while the window is open.
std::unique_ptr<QDialog> MakeGraphWindow(view::Form& form, QWidget* parent);

}  // namespace kd::qt
