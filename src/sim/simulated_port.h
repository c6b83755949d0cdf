// The car without the car: a K-line adapter and the controllers behind it, served through the
// same port interface the program uses. Its framing is its own, written from the protocol and not
// from the program's encoder, so that a mistake on one side is not copied to the other.
//
// The adapter serves three line settings: 115200 8N2, where it takes enveloped frames, and
// 9600 8N1 and 8192 8N1, where it puts bare frames on the K-line as they come. At any other
// setting it understands nothing: no echo, no answer.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "link/serial_port.h"
#include "sim/controllers.h"
#include "sim/engine_model.h"
#include "sim/faults.h"
#include "sim/immo_units.h"
#include "sim/obd_unit.h"
#include "sim/sauo_unit.h"
#include "sim/sim_bytes.h"

namespace kd::sim {

class SimulatedPort : public link::SerialPort {
 public:
  // Milliseconds since the engine started.
  using Clock = std::function<std::int64_t()>;
  // Without a clock of its own the car ages by one poll interval at every read, so a run is
  // repeatable and a program that polls every 300 ms sees it age as in real time.
  static constexpr std::int64_t kTickMs = 300;

  SimulatedPort();
  explicit SimulatedPort(std::uint32_t ecuType);
  ~SimulatedPort() override;
  // The controllers keep a reference to the car of their port.
  SimulatedPort(const SimulatedPort&) = delete;
  SimulatedPort& operator=(const SimulatedPort&) = delete;

  // The controller behind the adapter: a main-window type 1..11 (other codes connect type 1's).
  // A new controller starts without a session; the car keeps its age, and each type's
  // controller keeps its fault memory from one connection to the next.
  void SetEcuType(std::uint32_t ecuType);
  std::uint32_t EcuType() const { return ecuType_; }

  // The units of the side windows stay on the line whatever the engine controller: the
  // immobilizer fitted (the APS-6 unless told otherwise) and the climate unit.
  ImmobilizerSlot& Immobilizer() { return immobilizer_; }
  SauoUnit& Sauo() { return sauo_; }
  // The car's generic OBD side, for a bus other than the K-line to reach (CAN behind the ELM327).
  ObdUnit& Obd() { return obd_; }

  void SetClock(Clock clock);
  std::int64_t Now() const;

  void SetFault(Fault fault, int parameter = 0);
  void ClearFault(Fault fault);
  void ClearFaults();
  bool FaultOn(Fault fault) const { return faults_.On(fault); }

  // Bytes on their way that no read has taken yet, those held back for a later read included.
  std::size_t Waiting() const;
  const link::LineSettings& AppliedSettings() const { return settings_; }
  // The K-line timing of the engine controller now connected (ISO 14230 defaults for one that
  // negotiates none).
  KwpController::LineTiming LineTiming() const;

  bool Open(int portNumber) override;
  bool IsOpen() const override { return open_; }
  bool Close() override;
  bool ApplyLineSettings(const link::LineSettings& settings) override;
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int) override { return true; }

  // The car's side of the K-line, for a line driven by something else than this adapter (a
  // plain cable, the simulated ELM327): what the units answer a frame heard on the line (the
  // switched-on faults applied), and the byte a unit closes an ISO 9141-2 initialisation at
  // `address` with.
  Bytes AnswerOnLine(const Bytes& frame, LineMode mode, bool wakeUp);
  std::optional<std::uint8_t> AnswerSlowInit(std::uint8_t address);
  // One poll interval of the car's life without a read of this port.
  void Age() { ++reads_; }

 private:
  enum class AdapterMode { Envelope, Bare9600, Bare8192, Deaf };
  struct Chunk {
    Bytes bytes;
    std::size_t taken = 0;
    std::uint64_t visibleAtRead = 0;
  };

  AdapterMode Mode() const;
  void TakeEnvelope(const Bytes& written);
  void PutOnLine(const Bytes& frame, LineMode mode, bool wakeUp);
  void Queue(Bytes bytes, std::uint64_t visibleAtRead);

  std::uint32_t ecuType_ = 1;
  EngineModel model_;
  std::map<std::uint32_t, std::shared_ptr<FaultMemory>> faultMemories_;
  std::vector<std::unique_ptr<Controller>> bus_;
  ImmobilizerSlot immobilizer_;
  SauoUnit sauo_;
  // The car's generic OBD side, on the line whatever the main window talks to.
  ObdUnit obd_{model_};
  FaultSet faults_;
  Clock clock_;
  Rng rng_;
  bool open_ = false;
  link::LineSettings settings_;
  std::deque<Chunk> pending_;
  std::uint64_t reads_ = 0;
};

}  // namespace kd::sim
