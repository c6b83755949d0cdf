// The skin of the port dialog (TForm6): each number with the device it opens on one row, the
// device button and the adapter kind below; and the adapter check's dialog.
#pragma once

#include <QDialog>
#include <memory>

#include "view/form.h"

namespace kd::qt {

std::unique_ptr<QDialog> MakePortDialog(view::Form& form, QWidget* parent);
// The adapter check (TAdapterTest): its log wide and tall enough for the list of an ELM327.
std::unique_ptr<QDialog> MakeAdapterTestDialog(view::Form& form, QWidget* parent);

}  // namespace kd::qt
