// The main window's skin: menus, tool bar, the pages and the status line of ui::MainForm, laid
// out and bound by name. Every state shown comes from the form's models through the binder.
#pragma once

#include <QMainWindow>
#include <set>

#include "qt/binder.h"
#include "ui/main_form.h"

namespace kd::qt {

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(ui::MainForm& form, QWidget* parent = nullptr);
  ~MainWindow() override;

  ui::MainForm& Form() const { return form_; }
  Binder& Bindings() const { return *binder_; }
  bool HasWidget(const view::Control& control) const { return placed_.count(&control) > 0; }

 protected:
  // The close box asks the form, which stores its configuration and may refuse.
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* Make(const char* name, QWidget* parent);
  void BuildToolBar();
  // Each page of the table by its layout of qt/pages.
  void BuildPages();

  ui::MainForm& form_;
  // Controls that got a widget of their own: the rest (menus, timers, the status line) are laid
  // out by the menu bar, the binder and the status bar.
  std::set<const view::Control*> placed_;
  Binder* binder_ = nullptr;
};

}  // namespace kd::qt
