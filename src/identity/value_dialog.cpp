#include "identity/value_dialog.h"

namespace kd::identity {

ValueDialog::ValueDialog(const std::string& current) : view::Form("TOKBottomDlg") {
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
    accepted_ = true;
    CloseByControl();
  };
  auto& cancel = Add<view::Button>("CancelBtn");
  cancel.SetCaption("Cancel");
  cancel.SetCancel(true);
  cancel.OnClick = [this] { CloseByControl(); };
}

}  // namespace kd::identity
