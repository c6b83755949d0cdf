#include "identity/ident_page_step.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "catalogue/ecu_catalogue.h"
#include "identity/identity_text.h"
#include "identity/value_dialog.h"
#include "link/kwp.h"
#include "text/cp1251.h"

namespace kd::identity {

namespace {

using link::ReplyCopy;

using catalogue::IdentFamily;

IdentFamily FamilyOf(std::uint32_t type) {
  return catalogue::Lookup(type).ident;
}

// The types whose page writes identifiers back; their option 80 begins with the VIN.
bool Writes(IdentFamily family) {
  return family == IdentFamily::January5 || family == IdentFamily::M797M10;
}

constexpr const char* kKwpLabels[] = {"VIN (Vehicle Identification Namber)",
                                      "Заводской номер контроллера",
                                      "Код контр. по обозначению поставщика",
                                      "Код программного обеспечения",
                                      "Наименование системы",
                                      "Код для запасных частей",
                                      "Дата подготовки прошивки ПЗУ",
                                      "Идентификатор ПЗУ контроллера",
                                      "Серийный номер кузова       :",
                                      "Серийный номер двигателя    :",
                                      "Дата изготовления автомобиля:"};
constexpr const char* kLetterLabels[] = {"Производитель:",        "Номер программного обеспечения:",
                                         "Номер таблицы данных:", "Тип двигателя:",
                                         "Тип контроллера:",      "Номер таблицы калибровок:",
                                         "Таблица  калибровок:",  "Дата изменений:"};
constexpr const char* kNoInformation = "Нет информации.";

void Request(link::ExchangeBuffer& buffer, std::initializer_list<std::uint8_t> bytes) {
  link::WriteKwpService(buffer, bytes);
}

// Service and identifier at bytes 3 and 4: the short header the page's replies come with.
bool Is(const ReplyCopy& r, std::uint8_t service, std::uint8_t id) {
  return r[3] == service && r[4] == id;
}

// The letters of January 4.1's rotation, by the step read, and the row each answer goes to: the
// answer shown with a letter is the one to the letter before.
struct Letter {
  char request;
  int row;
};
constexpr Letter kLetters[] = {{'Q', 3}, {'R', 0}, {'S', 1}, {'T', 2},
                               {'U', 4}, {'V', 5}, {'W', 6}, {'X', 7}};

constexpr std::size_t kLetterTextLength = 16;
constexpr std::size_t kEmurBlankRow = 16;

}  // namespace

IdentPageStep::IdentPageStep(view::Form& form, view::Host& host, const std::uint32_t& ecuType,
                             session::SessionState& session, VehicleIdentifiers vehicle,
                             Identifiers& identifiers)
    : host_(host),
      ecuType_(ecuType),
      session_(session),
      vehicle_(vehicle),
      identifiers_(identifiers),
      grid_(form.Add<view::Grid>("StringGrid4")),
      writeResult_(form.Add<view::Label>("WriteResult")) {
  grid_.SetFixedRows(0);
  grid_.SetSize(3, 0);
  grid_.ColWidths() = {230, 230, 230};
  grid_.OnDblClick = [this] { ModifyValue(); };
}

void IdentPageStep::TypeApplied() {
  const std::uint32_t type = ecuType_;
  if (appliedType_ != 0 && appliedType_ != type) ForgetIdentifiers();
  appliedType_ = type;

  std::vector<const char*> labels;
  switch (FamilyOf(type)) {
    case IdentFamily::January5:
    case IdentFamily::M797M10:
    case IdentFamily::Emur:
      labels.assign(std::begin(kKwpLabels), std::end(kKwpLabels));
      break;
    case IdentFamily::Mp70:
      labels.assign(std::begin(kKwpLabels), std::begin(kKwpLabels) + 8);
      break;
    case IdentFamily::January41:
      labels.assign(std::begin(kLetterLabels), std::end(kLetterLabels));
      break;
    case IdentFamily::None:
      // Mikas keeps January 4.1's labels without asking for them; GM has none at all.
      if (catalogue::Lookup(type).family == catalogue::LinkFamily::Escaped)
        labels.assign(std::begin(kLetterLabels), std::end(kLetterLabels));
      else
        labels = {kNoInformation};
      break;
  }
  grid_.SetSize(3, static_cast<int>(labels.size()));
  for (std::size_t r = 0; r < labels.size(); ++r) grid_.SetCell(0, static_cast<int>(r), labels[r]);
  // Mikas keeps the labels but is never asked: its page says so beside them. GM's one row says
  // it already.
  if (!Serves() && labels.size() > 1) {
    for (int r = 0; r < grid_.RowCount(); ++r) {
      grid_.SetCell(1, r, "");
      grid_.SetCell(2, r, "");
    }
    grid_.SetCell(1, 0, kNotSupported);
  } else if (grid_.Cell(1, 0) == kNotSupported) {
    grid_.SetCell(1, 0, "");
  }
}

bool IdentPageStep::Serves() const {
  return FamilyOf(ecuType_) != IdentFamily::None;
}

void IdentPageStep::ForgetIdentifiers() {
  vehicle_.vin.assign(kVinLength, ' ');
  vehicle_.controllerNumber.assign(kControllerNumberLength, ' ');
  vehicle_.romId.assign(kRomIdLength, ' ');
  vehicle_.identifiersRead = false;
  identifiers_ = Identifiers{};
  writeResult_.SetCaption("");
  for (int r = 0; r < grid_.RowCount(); ++r) {
    grid_.SetCell(1, r, "");
    grid_.SetCell(2, r, "");
  }
}

void IdentPageStep::Step(ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  switch (FamilyOf(ecuType_)) {
    case IdentFamily::January5:
    case IdentFamily::M797M10:
      KwpStep(reply, buffer);
      break;
    case IdentFamily::Mp70:
      Mp70Step(reply, buffer);
      break;
    case IdentFamily::Emur:
      EmurStep(reply, buffer);
      break;
    case IdentFamily::January41:
      January41Step(reply, buffer);
      break;
    case IdentFamily::None:
      break;
  }
}

void IdentPageStep::Show(const ReplyCopy& reply, std::size_t from, std::size_t n, int col,
                         int row) {
  grid_.SetCell(col, row, FieldText(reply, from, n));
}

void IdentPageStep::Take(std::string& target, const ReplyCopy& reply, std::size_t from,
                         std::size_t n, int col, int row) {
  // The field's text, as the cell shows it: a zero byte ends it, and blanks stand for the rest,
  // so that no zero byte reaches a report or a write-back.
  const std::string text = FieldBytes(reply, from, n);
  for (std::size_t i = 0; i < n && i < target.size(); ++i)
    target[i] = i < text.size() ? text[i] : ' ';
  Show(reply, from, n, col, row);
}

void IdentPageStep::TakeVin(const ReplyCopy& reply, std::size_t from, std::size_t n, int col,
                            int row) {
  std::string& vin = vehicle_.vin;
  vin.assign(kVinLength, ' ');
  Take(vin, reply, from, n, col, row);
}

void IdentPageStep::KwpStep(const ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  Request(buffer, {0x1A, 0x80});
  if (session_.pendingCommand == 0) KwpRotation(reply, buffer);
  KwpWrite(buffer);
  session_.pendingCommand = 0;
}

bool IdentPageStep::KwpRotation(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  const bool vin19 = FamilyOf(ecuType_) == IdentFamily::January5;
  const bool option80 =
      (r[3] == 0x5A || r[4] == 0x5A) && (vin19 ? r[5] == 0x80 : (r[4] == 0x80 || r[5] == 0x80));
  if (option80) {
    // The same fields on both kinds, behind a VIN of 19 or 17 characters.
    const std::size_t vinLength = vin19 ? 19 : 17;
    const std::size_t at = 6 + vinLength;
    TakeVin(r, 6, vinLength, 1, 0);
    Take(vehicle_.controllerNumber, r, at, 16, 1, 1);
    Show(r, at + 16, 10, 1, 2);
    Show(r, at + 26, 10, 1, 3);
    Show(r, at + 36, 15, 1, 4);
    Take(identifiers_.sparePartCode, r, at + 51, 7, 1, 5);
    Show(r, at + 58, 10, 1, 6);
    Take(vehicle_.romId, r, at + 68, 8, 1, 7);
    vehicle_.identifiersRead = true;
    Request(buffer, {0x21, 0xA1});
    return true;
  }
  if (Is(r, 0x61, 0xA1)) {
    Take(identifiers_.bodyNumber, r, 5, 7, 1, 8);
    Request(buffer, {0x21, 0xA2});
  } else if (Is(r, 0x61, 0xA2)) {
    Take(identifiers_.engineNumber, r, 5, 7, 1, 9);
    Request(buffer, {0x21, 0xA3});
  } else if (Is(r, 0x61, 0xA3)) {
    Take(identifiers_.buildDate, r, 5, 10, 1, 10);
    Request(buffer, {0x1A, 0x90});
  } else if (Is(r, 0x5A, 0x90)) {
    TakeVin(r, 5, vin19 ? 19 : 17, 2, 0);
    Request(buffer, {0x1A, 0x91});
  } else {
    // Option, characters, row of column 2, the next option.
    static constexpr struct {
      std::uint8_t option;
      std::size_t n;
      int row;
      std::uint8_t next;
    } kOptions[] = {{0x91, 16, 1, 0x92}, {0x92, 10, 2, 0x94}, {0x94, 10, 3, 0x97},
                    {0x97, 15, 4, 0x98}, {0x98, 7, 5, 0x99},  {0x99, 10, 6, 0x9A},
                    {0x9A, 8, 7, 0x80}};
    for (const auto& o : kOptions) {
      if (!Is(r, 0x5A, o.option)) continue;
      Show(r, 5, o.n, 2, o.row);
      Request(buffer, {0x1A, o.next});
      return true;
    }
    return false;
  }
  return true;
}

void IdentPageStep::KwpWrite(link::ExchangeBuffer& buffer) {
  const std::string* value = nullptr;
  std::uint8_t id = 0;
  switch (session_.pendingCommand) {
    case 1:
      value = &vehicle_.vin;
      id = 0x90;
      break;
    case 2:
      value = &identifiers_.bodyNumber;
      id = 0xA1;
      break;
    case 3:
      value = &identifiers_.engineNumber;
      id = 0xA2;
      break;
    case 4:
      value = &identifiers_.buildDate;
      id = 0xA3;
      break;
    case 5:
      value = &identifiers_.sparePartCode;
      id = 0x98;
      break;
    default:
      return;
  }
  link::Put(buffer.transmitFrame, 3, 0x3B);
  link::Put(buffer.transmitFrame, 4, id);
  for (std::size_t i = 0; i < value->size(); ++i)
    link::Put(buffer.transmitFrame, 5 + i, static_cast<std::uint8_t>((*value)[i]));
  buffer.dataLength = static_cast<std::uint8_t>(2 + value->size());
  // Until the controller has answered, the page claims nothing about this write.
  writeResult_.SetCaption("");
  session::AwaitAnswer(session_, 0x3B,
                       [this](session::AnswerOutcome outcome, const std::string& refusal) {
                         switch (outcome) {
                           case session::AnswerOutcome::Accepted:
                             writeResult_.SetCaption(kWriteDone);
                             break;
                           case session::AnswerOutcome::Refused:
                             writeResult_.SetCaption(kWriteRefused + refusal);
                             break;
                           case session::AnswerOutcome::Missing:
                             writeResult_.SetCaption(kWriteMissing);
                             break;
                         }
                       });
}

void IdentPageStep::Mp70Step(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  Request(buffer, {0x1A, 0x80});
  if (r[3] != 0x5A && r[4] != 0x5A) return;
  Show(r, 5, 17, 1, 0);
  Show(r, 22, 12, 1, 1);
  Show(r, 34, 10, 1, 2);
  Show(r, 44, 10, 1, 3);
  Show(r, 54, 6, 1, 4);
  grid_.SetCell(1, 5, "");
  char hex[16];
  std::snprintf(hex, sizeof hex, "%2x%2x%2x%2x", r[60], r[61], r[62], r[63]);
  grid_.SetCell(1, 6, hex);
  Show(r, 64, 1, 1, 7);
}

void IdentPageStep::EmurStep(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  Request(buffer, {0x1A, 0x80});
  if (session_.pendingCommand != 0) return;
  const std::string blanks(kEmurBlankRow, ' ');
  if ((r[3] == 0x5A || r[4] == 0x5A) && (r[4] == 0x80 || r[5] == 0x80)) {
    TakeVin(r, 5, 17, 1, 0);
    Show(r, 22, 16, 1, 1);
    Show(r, 38, 10, 1, 2);
    grid_.SetCell(1, 3, blanks);
    Show(r, 48, 5, 1, 4);
    grid_.SetCell(1, 5, blanks);
    Show(r, 53, 10, 1, 6);
    Request(buffer, {0x21, 0xA3});
    return;
  }
  if (Is(r, 0x61, 0xA3)) {
    Take(identifiers_.buildDate, r, 5, 10, 1, 10);
    Request(buffer, {0x21, 0x90});
    return;
  }
  if (Is(r, 0x61, 0x90)) {
    TakeVin(r, 5, 17, 2, 0);
    Request(buffer, {0x21, 0x91});
    return;
  }
  static constexpr struct {
    std::uint8_t id;
    std::size_t n;
    int row;
    std::uint8_t service, next;
  } kLocals[] = {{0x91, 16, 1, 0x21, 0x92}, {0x92, 10, 2, 0x21, 0x94}, {0x94, 10, 3, 0x21, 0x95},
                 {0x95, 5, 4, 0x21, 0x98},  {0x98, 7, 5, 0x21, 0x99},  {0x99, 10, 6, 0x1A, 0x80}};
  for (const auto& l : kLocals) {
    if (!Is(r, 0x61, l.id)) continue;
    Show(r, 5, l.n, 2, l.row);
    Request(buffer, {l.service, l.next});
    return;
  }
}

void IdentPageStep::January41Step(const ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  const std::string text = FieldText(reply, 0, kLetterTextLength);
  const std::uint8_t step = session_.requestStep;
  session_.requestStep = link::Add8(step, 1);
  if (step < 1 || step > 8) {
    session_.requestStep = 1;
    return;
  }
  const Letter& letter = kLetters[step - 1];
  buffer.transmitFrame[0] = static_cast<std::uint8_t>(letter.request);
  buffer.dataLength = 1;
  grid_.SetCell(1, letter.row, text);
  if (step == 8) session_.requestStep = 1;
}

void IdentPageStep::ModifyValue() {
  std::string* target = nullptr;
  std::uint32_t command = 0;
  switch (grid_.Row()) {
    case 0:
      target = &vehicle_.vin;
      command = 1;
      break;
    case 5:
      target = &identifiers_.sparePartCode;
      command = 5;
      break;
    case 8:
      target = &identifiers_.bodyNumber;
      command = 2;
      break;
    case 9:
      target = &identifiers_.engineNumber;
      command = 3;
      break;
    case 10:
      target = &identifiers_.buildDate;
      command = 4;
      break;
    default:
      return;
  }
  ValueDialog dialog(BufferText(*target), &host_);
  host_.ShowModal(dialog);
  if (!dialog.Accepted()) return;
  host_.MessageBox("OK!", kValueAccepted, view::MessageIcon::None);
  const std::string typed = text::Utf8ToCp1251(dialog.NewValue());
  const std::size_t length = target->size();
  target->assign(length, ' ');
  target->replace(0, std::min(typed.size(), length), typed, 0, std::min(typed.size(), length));
  // A command left on a type whose page writes nothing would be taken by the next page that
  // reads the field under its own meaning.
  if (Writes(FamilyOf(ecuType_))) session_.pendingCommand = command;
}

}  // namespace kd::identity
