// What forms ask of the outside, answered with Qt's standard dialogs.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "fileio/settings_file.h"
#include "view/host.h"

class QDialog;
class QPrinter;

namespace kd::qt {

// A request's filter as QFileDialog takes it. Filters come either as bare patterns ("*.cfg",
// "*.cfg;*.txt") or as "description|patterns" pairs joined by '|'.
std::string FileDialogFilter(const std::string& filter);

class QtHost : public view::Host {
 public:
  // Builds the dialog that shows `form`, laid out and bound, ready for exec().
  using DialogFactory = std::function<std::unique_ptr<QDialog>(view::Form& form, QWidget* parent)>;

  explicit QtHost(QWidget* parent = nullptr);
  ~QtHost() override;
  // Dialogs are centred on and modal to this window.
  void SetParentWidget(QWidget* parent) { parent_ = parent; }
  // No one is there to click (a timed or screenshot run): a message box is written to standard
  // error and taken as answered with OK, a file or font dialog as cancelled.
  void SetUnattended(bool unattended) { unattended_ = unattended; }
  // Where the windows' sizes are kept across starts (the main form's settings); none: not kept.
  void SetSettings(fileio::SettingsFile* settings) { settings_ = settings; }
  // Forms with a skin class of their own; any other form gets the generic layout.
  void RegisterDialog(const std::string& formName, DialogFactory factory);

  void ShowModal(view::Form& form) override;
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest& request) override;
  std::optional<view::FontChoice> FontDialog(const view::FontChoice& current) override;
  void MessageBox(const std::string& caption, const std::string& text,
                  view::MessageIcon icon) override;
  view::LocalTime Now() override;
  // The guide in a window beside the main one (one window, brought forward and moved to the
  // section when asked again), the print preview with its print dialog, the page set-up.
  void ShowHelp(const std::string& section) override;
  void Print(const view::PrintDocument& document) override;
  void PrintSetup() override;
  QWidget* HelpWindowShown() const { return help_; }
  // The printer the set-up changes and every print uses.
  QPrinter& Printer() { return *printer_; }

 private:
  std::optional<std::string> FileDialog(const view::FileDialogRequest& request, bool save);

  QPointer<QWidget> parent_;
  std::map<std::string, DialogFactory> factories_;
  bool unattended_ = false;
  QPointer<QWidget> help_;
  fileio::SettingsFile* settings_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
};

}  // namespace kd::qt
