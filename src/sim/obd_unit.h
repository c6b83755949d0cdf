// The car's generic OBD side (ISO 15031-5): the emission-related services every engine controller
// answers at the functional address 33, over ISO 14230 after a fast init and StartCommunication,
// or over ISO 9141-2 after the 5-baud initialisation. It reports the same engine as the
// controllers of the main window, keeps stored and pending codes that a clear (mode 04) removes,
// a freeze frame, oxygen-sensor test results and the vehicle's VIN and calibration.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/controllers.h"
#include "sim/engine_model.h"

namespace kd::sim {

class ObdUnit : public Controller {
 public:
  // The controller's physical address in its replies.
  static constexpr std::uint8_t kAddress = 0x10;
  static constexpr std::uint8_t kFunctional = 0x33;
  // ISO 14230 P3max and the ISO 9141-2 idle time after which the line must be initialised again.
  static constexpr std::int64_t kSessionMs = 5000;
  // After a clear the monitors run again; until then mode 01 PID 01 shows them incomplete.
  static constexpr std::int64_t kMonitorsReadyMs = 60000;
  static constexpr char kVin[] = "XTA21124070123456";
  static constexpr char kCalibration[] = "11183-1411020-31";

  explicit ObdUnit(const EngineModel& model);

  Bytes Hear(const Heard& heard, const Shaping& shaping) override;
  std::optional<std::uint8_t> HearSlowInit(std::uint8_t address, std::int64_t nowMs) override;

  // The answer messages (SID + 40 and data, or 7F SID code) to one request; none: keep quiet.
  std::vector<Bytes> Answer(const Bytes& service, std::int64_t nowMs);

  std::vector<std::uint16_t> StoredCodes(std::int64_t nowMs) const;
  std::vector<std::uint16_t> PendingCodes(std::int64_t nowMs) const;

 private:
  struct Code {
    std::uint16_t code;
    bool stored;      // mode 03; else pending (mode 07)
    bool stillThere;  // comes back a while after a clear
  };
  bool Present(const Code& c, std::int64_t nowMs) const;
  std::optional<Bytes> CurrentData(std::uint8_t pid, std::int64_t nowMs) const;
  std::optional<Bytes> FreezeFrame(std::uint8_t pid, std::uint8_t frame, std::int64_t nowMs) const;
  std::optional<Bytes> O2Test(std::uint8_t tid, std::uint8_t sensor) const;
  std::vector<Bytes> VehicleInfo(std::uint8_t infoType) const;
  static std::vector<Bytes> CodeMessages(std::uint8_t sid, const std::vector<std::uint16_t>& codes);

  const EngineModel& model_;
  std::vector<Code> codes_;
  std::optional<std::int64_t> clearedAtMs_;
  bool kwpSession_ = false;
  std::int64_t kwpLastMs_ = 0;
  bool isoLine_ = false;
  std::int64_t isoLastMs_ = 0;
};

}  // namespace kd::sim
