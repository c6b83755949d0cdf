// The units on the K-line. Each hears every frame the adapter puts on the line and answers only
// what is addressed to it, in its own format and at its own speed. A controller keeps its
// services in a dispatch table, so a feature that adds a request adds one entry here.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "sim/actuator_outputs.h"
#include "sim/engine_model.h"
#include "sim/fault_memory.h"
#include "sim/sim_bytes.h"

namespace kd::sim {

// How a frame reached the K-line: through the adapter's envelope (KWP2000 timing), or written
// bare at 9600 or 8192 baud.
enum class LineMode { Kwp, Escaped9600, Gm8192 };

struct Heard {
  const Bytes& frame;
  LineMode mode;
  bool wakeUp;  // the adapter sent the fast-init pattern in front of the frame
  std::int64_t nowMs;
};

// Faults that change an answer's content; the controller applies them where its format has the
// field.
struct Shaping {
  std::uint8_t checksumSkew = 0;
  std::optional<std::uint8_t> negativeCode;  // KWP2000: refuse every request with this code
  int pendingCount = 0;                      // KWP2000: 7F SID 78 answers in front of the answer
};

class Controller {
 public:
  virtual ~Controller() = default;
  // The bytes the controller puts on the line; empty when it keeps quiet.
  virtual Bytes Hear(const Heard& heard, const Shaping& shaping) = 0;
  // The 5-baud address of an ISO 9141-2 initialisation: a unit that answers gives the byte it
  // closes the initialisation with (the complement of the address).
  virtual std::optional<std::uint8_t> HearSlowInit(std::uint8_t address, std::int64_t nowMs) {
    (void)address;
    (void)nowMs;
    return std::nullopt;
  }
};

// ---- KWP2000 engine controllers and EMUR ----

struct KwpProfile {
  std::uint32_t type = 1;
  std::vector<std::uint8_t> addresses;
  // Asleep outside a session: only a StartCommunication behind the fast-init pattern wakes it.
  bool wakeUpToStart = false;
  // TesterPresent alone opens and keeps the session (the program never starts one for these).
  bool testerPresentOpens = false;
  int dataLength = 0;  // service bytes of the 61 01 answer: SID, local identifier and data
  bool dataLongForm = true;
  bool equipmentRecords = false;  // answers local identifiers 02 and A0..A3
};

KwpProfile KwpProfileOf(std::uint32_t type);

class KwpController : public Controller {
 public:
  // Without a request for the session to be refreshed it closes after P3max (ISO 14230: 5 s
  // unless AccessTimingParameters set another).
  static constexpr std::int64_t kDefaultP3MaxMs = 5000;

  struct Request {
    std::uint8_t target;
    const Bytes& service;  // SID and parameters
    std::int64_t nowMs;
  };
  struct Answer {
    Bytes service;  // positive: SID + 0x40 and data; or 7F SID code
    bool longForm = false;
  };
  // Nothing: the controller keeps quiet.
  using Handler = std::function<std::optional<Answer>(const Request&)>;
  using LocalHandler = std::function<Answer(const Request&)>;

  // Without a memory of its own the controller comes with the faults its type holds when the
  // car comes in.
  KwpController(KwpProfile profile, const EngineModel& model);
  KwpController(KwpProfile profile, const EngineModel& model, std::shared_ptr<FaultMemory> faults);

  Bytes Hear(const Heard& heard, const Shaping& shaping) override;

  // `inSession`: refused with conditionsNotCorrect while no session is open.
  void AddService(std::uint8_t sid, bool inSession, Handler handler);
  // readDataByLocalIdentifier records.
  void AddLocalIdentifier(std::uint8_t lid, LocalHandler handler);

  bool InSession() const { return session_; }
  // Counts the sessions opened: what a session granted stays granted while this stands.
  std::uint32_t SessionNumber() const { return sessionNumber_; }
  const KwpProfile& Profile() const { return profile_; }
  std::int64_t P3MaxMs() const { return p3MaxMs_; }
  // The line timing in force, in milliseconds: what AccessTimingParameters set, else (and after
  // every StartCommunication) the ISO 14230 defaults. The paced pty keeps to it.
  struct LineTiming {
    double p2Min = 25, p3Min = 55, p4Min = 5;
  };
  const LineTiming& Timing() const { return timing_; }

  static Answer Negative(std::uint8_t sid, std::uint8_t code) { return {{0x7F, sid, code}}; }

 private:
  struct Entry {
    bool inSession;
    Handler handler;
  };
  void InstallSessionServices();
  void InstallDataRecords();
  void InstallFaultServices();
  void InstallActuatorServices();
  Answer DataRecord(const Request& request) const;

  KwpProfile profile_;
  ActuatorOutputs actuators_{profile_.type};
  const EngineModel& model_;
  std::shared_ptr<FaultMemory> faults_;
  std::map<std::uint8_t, Entry> services_;
  std::map<std::uint8_t, LocalHandler> locals_;
  bool session_ = false;
  std::uint32_t sessionNumber_ = 0;
  std::int64_t lastRequestMs_ = 0;
  std::int64_t p3MaxMs_ = kDefaultP3MaxMs;
  LineTiming timing_;
};

// ---- January 4.1 and Mikas: escaped frames at 9600 baud ----

class EscapedController : public Controller {
 public:
  // The reply message for a request message (its first byte is the command); nothing: quiet.
  using Handler = std::function<std::optional<Bytes>(const Bytes& message, std::int64_t nowMs)>;

  EscapedController(std::uint32_t type, const EngineModel& model);
  EscapedController(std::uint32_t type, const EngineModel& model,
                    std::shared_ptr<FaultMemory> faults);
  Bytes Hear(const Heard& heard, const Shaping& shaping) override;
  void AddCommand(std::uint8_t command, Handler handler);

 private:
  // The value of one memory cell as 'a' answers it.
  Bytes Cell(std::uint8_t code, std::int64_t nowMs, const EngineState& s) const;
  void InstallFaultCells();

  std::uint32_t type_;
  const EngineModel& model_;
  std::shared_ptr<FaultMemory> faults_;
  std::map<std::uint8_t, Handler> commands_;
  ActuatorOutputs actuators_{type_};
};

// ---- GM ISFI-2S: address-length-mode frames at 8192 baud ----

class GmController : public Controller {
 public:
  static constexpr std::uint8_t kAddress = 0xF4;
  static constexpr std::size_t kStreamBytes = 60;  // data bytes of the mode 1 stream

  // The reply data (behind the mode byte) for a request's data; nothing: quiet.
  using Handler = std::function<std::optional<Bytes>(const Bytes& data, std::int64_t nowMs)>;

  explicit GmController(const EngineModel& model);
  GmController(const EngineModel& model, std::shared_ptr<FaultMemory> faults);
  Bytes Hear(const Heard& heard, const Shaping& shaping) override;
  void AddMode(std::uint8_t mode, Handler handler);

 private:
  const EngineModel& model_;
  std::shared_ptr<FaultMemory> faults_;
  std::map<std::uint8_t, Handler> modes_;
  ActuatorOutputs actuators_{5};
};

// The engine controller (or EMUR) of a main-window type 1..11; other codes get type 1's. The
// fault memory, when given, is the one of that type's controller: it outlives the connection,
// as a controller's non-volatile memory does.
std::unique_ptr<Controller> MakeMainController(std::uint32_t type, const EngineModel& model);
std::unique_ptr<Controller> MakeMainController(std::uint32_t type, const EngineModel& model,
                                               std::shared_ptr<FaultMemory> faults);

}  // namespace kd::sim
