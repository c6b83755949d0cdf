#include "ui/vehicle_data.h"

#include <algorithm>

#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::ui {

void VehicleData::StoreIdentifiers(std::string_view vinBytes,
                                   std::string_view controllerNumberBytes,
                                   std::string_view romIdBytes) {
  vin.assign(vinBytes.substr(0, kVinLength));
  vin.resize(kVinLength, ' ');
  controllerNumber.assign(controllerNumberBytes.substr(0, kControllerNumberLength));
  romId.assign(romIdBytes.substr(0, kRomIdLength));
  identifiersRead = true;
}

std::optional<std::uint32_t> ParseMileage(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '_'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

VehicleDataDialog::VehicleDataDialog(VehicleData& data, view::Host& host)
    : view::Form("TForm10"), data_(data), host_(host) {
  SetCaption("Параметры автомобиля для записи в файл");
  const struct {
    const char* label;
    const char* caption;
    const char* edit;
    const std::string* value;
  } fields[] = {{"Label1", "VIN:", "Edit1", &data.vin},
                {"Label2", "№ контр:", "Edit2", &data.controllerNumber},
                {"Label3", "Ид.ПЗУ:", "Edit3", &data.romId},
                {"Label4", "Услов №:", "Edit4", &data.conditionalNumber},
                {"Label5", "Гос. №:", "Edit5", &data.registrationNumber}};
  for (const auto& f : fields) {
    Add<view::Label>(f.label).SetCaption(f.caption);
    Add<view::Edit>(f.edit).SetText(text::Cp1251ToUtf8(*f.value));
  }
  edit4_ = FindAs<view::Edit>("Edit4");
  edit5_ = FindAs<view::Edit>("Edit5");
  Add<view::Label>("Label6").SetCaption("Пробег:");
  maskEdit1_ = &Add<view::Edit>("MaskEdit1");
  maskEdit1_->SetEditMask("!99999;1;_");
  maskEdit1_->SetMaxLength(5);
  maskEdit1_->SetText(text::FormatNumber(data.mileage, "####0"));

  auto& ok = Add<view::Button>("BitBtn1");
  ok.SetCaption("Ок");
  ok.SetDefault(true);
  ok.OnClick = [this] { Accept(); };
  auto& reset = Add<view::Button>("BitBtn2");
  reset.SetCaption("Сброс");
  reset.OnClick = [this] {
    edit4_->SetText("");
    edit5_->SetText("");
    maskEdit1_->SetText("");
  };
  auto& cancel = Add<view::Button>("BitBtn3");
  cancel.SetCaption("Отмена");
  cancel.OnClick = [this] { CloseByControl(); };
}

void VehicleDataDialog::Accept() {
  // The two texts are taken first, as they always were. A mileage that is no whole number keeps
  // the dialog open with everything as typed, so that nothing is lost and no guessed number is
  // stored; the stored mileage stays what it was until a valid one is confirmed.
  data_.conditionalNumber = text::Utf8ToCp1251(edit4_->Text()).substr(0, kConditionalNumberLength);
  data_.registrationNumber =
      text::Utf8ToCp1251(edit5_->Text()).substr(0, kRegistrationNumberLength);
  const auto mileage = ParseMileage(maskEdit1_->Text());
  if (!mileage) {
    host_.MessageBox("Ошибка!", kMileageNotANumber, view::MessageIcon::Error);
    return;
  }
  data_.mileage = *mileage;
  CloseByControl();
}

void AskVehicleData(view::Host& host, VehicleData& data) {
  if (!data.identifiersRead) return;
  VehicleDataDialog dialog(data, host);
  host.ShowModal(dialog);
}

}  // namespace kd::ui
