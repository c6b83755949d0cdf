#include "sim/controllers.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string_view>

#include "catalogue/ecu_catalogue.h"
#include "sim/adaptation_records.h"
#include "sim/identity_records.h"
#include "sim/line_frames.h"
#include "sim/profiles.h"
#include "sim/record_layout.h"

namespace kd::sim {

namespace {

// ISO 14230-3 response codes the controllers use themselves.
constexpr std::uint8_t kServiceNotSupported = 0x11;
constexpr std::uint8_t kInvalidFormat = 0x12;
constexpr std::uint8_t kConditionsNotCorrect = 0x22;
constexpr std::uint8_t kRequestOutOfRange = 0x31;
constexpr std::uint8_t kResponsePending = 0x78;

constexpr std::uint8_t kTester = 0xF1;

std::uint16_t Word(std::uint8_t hi, std::uint8_t lo) {
  return static_cast<std::uint16_t>(hi << 8 | lo);
}

std::shared_ptr<FaultMemory> MemoryOr(std::shared_ptr<FaultMemory> given, std::uint32_t type) {
  return given ? std::move(given) : std::make_shared<FaultMemory>(type);
}

}  // namespace

KwpProfile KwpProfileOf(std::uint32_t type) {
  if (!catalogue::IsKnownType(type) ||
      catalogue::Lookup(type).family != catalogue::LinkFamily::Kwp2000)
    type = catalogue::EcuCode::M154;
  const SimProfile& sim = SimProfileOf(type);
  KwpProfile p;
  p.type = type;
  p.addresses = sim.addresses;
  // The controllers the program starts with StartCommunication behind the fast init; the others
  // it only keeps awake with TesterPresent.
  p.wakeUpToStart = !sim.testerPresentOpens;
  p.testerPresentOpens = sim.testerPresentOpens;
  const int frameSize = catalogue::Lookup(type).frameSize;
  if (sim.testerPresentOpens) {
    // 0x22, 0x24, 0x26: the program recognises these three controllers by this length.
    p.dataLength = frameSize - 3;
  } else {
    // A recorded frame (FrameSize bytes from the byte in front of the service identifier)
    // holds reply bytes only, and a live record reaches every position the table reads.
    p.dataLength = std::max(frameSize - 1, HighestPosition(type));
  }
  p.dataLongForm = sim.dataLongForm;
  p.equipmentRecords = sim.equipmentRecords;
  return p;
}

// ---- KWP2000 ----

KwpController::KwpController(KwpProfile profile, const EngineModel& model)
    : KwpController(std::move(profile), model, nullptr) {}

KwpController::KwpController(KwpProfile profile, const EngineModel& model,
                             std::shared_ptr<FaultMemory> faults)
    : profile_(std::move(profile)),
      model_(model),
      faults_(MemoryOr(std::move(faults), profile_.type)) {
  InstallSessionServices();
  InstallDataRecords();
  InstallFaultServices();
  InstallActuatorServices();
  InstallAdaptationRecords(*this, model_);
}

void KwpController::InstallActuatorServices() {
  auto answer = [](std::uint8_t sid, const ActuatorOutputs::Answer& a) -> std::optional<Answer> {
    if (a.refused) return Negative(sid, *a.refused);
    return Answer{a.service};
  };
  AddService(0x30, true, [this, answer](const Request& r) {
    return answer(0x30, actuators_.IoControl(r.service, model_.At(r.nowMs)));
  });
  if (!SimProfileOf(profile_.type).actuatorRoutines) return;
  for (const std::uint8_t sid : std::initializer_list<std::uint8_t>{0x31, 0x32})
    AddService(sid, true, [this, answer, sid](const Request& r) {
      return answer(sid, actuators_.Routine(r.service));
    });
}

void KwpController::AddService(std::uint8_t sid, bool inSession, Handler handler) {
  services_[sid] = {inSession, std::move(handler)};
}

void KwpController::AddLocalIdentifier(std::uint8_t lid, LocalHandler handler) {
  locals_[lid] = std::move(handler);
}

void KwpController::InstallSessionServices() {
  AddService(0x81, false, [this](const Request&) -> std::optional<Answer> {
    session_ = true;
    ++sessionNumber_;
    p3MaxMs_ = kDefaultP3MaxMs;
    timing_ = {};
    // Key bytes: every header form, normal timing; KWP2000.
    return Answer{{0xC1, 0xEF, 0x8F}};
  });
  AddService(0x82, true, [this](const Request&) -> std::optional<Answer> {
    session_ = false;
    return Answer{{0xC2}};
  });
  AddService(0x83, true, [this](const Request& r) -> std::optional<Answer> {
    const Bytes& s = r.service;
    if (s.size() < 2) return Negative(0x83, kInvalidFormat);
    const std::uint8_t tpi = s[1];
    // P2min, P2max, P3min, P3max, P4min as ISO 14230-2 codes them (P3max in 250 ms steps).
    const Bytes limits{0x00, 0x50, 0x01, 0x14, 0x00};
    switch (tpi) {
      case 0x00: {
        Bytes a{0xC3, 0x00};
        a.insert(a.end(), limits.begin(), limits.end());
        return Answer{a};
      }
      case 0x01:
        p3MaxMs_ = kDefaultP3MaxMs;
        timing_ = {};
        return Answer{{0xC3, 0x01}};
      case 0x02:
        return Answer{
            {0xC3, 0x02, 0x00, 0x50, 0x01, static_cast<std::uint8_t>(p3MaxMs_ / 250), 0x00}};
      case 0x03:
        if (s.size() != 7) return Negative(0x83, kInvalidFormat);
        if (s[5] != 0) p3MaxMs_ = s[5] * 250;
        // P2min, P3min and P4min count half milliseconds.
        timing_ = {s[2] * 0.5, s[4] * 0.5, s[6] * 0.5};
        return Answer{{0xC3, 0x03}};
      default:
        return Negative(0x83, kRequestOutOfRange);
    }
  });
  AddService(0x3E, true, [](const Request& r) -> std::optional<Answer> {
    // 3E 02: the tester asks for no answer.
    if (r.service.size() >= 2 && r.service[1] == 0x02) return std::nullopt;
    if (r.service.size() > 2 || (r.service.size() == 2 && r.service[1] != 0x01))
      return Negative(0x3E, kInvalidFormat);
    return Answer{{0x7E}};
  });
  AddService(0x21, true, [this](const Request& r) -> std::optional<Answer> {
    if (r.service.size() != 2) return Negative(0x21, kInvalidFormat);
    const auto it = locals_.find(r.service[1]);
    if (it == locals_.end()) return Negative(0x21, kRequestOutOfRange);
    return it->second(r);
  });
}

KwpController::Answer KwpController::DataRecord(const Request& request) const {
  Bytes positions(static_cast<std::size_t>(profile_.dataLength) + 1, 0);
  positions[1] = 0x61;
  positions[2] = 0x01;
  EngineState state = model_.At(request.nowMs);
  actuators_.Apply(state);
  FillKwpRecord(profile_.type, state, positions, faults_->Indication(request.nowMs));
  return {Bytes(positions.begin() + 1, positions.end()), profile_.dataLongForm};
}

void KwpController::InstallDataRecords() {
  AddLocalIdentifier(0x01, [this](const Request& r) { return DataRecord(r); });
  InstallIdentityServices(*this, model_);
  if (!profile_.equipmentRecords) return;
  const SimProfile& sim = SimProfileOf(profile_.type);
  const Bytes equipment(sim.equipment.begin(), sim.equipment.end());
  const Bytes immobilizer(sim.immobilizer.begin(), sim.immobilizer.end());
  auto record = [](std::uint8_t lid, const Bytes& data, bool longForm) {
    Bytes s{0x61, lid};
    s.insert(s.end(), data.begin(), data.end());
    return Answer{s, longForm};
  };
  // The equipment record comes with a length byte, the others without: that is where the
  // program looks for each.
  AddLocalIdentifier(0x02, [=](const Request&) { return record(0x02, equipment, true); });
  AddLocalIdentifier(0xA0, [=](const Request&) { return record(0xA0, immobilizer, false); });
}

void KwpController::InstallFaultServices() {
  // readDiagnosticTroubleCodesByStatus: the status asked for, then the group of codes.
  AddService(0x18, true, [this](const Request& r) -> std::optional<Answer> {
    if (r.service.size() != 4) return Negative(0x18, kInvalidFormat);
    const std::uint16_t group = Word(r.service[2], r.service[3]);
    if (!IsCodeGroup(group)) return Negative(0x18, kRequestOutOfRange);
    return Answer{StoredCodesAnswer(faults_->StoredCodes(group, r.nowMs))};
  });
  // readStatusOfDiagnosticTroubleCodes of one stored code, with what was recorded with it.
  AddService(0x17, true, [this](const Request& r) -> std::optional<Answer> {
    if (r.service.size() != 3) return Negative(0x17, kInvalidFormat);
    const KwpFault* fault = faults_->StoredCode(Word(r.service[1], r.service[2]), r.nowMs);
    if (!fault) return Negative(0x17, kRequestOutOfRange);
    return Answer{RelatedInformationAnswer(*fault)};
  });
  // Only the engine controllers with extended fault data keep freeze frames; the others do not
  // know the service.
  if (SimProfileOf(profile_.type).freezeFrames) {
    AddService(0x12, true, [this](const Request& r) -> std::optional<Answer> {
      if (r.service.size() != 5) return Negative(0x12, kInvalidFormat);
      // Frame 00, found by its code (record access method 04).
      if (r.service[1] != 0x00 || r.service[2] != 0x04) return Negative(0x12, kRequestOutOfRange);
      const KwpFault* fault = faults_->StoredCode(Word(r.service[3], r.service[4]), r.nowMs);
      if (!fault || !fault->freeze) return Negative(0x12, kRequestOutOfRange);
      return Answer{FreezeFrameAnswer(r.service[1], *fault->freeze)};
    });
  }
  AddService(0x14, true, [this](const Request& r) -> std::optional<Answer> {
    if (r.service.size() != 3) return Negative(0x14, kInvalidFormat);
    const std::uint16_t group = Word(r.service[1], r.service[2]);
    if (!IsCodeGroup(group)) return Negative(0x14, kRequestOutOfRange);
    faults_->ClearCodes(group, r.nowMs);
    return Answer{{0x54, r.service[1], r.service[2]}};
  });
  // ECUReset, power-on (01) or the manufacturer's (90): the controller restarts behind its
  // answer, so the session is over; the fault memory is non-volatile and stays.
  AddService(0x11, true, [this](const Request& r) -> std::optional<Answer> {
    if (r.service.size() != 2 || (r.service[1] != 0x01 && r.service[1] != 0x90))
      return Negative(0x11, kInvalidFormat);
    session_ = false;
    p3MaxMs_ = kDefaultP3MaxMs;
    timing_ = {};
    return Answer{{0x51}};
  });
}

Bytes KwpController::Hear(const Heard& heard, const Shaping& shaping) {
  if (heard.mode != LineMode::Kwp) return {};
  const auto frame = ParseKwpFrame(heard.frame);
  if (!frame || frame->service.empty()) return {};
  if (std::find(profile_.addresses.begin(), profile_.addresses.end(), frame->target) ==
      profile_.addresses.end())
    return {};

  if (session_ && heard.nowMs - lastRequestMs_ > p3MaxMs_) session_ = false;
  const std::uint8_t sid = frame->service[0];
  const Request request{frame->target, frame->service, heard.nowMs};

  std::optional<Answer> answer;
  if (!session_ && sid == 0x81 && profile_.wakeUpToStart && !heard.wakeUp) {
    // Asleep: without the wake-up pattern the frame is only noise on the line.
    return {};
  } else if (shaping.negativeCode) {
    answer = Negative(sid, *shaping.negativeCode);
  } else {
    const auto it = services_.find(sid);
    const bool opens = sid == 0x81 || (sid == 0x3E && profile_.testerPresentOpens);
    if (it == services_.end()) {
      answer = Negative(sid, kServiceNotSupported);
    } else if (!session_ && it->second.inSession && !opens) {
      answer = Negative(sid, kConditionsNotCorrect);
    } else {
      if (!session_ && opens) {
        session_ = true;
        ++sessionNumber_;
        p3MaxMs_ = kDefaultP3MaxMs;
        timing_ = {};
      }
      answer = it->second.handler(request);
    }
  }
  if (session_) lastRequestMs_ = heard.nowMs;
  if (!answer) return {};

  // The reply comes from the address the request went to (EMUR answers at both of its).
  Bytes line;
  for (int i = 0; i < shaping.pendingCount; ++i) {
    const Bytes pending =
        BuildKwpFrame(kTester, frame->target, {0x7F, sid, kResponsePending}, false);
    line.insert(line.end(), pending.begin(), pending.end());
  }
  // What follows a ResponsePending comes with a length byte: that is where the program looks
  // for the final answer.
  const bool longForm = answer->longForm || shaping.pendingCount > 0;
  const Bytes reply =
      BuildKwpFrame(kTester, frame->target, answer->service, longForm, shaping.checksumSkew);
  line.insert(line.end(), reply.begin(), reply.end());
  return line;
}

// ---- Escaped frames ----

namespace {

// January 4.1 keeps its fault memory in cells of its own: the present-fault map in four cells,
// eight rows each, and the counter block of 32 bytes, one a row.
constexpr std::uint8_t kPresentMapCells[] = {0x08, 0x09, 0x0A, 0x63};
constexpr std::uint8_t kCounterCell = 0x62;
constexpr std::size_t kCounterCellBytes = 32;

}  // namespace

EscapedController::EscapedController(std::uint32_t type, const EngineModel& model)
    : EscapedController(type, model, nullptr) {}

EscapedController::EscapedController(std::uint32_t type, const EngineModel& model,
                                     std::shared_ptr<FaultMemory> faults)
    : type_(type), model_(model), faults_(MemoryOr(std::move(faults), type)) {
  // 'a' and the request codes: their values back to back.
  AddCommand('a', [this](const Bytes& message, std::int64_t now) -> std::optional<Bytes> {
    const EngineState s = model_.At(now);
    Bytes out;
    for (std::size_t i = 1; i < message.size(); ++i) {
      const Bytes value = Cell(message[i], now, s);
      out.insert(out.end(), value.begin(), value.end());
    }
    return out;
  });
  if (SimProfileOf(type_).faultCells) InstallFaultCells();
  // 'b' with a cell, a mask and the next cell with its mask: the actuator outputs; January 4.1
  // writes its fault counters with the same command.
  const auto faultCells = commands_.find('b');
  Handler counters = faultCells != commands_.end() ? faultCells->second : nullptr;
  AddCommand('b', [this, counters](const Bytes& message, std::int64_t now) -> std::optional<Bytes> {
    if (message.size() == 5) return actuators_.MaskWrite(message);
    return counters ? counters(message, now) : std::nullopt;
  });
  InstallIdentityLetters(*this);
}

Bytes EscapedController::Cell(std::uint8_t code, std::int64_t nowMs, const EngineState& s) const {
  if (SimProfileOf(type_).faultCells) {
    for (std::size_t j = 0; j < std::size(kPresentMapCells); ++j) {
      if (code != kPresentMapCells[j]) continue;
      std::uint8_t byte = 0;
      for (std::size_t bit = 0; bit < 8; ++bit)
        if (faults_->Present(8 * j + bit)) byte |= static_cast<std::uint8_t>(1u << bit);
      return {byte};
    }
    if (code == kCounterCell) {
      Bytes counters(kCounterCellBytes);
      for (std::size_t k = 0; k < counters.size(); ++k) counters[k] = faults_->Counter(k, nowMs);
      return counters;
    }
  }
  if (const auto adc = AdcCell(type_, code, s)) return {*adc};
  return EscapedValues(type_, {code}, s);
}

void EscapedController::InstallFaultCells() {
  // 'b', a cell and its new contents. Of the fault memory only the counter block can be
  // written (zeros clear it); the faults that are there stay in the present-fault map.
  AddCommand('b', [this](const Bytes& message, std::int64_t now) -> std::optional<Bytes> {
    if (message.size() != 2 + kCounterCellBytes || message[1] != kCounterCell) return std::nullopt;
    faults_->WriteCounters(Bytes(message.begin() + 2, message.end()), now);
    // The write is confirmed with the fault cells as they now stand, in the order the tester
    // reads them: the answer reads like the memory it changed.
    const EngineState s = model_.At(now);
    Bytes out;
    for (const std::uint8_t cell : kPresentMapCells) out.push_back(Cell(cell, now, s).at(0));
    const Bytes counters = Cell(kCounterCell, now, s);
    out.insert(out.end(), counters.begin(), counters.end());
    return out;
  });
}

void EscapedController::AddCommand(std::uint8_t command, Handler handler) {
  commands_[command] = std::move(handler);
}

Bytes EscapedController::Hear(const Heard& heard, const Shaping& shaping) {
  if (heard.mode != LineMode::Escaped9600) return {};
  const auto message = ParseEscapedFrame(heard.frame);
  if (!message || message->empty()) return {};
  const auto it = commands_.find((*message)[0]);
  if (it == commands_.end()) return {};
  const auto reply = it->second(*message, heard.nowMs);
  if (!reply) return {};
  return BuildEscapedFrame(*reply, shaping.checksumSkew);
}

// ---- GM ----

GmController::GmController(const EngineModel& model) : GmController(model, nullptr) {}

GmController::GmController(const EngineModel& model, std::shared_ptr<FaultMemory> faults)
    : model_(model), faults_(MemoryOr(std::move(faults), 5u)) {
  // Mode 1, message 0: the data stream, the fault maps included.
  AddMode(0x01, [this](const Bytes& data, std::int64_t now) -> std::optional<Bytes> {
    if (data.size() != 1 || data[0] != 0x00) return std::nullopt;
    Bytes positions(kStreamBytes + 1, 0);
    positions[0] = 0x01;
    FillGmStream(model_.At(now), positions, faults_->Indication(now));
    return Bytes(positions.begin() + 1, positions.end());
  });
  AddMode(0x04, [this](const Bytes& data, std::int64_t) { return actuators_.GmMode4(data); });
  // Mode 10 clears the stored faults and is answered with the mode alone.
  AddMode(0x0A, [this](const Bytes& data, std::int64_t now) -> std::optional<Bytes> {
    if (!data.empty()) return std::nullopt;
    faults_->WriteCounters({}, now);
    return Bytes{};
  });
}

void GmController::AddMode(std::uint8_t mode, Handler handler) {
  modes_[mode] = std::move(handler);
}

Bytes GmController::Hear(const Heard& heard, const Shaping& shaping) {
  if (heard.mode != LineMode::Gm8192) return {};
  const auto frame = ParseGmFrame(heard.frame);
  if (!frame || frame->address != kAddress) return {};
  const auto it = modes_.find(frame->mode);
  if (it == modes_.end()) return {};
  const auto data = it->second(frame->data, heard.nowMs);
  if (!data) return {};
  return BuildGmFrame(kAddress, frame->mode, *data, shaping.checksumSkew);
}

std::unique_ptr<Controller> MakeMainController(std::uint32_t type, const EngineModel& model) {
  return MakeMainController(type, model, nullptr);
}

std::unique_ptr<Controller> MakeMainController(std::uint32_t type, const EngineModel& model,
                                               std::shared_ptr<FaultMemory> faults) {
  if (!catalogue::IsKnownType(type)) type = catalogue::EcuCode::M154;
  switch (catalogue::Lookup(type).family) {
    case catalogue::LinkFamily::Escaped:
      return std::make_unique<EscapedController>(type, model, std::move(faults));
    case catalogue::LinkFamily::Gm:
      return std::make_unique<GmController>(model, std::move(faults));
    case catalogue::LinkFamily::Kwp2000:
      break;
  }
  return std::make_unique<KwpController>(KwpProfileOf(type), model, std::move(faults));
}

}  // namespace kd::sim
