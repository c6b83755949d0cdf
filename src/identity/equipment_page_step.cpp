#include "identity/equipment_page_step.h"

#include <string>
#include <string_view>

#include "catalogue/ecu_catalogue.h"
#include "identity/identity_text.h"
#include "link/kwp.h"
#include "text/number_format.h"

namespace kd::identity {

namespace {

using link::ReplyCopy;

// By bit: the first equipment byte gives entries 0..7, the second 8..15. The blanks belong to
// the texts: the lines line up in the memo.
constexpr const char* kEquipment[16] = {
    "Датчик кислорода.                  ",
    "Адсорбер.                          ",
    "Клапан рециркуляции ОГ.            ",
    "Датчик детонации                   ",
    "Датчик температуры воздуха.        ",
    "Датчик фазы.                       ",
    "Запрещена отсечка топлива.         ",
    "Разрешена адаптация уставки ХХ.    ",
    "Потенциометр корректировки СО.     ",
    "Разрешена адаптация нуля дросселя. ",
    "Разрешена асинхронная подача топлива при пуске.",
    "Разрешено постоянное хранение ошибок.",
    "Датчик скорости автомобиля.        ",
    "Разрешен одновременный впрыск.     ",
    "Разрешен асинхронный впрыск при ускорении.",
    "Разрешено управление длиной впускной трубы.",
};

constexpr const char* kSimplified =
    "\r\n\r\nДля данного типа контроллеров \r\nкомплектация выводится в упрощенном виде";

constexpr const char* kEmurMotor[3] = {
    "Двигатель постоянного тока, коллекторный.",
    "Двигатель постоянного тока, индукторный. ",
    "Двигатель постоянного тока, синхронный.  ",
};
constexpr const char* kEmurBits[5] = {
    "Датчик положения рулевого вала.", "Датчик положения ротора электродвигателя.",
    "Датчик температуры радиатора ЭБУ.", "Датчик момента.", "Присутствует механический редуктор."};

struct BitLine {
  const char* set;
  const char* clear;  // nullptr: nothing when clear
};

constexpr BitLine kM10Immo[6] = {
    {"Контроллер и иммобилизатор не обучены.", "Контроллер и иммобилизатор обучены."},
    {"Контроллер не заблокирован.", "Контроллер заблокирован."},
    {"Процедура обхода,Контроллер разблокирован.", "Процедура обхода,Контроллер заблокирован."},
    {"Пароль обхода запрограммирован,обход возможен.",
     "Пароль обхода не запрограммирован,обход запрещен."},
    {"Неисправности линии связи с иммобилизатором.", "Линия связи с иммобилизатором исправна."},
    {"Быстрый старт запрещен.", "Быстрый старт разрешен."},
};

constexpr BitLine kM797Immo[6] = {
    {"ECU не обучен.", "ECU обучен."},
    {"ECU unlocked.", "ECU locked."},
    {"Start engine after successful use of bypass possible.", nullptr},
    {"Bypass password programmed.", "Bypass password not programmed."},
    {"ECU locked because of communication problems.", "There are no communication problems."},
    {"quick start allowed.", "quick start not allowed."},
};

// The identifiers page keeps a field the way it shows it, blank-padded where the controller
// ended it with a zero; this page keeps it zero-terminated. Either way it is the same number.
bool SameSerial(std::string_view reported, std::string_view kept) {
  const auto text = [](std::string_view s) {
    s = s.substr(0, s.find('\0'));
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
  };
  return text(reported) == text(kept);
}

bool Bit(unsigned value, unsigned bit) {
  return (value >> bit & 1u) != 0;
}

void AppendBits(view::Memo& memo, std::uint8_t byte, int firstEntry) {
  for (unsigned bit = 0; bit < 8; ++bit)
    if (Bit(byte, bit)) AppendLines(memo, kEquipment[firstEntry + static_cast<int>(bit)]);
}

}  // namespace

EquipmentPageStep::EquipmentPageStep(view::Form& form, const std::uint32_t& ecuType,
                                     session::SessionState& session, Identifiers& identifiers)
    : ecuType_(ecuType),
      session_(session),
      identifiers_(identifiers),
      comp_(form.Add<view::Memo>("Comp")) {}

bool EquipmentPageStep::Serves() const {
  return catalogue::Lookup(ecuType_).equipment != catalogue::EquipmentKind::None;
}

// A controller without equipment says so; coming back from one, the lists start again, or the
// text would stand until a reported byte changed.
void EquipmentPageStep::TypeApplied() {
  if (!Serves()) {
    comp_.SetItems({kNotSupported});
    notSupportedShown_ = true;
  } else if (notSupportedShown_) {
    NewCar();
  }
}

void EquipmentPageStep::NewCar() {
  if (!comp_.Items().empty()) ClearMemo(comp_);
  detectors_ = EquipmentDetectors{};
  notSupportedShown_ = false;
}

void EquipmentPageStep::Step(ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  using catalogue::EquipmentKind;
  switch (catalogue::Lookup(ecuType_).equipment) {
    case EquipmentKind::Absent:
      comp_.SetItems({kNoEquipment});
      break;
    case EquipmentKind::Records:
      RotateRequest(buffer);
      RecordsStep(reply);
      break;
    case EquipmentKind::Emur:
      RotateRequest(buffer);
      EmurStep(reply, buffer);
      break;
    case EquipmentKind::January41:
      January41Step(reply, buffer);
      break;
    case EquipmentKind::None:
      break;
  }
}

// Six ticks a cycle: the default request's length and parameter, then 02, A0, A1, A2, A3.
void EquipmentPageStep::RotateRequest(link::ExchangeBuffer& buffer) {
  static constexpr std::uint8_t kIdentifiers[] = {0x02, 0xA0, 0xA1, 0xA2, 0xA3};
  buffer.transmitFrame[3] = 0x21;
  const std::uint8_t s = session_.requestStep;
  session_.requestStep = link::Add8(s, 1);
  if (s >= 1 && s <= 5) {
    buffer.transmitFrame[4] = kIdentifiers[s - 1];
    buffer.dataLength = 2;
  } else {
    session_.requestStep = 1;
  }
}

void EquipmentPageStep::January41Step(const ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  buffer.transmitFrame[0] = 'a';
  buffer.transmitFrame[1] = 0x0C;
  buffer.dataLength = 2;
  if (reply[0] != detectors_.equipByte0 && session_.pageTickCount != 0) {
    detectors_.equipByte0 = reply[0];
    ClearMemo(comp_);
    AppendBits(comp_, reply[0], 0);
    AppendLines(comp_, kSimplified);
  }
  session_.pageTickCount = link::Add8(session_.pageTickCount, 1);
}

void EquipmentPageStep::EmurStep(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  if (r[3] == 0x61 && (r[29] != detectors_.equipByte0 || r[30] != detectors_.equipByte1)) {
    detectors_.equipByte0 = r[29];
    detectors_.equipByte1 = r[30];
    ClearMemo(comp_);
    const unsigned motor = r[29] & 0x03u;
    if (motor < 3) AppendLines(comp_, kEmurMotor[motor]);
    for (unsigned bit = 2; bit <= 6; ++bit)
      if (Bit(r[29], bit)) AppendLines(comp_, kEmurBits[bit - 2]);
  }
  link::WriteKwpService(buffer, {0x21, 0x01});
}

void EquipmentPageStep::RecordsStep(const ReplyCopy& r) {
  if (r[4] != 0x61 && r[3] != 0x61) return;
  if (r[4] != 0xA0 && r[5] == 0x02 &&
      (r[6] != detectors_.equipByte0 || r[7] != detectors_.equipByte1)) {
    detectors_.equipByte0 = r[6];
    detectors_.equipByte1 = r[7];
    ClearMemo(comp_);
    AppendBits(comp_, r[6], 0);
    AppendBits(comp_, r[7], 8);
  }
  if (r[4] == 0xA0) Immobilizer(r);
  if (r[4] == 0xA1) Serial(r, identifiers_.bodyNumber, "\r\nСерийный номер кузова:");
  if (r[4] == 0xA2) Serial(r, identifiers_.engineNumber, "\r\nСерийный номер двигателя:");
  if (r[4] == 0xA3) Serial(r, identifiers_.buildDate, "\r\nДата изготовления автомобиля:");
}

void EquipmentPageStep::Immobilizer(const ReplyCopy& r) {
  EquipmentDetectors& d = detectors_;
  if (r[5] == d.immoByte0 && r[6] == d.immoByte1 && r[7] == d.immoByte2) return;
  d.immoByte0 = r[5];
  d.immoByte1 = r[6];
  d.immoByte2 = r[7];
  AppendLines(comp_, "\r\nСтатус алгоритма иммобилизации ЭБУ:");
  const catalogue::ImmoStatusLayout layout = catalogue::Lookup(ecuType_).immoStatus;
  if (layout != catalogue::ImmoStatusLayout::Common) {
    const std::uint8_t s = r[7];
    const BitLine* lines = layout == catalogue::ImmoStatusLayout::M10 ? kM10Immo : kM797Immo;
    for (unsigned bit = 0; bit < 6; ++bit) {
      const char* line = Bit(s, bit) ? lines[bit].set : lines[bit].clear;
      if (line) AppendLines(comp_, line);
    }
    AppendLines(comp_, "Статус иммобилизатора  " + text::Hex2(s));
    AppendLines(comp_, "Код красного ключа   " + text::Hex4(r[5] * 256 + r[6]));
    return;
  }
  if (!Bit(d.immoByte1, 4)) AppendLines(comp_, "Ошибка связи с иммобилизатором.");
  if (!Bit(d.immoByte1, 5)) AppendLines(comp_, "Иммобилизатором запуск двигателя разрешен.");
  if (!Bit(d.immoByte1, 7)) AppendLines(comp_, "Иммобилизатор и контроллер обучены.");
  AppendLines(comp_, text::Hex2(d.immoByte0));
  AppendLines(comp_, text::Hex2(d.immoByte1));
  AppendLines(comp_, text::Hex4(r[7] * 256 + r[8]));
}

void EquipmentPageStep::Serial(const ReplyCopy& r, std::string& target, const char* heading) {
  const std::size_t n = target.size();
  const std::string reported = FieldBytes(r, 5, n);
  if (SameSerial(reported, target)) return;
  // As a zero-terminated copy: a shorter text ends with its zero, the rest stays.
  for (std::size_t i = 0; i < n; ++i) {
    if (i < reported.size()) {
      target[i] = reported[i];
    } else {
      target[i] = '\0';
      break;
    }
  }
  AppendLines(comp_, heading);
  AppendLines(comp_, BufferText(reported));
}

}  // namespace kd::identity
