#include "sim/adaptation_records.h"

#include <cmath>
#include <memory>
#include <string_view>

#include "catalogue/ecu_catalogue.h"

namespace kd::sim {

namespace {

using catalogue::EcuCode;
using Answer = KwpController::Answer;
using Request = KwpController::Request;

constexpr std::uint8_t kInvalidFormat = 0x12;
constexpr std::uint8_t kConditionsNotCorrect = 0x22;
constexpr std::uint8_t kRequestOutOfRange = 0x31;
constexpr std::uint8_t kSpecialSession = 0x83;
constexpr std::uint8_t kDefaultSession = 0x81;

// A fixed hash of a cell, so that learnt values look learnt and stay the same run after run.
double Jitter(int a, int b, int c) {
  std::uint32_t h = static_cast<std::uint32_t>(a * 73856093 ^ b * 19349663 ^ c * 83492791);
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return static_cast<double>(h & 0xFFFF) / 65535.0 * 2 - 1;
}

std::uint8_t Clamp8(double v) {
  return static_cast<std::uint8_t>(std::lround(std::fmin(std::fmax(v, 0), 255)));
}

void PutLe(Bytes& out, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i)
    if (at + i < out.size()) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutText(Bytes& out, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size() && at + i < out.size(); ++i)
    out[at + i] = static_cast<std::uint8_t>(text[i]);
}

Answer Record(std::uint8_t lid, const Bytes& data) {
  Bytes s{0x61, lid};
  s.insert(s.end(), data.begin(), data.end());
  return {s, true};
}

// A correction the oxygen sensor has taught: near 1 where the engine runs (idle, part load),
// exactly 1 where it never went.
double FuelCorrection(int row, int col, int rows, int half) {
  const bool visited = row < rows * 2 / 3 && col < rows * 5 / 8;
  if (!visited) return 1.0;
  return 1.0 + 0.05 * std::sin(row * 0.7 + col * 0.45 + half * 1.3) + 0.01 * Jitter(row, col, half);
}

// Degrees of retard the knock control has learnt: mid speeds under load, one cylinder more.
double KnockRetard(int cylinder, int zone, int zones) {
  const double mid = zones * 0.45;
  const double bump = std::exp(-std::pow((zone - mid) / (zones * 0.15), 2));
  return (cylinder == 2 ? 3.0 : 1.5) * bump + 0.3 * std::fabs(Jitter(cylinder, zone, zones));
}

// ---- January 5.1 and 7.2: a window of RAM read by address ----

constexpr std::uint32_t kJanuaryRamStart = 0xF800;
constexpr std::uint32_t kJanuaryRamEnd = 0x10000;
constexpr std::uint32_t kFuelCells = 0xFD00;
constexpr std::uint32_t kKnockCells = 0xF900;

std::uint8_t JanuaryRam(std::uint32_t address) {
  if (address >= kFuelCells && address < kFuelCells + 512) {
    const int offset = static_cast<int>(address - kFuelCells);
    return JanuaryFuelByte(offset / 16 + 1, offset % 16);
  }
  if (address >= kKnockCells && address < kKnockCells + 48) {
    const int offset = static_cast<int>(address - kKnockCells);
    return JanuaryKnockByte(offset / 12, offset % 12);
  }
  return 0;
}

// ---- M7.9.7: its knock cells, readable inside the special session only ----

constexpr std::uint32_t kM797WindowStart = 0x0F2600;
constexpr std::uint32_t kM797WindowEnd = 0x0F2700;
constexpr std::uint32_t kM797Knock = 0x0F266A;

std::uint8_t M797Memory(std::uint32_t address) {
  if (address < kM797Knock || address >= kM797Knock + 80) return 0;
  const int offset = static_cast<int>(address - kM797Knock);
  return Clamp8(KnockRetard(offset / 20, offset % 20, 20) / 0.75);
}

using MemoryReader = std::uint8_t (*)(std::uint32_t);

// readMemoryByAddress: three address bytes and a size; the data follows the service byte.
std::optional<Answer> ReadMemory(const Request& r, std::uint32_t start, std::uint32_t end,
                                 MemoryReader read) {
  if (r.service.size() != 5) return KwpController::Negative(0x23, kInvalidFormat);
  const std::uint32_t address = static_cast<std::uint32_t>(r.service[1]) << 16 |
                                static_cast<std::uint32_t>(r.service[2]) << 8 | r.service[3];
  const std::uint32_t size = r.service[4];
  // The answer must fit a frame: the service byte and at most 254 bytes.
  if (size == 0 || size > 254 || address < start || address + size > end)
    return KwpController::Negative(0x23, kRequestOutOfRange);
  Bytes s{0x63};
  for (std::uint32_t i = 0; i < size; ++i) s.push_back(read(address + i));
  return Answer{s, true};
}

// ---- M10: fuel cells and knock records ----

Bytes M10FuelRecord(int half) {
  Bytes out(128);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      PutLe(out, 2 * (8 * i + j),
            static_cast<std::uint32_t>(std::lround(FuelCorrection(i, j, 8, half) * 8192)), 2);
  return out;
}

Bytes M10KnockNoise() {
  Bytes out(64);
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 16; ++i) out[16 * c + i] = Clamp8(28 + 9 * i + 4 * c + 5 * Jitter(c, i, 7));
  return out;
}

