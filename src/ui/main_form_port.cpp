// The port as the technician meets it: the devices behind the COM numbers, the adapter kind,
// openings that fail with their reason, and the adapter check.
#include <algorithm>
#include <cstdio>

#include "link/elm327_adapter.h"
#include "link/kline_cable.h"
#include "link/kwp.h"
#include "ui/adapter_test.h"
#include "ui/main_form.h"

namespace kd::ui {

namespace {

constexpr const char* kAdapterKey = "link.adapter";

std::string SettingsText(const link::LineSettings& s) {
  return std::to_string(s.baud) + "," + s.parity + "," + std::to_string(s.dataBits) + "," +
         std::to_string(s.stopBits);
}

// What the driver does without a command the chip refused, so that the technician reads the
// check's "отказ" as a known limit rather than a fault.
std::string ElmWorkaround(const std::string& command) {
  if (command == "AT FI") return " — шина запускается первым запросом";
  if (command == "AT SI") return " — 5-бодовая инициализация запускается первым запросом";
  if (command == "AT AL") return " — запросы не длиннее 7 байт данных";
  if (command.rfind("AT WM", 0) == 0) return " — связь поддерживается запросами программы";
  if (command == "AT KW") return " — признак копии ELM327; программе эта команда не нужна";
  return {};
}

// The chip's identity and every command the driver relies on, one line each.
void AppendElmChecks(link::Elm327Adapter& elm, std::vector<std::string>& log) {
  log.push_back("ELM327 найден на скорости " + std::to_string(elm.Rate()));
  for (const link::Elm327Adapter::CheckLine& line : elm.Check()) {
    if (line.command == "AT I") {
      // The identity is what SetUp read; the check's own answer only confirms the chip still talks.
      const auto& chip = elm.Chip();
      log.push_back("Версия (AT I): " + (chip.version.empty() ? line.answer : chip.version) +
                    (chip.knownClone ? " — версия, которую сообщают копии ELM327" : ""));
    } else if (line.command == "AT @1") {
      log.push_back("Описание (AT @1): " +
                    (line.accepted && !line.answer.empty() ? line.answer : std::string("нет")));
    } else {
      log.push_back(line.command + ": " +
                    (line.accepted ? std::string("OK") : "отказ" + ElmWorkaround(line.command)));
    }
  }
}

}  // namespace

std::string OpenFailureText(int portNumber, const std::string& device, link::OpenError reason) {
  const std::string port = "Порт COM" + std::to_string(portNumber);
  const std::string named = device.empty() ? std::string("назначенное ему устройство") : device;
  switch (reason) {
    case link::OpenError::Missing:
      if (device.empty())
        return port +
               ": назначенное ему устройство не подключено.\n"
               "Подключите адаптер или назначьте другое устройство в окне выбора порта "
               "(кнопка \"Устройство…\").";
      return port + ": устройство " + device +
             " не найдено.\n"
             "Подключите адаптер и посмотрите, какое устройство он получил, в окне выбора порта.";
    case link::OpenError::Permission:
      return port + ": нет доступа к устройству " + named +
             ".\n"
             "В Linux добавьте пользователя в группу \"dialout\" (sudo usermod -aG dialout "
             "$USER) и войдите в систему заново.";
    case link::OpenError::Busy:
      return port + ": устройство " + named +
             " занято другой программой.\n"
             "Закройте программу, которая его держит, и выберите порт снова.";
    case link::OpenError::None:
    case link::OpenError::Other:
      break;
  }
  return port + ": устройство " + named +
         " не открывается.\nПроверьте адаптер и выберите порт снова.";
}

void MainForm::SetDeviceWorld(DeviceWorld world) {
  ports_ = std::make_unique<PortAssignments>(settings_, std::move(world));
}

void MainForm::SetAdapterPort(link::AdapterPort* port, std::optional<link::AdapterKind> forced) {
  adapterPort_ = port;
  forcedAdapter_ = forced;
  if (adapterPort_) adapterPort_->SetKind(Adapter());
}

link::AdapterKind MainForm::Adapter() const {
  if (forcedAdapter_) return *forcedAdapter_;
  if (const auto kept = settings_.Get(kAdapterKey))
    if (const auto kind = link::AdapterByName(*kept); kind && link::AdapterAvailable(*kind))
      return *kind;
  return link::AdapterKind::KLineAdapter;
}

void MainForm::ChooseAdapter(link::AdapterKind kind) {
  if (kind == Adapter()) return;
  forcedAdapter_.reset();
  settings_.Set(kAdapterKey, link::InfoOf(kind).name);
  if (adapterPort_) adapterPort_->SetKind(kind);
}

void MainForm::ReopenPort() {
  link::OpenPort(portHandle_, portNumber_, ecuType_, statusBar1_);
  reopenMissTraced_ = false;
  // An opening is where a new driver takes over.
  WatchElm();
  const bool opened = portHandle_.port.IsOpen();
  TraceOpening(opened);
  if (opened) return;
  std::string device = portHandle_.port.DeviceName();
  if (device.empty() && ports_) device = ports_->DeviceOf(portNumber_);
  host_.MessageBox("Ошибка!",
                   OpenFailureText(portNumber_, device, portHandle_.port.LastOpenError()),
                   view::MessageIcon::Error);
}

void MainForm::ShowAdapterTest() {
  timer1_.SetEnabled(false);
  AdapterTestForm dialog([this] { return AdapterChecks(); });
  host_.ShowModal(dialog);
  timer1_.SetEnabled(true);
}

std::vector<std::string> MainForm::AdapterChecks() {
  std::vector<std::string> log;
  link::SerialPort& port = portHandle_.port;
  const link::AdapterKind kind = adapterPort_ ? adapterPort_->WantedKind() : Adapter();
  log.push_back("Порт COM" + std::to_string(portNumber_) + ", " +
                std::string(link::InfoOf(kind).caption) + ", " +
                std::string(Constants().statusText));

  std::string device = ports_ ? ports_->DeviceOf(portNumber_) : std::string();
  if (ports_) {
    std::string found;
    for (const SerialDevice& d : ports_->Present())
      if (!device.empty() && (d.path == device || d.byId == device)) found = DeviceLabel(d);
    if (!found.empty())
      log.push_back("Устройство: " + found + " — есть");
    else
      log.push_back("Устройство: " + (device.empty() ? std::string("не назначено") : device) +
                    " — нет в списке устройств системы");
  }

  // Opened as the program opens it, with the type's settings; the main window's status line
  // is left as it stands.
  view::StatusBar scratch("StatusBar1", std::vector<int>{200, 70, 70, 70});
  link::OpenPort(portHandle_, portNumber_, ecuType_, scratch);
  if (!port.IsOpen()) {
    if (!port.DeviceName().empty()) device = port.DeviceName();
    log.push_back("Порт открыт: нет");
    // The device opened but no chip answered at any of the rates an ELM327 is set to.
    bool noPrompt = false;
    port.WithStack([&noPrompt](link::SerialPort& stack) {
      const link::Elm327Adapter* elm = Elm(stack);
      noPrompt = elm && elm->LastCondition() == link::elm::Condition::NoPrompt;
    });
    if (noPrompt && kind == link::AdapterKind::Elm327) {
      log.push_back(
          "ELM327 не отвечает ни на одной скорости (38400, 9600, 115200, 230400, "
          "57600): проверьте, что это ELM327, и его питание.");
      log.push_back("Проверка закончена.");
      return log;
    }
    const std::string why = OpenFailureText(portNumber_, device, port.LastOpenError());
    for (std::size_t from = 0; from <= why.size();) {
      const std::size_t end = std::min(why.find('\n', from), why.size());
      log.push_back(why.substr(from, end - from));
      from = end + 1;
    }
    log.push_back("Проверка закончена.");
    return log;
  }
  log.push_back("Порт открыт: да");
  const bool taken = port.ApplyLineSettings(portHandle_.lineSettings);
  std::string settings = SettingsText(portHandle_.lineSettings);
  // The cable runs the line at its own rate; the technician checks that one against the car.
  if (kind == link::AdapterKind::KLineCable)
    settings +=
        "; на K-линии " + SettingsText(link::KLineCable::WireSettings(portHandle_.lineSettings));
  log.push_back("Настройки линии (" + settings + ") приняты: " + (taken ? "да" : "нет"));

  // The chip is asked where the port's stack lives; this thread waits for it meanwhile.
  if (kind == link::AdapterKind::Elm327)
    port.WithStack([&log](link::SerialPort& stack) {
      if (link::Elm327Adapter* elm = Elm(stack)) AppendElmChecks(*elm, log);
    });

  if (Constants().family != catalogue::LinkFamily::Kwp2000) {
    log.push_back("Обмен с блоком: для этого типа не проверяется (нет StartCommunication)");
    log.push_back("Проверка закончена.");
    return log;
  }
  link::ExchangeBuffer buffer;
  buffer.transmitFrame[1] = Constants().kwpTarget;
  buffer.transmitFrame[2] = 0xF1;
  buffer.transmitFrame[3] = 0x81;
  buffer.dataLength = 1;
  link::FrameKwpRequest(buffer);
  const std::size_t count = static_cast<std::size_t>(buffer.dataLength) + 4;
  if (Constants().marksStartCommunication) buffer.transmitFrame[4] |= 0x80;
  const link::WriteOutcome written = link::WriteFrame(portHandle_, buffer, count);
  if (written == link::WriteOutcome::Failed || written == link::WriteOutcome::DelayedFailed) {
    log.push_back("Запрос StartCommunication: не записан в порт");
    log.push_back("Проверка закончена.");
    return log;
  }
  // Two read windows, as two ticks would give the answer.
  std::uint8_t in[2 * link::kReadLimit] = {};
  std::size_t got = port.Read(in, link::kReadLimit);
  got += port.Read(in + got, link::kReadLimit);

  if (kind == link::AdapterKind::KLineCable && adapterPort_) {
    std::optional<link::KLineCable::Echo> echo;
    portHandle_.port.WithStack([this, &echo](link::SerialPort&) {
      if (auto* cable = dynamic_cast<link::KLineCable*>(adapterPort_->Driver()))
        echo = cable->LastEcho();
    });
    if (echo) {
      switch (*echo) {
        case link::KLineCable::Echo::Ok:
          log.push_back("Эхо K-линии: есть — кабель питается от K-линии автомобиля");
          break;
        case link::KLineCable::Echo::Missing:
          log.push_back(
              "Эхо K-линии: нет — линия без питания: кабель не подключён к автомобилю или "
              "зажигание выключено");
          break;
        case link::KLineCable::Echo::Corrupt:
          log.push_back("Эхо K-линии: искажено — на линии помехи или второй передатчик");
          break;
        case link::KLineCable::Echo::None:
          log.push_back("Эхо K-линии: не проверено");
          break;
      }
    }
  }
  // The reply stands behind the echo of the frame (the envelope's five bytes are not echoed).
  const std::size_t at = count - 5;
  std::string answer = "не получен";
  if (got > at + 3 && in[at + 1] == 0xF1) {
    const std::size_t sid = at + ((in[at] & 0x3F) == 0 ? 4 : 3);
    if (sid < got && in[sid] == 0xC1) answer = "получен";
    if (sid + 2 < got && in[sid] == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "%02X", in[sid + 2]);
      answer = std::string("получен отказ (код ") + code + ")";
    }
  }
  log.push_back("Ответ блока на StartCommunication: " + answer);
  log.push_back("Проверка закончена.");
  return log;
}

}  // namespace kd::ui
