#include "sim/identity_records.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>

#include "text/cp1251.h"

namespace kd::sim {

namespace {

constexpr std::uint8_t kInvalidFormat = 0x12;
constexpr std::uint8_t kRequestOutOfRange = 0x31;

using Answer = KwpController::Answer;
using Request = KwpController::Request;

// The identification of one controller as it left the factory. Texts are UTF-8 here and go on
// the line in Windows-1251, blank-padded or cut to their fields.
struct Passport {
  const char* vin;
  const char* controllerNumber;  // 16
  const char* supplierCode;      // 10 (12 on MP7.0)
  const char* softwareCode;      // 10
  const char* systemName;        // 15 (6 on MP7.0, 5 on EMUR)
  const char* sparePartCode;     // 7
  const char* firmwareDate;      // 10
  const char* romId;             // 8 (four bytes and a letter on MP7.0)
  const char* bodyNumber;        // 7
  const char* engineNumber;      // 7
  const char* buildDate;         // 10
};

const Passport& PassportOf(std::uint32_t type) {
  static const Passport kM154{"XTA21124070412345", "21124-1411020-22", "0261204947", "1037353397",
                              "BOSCH M1.5.4N",     "1411020",          "12.03.2006", "N83B0K07",
                              "0412345",           "7712345",          "14.06.2007"};
  static const Passport kJanuary51{
      "XTA21104050735512", "21104-1411020-20", "5150100021", "J5V05L19  ", "ЯНВАРЬ 5.1", "1411020",
      "02.09.2004",        "J5V05L19",         "0735512",    "2112-03",    "21.01.2005"};
  static const Passport kJanuary72{
      "XTA21126080522871", "21126-1411020-40", "7200300417", "I7203Q18", "ЯНВАРЬ 7.2", "1411020",
      "17.10.2007",        "I203EQ18",         "0522871",    "21126-1",  "03.03.2008"};
  static const Passport kMp70{"XTA21120060318874",
                              "21120-141102",
                              "0261208386",
                              "1037360621",
                              "MP7.0H",
                              "",
                              "",
                              "",
                              "",
                              "",
                              ""};
  static const Passport kM797{"XTA21700090112233", "21126-1411020-10", "0261S04017", "1037394313",
                              "BOSCH M7.9.7",      "1411020",          "05.11.2008", "AB012345",
                              "0112233",           "21126-2",          "12.02.2009"};
  static const Passport kM10{"XTA21703090067744", "11186-1411020-70", "M10.3 3604", "0003710132",
                             "ИТЭЛМА M10.3",      "1411020",          "28.04.2009", "M10D1103",
                             "0067744",           "11186-1",          "19.06.2009"};
  static const Passport kEmur{"XTA11183070123321",
                              "11180-3450010-00",
                              "3450010   ",
                              "",
                              "EMUR1",
                              "",
                              "22.08.2006",
                              "",
                              "",
                              "",
                              "07.09.2007"};
  switch (type) {
    case 2:
      return kJanuary51;
    case 3:
    case 7:
      return kMp70;
    case 6:
      return kM797;
    case 8:
      return kM10;
    case 9:
      return kJanuary72;
    case 11:
      return kEmur;
    default:
      return kM154;
  }
}

std::string Field(std::string_view utf8, std::size_t n) {
  std::string bytes = text::Utf8ToCp1251(utf8);
  bytes.resize(n, ' ');
  return bytes;
}

void Append(Bytes& out, const std::string& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// What the tester may write, as the controller keeps it.
struct Written {
  std::string vin;
  std::string sparePartCode;
  std::string bodyNumber;
  std::string engineNumber;
  std::string buildDate;
};

struct IdentityMemory {
  std::uint32_t type;
  Passport passport;
  Written written;
};

// The fields of an option, by the local identifier the page asks for.
std::optional<std::string> OptionField(const IdentityMemory& m, std::uint8_t option,
                                       std::size_t vinLength) {
  const Passport& p = m.passport;
  switch (option) {
    case 0x90:
      return m.written.vin.substr(0, vinLength);
    case 0x91:
      return Field(p.controllerNumber, 16);
    case 0x92:
      return Field(p.supplierCode, 10);
    case 0x94:
      return Field(p.softwareCode, 10);
    case 0x97:
      return Field(p.systemName, 15);
    case 0x98:
      return m.written.sparePartCode;
    case 0x99:
      return Field(p.firmwareDate, 10);
    case 0x9A:
      return Field(p.romId, 8);
    default:
      return std::nullopt;
  }
}

Answer Option80(const IdentityMemory& m) {
  const Passport& p = m.passport;
  Bytes s{0x5A};
  switch (m.type) {
    case 3:
    case 7: {
      // No option echo: the fields follow the service at once. The ROM id is four bytes
      // printed in hexadecimal and a revision letter.
      Append(s, m.written.vin.substr(0, 17));
      Append(s, Field(p.controllerNumber, 12));
      Append(s, Field(p.supplierCode, 10));
      Append(s, Field(p.softwareCode, 10));
      Append(s, Field(p.systemName, 6));
      s.insert(s.end(), {0x03, 0xA7, 0x00, 0x5C});
      s.push_back('B');
      return {s, true};
    }
    case 11:
      s.push_back(0x80);
      Append(s, m.written.vin.substr(0, 17));
      Append(s, Field(p.controllerNumber, 16));
      Append(s, Field(p.supplierCode, 10));
      Append(s, Field(p.systemName, 5));
      Append(s, Field(p.firmwareDate, 10));
      return {s, false};
    default: {
      const std::size_t vinLength = m.type == 6 || m.type == 8 ? 17 : 19;
      s.push_back(0x80);
      Append(s, m.written.vin.substr(0, vinLength));
      for (const int option : {0x91, 0x92, 0x94, 0x97, 0x98, 0x99, 0x9A})
        Append(s, *OptionField(m, static_cast<std::uint8_t>(option), vinLength));
      return {s, true};
    }
  }
}

Answer Record(std::uint8_t lid, const std::string& bytes, bool longForm = false) {
  Bytes s{0x61, lid};
  Append(s, bytes);
  return {s, longForm};
}

std::uint8_t Code(double value, double scale) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(value / scale), 0L, 255L));
}
std::uint16_t Code16(double value, double scale) {
  return static_cast<std::uint16_t>(std::clamp(std::lround(value / scale), 0L, 65535L));
}

