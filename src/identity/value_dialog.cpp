#include "identity/value_dialog.h"

#include "text/cp1251.h"

namespace kd::identity {

ValueDialog::ValueDialog(const std::string& current, view::Host* host)
    : view::Form("TOKBottomDlg"), host_(host) {
  SetCaption(" Модификация параметров");
  Add<view::Label>("Label1").SetCaption("Старое значение:");
  Add<view::Memo>("Memo1").SetItems({current});
  Add<view::Label>("Label2").SetCaption("Новое значение:");
  edit1_ = &Add<view::Edit>("Edit1");
  edit1_->SetHint("Введите требуемое значение.");
  Add<view::Label>("Label3").SetCaption(
      "Внимание!!! Модификация возможна только при включенном зажигании!!!");
  auto& ok = Add<view::Button>("OKBtn");
  ok.SetCaption("OK");
  ok.SetDefault(true);
  ok.OnClick = [this] {
    // A refused value stays in the edit for the technician to mend; nothing is written.
    if (const char* why = host_ ? Refusal() : nullptr) {
      host_->MessageBox("Ошибка!", why, view::MessageIcon::Warning);
      return;
    }
    accepted_ = true;
    CloseByControl();
  };
  auto& cancel = Add<view::Button>("CancelBtn");
  cancel.SetCaption("Cancel");
  cancel.SetCancel(true);
  cancel.OnClick = [this] { CloseByControl(); };
}

const char* ValueDialog::Refusal() const {
  const std::string& value = NewValue();
  // Blanks alone would overwrite the field with blanks: no value either.
  if (value.find_first_not_of(' ') == std::string::npos) return kEmptyValue;
  // The controller keeps Windows-1251 bytes; a character without one would be written as '?'.
  if (text::Cp1251ToUtf8(text::Utf8ToCp1251(value)) != value) return kNot1251Value;
  return nullptr;
}

}  // namespace kd::identity
