// Actuator control on the parameter page: its panel of controls and the requests it puts in place
// of the page's own. The buttons only leave a command (PendingCommand 1 off, 2 on, 3 set value);
// the page's step turns it into a request, so actuator and live-data requests share the ticks.
#pragma once

#include <cstdint>

#include "actuators/actuator_control.h"
#include "actuators/actuator_table.h"
#include "view/form.h"

namespace kd::actuators {

inline constexpr const char* kSwitchedOff = "Выключено";
inline constexpr const char* kSwitchedOn = "Включено";

// InputOutputControlByLocalIdentifier from TransmitFrame[3]; returns the new DataLength.
// Options 0 (return control), 6 (on/off), 7 and 8 (adjustments); any other reports the state.
std::uint8_t BuildIoControlRequest(link::ExchangeBuffer& buffer, std::uint8_t code,
                                   std::uint8_t value, std::uint8_t option);

class ActuatorPanel : public ActuatorControl {
 public:
  ActuatorPanel(view::Form& form, const std::uint32_t& ecuType, std::uint32_t& pendingCommand);

  // The configuration load: the type's rows into ControlBox, row 0 selected.
  void TypeApplied();
  // The chart view takes the panel's place and gives it back.
  void HideForChart();
  void ShowAfterChart();

  void AfterDataReply(link::ExchangeBuffer& buffer) override;
  void Reply(const link::ReplyCopy& reply) override;
  bool PanelVisible() const override { return controlBox_.Visible(); }
  void PacedRequest(link::ExchangeBuffer& buffer) override;

  std::uint8_t ActuatorValue() const { return actuatorValue_; }
  int LastActuator() const { return lastActuator_; }

 private:
  void ButtonClick();
  void SelectionChanged();
  void ShowValueControls(bool on);
  void ReturnControl(link::ExchangeBuffer& buffer);
  void PutRequest(link::ExchangeBuffer& buffer, const std::array<std::uint8_t, 5>& request);
  const ActuatorRow* Row(int index) const;

  const std::uint32_t& ecuType_;
  std::uint32_t& pendingCommand_;
  view::Button& button1_;
  view::ComboBox& controlBox_;
  view::Button& controlButton_;
  view::Memo& desired_;
  view::Label& desiredText_;
  view::Memo& curent_;
  view::Label& curentText_;
  view::Button& bitPlus_;
  view::Button& bitMinus_;

  bool actuatorSwitchOn_ = false;
  std::uint8_t actuatorValue_ = 0;
  int lastActuator_ = 1;
  bool panelWasVisible_ = false;
};

}  // namespace kd::actuators
