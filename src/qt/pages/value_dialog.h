// The skin of the identifiers page's value dialog (TOKBottomDlg).
#pragma once

#include <QDialog>
#include <memory>

#include "view/form.h"

namespace kd::qt {

// Laid out and bound, ready for exec(); registered with the host under the form's name.
std::unique_ptr<QDialog> MakeValueDialog(view::Form& form, QWidget* parent);

}  // namespace kd::qt