// Thermistor divider of the coolant and air sensors: high voltage when cold.
double ThermistorVolts(double celsius) {
  return 4.6 / (1 + std::exp((celsius - 30) / 28)) + 0.2;
}

// The port states of the M1.5.4 family's processor: outputs that follow the engine.
std::uint8_t PortState(int port, const EngineState& s) {
  std::uint8_t base = port == 0 ? 0xA1 : port == 1 ? 0x3C : port == 2 ? 0x0F : 0x50;
  if (s.engineStopped) base ^= 0x01;
  if (s.idle) base ^= 0x04;
  if (s.o2Heater) base ^= 0x20;
  return base;
}

Bytes LocalAdcRecord(std::uint32_t type, const EngineState& s) {
  const double volt = 5.0 / 256;
  Bytes b{Code(0.35 + 0.02 * s.rpm / 1000, volt),
          Code(ThermistorVolts(s.coolant), volt),
          Code(s.mafVolts, volt),
          Code(s.battery, 0.06804688),
          Code(type == 1 ? 2.5 : s.o2Volts, volt),
          Code(s.throttleVolts, volt)};
  for (int port = 0; port < 4; ++port) b.push_back(PortState(port, s));
  if (type == 9) b.push_back(Code(ThermistorVolts(s.intakeAir), volt));
  return b;
}

void Put16(Bytes& b, std::size_t at, std::uint16_t v, bool highFirst) {
  b[at] = static_cast<std::uint8_t>(highFirst ? v >> 8 : v);
  b[at + 1] = static_cast<std::uint8_t>(highFirst ? v : v >> 8);
}

