// A host for tests that need a form but no person: every dialog is cancelled, message boxes
// vanish and the clock stands still.
#pragma once

#include "view/host.h"

namespace kd::testing {

class NullHost : public view::Host {
 public:
  void ShowModal(view::Form&) override {}
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<view::FontChoice> FontDialog(const view::FontChoice&) override { return {}; }
  void MessageBox(const std::string&, const std::string&, view::MessageIcon) override {}
  view::LocalTime Now() override { return {}; }
};

}  // namespace kd::testing
