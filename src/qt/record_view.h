// The skin of the recording viewer (TRecordView): the frame table under the chart, the ticked
// parameters and the values at the cursor beside them, the player's buttons below.
#pragma once

#include <QDialog>
#include <memory>

#include "view/form.h"

namespace kd::qt {

std::unique_ptr<QDialog> MakeRecordView(view::Form& form, QWidget* parent);

}  // namespace kd::qt
