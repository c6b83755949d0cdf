// The skins of the immobilizer and climate windows: each lays its form's controls out by name
// and binds them with the generic binder; nothing here decides anything.
#pragma once

#include <memory>

#include "qt/layout.h"

namespace kd::qt {

class Aps4Dialog : public FormDialog {
 public:
  Aps4Dialog(view::Form& form, QWidget* parent);
};

class Aps6Dialog : public FormDialog {
 public:
  Aps6Dialog(view::Form& form, QWidget* parent);
};

class SauoDialog : public FormDialog {
 public:
  SauoDialog(view::Form& form, QWidget* parent);
};

class QtHost;
// Registers the three skins with the host under their forms' names.
void RegisterSideDialogs(QtHost& host);

}  // namespace kd::qt
