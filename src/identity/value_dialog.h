// The value-modification dialog (TOKBottomDlg) the identifiers page opens on a double click: the
// value as it stands, an edit for the new one and the warning about the ignition.
#pragma once

#include <string>

#include "view/form.h"
#include "view/host.h"

namespace kd::identity {

inline constexpr const char* kEmptyValue = "Новое значение не введено: записывать нечего.";
inline constexpr const char* kNot1251Value =
    "Новое значение содержит символы, которых нет в кодировке Windows-1251: контроллер их не "
    "примет.";

class ValueDialog : public view::Form {
 public:
  // `current`: the buffer's content as the screen shows it.
  // `host`, when given, says why OK refuses a value; without it OK takes any value.
  explicit ValueDialog(const std::string& current, view::Host* host = nullptr);

  // Set by OKBtn; the close box and CancelBtn leave it false.
  bool Accepted() const { return accepted_; }
  const std::string& NewValue() const { return edit1_->Text(); }

 private:
  // Why the typed value cannot be written, or nothing when it can.
  const char* Refusal() const;

  view::Host* host_ = nullptr;
  bool accepted_ = false;
  view::Edit* edit1_ = nullptr;
};

}  // namespace kd::identity
