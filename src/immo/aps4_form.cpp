#include "immo/aps4_form.h"

#include "link/kwp.h"
#include "link/unit_tick.h"
#include "text/number_format.h"

namespace kd::immo {

namespace {

constexpr const char* kNoErrors = "  Ошибки не обнаружены.";

void AddBitLines(std::vector<std::string>& lines, std::uint8_t byte,
                 std::initializer_list<std::pair<int, const char*>> bits) {
  for (const auto& [bit, text] : bits)
    if (byte & (1u << bit)) lines.emplace_back(text);
}

}  // namespace

std::vector<std::string> Aps4ErrorReport(const link::ReplyCopy& reply) {
  std::vector<std::string> lines{"Ошибки внутреннего EEPROM:"};
  const std::uint8_t eeprom = link::At(reply, 6);
  AddBitLines(lines, eeprom,
              {{7, "  Ошибка записи в EEPROM."},
               {6, "  Инф. в EEPROM разрушена и восстановлена."},
               {5, "  Инф. в EEPROM разрушена и невосстановлена."}});
  if (eeprom != 0) {
    static constexpr const char* kArea[8] = {"  Ошибка кода 'красного' ключа.",
                                             "  Ошибка кода 'черного' ключа.",
                                             "  Ошибка конфигурации иммобилизатора.",
                                             nullptr,
                                             "  Ошибка текущего состояния иммобилизатора.",
                                             "  Ошибка кода 'вызова' от контроллера СУД.",
                                             nullptr,
                                             "  Ошибка кода 'ответа' для контроллера СУД"};
    if (const char* area = kArea[eeprom & 0x07]) lines.emplace_back(area);
  } else {
    lines.emplace_back(kNoErrors);
  }

  lines.emplace_back("Ошибки связи с контролером СУД:");
  const std::uint8_t link = link::At(reply, 8);
  if (link == 0) lines.emplace_back(kNoErrors);
  AddBitLines(lines, link,
              {{3, "  Cвязь между имм. и контр. отсутствует."},
               {2, "  При снятом с охраны имм., контр. не запускается."},
               {1, "  Контр. находится в необученном состоянии."},
               {0, "  Имм. не получил StopSecuritySession от контр."}});

  lines.emplace_back("Ошибки работы транспондерного тракта:");
  const std::uint8_t transponder = link::At(reply, 10);
  if (transponder == 0) lines.emplace_back(kNoErrors);
  AddBitLines(
      lines, transponder,
      {{1, "  Неисправность цепи антенны."}, {0, "  Частота работы антенны не соответствует."}});

  lines.emplace_back("Ошибки входных и выходных каскадов:");
  const std::uint8_t stages = link::At(reply, 12);
  std::string bits;
  for (int bit = 7; bit >= 0; --bit) bits += (stages >> bit) & 1 ? '1' : '0';
  lines.push_back(bits);
  return lines;
}

std::vector<std::string> Aps4StateReport(std::uint8_t state) {
  std::vector<std::string> lines{"Количество ключей:"};
  switch (state >> 5) {
    case 0:
      lines.emplace_back("Нет ключей.");
      break;
    case 1:
      lines.emplace_back("Один ключ.");
      break;
    case 3:
      lines.emplace_back("Два ключа.");
      break;
    case 5:
      lines.emplace_back("Три ключа.");
      break;
    case 7:
      lines.emplace_back("Четыре ключа.");
      break;
    default:
      lines.emplace_back("Ошибка количества кл.");
      break;
  }
  AddBitLines(lines, state,
              {{4, "Обучение не заверш."},
               {0, "Имм.в 'чистом' сост."},
               {1, "Имм. на охране."},
               {2, "Имм. снят с охраны."},
               {3, "Имм. в техн.обсл."}});
  return lines;
}

std::string Aps4KeyType(std::uint8_t keyType) {
  if (keyType & 0x01) return "Черный.";
  if (keyType == 0x18) return "Красный, свой.";
  if (keyType == 0x32) return "Красный, чужой.";
  return "Информ.неизв.";
}

view::Memo& Aps4Form::AddMemo(const char* label, const char* labelCaption, const char* memo,
                              const char* initial) {
  if (label) Add<view::Label>(label).SetCaption(labelCaption);
  auto& m = Add<view::Memo>(memo);
  m.SetItems({initial});
  return m;
}

Aps4Form::Aps4Form(link::PortHandle& port, std::uint32_t& immoCommand)
    : view::Form("TForm3"),
      port_(port),
      immoCommand_(immoCommand),
      memo1_(AddMemo("StaticText1", "Состояние схемы", "Memo1", "Нет данных.")),
      memo2_(AddMemo("StaticText2", "Версия ПО", "Memo2", "Нет данных.")),
      memo3_(AddMemo("StaticText3", "Состояние иммобилизатора", "Memo3", "Нет данных.")),
      memo4_(AddMemo("StaticText4", "Окно кодов ошибок", "Memo4", "Нет данных.")),
      memo5_(AddMemo("StaticText5", "Код иммобил.", "Memo5", "Нет данных.")),
      memo6_(AddMemo("StaticText6", "Код красн. ключа", "Memo6", "Нет данных.")),
      memo7_(AddMemo("StaticText7", "Концевик двери", "Memo7", "Нет данных")),
      memo8_(AddMemo(nullptr, nullptr, "Memo8", "Нет данных")),
      statusBar1_(Add<view::StatusBar>("StatusBar1", std::vector<int>{0})),
      timer1_(Add<view::Timer>("Timer1", 300)) {
  SetCaption("Работа с Иммобилизатором АПС-4.");
  auto button = [this](const char* name, const char* caption, std::uint32_t command) {
    auto& b = Add<view::Button>(name);
    b.SetCaption(caption);
    if (command != 0) b.OnClick = [this, command] { immoCommand_ = command; };
    return &b;
  };
  button("Button1", "Сброс Ошибок", 1);
  button("Button3", "Вкл.Зуммер", 2);
  button("Button5", "Вкл.Плафон", 0)->OnClick = [this] {
    lampState_ = lampState_ ? 0 : 1;
    immoCommand_ = 3;
  };
  button("Button6", "Вк.Светодиод", 0)->OnClick = [this] {
    ledState_ = ledState_ ? 0 : 1;
    immoCommand_ = 4;
  };
  button("Button4", "См.ключ", 5);
  button("Button2", "Закрыть окно", 0)->OnClick = [this] { CloseByControl(); };
  timer1_.OnTimer = [this] { Tick(); };
  for (view::Memo* m : {&memo1_, &memo2_, &memo3_, &memo4_, &memo5_, &memo6_, &memo7_, &memo8_})
    Values().Watch(*m);
}

void Aps4Form::Tick() {
  link::UnitTick(
      port_, *buffer_, [this](link::ExchangeBuffer& b) { Step(b); },
      [this](link::WriteOutcome outcome) {
        link::ShowUnitWrite(outcome, [this](const char* text) { statusBar1_.SetText(0, text); });
      });
}

void Aps4Form::Step(link::ExchangeBuffer& buffer) {
  const link::ReplyCopy reply = link::UnitReply(buffer);
  Values().Answered(reply[1] == kImmoTester && reply[2] == kImmoAddress);
  const auto hex4 = [&] { return text::Hex4(reply[5] * 256 + reply[6]); };
  std::vector<std::uint8_t> next = {0x1A, 0x80};
  switch (reply[3]) {
    case 0x5A:
      memo1_.SetItems({text::Hex2(reply[5])});
      memo2_.SetItems({text::Hex2(reply[7])});
      next = {0x18, 0x00};
      break;
    case 0x58:
      memo4_.SetItems(Aps4ErrorReport(reply));
      next = {0x21, 0x23};
      break;
    case 0x61:
      if (reply[4] == 0x23) {
        memo3_.SetItems(Aps4StateReport(reply[5]));
        next = {0x21, 0x53};
      } else if (reply[4] == 0x53) {
        memo5_.SetItems({hex4()});
        next = {0x21, 0x54};
      } else if (reply[4] == 0x54) {
        memo6_.SetItems({hex4()});
        redKeyCode_ = static_cast<std::uint16_t>(reply[5] * 256 + reply[6]);
        next = {0x30, 0x80, 0x01};
      }
      break;
    case 0x70:
      if (reply[4] == 0x80) {
        memo7_.SetItems({reply[6] == 1 ? "Дверь открыта." : "Дверь закрыта."});
        next = {0x30, 0x61, 0x01};
      } else if (reply[4] == 0x61) {
        next = {0x30, 0x81, 0x01};
      } else if (reply[4] == 0x56) {
        // An undefined key type replaces the text as the known ones do, so the memo never grows.
        memo8_.SetItems({Aps4KeyType(reply[6])});
      }
      break;
    case 0x7F:
      next = {0x30, 0x80, 0x01};
      break;
    default:
      break;
  }
  switch (immoCommand_) {
    case 1:
      next = {0x14};
      break;
    case 2:
      next = {0x30, 0x57, 0x06, 0x02};
      break;
    case 3:
      next = {0x30, 0x81, 0x06, lampState_ == 1 ? std::uint8_t{1} : std::uint8_t{0}};
      break;
    case 4:
      next = {0x30, 0x61, 0x06, ledState_ == 1 ? std::uint8_t{1} : std::uint8_t{0}};
      break;
    case 5:
      next = {0x30, 0x56, 0x01};
      break;
    default:
      break;
  }
  immoCommand_ = 0;
  link::WriteKwpService(buffer, next);
  link::FrameUnitRequest(buffer, kImmoAddress, kImmoTester);
}

Aps4Form::~Aps4Form() {
  link::ForgetTicks(port_, *buffer_);
}

}  // namespace kd::immo
