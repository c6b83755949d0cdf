#include "actuators/actuator_panel.h"

#include <string>

#include "catalogue/ecu_catalogue.h"
#include "link/gm.h"
#include "link/kwp.h"
#include "text/number_format.h"

namespace kd::actuators {

namespace {

using catalogue::ActuatorFamily;

void SetMemo(view::Memo& memo, std::string text) {
  memo.SetItems({std::move(text)});
}

std::string Whole(double v) {
  return text::FormatNumber(v, "###0.");
}

}  // namespace

std::uint8_t BuildIoControlRequest(link::ExchangeBuffer& buffer, std::uint8_t code,
                                   std::uint8_t value, std::uint8_t option) {
  auto& t = buffer.transmitFrame;
  t[3] = 0x30;
  t[4] = code;
  switch (option) {
    case 0:
    case 6:
    case 7:
    case 8:
      t[5] = option;
      if (option == 0) return 3;
      t[6] = value;
      return 4;
    default:
      t[5] = 0x01;
      return 3;
  }
}

ActuatorPanel::ActuatorPanel(view::Form& form, const std::uint32_t& ecuType,
                             std::uint32_t& pendingCommand)
    : ecuType_(ecuType),
      pendingCommand_(pendingCommand),
      button1_(form.Add<view::Button>("Button1")),
      controlBox_(form.Add<view::ComboBox>("ControlBox")),
      controlButton_(form.Add<view::Button>("ControlButton")),
      desired_(form.Add<view::Memo>("Desired")),
      desiredText_(form.Add<view::Label>("DesiredText")),
      curent_(form.Add<view::Memo>("Curent")),
      curentText_(form.Add<view::Label>("CurentText")),
      bitPlus_(form.Add<view::Button>("BitPlus")),
      bitMinus_(form.Add<view::Button>("BitMinus")) {
  button1_.SetCaption("Упр. ИМ");
  controlBox_.SetVisible(false);
  controlButton_.SetCaption(kSwitchedOff);
  controlButton_.SetVisible(false);
  controlButton_.SetEnabled(false);
  SetMemo(desired_, "0");
  desired_.SetVisible(false);
  desired_.SetEnabled(false);
  desiredText_.SetCaption("Требуемое");
  desiredText_.SetVisible(false);
  SetMemo(curent_, "0");
  curent_.SetVisible(false);
  curentText_.SetCaption("Текущее");
  curentText_.SetVisible(false);
  bitPlus_.SetCaption("+");
  bitMinus_.SetCaption("-");
  for (view::Button* b : {&bitPlus_, &bitMinus_}) {
    b->SetVisible(false);
    b->SetEnabled(false);
  }

  button1_.OnClick = [this] { ButtonClick(); };
  controlBox_.OnChange = [this] { SelectionChanged(); };
  controlButton_.OnClick = [this] {
    actuatorSwitchOn_ = !actuatorSwitchOn_;
    pendingCommand_ = actuatorSwitchOn_ ? 2 : 1;
  };
  bitPlus_.OnClick = [this] {
    pendingCommand_ = 3;
    actuatorValue_ = link::Add8(actuatorValue_, 1);
  };
  bitMinus_.OnClick = [this] {
    pendingCommand_ = 3;
    actuatorValue_ = link::Add8(actuatorValue_, -1);
  };
}

const ActuatorRow* ActuatorPanel::Row(int index) const {
  const auto rows = ActuatorTable(ecuType_);
  return index >= 0 && index < static_cast<int>(rows.size())
             ? &rows[static_cast<std::size_t>(index)]
             : nullptr;
}

void ActuatorPanel::TypeApplied() {
  std::vector<std::string> names;
  for (const ActuatorRow& row : ActuatorTable(ecuType_)) names.emplace_back(row.name);
  controlBox_.SetItems(std::move(names));
  controlBox_.Select(0);
  // An open panel shows the controls of the new type's first row, not those the old type's
  // row had.
  if (controlBox_.Visible()) SelectionChanged();
}

void ActuatorPanel::ButtonClick() {
  if (!controlBox_.Visible()) {
    controlBox_.SetVisible(true);
    SelectionChanged();
    return;
  }
  for (view::Control* c :
       std::initializer_list<view::Control*>{&controlBox_, &controlButton_, &curent_, &curentText_,
                                             &desired_, &desiredText_, &bitPlus_, &bitMinus_})
    c->SetVisible(false);
  for (view::Control* c :
       std::initializer_list<view::Control*>{&curent_, &desired_, &bitPlus_, &bitMinus_})
    c->SetEnabled(false);
}

void ActuatorPanel::HideForChart() {
  // The +/- buttons go as well: left standing over the chart they would queue value commands
  // for a panel that is not there.
  if (controlBox_.Visible()) {
    for (view::Control* c : std::initializer_list<view::Control*>{
             &controlBox_, &controlButton_, &curent_, &curentText_, &desired_, &desiredText_,
             &bitPlus_, &bitMinus_})
      c->SetVisible(false);
    for (view::Control* c :
         std::initializer_list<view::Control*>{&curent_, &desired_, &bitPlus_, &bitMinus_})
      c->SetEnabled(false);
  }
  button1_.SetVisible(false);
  button1_.SetEnabled(false);
}

void ActuatorPanel::ShowAfterChart() {
  button1_.SetVisible(true);
  button1_.SetEnabled(true);
}

void ActuatorPanel::ShowValueControls(bool on) {
  controlButton_.SetEnabled(!on);
  controlButton_.SetVisible(!on);
  for (view::Control* c :
       std::initializer_list<view::Control*>{&curent_, &desired_, &bitPlus_, &bitMinus_}) {
    c->SetEnabled(on);
    c->SetVisible(on);
  }
  curentText_.SetVisible(on);
  desiredText_.SetVisible(on);
}

void ActuatorPanel::SelectionChanged() {
  actuatorSwitchOn_ = false;
  const int count = static_cast<int>(ActuatorTable(ecuType_).size());
  if (controlBox_.Selected() < 0 || controlBox_.Selected() >= count) controlBox_.Select(0);
  switch (catalogue::Lookup(ecuType_).actuators) {
    case ActuatorFamily::Escaped:
    case ActuatorFamily::Gm:
      controlButton_.SetEnabled(true);
      controlButton_.SetVisible(true);
      for (view::Control* c : std::initializer_list<view::Control*>{&curent_, &desired_}) {
        c->SetEnabled(false);
        c->SetVisible(false);
      }
      curentText_.SetVisible(false);
      desiredText_.SetVisible(false);
      return;
    case ActuatorFamily::Mp70Routines:
      controlButton_.SetEnabled(true);
      controlButton_.SetVisible(true);
      return;
    case ActuatorFamily::IoControl:
      break;
  }
  const ActuatorRow* row = Row(controlBox_.Selected());
  if (!row) return;
  if (row->kind == kOnOff)
    ShowValueControls(false);
  else if (row->kind == kValue || row->kind == kValue256)
    ShowValueControls(true);
}

void ActuatorPanel::PutRequest(link::ExchangeBuffer& buffer,
                               const std::array<std::uint8_t, 5>& request) {
  for (std::size_t i = 0; i < request.size(); ++i) buffer.transmitFrame[3 + i] = request[i];
  buffer.dataLength = 5;
}

void ActuatorPanel::ReturnControl(link::ExchangeBuffer& buffer) {
  // The row that was driven is the one given back: on the MP7.0 family stopping the newly
  // selected row instead would leave the previous routine running.
  const ActuatorRow* row = Row(lastActuator_);
  if (!row) return;
  if (catalogue::Lookup(ecuType_).actuators == ActuatorFamily::Mp70Routines)
    PutRequest(buffer, row->offRequest);
  else
    buffer.dataLength = BuildIoControlRequest(buffer, row->code, 0, 0);
}

void ActuatorPanel::AfterDataReply(link::ExchangeBuffer& buffer) {
  const bool visible = controlBox_.Visible();
  if (panelWasVisible_ && !visible) ReturnControl(buffer);
  panelWasVisible_ = visible;
  if (!visible) return;
  const int selected = controlBox_.Selected();
  if (selected != lastActuator_) {
    ReturnControl(buffer);
    lastActuator_ = selected;
    return;
  }
  const ActuatorRow* row = Row(selected);
  if (!row) return;
  const catalogue::EcuInfo& ecu = catalogue::Lookup(ecuType_);
  const bool routines = ecu.actuators == ActuatorFamily::Mp70Routines;
  switch (pendingCommand_) {
    case 0:
      if (row->kind == kRoutine)
        PutRequest(buffer, row->offRequest);
      else
        buffer.dataLength = BuildIoControlRequest(buffer, row->code, 0, 1);
      break;
    case 1:
      if (routines)
        PutRequest(buffer, row->offRequest);
      else
        buffer.dataLength = BuildIoControlRequest(buffer, row->code, 0, 6);
      pendingCommand_ = 0;
      break;
    case 2:
      if (routines)
        PutRequest(buffer, row->onRequest);
      else
        buffer.dataLength = BuildIoControlRequest(buffer, row->code, ecu.actuatorOnValue, 6);
      pendingCommand_ = 0;
      break;
    case 3:
      if (row->code == 0x41 || row->code == 0x42 || row->code == 0x43)
        buffer.dataLength = BuildIoControlRequest(buffer, row->code, actuatorValue_, 7);
      else if (row->code == 0x61)
        buffer.dataLength = BuildIoControlRequest(buffer, row->code, actuatorValue_, 8);
      // A value this page has no request for is dropped here: left pending, it would be read
      // by the next page under that page's meaning (3 is a controller reset on the fault page).
      pendingCommand_ = 0;
      break;
    default:
      break;
  }
}

void ActuatorPanel::Reply(const link::ReplyCopy& reply) {
  if (reply[3] != 0x70 || reply[5] == 0 || pendingCommand_ != 0) return;
  const ActuatorRow* row = Row(controlBox_.Selected());
  if (!row) return;
  const std::uint8_t b = reply[5];
  const std::uint8_t f = reply[6];
  const bool currentOnly = catalogue::Lookup(ecuType_).actuatorCurrentOnlyReply && b == 1;
  if (row->kind == kOnOff) {
    controlButton_.SetCaption(f == 0 ? kSwitchedOff : kSwitchedOn);
  } else if (row->kind == kValue && row->code == 0x41) {
    actuatorValue_ = f;
    if (currentOnly) {
      SetMemo(curent_, Whole(f));
    } else {
      SetMemo(desired_, Whole(f));
      SetMemo(curent_, Whole(reply[7]));
    }
  } else if (row->kind == kValue && row->code == 0x42) {
    if (currentOnly) {
      SetMemo(curent_, Whole(f * 10));
      actuatorValue_ = f;
    } else {
      actuatorValue_ = reply[9];
      SetMemo(desired_, Whole(reply[9] * 10));
      SetMemo(curent_, Whole(reply[8] * 10));
    }
  } else if (row->kind == kValue && row->code == 0x43) {
    actuatorValue_ = f;
    if (b == 7) {
      SetMemo(desired_, Whole(f));
      SetMemo(curent_, Whole(reply[7]));
    } else {
      SetMemo(curent_, Whole(f));
    }
  } else if (row->kind == kValue256 && row->code == 0x61) {
    actuatorValue_ = f;
    const std::string trim = text::FormatNumber(static_cast<std::int8_t>(f) / 256.0, "0.##");
    SetMemo(desired_, trim);
    SetMemo(curent_, trim);
  }
}

void ActuatorPanel::PacedRequest(link::ExchangeBuffer& buffer) {
  const ActuatorRow* row = Row(controlBox_.Selected());
  if (!row) return;
  auto& t = buffer.transmitFrame;
  if (catalogue::Lookup(ecuType_).actuators == ActuatorFamily::Escaped) {
    switch (pendingCommand_) {
      case 0:
        t[0] = 0x61;
        t[1] = row->address;
        buffer.dataLength = 2;
        return;
      case 1:
      case 2: {
        const std::uint8_t m = pendingCommand_ == 2 ? row->mask : 0;
        t[0] = 0x62;
        t[1] = row->address;
        t[2] = m;
        t[3] = link::Add8(row->address, 1);
        t[4] = m;
        buffer.dataLength = 5;
        controlButton_.SetCaption(pendingCommand_ == 2 ? kSwitchedOn : kSwitchedOff);
        pendingCommand_ = 0;
        return;
      }
      default:
        return;
    }
  }
  switch (pendingCommand_) {
    case 0: {
      const std::uint8_t message0 = 0x00;
      link::WriteGmRequest(buffer, 0x01, &message0, 1);
      return;
    }
    case 1:
    case 2: {
      const bool on = pendingCommand_ == 2;
      // Modes 1 and 2 copy the data for both commands; 3 lays the row's byte over the on data;
      // 4..6 change the frame for the on command only.
      std::array<std::uint8_t, 10> data = on ? row->gmOn : row->gmOff;
      const bool mode3to6 = row->gmMode >= 3 && row->gmMode <= 6;
      if (mode3to6 && !on && row->gmMode != 3) {
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = t[3 + i];
      }
      link::WriteGmRequest(buffer, 0x04, data.data(), data.size());
      if (mode3to6 && on && row->gmPosition >= 3 && row->gmPosition <= 12) {
        t[row->gmPosition] = row->gmValue;
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < 13; ++i) sum = link::Add8(sum, t[i]);
        t[13] = static_cast<std::uint8_t>(0x100 - sum);
      }
      controlButton_.SetCaption(on ? kSwitchedOn : kSwitchedOff);
      pendingCommand_ = 0;
      return;
    }
    default:
      return;
  }
}

}  // namespace kd::actuators
