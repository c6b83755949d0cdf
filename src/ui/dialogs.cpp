#include "ui/dialogs.h"

#include <string>

namespace kd::ui {

PortDialog::PortDialog() : view::Form("TForm6") {
  SetCaption("Выбор последовательного порта...");
  Add<view::GroupBox>("GroupBox1").SetCaption("GroupBox1");
  for (int i = 0; i < 8; ++i) {
    auto& radio = Add<view::RadioButton>("RadioButton" + std::to_string(i + 1));
    radio.SetCaption("Последовательный порт СОМ" + std::to_string(i + 1));
    radio.OnClick = [this, i] {
      for (int j = 0; j < 8; ++j)
        if (j != i) radios_[j]->SetChecked(false);
    };
    radios_[i] = &radio;
  }
  auto& close = Add<view::Button>("Button1");
  close.SetCaption("Закрыть");
  close.OnClick = [this] { CloseByControl(); };
}

void PortDialog::Preset(int portNumber) {
  const int index = portNumber >= 2 && portNumber <= 8 ? portNumber - 1 : 0;
  for (int i = 0; i < 8; ++i) radios_[i]->SetChecked(i == index);
}

int PortDialog::Chosen(int fallback) const {
  for (int i = 0; i < 8; ++i)
    if (radios_[i]->Checked()) return i + 1;
  return fallback;
}

AboutBox::AboutBox() : view::Form("TForm2") {
  SetCaption("About");
  Add<view::Label>("StaticText1").SetCaption("Программа диагностики контроллеров производства АвтоВАЗ");
  Add<view::Label>("StaticText2").SetCaption("klinediag, разработчики klinediag, лицензия MIT");
  Add<view::Label>("StaticText3").SetCaption(std::string("Версия ") + KLINEDIAG_VERSION);
  auto& ok = Add<view::Button>("BitBtn1");
  ok.SetCaption("OK");
  ok.SetDefault(true);
  ok.OnClick = [this] { CloseByControl(); };
}

}  // namespace kd::ui
