#include "adaptation/trip_page.h"

#include <algorithm>

#include "adaptation/grid_text.h"
#include "catalogue/ecu_catalogue.h"
#include "link/kwp.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::adaptation {

namespace {

// The labels are padded with blanks to line the report's columns up, as the controller's
// documentation prints them.
// clang-format off
constexpr const char* kLabels[kTripRows] = {
    "Наименование                   ",
    "VIN автомобиля                 ",
    "Дата выпуска                   ",
    "Код запасн.частей              ",
    "Номер двигателя                ",
    "Общий пробег автомобиля,    КМ ",
    "Количество израсх.топл.,    Л  ",
    "Общее вр.работы двигателя,  МИН",
    "Время работы с выс. ТОЖ,    СЕК",
    "Время работы с пред. УОЗ,   МИН",
    "Количество пусков двигателя   ",
    "Колич.пусков с посл.работой   ",
    "Время раб.двиг.выс.част.,  МИН",
    "Время движ.на выс.скор. 1, МИН",
    "Время движ.на выс.скор. 2, МИН",
    "Время движ.без датч.скор., МИН",
    "Счетчик сбросов клеммы 30     ",
    "Время раб.с неиспр.“030Х”, МИН",
    "Время раб.с неиспр.“Р0327”,МИН",
    "Время раб.с неиспр.О2-зондов,МИН",
    "Время раб.с вкл.лампой MIL,МИН",
    "Совпадение",
};
// clang-format on
constexpr const char* kValueHeading = "Параметр                       ";

// A text field of the record, up to its first zero byte; Windows-1251 bytes.
std::string Field(const link::ReplyCopy& reply, std::size_t from, std::size_t length) {
  std::string out;
  for (std::size_t i = from; i < from + length; ++i) {
    const std::uint8_t b = link::At(reply, i);
    if (b == 0) break;
    out += static_cast<char>(b);
  }
  return out;
}

}  // namespace

TripPageStep::TripPageStep(view::Form& form, std::string& vin, const std::uint32_t* ecuType)
    : vin_(vin),
      ecuType_(ecuType),
      title_(form.Add<view::Label>("TripTitle")),
      grid_(form.Add<view::Grid>("StringGrid7")),
      button5_(form.Add<view::Button>("Button5")) {
  title_.SetCaption("Таблица регистрации параметров эксплуатации автомобиля");
  grid_.SetSize(2, kTripRows);
  grid_.ColWidths() = {290, 141};
  button5_.SetCaption(kSaveCaption);
  button5_.OnClick = [this] {
    if (OnSave) OnSave();
  };
}

void TripPageStep::TypeApplied() {
  const bool serves = Serves();
  button5_.SetEnabled(serves);
  if (!serves) {
    grid_.SetSize(2, 2);
    grid_.SetCell(0, 0, kLabels[0]);
    grid_.SetCell(1, 0, kValueHeading);
    grid_.SetCell(0, 1, kNotSupported);
    grid_.SetCell(1, 1, "");
    return;
  }
  if (grid_.RowCount() != kTripRows) {
    grid_.SetSize(2, kTripRows);
    ClearValues(grid_);
  }
  for (int r = 0; r < kTripRows; ++r) grid_.SetCell(0, r, kLabels[r]);
  grid_.SetCell(1, 0, kValueHeading);
}

bool TripPageStep::Serves() const {
  return !ecuType_ || catalogue::Lookup(*ecuType_).family == catalogue::LinkFamily::Kwp2000;
}

void TripPageStep::NewCar() {
  ClearValues(grid_);
}

void TripPageStep::Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  link::WriteKwpService(buffer, {0x21, 0x05});
  if (reply[4] == 0x61 && reply[5] == 0x05) Show(reply);
}

void TripPageStep::Show(const link::ReplyCopy& reply) {
  const std::string vin = Field(reply, 6, kTripVinLength);
  grid_.SetCell(1, 1, text::Cp1251ToUtf8(vin));
  // The header takes the VIN as the page shows it: blanks stand in for what the record leaves
  // empty, so no zero byte ever reaches a report.
  if (vin_.size() < kTripVinLength) vin_.resize(kTripVinLength, ' ');
  for (std::size_t i = 0; i < kTripVinLength; ++i) vin_[i] = i < vin.size() ? vin[i] : ' ';
  grid_.SetCell(1, 2, text::Cp1251ToUtf8(Field(reply, 23, 10)));
  grid_.SetCell(1, 3, text::Cp1251ToUtf8(Field(reply, 33, 7)));
  grid_.SetCell(1, 4, text::Cp1251ToUtf8(Field(reply, 40, 7)));
  grid_.SetCell(1, 5, text::FormatNumber(Word32(reply, 47) * 0.1, "#####0.0"));
  grid_.SetCell(1, 6, text::FormatNumber(Word32(reply, 51) * 0.01, "#####0.00"));
  grid_.SetCell(1, 7, text::FormatNumber(Word32(reply, 55), "#####0."));
  for (int row = 8; row <= 20; ++row)
    grid_.SetCell(1, row, text::FormatNumber(Word16(reply, 59 + 2 * (row - 8)), "#####0."));
  grid_.SetCell(1, 21, text::FormatNumber(link::At(reply, 85), "#####0."));
}

std::string TripPageStep::ReportBody() const {
  std::string out = text::Utf8ToCp1251("\r\nПутевые параметры контроллера.\r\n");
  for (int r = 0; r < kTripRows; ++r) {
    out += text::Utf8ToCp1251(grid_.Cell(0, r));
    out += "\t\t";
    out += text::Utf8ToCp1251(grid_.Cell(1, r));
    out += "\r\n";
  }
  return out;
}

}  // namespace kd::adaptation