// M7.9.7 keeps its converter block high byte first, M10 low byte first.
Bytes ScaledAdcRecord(std::uint32_t type, const EngineState& s) {
  if (type == 6) {
    Bytes b(20, 0);
    Put16(b, 0, Code16(s.battery, 0.0176), true);
    b[2] = Code(ThermistorVolts(s.coolant), 0.01953125);
    Put16(b, 3, Code16(s.mafVolts, 0.004882812), true);
    Put16(b, 5, Code16(s.throttleVolts, 7.629395e-05), true);
    Put16(b, 7, Code16(s.o2Volts, 0.004882812), true);
    b[9] = Code(ThermistorVolts(s.intakeAir), 0.01953125);
    Put16(b, 10, Code16(s.o2AfterCatVolts, 0.004882812), true);
    Put16(b, 12, Code16(s.o2Heater ? 9.0 : 4.0, 2), true);
    b[14] = Code(6.25 + 0.1 * std::sin(s.seconds), 0.04882812);
    Put16(b, 15, Code16(0.8, 0.004882812), true);
    Put16(b, 17, Code16(s.o2Heater ? 8.0 : 4.0, 2), true);
    b[19] = Code(s.manifoldKpa * 2, 1);
    return b;
  }
  const double volt = 0.004887586;
  const double values[18] = {ThermistorVolts(s.coolant),
                             ThermistorVolts(s.intakeAir),
                             s.mafVolts,
                             0.4 + s.manifoldKpa / 25,
                             s.throttleVolts,
                             s.battery / 4,
                             0.6 + 0.3 * s.rpm / 6000,
                             s.o2Volts,
                             s.o2AfterCatVolts,
                             0,
                             0,
                             2.5,
                             0.7,
                             2.5,
                             1.1,
                             1.1,
                             1.1,
                             1.1};
  Bytes b(36, 0);
  for (std::size_t i = 0; i < 18; ++i) Put16(b, 2 * i, Code16(values[i], volt), false);
  // The heaters' resistances, in steps of 4 ohm.
  Put16(b, 18, Code16(s.o2Heater ? 12.0 : 4.0, 1), false);
  Put16(b, 20, Code16(s.o2Heater ? 12.0 : 4.0, 1), false);
  return b;
}

// MP7.0's converter results, one byte a cell from 0x4000 on.
std::uint8_t Mp70Cell(std::uint8_t low, const EngineState& s) {
  const double volt = 5.0 / 256;
  switch (low) {
    case 0:
      return Code(s.battery, 0.0625);
    case 2:
      return Code(ThermistorVolts(s.coolant), volt);
    case 3:
      return Code(s.mafVolts, volt);
    case 4:
      return Code(s.throttleVolts, volt);
    case 5:
      return Code(s.o2Volts, volt);
    case 7:
      return Code(0.35 + 0.02 * s.rpm / 1000, volt);
    case 8:
      return Code(s.o2Volts * 0.9, volt);
    case 9:
      return Code(s.o2AfterCatVolts * 0.9, volt);
    case 10:
      return Code(ThermistorVolts(s.intakeAir), volt);
    case 13:
      return Code(2.5, volt);
    case 18:
      return Code(s.o2AfterCatVolts, volt);
    default:
      return 0;
  }
}

void InstallWrites(KwpController& c, const std::shared_ptr<IdentityMemory>& m) {
  c.AddService(0x3B, true, [m](const Request& r) -> std::optional<Answer> {
    if (r.service.size() < 2) return KwpController::Negative(0x3B, kInvalidFormat);
    std::string* target = nullptr;
    switch (r.service[1]) {
      case 0x90:
        target = &m->written.vin;
        break;
      case 0x98:
        target = &m->written.sparePartCode;
        break;
      case 0xA1:
        target = &m->written.bodyNumber;
        break;
      case 0xA2:
        target = &m->written.engineNumber;
        break;
      case 0xA3:
        target = &m->written.buildDate;
        break;
      default:
        return KwpController::Negative(0x3B, kRequestOutOfRange);
    }
    // The record's length is fixed; anything else is refused and nothing changes.
    if (r.service.size() != 2 + target->size())
      return KwpController::Negative(0x3B, kInvalidFormat);
    target->assign(r.service.begin() + 2, r.service.end());
    return Answer{{0x7B, r.service[1]}};
  });
}

}  // namespace

