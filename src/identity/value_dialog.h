// The value-modification dialog (TOKBottomDlg) the identifiers page opens on a double click: the
// value as it stands, an edit for the new one and the warning about the ignition.
#pragma once

#include <string>

#include "view/form.h"

namespace kd::identity {

class ValueDialog : public view::Form {
 public:
  // `current`: the buffer's content as the screen shows it.
  explicit ValueDialog(const std::string& current);

  // Set by OKBtn; the close box and CancelBtn leave it false.
  bool Accepted() const { return accepted_; }
  const std::string& NewValue() const { return edit1_->Text(); }

 private:
  bool accepted_ = false;
  view::Edit* edit1_ = nullptr;
};

}  // namespace kd::identity
