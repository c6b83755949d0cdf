// The skins of the two generic OBD windows (TEOBD, TIso_9141): each page's controls laid out by
// name and bound by the generic binder; nothing here decides anything.
#pragma once

#include <QDialog>
#include <memory>

#include "qt/layout.h"
#include "view/form.h"

namespace kd::qt {

class QtHost;

class ObdWindow : public FormDialog {
 public:
  ObdWindow(view::Form& form, QWidget* parent);
};

// Makes QtHost show both windows with their own skins.
void RegisterObdWindows(QtHost& host);

}  // namespace kd::qt