void InstallIdentityServices(KwpController& c, const EngineModel& model) {
  const std::uint32_t type = c.Profile().type;
  auto m = std::make_shared<IdentityMemory>();
  m->type = type;
  m->passport = PassportOf(type);
  const Passport& p = m->passport;
  m->written = {Field(p.vin, 19), Field(p.sparePartCode, 7), Field(p.bodyNumber, 7),
                Field(p.engineNumber, 7), Field(p.buildDate, 10)};

  const bool mp70 = type == 3 || type == 7;
  const bool emur = type == 11;
  const std::size_t vinLength = type == 6 || type == 8 || emur ? 17 : 19;
  c.AddService(0x1A, true, [m, mp70, emur, vinLength](const Request& r) -> std::optional<Answer> {
    if (r.service.size() != 2) return KwpController::Negative(0x1A, kInvalidFormat);
    if (r.service[1] == 0x80) return Option80(*m);
    // MP7.0 and EMUR tell everything in option 80.
    if (mp70 || emur) return KwpController::Negative(0x1A, kRequestOutOfRange);
    const auto field = OptionField(*m, r.service[1], vinLength);
    if (!field) return KwpController::Negative(0x1A, kRequestOutOfRange);
    Bytes s{0x5A, r.service[1]};
    Append(s, *field);
    return Answer{s, false};
  });

  if (emur) {
    c.AddLocalIdentifier(0xA3, [m](const Request&) { return Record(0xA3, m->written.buildDate); });
    for (const std::uint8_t lid : Bytes{0x90, 0x91, 0x92, 0x94, 0x98, 0x99})
      c.AddLocalIdentifier(
          lid, [m, lid](const Request&) { return Record(lid, *OptionField(*m, lid, 17)); });
    c.AddLocalIdentifier(
        0x95, [m](const Request&) { return Record(0x95, Field(m->passport.systemName, 5)); });
    return;
  }
  if (mp70) {
    c.AddService(0x23, true, [&model](const Request& r) -> std::optional<Answer> {
      const Bytes& s = r.service;
      if (s.size() != 5) return KwpController::Negative(0x23, kInvalidFormat);
      if (s[1] != 0x40 || s[2] != 0x00 || s[4] != 0x01)
        return KwpController::Negative(0x23, kRequestOutOfRange);
      return Answer{{0x63, Mp70Cell(s[3], model.At(r.nowMs))}};
    });
    return;
  }
  if (type != 1 && type != 2 && type != 6 && type != 8 && type != 9) return;
  c.AddLocalIdentifier(0xA1, [m](const Request&) { return Record(0xA1, m->written.bodyNumber); });
  c.AddLocalIdentifier(0xA2, [m](const Request&) { return Record(0xA2, m->written.engineNumber); });
  c.AddLocalIdentifier(0xA3, [m](const Request&) { return Record(0xA3, m->written.buildDate); });
  // The converter block: with a length byte on the M1.5.4 family, without on M7.9.7 and M10.
  const bool scaled = type == 6 || type == 8;
  c.AddLocalIdentifier(0x03, [&model, type, scaled](const Request& r) {
    const EngineState s = model.At(r.nowMs);
    const Bytes data = scaled ? ScaledAdcRecord(type, s) : LocalAdcRecord(type, s);
    return Record(0x03, std::string(data.begin(), data.end()), !scaled);
  });
  InstallWrites(c, m);
}

void InstallIdentityLetters(EscapedController& controller) {
  static constexpr struct {
    char letter;
    const char* text;
  } kLetters[] = {{'Q', "ИТЭЛМА"},     {'R', "J4V13N12"},     {'S', "2111-1411020-60"},
                  {'T', "ЯНВАРЬ-4.1"}, {'U', "J4V13N12-K01"}, {'V', "2111-K01"},
                  {'W', "15.09.1999"}, {'X', "ВАЗ-2111 1.5л"}};
  for (const auto& l : kLetters) {
    const std::string bytes = Field(l.text, 16);
    controller.AddCommand(static_cast<std::uint8_t>(l.letter),
                          [bytes](const Bytes& message, std::int64_t) -> std::optional<Bytes> {
                            if (message.size() != 1) return std::nullopt;
                            return Bytes(bytes.begin(), bytes.end());
                          });
  }
}

std::optional<std::uint8_t> AdcCell(std::uint32_t type, std::uint8_t code, const EngineState& s) {
  if (type != 4) return std::nullopt;
  const double volt = 5.0 / 256;
  switch (code) {
    // The knock channel of each cylinder: a little more noise with speed.
    case 'A':
      return Code(0.30 + 0.02 * s.rpm / 1000, volt);
    case 'G':
      return Code(0.32 + 0.02 * s.rpm / 1000, volt);
    case 'H':
      return Code(0.29 + 0.02 * s.rpm / 1000, volt);
    case 'M':
      return Code(0.31 + 0.02 * s.rpm / 1000, volt);
    case 'I':
      return Code(s.throttleVolts, volt);
    case 'J':
      return Code(s.battery, 0.1);
    case 'K':
      return Code(ThermistorVolts(s.coolant), volt);
    case 'L':
      return Code(ThermistorVolts(s.intakeAir), volt);
    case 'N':
      return Code(2.5, volt);
    case 'O':
      return Code(4.9, volt);
    default:
      return std::nullopt;
  }
}

}  // namespace kd::sim
