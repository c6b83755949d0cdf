// Layout shared by the skin's form classes: menus built from a form's menu-item tree and a
// generic arrangement of any form's controls, each widget named after its control so that the
// binder pairs them. Nothing here reacts to anything.
#pragma once

#include <QDialog>

#include "view/form.h"

class QMenu;
class QMenuBar;

namespace kd::qt {

// A menu for `item` on `bar` with all its sub-items; actions carry the items' names, and items
// of one radio group share an exclusive QActionGroup so that they show radio marks.
QMenu* AddMenu(QMenuBar* bar, const view::MenuItem& item);
void AddMenuItems(QMenu* menu, const view::MenuItem& parent);

// Menu items that are no other item's sub-item: the entries of a form's menu bar.
std::vector<view::MenuItem*> TopMenuItems(const view::Form& form);

// The widget that shows a control of this kind, named after it; nothing for menu items, timers
// and status bars, which their owners lay out.
QWidget* WidgetFor(view::Control& control, QWidget* parent);

// Lays every control of `form` out in `dialog`, top to bottom in the form's order: the fall-back
// for forms that have no skin class of their own yet.
void LayOutGeneric(const view::Form& form, QDialog* dialog);

class Binder;

// A modal window for a form: the close box (and Esc) asks the form, which may refuse.
class FormDialog : public QDialog {
 public:
  FormDialog(view::Form& form, QWidget* parent);
  ~FormDialog() override;
  // Binds the laid-out widgets; call once the layout is complete.
  Binder& Bind();
  Binder* Bindings() const { return binder_; }

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  bool AskForm();

  view::Form& form_;
  Binder* binder_ = nullptr;
};

}  // namespace kd::qt
