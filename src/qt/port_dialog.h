// The skin of the port dialog (TForm6): each number with the device it opens on one row, the
// device button and the adapter kind below.
#pragma once

#include <QDialog>
#include <memory>

#include "view/form.h"

namespace kd::qt {

std::unique_ptr<QDialog> MakePortDialog(view::Form& form, QWidget* parent);

}  // namespace kd::qt
