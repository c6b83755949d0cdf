#include "climate/sauo_form.h"

#include <algorithm>

#include "faults/fault_detail.h"
#include "link/kwp.h"
#include "link/unit_tick.h"
#include "text/number_format.h"

namespace kd::climate {

const SauoCode kSauoCodes[kSauoCodeCount] = {
    {0x1325, "1325 - Цепь задатчика темп.воздуха салона  неисправна."},
    {0x1326, "1326 - Цепь задатчика темп.воздуха салона работает неустойчиво"},
    {0x1327, "1327 - Цепь задатчика темп.воздуха салона замкнута на 'массу'"},
    {0x1328, "1328 - Цепь задатчика темп.воздуха салона оборвана."},
    {0x1335, "1335 - Цепь датчика темп.воздуха салона  неисправна."},
    {0x1336, "1336 - Цепь датчика темп.воздуха салона работает неустойчиво"},
    {0x1337, "1337 - Цепь датчика темп.воздуха салона замкнута на 'массу'"},
    {0x1338, "1338 - Цепь датчика температуры воздуха салона оборвана."},
    {0x1375, "1375 - Датчик температуры испарителя неисправен."},
    {0x1376, "1376 - Канал обмена ДТИ работает неустойчиво."},
    {0x1377, "1377 - Канал обмена ДТИ замкнут на 'массу'"},
    {0x1378, "1378 - Канал обмена ДТИ оборван."},
    {0x1382, "1382 - Цепь ЭД датчика темп.воздуха салона  неисправна."},
    {0x1383, "1383 - Цепь ЭД датчика темп.воздуха салона работает неустойчиво"},
    {0x1384, "1384 - Цепь ЭД датчика темп.воздуха салона замкнута на 'массу'"},
    {0x1385, "1385 - Цепь ЭД датчика темп.воздуха салона оборвана."},
    {0x1386, "1386 - Цепь ДПВ неисправна."},
    {0x1387, "1387 - Цепь ДПВ работает неустойчиво."},
    {0x1388, "1388 - Цепь ДПВ замкнута на 'массу'."},
    {0x1389, "1389 - Цепь ДПВ оборвана."},
    {0x1410, "1410 - Цепь ММР неисправна."},
    {0x1411, "1411 - Цепь ММР работает неустойчиво."},
    {0x1412, "1412 - Цепь ММР замкнута на 'массу'"},
    {0x1413, "1413 - Цепь ММР оборвана."},
    {0x1435, "1435 - Цепь сигнала запроса включения кондиционера неисправна."},
    {0x1439, "1439 - Цепь управления реле упр.вентилятором отопителем неисп."},
    {0x1607, "1607 - Внутренняя ошибка (ошибка измерения)"},
    {0x1608, "1608 - Ошибка инициализации."},
    {0x1860, "1860 - Высокое напряжение питания."},
    {0x1861, "1861 - Низкое напряжение питания."},
};

namespace {

constexpr std::size_t kPaddedLength = 58;

std::size_t Utf8Length(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

constexpr const char* kColumn0[10] = {
    "Электр.Дв.ДТВС", "Выв. +ММР",     "Выв. -ММР",  "Реле вент.отопит.", "Состояние ЗТВС",
    "Rдтвс",          "ЭДТВС включен", "Авария ДПВ", "Авария ЗТВС",       "Авария ДТВС"};
constexpr const char* kColumn3[10] = {"ММР по тайм.движ",       "ММР стоит по ДПВ",
                                      "Расч.напр.движения ММР", "Текущее значение Rдтвс",
                                      "Текущее значение Rдпв",  "Температура испарителя",
                                      "Состояние кондиционера", "ДС2-включено",
                                      "ДС3-включено",           "Положение ПРРВ"};

// The outputs the two output buttons switch, as bits of the parameter reply's byte 5.
constexpr std::uint8_t kAspiratorBit = 0x01;
constexpr std::uint8_t kHeaterFanBit = 0x08;

std::string Named(const char* developer, const char* codeLabel, std::uint8_t b) {
  return developer ? std::string(developer) : std::string(codeLabel) + text::Hex2(b);
}

const char* Origin(std::uint8_t b, const char* ufa, const char* cheboksary, const char* kaluga) {
  switch (b) {
    case 0x02:
      return ufa;
    case 0x21:
      return cheboksary;
    case 0x40:
      return kaluga;
    default:
      return nullptr;
  }
}

// A control under its caption label.
template <class T>
T& Labelled(view::Form& form, const char* label, const char* caption, const char* name) {
  form.Add<view::Label>(label).SetCaption(caption);
  return form.Add<T>(name);
}

}  // namespace

std::string SauoCodeLine(std::uint16_t code) {
  for (const SauoCode& row : kSauoCodes)
    if (row.code == code) {
      std::string line = row.text;
      const std::size_t n = Utf8Length(line);
      if (n < kPaddedLength) line.append(kPaddedLength - n, ' ');
      return line;
    }
  return text::Hex4(code);
}

std::vector<std::string> SauoStatusLines(std::uint8_t status) {
  // The unit's own wording of the lamp line differs from the engine controllers' by one blank.
  return faults::StatusDecodeLines(status, "Выбранная ошибка на лампу невлияет.");
}

std::size_t SauoCarriedCodes(const link::ReplyCopy& r) {
  // Service bytes behind the header: SID, count, then three per code.
  // A short header holds at most 63 service bytes; anything else announces no length to trust.
  const std::size_t n = std::min<std::size_t>(static_cast<std::uint8_t>(r[0] - 0x80), 63);
  const std::size_t inFrame = n >= 2 ? (n - 2) / 3 : 0;
  return std::min(std::size_t{r[4]}, inFrame);
}

std::vector<std::string> SauoIdentification(const link::ReplyCopy& r) {
  return {
      Named(Origin(r[5], "Разработчик - УФА ", "Разработчик - Чебоксары", "Разработчик - Калуга"),
            "Код разработчика : ", r[5]),
      Named(
          Origin(r[6], "Изготовитель - УФА ", "Изготовитель - Чебоксары", "Изготовитель - Калуга"),
          "Код изготовителя : ", r[6]),
      Named(r[7] == 0x19   ? "Тип контроллера -21103-8121020"
            : r[7] == 0x76 ? "Тип контроллера -2111-8128020"
            : r[7] == 0xB5 ? "Тип контроллера -1118-8121020"
                           : nullptr,
            "Тип контроллера  : ", r[7]),
      "Год разработ. ПО : " + text::Hex2(r[8]),
      "Месяц разраб. ПО : " + text::Hex2(r[9]),
      "Версия ПО        : " + text::Hex2(r[10]),
  };
}

SauoForm::SauoForm(link::PortHandle& port, std::uint32_t& sauoCommand)
    : view::Form("TSAUO"),
      port_(port),
      sauoCommand_(sauoCommand),
      listBox1_(Labelled<view::ListBox>(*this, "Label3", "Коды ошибок", "ListBox1")),
      memo1_(Labelled<view::Memo>(*this, "Label4", "Статус ошибки", "Memo1")),
      memo2_(Labelled<view::Memo>(*this, "Label2", "Идентификаторы САУО-САУКУ", "Memo2")),
      stringGrid1_(Labelled<view::Grid>(*this, "Label1", "Параметры:", "StringGrid1")),
      timer1_(Add<view::Timer>("Timer1", 200)) {
  SetCaption("Тестер САУО-САУКУ");
  memo2_.SetItems({"Нет данных."});
  stringGrid1_.SetSize(6, 10);
  stringGrid1_.SetFixedRows(0);
  for (int row = 0; row < 10; ++row) {
    stringGrid1_.SetCell(0, row, kColumn0[row]);
    stringGrid1_.SetCell(3, row, kColumn3[row]);
  }
  auto button = [this](const char* name, const char* caption, std::uint32_t command) {
    auto& b = Add<view::Button>(name);
    b.SetCaption(caption);
    if (command != 0) b.OnClick = [this, command] { sauoCommand_ = command; };
    return &b;
  };
  button("Button1", "Сброс Ошиб.", 1);
  button("Button2", "Сброс САУО", 2);
  button("Button4", "ЭДТВС", 3);
  button("Button5", "Реле вент.отопит.", 4);
  button("Button6", "Реле муфты конд.", 0);
  button("Button3", "ВЫХОД", 0)->OnClick = [this] { CloseByControl(); };
  // Where the first tick looks for a reply.
  buffer_->dataLength = 2;
  timer1_.OnTimer = [this] { Tick(); };
  Values().Watch(listBox1_);
  Values().Watch(memo1_);
  Values().Watch(memo2_);
  Values().Watch(stringGrid1_);
}

void SauoForm::Tick() {
  // The window shows no write status.
  link::UnitTick(port_, *buffer_, [this](link::ExchangeBuffer& b) { Step(b); });
}

void SauoForm::DecodeCodes(const link::ReplyCopy& r) {
  const std::size_t compared =
      std::min<std::size_t>(static_cast<std::uint8_t>(r[0] - 0x80) + 3u, kLastDtcFrameSize);
  if (!std::equal(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(compared),
                  lastDtcFrame_.begin())) {
    lastDtcFrame_.fill(0);
    std::copy_n(r.begin(), compared, lastDtcFrame_.begin());
    const int selected = listBox1_.Selected();
    const std::size_t codes = SauoCarriedCodes(r);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < codes; ++i)
      lines.push_back(SauoCodeLine(static_cast<std::uint16_t>(r[5 + 3 * i] << 8 | r[6 + 3 * i])));
    listBox1_.SetItems(std::move(lines));
    if (selected >= 0 && selected < listBox1_.Count()) listBox1_.Select(selected);
  }
  std::vector<std::string> status;
  const int i = listBox1_.Selected();
  if (i >= 0) status = SauoStatusLines(link::At(r, 7 + 3 * static_cast<std::size_t>(i)));
  memo1_.SetItems(std::move(status));
}

void SauoForm::DecodeParameters(const link::ReplyCopy& r) {
  auto& g = stringGrid1_;
  const auto flag = [&](int col, int row, bool set, const char* on, const char* off) {
    g.SetCell(col, row, set ? on : off);
  };
  outputs_ = r[5];
  for (int bit = 0; bit < 4; ++bit) flag(1, bit, r[5] >> bit & 1, "Вкл.", "Выкл.");
  g.SetCell(1, 4, text::Hex2(r[5] >> 4));
  for (int bit = 0; bit < 4; ++bit) flag(1, 6 + bit, r[6] >> bit & 1, "ДА", "НЕТ");
  flag(4, 0, r[6] & 0x10, "ДА", "НЕТ");
  flag(4, 1, r[6] & 0x20, "ДА", "НЕТ");
  flag(4, 2, r[6] & 0x40, "Верх", "Низ");
  g.SetCell(4, 3, text::FormatNumber(r[8] * 128 + r[7] - 50, "####."));
  g.SetCell(4, 4, text::FormatNumber(r[10] * 128 + r[9], "####."));
  // The unit's tenths of a degree; the window drops the last digit by integer division.
  g.SetCell(4, 5, text::FormatNumber((r[12] * 256 + r[11]) / 10, "###.#"));
  flag(4, 6, r[13] & 0x01, "ВКЛ", "ВЫКЛ");
  flag(4, 7, r[13] & 0x04, "ДА", "НЕТ");
  flag(4, 8, r[13] & 0x08, "ДА", "НЕТ");
  static constexpr const char* kFlap[4] = {"Пол.А", "Пол.1", "Пол.2", "Пол.3"};
  for (int bit = 7; bit >= 4; --bit)
    if (r[13] >> bit & 1) {
      g.SetCell(4, 9, kFlap[bit - 4]);
      break;
    }
}

void SauoForm::Step(link::ExchangeBuffer& buffer) {
  const link::ReplyCopy r = link::UnitReply(buffer);
  Values().Answered(r[1] == kSauoTester && r[2] == kSauoAddress);
  std::vector<std::uint8_t> next = {0x81};
  switch (r[3]) {
    case 0xC1:
      next = {0x18, 0x00, 0x80, 0x00};
      break;
    case 0x58:
      DecodeCodes(r);
      next = {0x1A, 0x80};
      break;
    case 0x5A:
      memo2_.SetItems(SauoIdentification(r));
      next = {0x21, 0x01};
      break;
    case 0x61:
      DecodeParameters(r);
      break;
    default:
      break;
  }
  // The output commands carry the state they switch the output to: the other one than the
  // unit last reported.
  const auto toggled = [&](std::uint8_t bit) {
    return static_cast<std::uint8_t>(outputs_ & bit ? 0 : 1);
  };
  switch (sauoCommand_) {
    case 1:
      next = {0x14};
      break;
    case 2:
      next = {0x30, 0x57, 0x06, 0x02};
      break;
    case 3:
      next = {0x30, 0x81, 0x06, toggled(kAspiratorBit)};
      break;
    case 4:
      next = {0x30, 0x61, 0x06, toggled(kHeaterFanBit)};
      break;
    default:
      break;
  }
  sauoCommand_ = 0;
  link::WriteKwpService(buffer, next);
  link::FrameUnitRequest(buffer, kSauoAddress, kSauoTester);
}

SauoForm::~SauoForm() {
  link::ForgetTicks(port_, *buffer_);
}

}  // namespace kd::climate
