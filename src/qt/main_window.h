// The main window's skin: tool bar, controller-type menu and status line of ui::MainForm, laid
// out and bound by name. Every state shown comes from the form's models through the binder.
#pragma once

#include <QMainWindow>

#include "qt/binder.h"
#include "ui/main_form.h"

namespace kd::qt {

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(ui::MainForm& form, QWidget* parent = nullptr);
  ~MainWindow() override;

  ui::MainForm& Form() const { return form_; }
  Binder& Bindings() const { return *binder_; }

 protected:
  // The close box asks the form, which stores its configuration and may refuse.
  void closeEvent(QCloseEvent* event) override;

 private:
  ui::MainForm& form_;
  Binder* binder_ = nullptr;
};

}  // namespace kd::qt
