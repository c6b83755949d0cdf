#include "ui/dialogs.h"

#include <algorithm>
#include <string>

namespace kd::ui {

PortDialog::PortDialog(view::Host* host, PortAssignments* ports, link::AdapterKind adapter)
    : view::Form("TForm6"), host_(host), ports_(ports) {
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
    if (ports_) devices_[i] = &Add<view::Label>("PortDevice" + std::to_string(i + 1));
  }
  if (ports_) {
    auto& device = Add<view::Button>("DeviceButton");
    device.SetCaption("Устройство…");
    device.OnClick = [this] { ChooseDevice(); };
    Add<view::Label>("AdapterLabel").SetCaption("Адаптер:");
    adapterKind_ = &Add<view::ComboBox>("AdapterKind");
    std::vector<std::string> captions;
    for (const link::AdapterInfo& info : link::Adapters()) {
      if (!link::AdapterAvailable(info.kind)) continue;
      kinds_.push_back(info.kind);
      captions.emplace_back(info.caption);
    }
    adapterKind_->SetItems(std::move(captions));
    const auto at = std::find(kinds_.begin(), kinds_.end(), adapter);
    adapterKind_->Select(at == kinds_.end() ? 0 : static_cast<int>(at - kinds_.begin()));
    RefreshDevices();
  }
  auto& close = Add<view::Button>("Button1");
  close.SetCaption("Закрыть");
  close.OnClick = [this] { CloseByControl(); };
}

link::AdapterKind PortDialog::ChosenAdapter() const {
  if (!adapterKind_ || adapterKind_->Selected() < 0 ||
      adapterKind_->Selected() >= static_cast<int>(kinds_.size()))
    return link::AdapterKind::KLineAdapter;
  return kinds_[static_cast<std::size_t>(adapterKind_->Selected())];
}

void PortDialog::RefreshDevices() {
  if (!ports_) return;
  for (int i = 0; i < 8; ++i) devices_[i]->SetCaption(ports_->Label(i + 1));
}

void PortDialog::ChooseDevice() {
  if (!ports_ || !host_) return;
  const int number = Chosen(2);
  const std::vector<SerialDevice> present = ports_->Present();
  DeviceDialog dialog(number, present);
  host_->ShowModal(dialog);
  if (const auto& choice = dialog.Result()) {
    switch (choice->kind) {
      case DeviceDialog::Choice::Device:
        ports_->Assign(number, present[static_cast<std::size_t>(choice->device)]);
        break;
      case DeviceDialog::Choice::Path:
        ports_->AssignPath(number, choice->path);
        break;
      case DeviceDialog::Choice::Platform:
        ports_->Clear(number);
        break;
    }
  }
  RefreshDevices();
}

DeviceDialog::DeviceDialog(int portNumber, const std::vector<SerialDevice>& present)
    : view::Form("TDeviceDialog"),
      list_(Add<view::ListBox>("DeviceList")),
      path_(Add<view::Edit>("DevicePath")) {
  SetCaption("Устройство для COM" + std::to_string(portNumber));
  std::vector<std::string> items;
  for (const SerialDevice& d : present)
    items.push_back(d.byId.empty() ? DeviceLabel(d) : DeviceLabel(d) + " (" + d.byId + ")");
  list_.SetItems(std::move(items));
  Add<view::Label>("PathLabel").SetCaption("Или путь к устройству:");
  auto& ok = Add<view::Button>("OkButton");
  ok.SetCaption("OK");
  ok.SetDefault(true);
  ok.OnClick = [this] {
    // A typed path wins: it is what the technician did last.
    if (!path_.Text().empty())
      result_ = Choice{Choice::Path, -1, path_.Text()};
    else if (list_.Selected() >= 0 && list_.Selected() < list_.Count())
      result_ = Choice{Choice::Device, list_.Selected(), {}};
    CloseByControl();
  };
  auto& platform = Add<view::Button>("PlatformButton");
  platform.SetCaption("Как в системе");
  platform.OnClick = [this] {
    result_ = Choice{Choice::Platform, -1, {}};
    CloseByControl();
  };
  auto& cancel = Add<view::Button>("CancelButton");
  cancel.SetCaption("Отмена");
  cancel.SetCancel(true);
  cancel.OnClick = [this] { CloseByControl(); };
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