Bytes M10KnockCorrections() {
  Bytes out(128);
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 16; ++i)
      PutLe(out, 2 * (16 * c + i),
            static_cast<std::uint32_t>(std::lround(KnockRetard(c, i, 16) / 0.75)), 2);
  return out;
}

// ---- Misfire records ----

// The conditions that keep misfire detection off at this moment, and its enable bit.
std::uint8_t MisfireStatusByte(const EngineModel& model, std::int64_t ms) {
  const EngineState s = model.At(ms);
  const EngineState before = model.At(ms - 300);
  std::uint8_t b = 0;
  if (s.engineStopped || s.rpm < 600) b |= 0x01;
  if (s.rpm > 6000) b |= 0x02;
  if (std::fabs(s.load - before.load) > 5) b |= 0x04;
  if (std::fabs(s.rpm - before.rpm) > 150) b |= 0x08;
  if (s.load < 20) b |= 0x10;
  if (s.fuelCut) b |= 0x20;
  if (b == 0) b |= 0x80;
  return b;
}

// Cylinder 3 misfires now and then, about once every two minutes of running.
std::uint32_t MisfiresOfCylinder3(std::int64_t ms) {
  return 12 + static_cast<std::uint32_t>(ms / 120000);
}

Bytes BoschMisfireRecord(const EngineModel& model, std::int64_t ms) {
  Bytes out(25);
  PutLe(out, 0, 1843, 2);
  PutLe(out, 2, 510, 2);
  PutLe(out, 4, 498, 2);
  PutLe(out, 6, 362, 2);
  const std::uint32_t learnt[] = {32791, 32745, 32802, 32731};
  for (int k = 0; k < 4; ++k) PutLe(out, 8 + 2 * k, learnt[k], 2);
  // JFZKAT3..0: the 2nd, 4th, 3rd and 1st cylinders.
  PutLe(out, 16, 3, 2);
  PutLe(out, 18, 0, 2);
  PutLe(out, 20, MisfiresOfCylinder3(ms), 2);
  PutLe(out, 22, 1, 2);
  out[24] = MisfireStatusByte(model, ms);
  return out;
}

Bytes M10MisfireRecord(const EngineModel& model, std::int64_t ms) {
  Bytes out(68);
  const double coefficients[] = {0.00121, -0.00087, 0.00034, -0.00052};
  for (int k = 0; k < 4; ++k)
    PutLe(out, 4 * k,
          static_cast<std::uint32_t>(
              static_cast<std::int32_t>(std::lround(coefficients[k] * 0x1p26))),
          4);
  out[16] = 1;
  out[17] = 1;
  out[18] = ms > 600000 ? 1 : 0;
  const EngineState s = model.At(ms);
  out[19] = s.warmedUp && !s.fuelCut && !s.engineStopped ? 1 : 0;
  // Cycles of 200 revolutions, counted up to their base and started again.
  const auto cycles = static_cast<std::uint32_t>(ms / 1000 * 4);
  const std::uint32_t cylinder3 = MisfiresOfCylinder3(ms) % 40;
  PutLe(out, 28, cycles % 1000, 2);
  PutLe(out, 30, 1000, 2);
  // Misfires at the catalyst-damage level, in 1/128.
  PutLe(out, 32, cylinder3 * 128, 2);
  PutLe(out, 34, 0, 2);
  PutLe(out, 36, 0, 2);
  PutLe(out, 38, cylinder3 * 128, 2);
  PutLe(out, 40, 0, 2);
  PutLe(out, 42, 40 * 128, 2);
  PutLe(out, 44, cycles % 4000, 2);
  PutLe(out, 46, 4000, 2);
  PutLe(out, 48, cylinder3 + 1, 2);
  PutLe(out, 50, 1, 2);
  PutLe(out, 52, 0, 2);
  PutLe(out, 54, cylinder3, 2);
  PutLe(out, 56, 0, 2);
  PutLe(out, 58, 60, 2);
  PutLe(out, 64, 3, 2);
  return out;
}

// ---- Trip record ----

struct TripIdentity {
  std::string_view vin, built, part, engine;
  std::uint32_t kmTenths;
};

TripIdentity TripIdentityOf(std::uint32_t type) {
  switch (type) {
    case EcuCode::Jan51:
      return {"XTA21104050654321", "21.03.2005", "2111011", "7512345", 1234567};
    case EcuCode::MP70:
    case EcuCode::MP70E3:
      return {"XTA21124060789012", "02.11.2006", "2112011", "8023456", 986543};
    case EcuCode::M797:
      return {"XTA21703080112233", "17.09.2008", "2170011", "2254321", 612340};
    case EcuCode::M10:
      return {"XTA11183080445566", "05.06.2008", "1118011", "3345612", 458812};
    default:
      return {"XTA21703090778899", "14.06.2009", "2170012", "2456789", 876543};
  }
}

class Trip {
 public:
  explicit Trip(const EngineModel& model) : model_(model) {}

