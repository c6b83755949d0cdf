// What forms ask of the outside, answered with Qt's standard dialogs.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "view/host.h"

class QDialog;

namespace kd::qt {

// A request's filter as QFileDialog takes it. Filters come either as bare patterns ("*.cfg",
// "*.cfg;*.txt") or as "description|patterns" pairs joined by '|'.
std::string FileDialogFilter(const std::string& filter);

class QtHost : public view::Host {
 public:
  // Builds the dialog that shows `form`, laid out and bound, ready for exec().
  using DialogFactory = std::function<std::unique_ptr<QDialog>(view::Form& form, QWidget* parent)>;

  explicit QtHost(QWidget* parent = nullptr) : parent_(parent) {}
  // Dialogs are centred on and modal to this window.
  void SetParentWidget(QWidget* parent) { parent_ = parent; }
  // No one is there to click (a timed or screenshot run): a message box is written to standard
  // error and taken as answered with OK, a file or font dialog as cancelled.
  void SetUnattended(bool unattended) { unattended_ = unattended; }
  // Forms with a skin class of their own; any other form gets the generic layout.
  void RegisterDialog(const std::string& formName, DialogFactory factory);

  void ShowModal(view::Form& form) override;
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest& request) override;
  std::optional<view::FontChoice> FontDialog(const view::FontChoice& current) override;
  void MessageBox(const std::string& caption, const std::string& text,
                  view::MessageIcon icon) override;
  view::LocalTime Now() override;

 private:
  std::optional<std::string> FileDialog(const view::FileDialogRequest& request, bool save);

  QPointer<QWidget> parent_;
  std::map<std::string, DialogFactory> factories_;
  bool unattended_ = false;
};

}  // namespace kd::qt
