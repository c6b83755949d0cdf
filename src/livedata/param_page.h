// The live parameters page: decoding the controller's data reply into the parameter records, and
// showing the shown ones in the grid. Decoding stays apart from the grid: the recorder and the
// charts read only the records, as listeners of the page.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "actuators/actuator_control.h"
#include "catalogue/param_record.h"
#include "link/exchange_buffer.h"
#include "livedata/param_listener.h"
#include "session/session_step.h"
#include "view/controls.h"

namespace kd::livedata {

// Computes Value, BitState and ChartPercent of the records from the reply, by the type's family.
void DecodeParamValues(std::uint32_t ecuType, const link::ReplyCopy& reply,
                       std::span<catalogue::ParamRecord> params);

// Where position 0 of a KWP2000 reply lies: the byte in front of the service identifier.
std::size_t KwpReplyBase(const link::ReplyCopy& reply);

// Decodes a recorded frame, position 0 first, by the KWP2000 rules of the type.
void DecodeKwpFrame(std::uint32_t ecuType, std::span<const std::uint8_t> frame,
                    std::span<catalogue::ParamRecord> params);

// Whether a KWP2000 reply is the controller's data record (service 0x61, identifier 0x01).
bool IsDataReply(const link::ReplyCopy& reply);

// The text of a record's value as the grid shows it. `numberKinds` are the kinds shown as
// numbers; every other kind but 'B' is shown as four hexadecimal digits.
std::string ValueText(const catalogue::ParamRecord& record, std::string_view numberKinds);

inline constexpr const char* kWrongType = "Неверно выбран тип контроллера!";

class ParamPage : public session::PageStep {
 public:
  ParamPage(const std::uint32_t& ecuType, std::vector<catalogue::ParamRecord>& params,
            view::Grid& grid, view::StatusBar& status, std::uint8_t& pageTickCount)
      : ecuType_(ecuType),
        params_(params),
        grid_(grid),
        status_(status),
        pageTickCount_(pageTickCount) {}

  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  void KeepAlive(link::ExchangeBuffer& buffer) override;

  // Listeners are told in the order they were added; a listener must outlive the page or be
  // removed first.
  void AddListener(ParamListener& listener) { listeners_.push_back(&listener); }
  void RemoveListener(ParamListener& listener) { std::erase(listeners_, &listener); }
  // A quiet step decodes and asks as any other, but leaves the grid and the listeners as they
  // were: fast poll's replies between two of the screen's refreshes.
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  void SetActuators(std::unique_ptr<actuators::ActuatorControl> control) {
    actuators_ = std::move(control);
  }

 private:
  // Whether the values were shown.
  bool KwpStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  bool CountedStep(link::ExchangeBuffer& buffer);
  void ShowValues(std::string_view numberKinds);

  const std::uint32_t& ecuType_;
  std::vector<catalogue::ParamRecord>& params_;
  view::Grid& grid_;
  view::StatusBar& status_;
  std::uint8_t& pageTickCount_;
  std::vector<ParamListener*> listeners_;
  bool quiet_ = false;
  std::unique_ptr<actuators::ActuatorControl> actuators_ =
      std::make_unique<actuators::ActuatorControl>();
};

}  // namespace kd::livedata
