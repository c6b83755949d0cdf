#include "immo/aps6_form.h"

#include "immo/aps4_form.h"
#include "link/kwp.h"
#include "link/unit_tick.h"
#include "text/number_format.h"

namespace kd::immo {

const Aps6Io kAps6Io[kAps6IoCount] = {
    {"Cостояние водит.двери", "Вход состояния водительской двери", 0x65, false, "Закрыта",
     "Открыта"},
    {"Вход включения фар", "Вход признака включения фар", 0x51, false, "Выключены", "Включены"},
    {"Выход реле стеклопод", "Выход управления реле стеклоподьем.", 0x52, true, "Выключено",
     "Включено"},
    {"Выход реле пер. K/W линии", "Выход управления реле пер.K/W линии", 0x53, true, "Выключено",
     "Включено"},
    {"Вход вкл.заднего хода", "Признак включения заднего хода", 0x54, false, "Выключено",
     "Включено"},
    {"Вход пассажирских дверей", "Вход состояния пассажирских дверей", 0x64, false, "Закрыта",
     "Открыта"},
    {"Управление зуммером", "Управление звучанием зуммера", 0x57, true, "Выключено", "Включено"},
    {"Выход управл.светодиодом", "Выход управления светодиодом", 0x61, true, "Выключено",
     "Включено"},
    {"Вход состояния K-линии", "Вход состояния K-линии", 0x62, false, "Выключено", "Включено"},
    {"Выход упр.плаф.внутр.осв.", "Выход управления плафоном вн.освещения", 0x75, true, "Выключено",
     "Включено"},
    {"Вход включения ПТ фар", "Вход вкл.заднего противотум.фонаря", 0x50, false, "Выключено",
     "Включено"},
    {"Вход ключа зажигания", "Вход включения ключа зажигания", 0x66, false, "Выключено",
     "Включено"},
    {"Вход вкл.габаритных огней", "Вход включения габаритных огней", 0x67, false, "Выключено",
     "Включено"},
    {"Выход управления ПТФ", "Выход управления задним ПТФ", 0x70, true, "Выключено", "Включено"},
    {"Упр.вкл.задержки плафона", "Управление включением зад.плафона", 0xA1, true, "Выключено",
     "Включено"},
};

const Aps6Io* FindAps6Io(std::uint8_t id) {
  for (const Aps6Io& io : kAps6Io)
    if (io.id == id) return &io;
  return nullptr;
}

namespace {

constexpr const char* kReceived = "Данные от иммобилизатора получены.";
constexpr const char* kNotRecognised = "Связь отсутствует или ответ не распознан.";
constexpr int kWritePanel = 0;
constexpr int kLinkPanel = 1;

void AddBitLines(std::vector<std::string>& lines, std::uint8_t byte,
                 const char* const (&texts)[8]) {
  for (int bit = 7; bit >= 0; --bit)
    if ((byte >> bit) & 1 && texts[7 - bit]) lines.emplace_back(texts[7 - bit]);
}

// Bit 7 first.
constexpr const char* kStat01[8] = {
    "Иммобилизатор не снят с охраны (Код 6001 )",
    "Нет транспондера в замке заж. (Код 6002)",
    "Контроллер не запросил у иммо.разреш.на запуск. (Код 6003)",
    "Контроллер не разрешает запуск для получ.пароля.(Код 6004)",
    "Иммо.не смог записать данные во внутр.память. (Код 6005)",
    "Иммо.определил ошибку хранения черного ключа.(Код 6006)",
    "иммо.определил ошибку хранения красного ключа.(Код 6007)",
    "Иммо.определил ошибку информации о состоянии системы.(Код 6010)",
};
constexpr const char* kStat2[8] = {
    "В закл.сессии , контроллер выдал признак ошибки.(Код 6011)",
    "Контроллер не запросил закл.сессию идентификации.(Код 6012)",
    "Неисправность цепи упр.плафоном внутр.осв.салона.(Код 6013)",
    "Иммо.обнаружил неформатированный транспондер. (Код 6014)",
    "Иммо.обнаружил неисправность цепи антенны. (Код 6015)",
    nullptr,
    nullptr,
    nullptr,
};
constexpr const char* kStage[8] = {
    nullptr,
    "Процедура идентификации (Код 6020).",
    "Чтение первого байта пароля (Код 6017).",
    "Чтение второго байта пароля (Коды 6020 и 6017).",
    "Запись первого байта пароля (Код 6016).",
    "Запись второго байта пароля (Коды 6020 и 6016).",
    "Проверка записи первого байта пароля (Коды 6016 и 6017).",
    "Проверка записи второго байта пароля (Коды 6020, 6016 и 6017).",
};
constexpr const char* kStat3[8] = {
    "Процедура обучения начата.",
    "Началась процедура записи кода иммо.в красный ключ.",
    "Началась процедура записи кода иммо.в первый черный ключ.",
    "Началась процедура записи кода иммо.во второй черный ключ.",
    "Пароль берется не из памяти иммо., а из красного ключа.",
    "Идет запись кода иммобилизатора в ключ.",
    "В первый черный ключ код иммобилизатора уже записан.",
    "В качестве пароля системы используется старый пароль.",
};
constexpr const char* kStat4[8] = {
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "Началась запись пароля системы в красный ключ.",
    "Иммобилизатор ждет сеанса обучения с контроллером.",
};
constexpr const char* kStat0Flags[8] = {
    nullptr,
    "Иммо.обучен двум черным кодовым ключам.",
    "Пароль в красном ключе, не совпадает записанным в иммо.",
    "Началась запись пароля в красный ключ в процедуре обуч.",
    "Иммо.ждет сеанса обучения в текущей процедуре обучения.",
    "Иммобилизатор снят с охраны своим ключом.",
    "Контроллер СУД находится в чистом состоянии.",
    "Иммобилизатор имеет в памяти сохраненный код.",
};

std::vector<std::string> StatusByte(std::uint8_t byte, int index) {
  const std::string n = std::to_string(index);
  if (byte == 0) return {"байт DTCSTAT" + n + "=0"};
  std::vector<std::string> lines{"Ошибки байт DTCSTAT" + n + ":"};
  AddBitLines(lines, byte, kStat01);
  return lines;
}

void ExtraByte(std::vector<std::string>& lines, std::uint8_t byte, int index,
               const char* const (&texts)[8]) {
  const std::string n = std::to_string(index);
  if (byte == 0) {
    lines.push_back("байт DTCSTAT" + n + " =0");
    return;
  }
  lines.push_back("Дополнительные признаки байт DTCSTAT" + n + ":");
  AddBitLines(lines, byte, texts);
}

}  // namespace

std::string Aps6Identification(const link::ReplyCopy& r) {
  const auto d = [&](std::size_t i) { return std::to_string(r[i]); };
  return d(5) + "." + d(6) + " " + d(7) + "." + d(8) + "." + d(9);
}

std::string Aps6ManufacturerInfo(const link::ReplyCopy& r) {
  std::string out;
  for (std::size_t i = 5; i <= 11; ++i) out += text::Hex2(r[i]);
  return out;
}

Aps6ErrorLines Aps6Errors(const link::ReplyCopy& r) {
  if (r[4] == 0)
    return {{"Накопленных ошибок в иммобилизаторе нет"}, {"Текущих ошибок в иммобилизаторе нет"}};
  Aps6ErrorLines out{StatusByte(r[6], 0), StatusByte(r[7], 1)};
  ExtraByte(out.stored, r[8], 2, kStat2);
  if (const char* stage = kStage[r[8] & 0x07]) {
    out.stored.emplace_back("Этап идентификации транспондера, где произошла ошибка.");
    out.stored.emplace_back(stage);
  }
  ExtraByte(out.stored, r[9], 3, kStat3);
  ExtraByte(out.stored, r[10], 4, kStat4);
  return out;
}

std::vector<std::string> Aps6Stat0(std::uint8_t stat0) {
  std::vector<std::string> lines{"Признаки системы в байте STAT0 :"};
  AddBitLines(lines, stat0, kStat0Flags);
  return lines;
}

std::vector<std::string> Aps6KeyData(const link::ReplyCopy& r) {
  std::vector<std::string> lines{"Пароль=" + text::Hex4(r[6] * 256 + r[7])};
  lines.push_back("Номер:" + text::Hex2(r[8]) + text::Hex2(r[9]) + text::Hex2(r[10]) +
                  text::Hex2(r[11]));
  if (r[5] & 0x02)
    lines.emplace_back("Тип ключа неизвестен.");
  else if (r[5] & 0x04)
    lines.emplace_back("Текущий ключ ЧЕРНЫЙ.");
  else
    lines.emplace_back("Текущий ключ КРАСНЫЙ.");
  return lines;
}

namespace {

view::Memo& LabelledMemo(view::Form& form, const char* label, const char* caption, const char* memo,
                         const char* initial, const char* hint = nullptr) {
  auto& l = form.Add<view::Label>(label);
  l.SetCaption(caption);
  if (hint) l.SetHint(hint);
  auto& m = form.Add<view::Memo>(memo);
  m.SetItems({initial});
  return m;
}

}  // namespace

Aps6Form::Aps6Form(link::PortHandle& port)
    : view::Form("TForm8"),
      port_(port),
      memo1_(LabelledMemo(*this, "Label3", "Коды ошибок иммобилизатора накопленные", "Memo1",
                          "Нет данных.")),
      memo2_(LabelledMemo(*this, "Label1", "ECUIdentificationTable", "Memo2", "Нет данных.")),
      memo3_(LabelledMemo(*this, "Label2", "ECUmanufacturerInfo", "Memo3", "Нет данных.")),
      memo4_(LabelledMemo(*this, "Label4", "Текущее состояние иммобилизатора ", "Memo4",
                          "Нет данных.")),
      memo5_(LabelledMemo(*this, "Label5", "Код иммобилизатора", "Memo5", "Нет данных",
                          "идентификатор кода, записанного в EEPROM иммобилизатора")),
      memo6_(LabelledMemo(*this, "Label6", "Идентификатор ключа", "Memo6", "Нет данных.",
                          "Идентификатора ключа, которым было включено зажигание.")),
      memo7_(LabelledMemo(*this, "Label9", "Коды ошибок иммобилизатора текущие", "Memo7",
                          "Нет данных.")),
      comboBox1_(Add<view::ComboBox>("ComboBox1")),
      label8_(Add<view::Label>("Label8")),
      button1_(Add<view::Button>("Button1")),
      statusBar1_(Add<view::StatusBar>("StatusBar1", std::vector<int>{200, 320, 0})),
      timer1_(Add<view::Timer>("Timer1", 200)) {
  SetCaption("Работа с иммобилизатором АПС-6");
  memo2_.SetHint("Идентификационные данные иммобилизатора.");
  auto& label7 = Add<view::Label>("Label7");
  label7.SetCaption("Вход/выход иммобилиз.");
  comboBox1_.SetHint(
      "Запрос предназначен для считывания состояния входов и управления состоянием выходов "
      "иммобилизатора");
  std::vector<std::string> names;
  for (const Aps6Io& io : kAps6Io) names.emplace_back(io.shortName);
  comboBox1_.SetItems(std::move(names));
  comboBox1_.Select(0);
  label8_.SetCaption("Вход состояния водительской двери");
  button1_.SetCaption("Выключен");
  // Nothing to switch until the unit reported a state of an output.
  button1_.SetEnabled(false);
  auto& button2 = Add<view::Button>("Button2");
  button2.SetCaption("Сброс ошиб.");
  auto& button3 = Add<view::Button>("Button3");
  button3.SetCaption("Закрыть");

  button1_.OnClick = [this] { aps6Command_ = 2; };
  button2.OnClick = [this] { aps6Command_ = 1; };
  button3.OnClick = [this] { CloseByControl(); };
  comboBox1_.OnChange = [this] {
    if (!MaySwitch()) button1_.SetEnabled(false);
  };
  timer1_.OnTimer = [this] { Tick(); };
  for (view::Memo* m : {&memo1_, &memo2_, &memo3_, &memo4_, &memo5_, &memo6_, &memo7_})
    Values().Watch(*m);
}

const Aps6Io& Aps6Form::Chosen() const {
  const int i = comboBox1_.Selected();
  return kAps6Io[i >= 0 && i < static_cast<int>(kAps6IoCount) ? i : 0];
}

bool Aps6Form::MaySwitch() const {
  return button1_.Enabled() && Chosen().output && ioStateId_ == Chosen().id;
}

std::vector<std::uint8_t> Aps6Form::IoRequest() {
  const Aps6Io& io = Chosen();
  label8_.SetCaption(io.longName);
  if (aps6Command_ != 2) return {0x30, io.id, 0x01};
  // A switch clicked for a state that is not the chosen item's is dropped, not kept: kept, it
  // would hold the window on this request for good.
  const bool may = MaySwitch();
  aps6Command_ = 0;
  if (!may) return {0x30, io.id, 0x01};
  return {0x30, io.id, 0x06, static_cast<std::uint8_t>(ioState_ == 1 ? 0 : 1)};
}

void Aps6Form::Tick() {
  link::UnitTick(
      port_, *buffer_, [this](link::ExchangeBuffer& b) { Step(b); },
      [this](link::WriteOutcome outcome) {
        link::ShowUnitWrite(outcome,
                            [this](const char* text) { statusBar1_.SetText(kWritePanel, text); });
      });
}

void Aps6Form::Step(link::ExchangeBuffer& buffer) {
  const link::ReplyCopy r = link::UnitReply(buffer);
  const bool answered = r[1] == kImmoTester || r[2] == kImmoAddress;
  statusBar1_.SetText(kLinkPanel, answered ? kReceived : kNotRecognised);
  Values().Answered(answered);
  std::vector<std::uint8_t> next = {0x1A, 0x80};
  bool unknown = false;
  if (aps6Command_ == 2) {
    next = IoRequest();
  } else {
    switch (r[3]) {
      case 0x5A:
        if (r[4] == 0x80) {
          memo2_.SetItems({Aps6Identification(r)});
          next = {0x1A, 0x93};
        } else if (r[4] == 0x93) {
          memo3_.SetItems({Aps6ManufacturerInfo(r)});
          next = {0x18, 0x00};
        } else {
          unknown = true;
        }
        break;
      case 0x58: {
        Aps6ErrorLines lines = Aps6Errors(r);
        memo1_.SetItems(std::move(lines.stored));
        memo7_.SetItems(std::move(lines.current));
        next = {0x21, 0x23};
        break;
      }
      case 0x61:
        if (r[4] == 0x23) {
          memo4_.SetItems(Aps6Stat0(r[5]));
          next = {0x21, 0x53};
        } else if (r[4] == 0x53) {
          memo5_.SetItems({text::Hex4(r[5] * 256 + r[6])});
          next = {0x21, 0x54};
        } else if (r[4] == 0x54) {
          keyPassword_ = static_cast<std::uint16_t>(r[6] * 256 + r[7]);
          memo6_.SetItems(Aps6KeyData(r));
          next = IoRequest();
        } else {
          unknown = true;
        }
        break;
      case 0x70:
        ioState_ = r[6] != 0 ? 1 : 0;
        ioStateId_ = r[4];
        if (const Aps6Io* io = FindAps6Io(r[4])) {
          button1_.SetEnabled(io->output && io->id == Chosen().id);
          button1_.SetCaption(r[6] == 0 ? io->stateOff : io->stateOn);
        }
        break;
      case 0x7F:
        next = {0x30, 0x65, 0x01};
        break;
      default:
        unknown = true;
        break;
    }
  }
  if (unknown) statusBar1_.SetText(kLinkPanel, kNotRecognised);
  if (aps6Command_ == 1) {
    next = {0x14};
    aps6Command_ = 0;
  }
  link::WriteKwpService(buffer, next);
  link::FrameUnitRequest(buffer, kImmoAddress, kImmoTester);
}

Aps6Form::~Aps6Form() {
  link::ForgetTicks(port_, *buffer_);
}

}  // namespace kd::immo