  Bytes Record(std::uint32_t type, std::int64_t ms) {
    const TripIdentity id = TripIdentityOf(type);
    const TripTotals driven = Totals(ms);
    Bytes out(80);
    PutText(out, 0, id.vin);
    PutText(out, 17, id.built);
    PutText(out, 27, id.part);
    PutText(out, 34, id.engine);
    PutLe(out, 41, id.kmTenths + static_cast<std::uint32_t>(driven.km * 10), 4);
    PutLe(out, 45, id.kmTenths / 10 * 8 + static_cast<std::uint32_t>(driven.litres * 100), 4);
    PutLe(out, 49, id.kmTenths / 10 * 60 / 45 + static_cast<std::uint32_t>(ms / 60000), 4);
    const std::uint32_t counters[] = {312, 47, 4821, 37, 18, 211, 36, 0, 6, 0, 14, 52, 66};
    for (std::size_t k = 0; k < std::size(counters); ++k) PutLe(out, 53 + 2 * k, counters[k], 2);
    out[79] = 1;
    return out;
  }

  // Integrated a second at a time from where the last request left off: time only moves on.
  TripTotals Totals(std::int64_t ms) {
    const std::int64_t second = ms / 1000;
    if (second < second_) {
      second_ = 0;
      totals_ = {};
    }
    for (; second_ < second; ++second_) {
      const EngineState s = model_.At(second_ * 1000);
      totals_.km += s.speed / 3600;
      totals_.litres += s.fuelPerHour / 3600;
    }
    return totals_;
  }

 private:
  const EngineModel& model_;
  std::int64_t second_ = 0;
  TripTotals totals_;
};

bool KeepsAdaptationRecords(std::uint32_t type) {
  switch (type) {
    case EcuCode::Jan51:
    case EcuCode::Jan72:
    case EcuCode::MP70:
    case EcuCode::MP70E3:
    case EcuCode::M797:
    case EcuCode::M10:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::uint8_t JanuaryFuelByte(int block, int row) {
  const int half = (block - 1) / 16;
  const int col = (block - 1) % 16;
  return Clamp8((FuelCorrection(row, col, 16, half) - 0.5) * 256);
}

std::uint8_t JanuaryKnockByte(int cylinder, int zone) {
  return Clamp8(KnockRetard(cylinder, zone, 12) / 0.5);
}

TripTotals DrivenSince(const EngineModel& model, std::int64_t ms) {
  return Trip(model).Totals(ms);
}

void InstallAdaptationRecords(KwpController& controller, const EngineModel& model) {
  const std::uint32_t type = controller.Profile().type;
  if (!KeepsAdaptationRecords(type)) return;
  KwpController* self = &controller;
  const EngineModel* car = &model;

  if (type == EcuCode::Jan51 || type == EcuCode::Jan72) {
    controller.AddService(0x23, true, [](const Request& r) {
      return ReadMemory(r, kJanuaryRamStart, kJanuaryRamEnd, JanuaryRam);
    });
  }
  if (type == EcuCode::M797) {
    // The session a 10 83 was granted in; the memory is open while that session lasts.
    auto granted = std::make_shared<std::optional<std::uint32_t>>();
    controller.AddService(0x10, true, [self, granted](const Request& r) -> std::optional<Answer> {
      if (r.service.size() != 2) return KwpController::Negative(0x10, kInvalidFormat);
      if (r.service[1] == kSpecialSession) {
        *granted = self->SessionNumber();
      } else if (r.service[1] == kDefaultSession) {
        granted->reset();
      } else {
        return KwpController::Negative(0x10, kInvalidFormat);
      }
      return Answer{{0x50, r.service[1]}};
    });
    controller.AddService(0x23, true, [self, granted](const Request& r) -> std::optional<Answer> {
      if (*granted != self->SessionNumber())
        return KwpController::Negative(0x23, kConditionsNotCorrect);
      return ReadMemory(r, kM797WindowStart, kM797WindowEnd, M797Memory);
    });
  }
  if (type == EcuCode::M10) {
    controller.AddLocalIdentifier(0x21,
                                  [](const Request&) { return Record(0x21, M10FuelRecord(0)); });
    controller.AddLocalIdentifier(0x22,
                                  [](const Request&) { return Record(0x22, M10FuelRecord(1)); });
    controller.AddLocalIdentifier(0x23,
                                  [](const Request&) { return Record(0x23, M10KnockNoise()); });
    controller.AddLocalIdentifier(
        0x24, [](const Request&) { return Record(0x24, M10KnockCorrections()); });
    controller.AddLocalIdentifier(
        0x04, [car](const Request& r) { return Record(0x04, M10MisfireRecord(*car, r.nowMs)); });
  } else {
    controller.AddLocalIdentifier(
        0x04, [car](const Request& r) { return Record(0x04, BoschMisfireRecord(*car, r.nowMs)); });
  }
  auto trip = std::make_shared<Trip>(model);
  controller.AddLocalIdentifier(
      0x05, [trip, type](const Request& r) { return Record(0x05, trip->Record(type, r.nowMs)); });
}

}  // namespace kd::sim
