// What the main window says about the ELM327 when one is the adapter: the controllers it cannot
// reach, the requests it cannot send, and its error words as link statuses.
#include "link/adapter.h"
#include "link/elm327_adapter.h"
#include "link/kwp.h"
#include "ui/main_form.h"

namespace kd::ui {

namespace {

template <class T>
T* Behind(link::SerialPort& port) {
  link::SerialPort* p = &port;
  for (int depth = 0; p && depth < 4; ++depth) {
    if (auto* found = dynamic_cast<T*>(p)) return found;
    p = p->Inner();
  }
  return nullptr;
}

}  // namespace

link::Elm327Adapter* MainForm::Elm(link::SerialPort& stack) {
  return Behind<link::Elm327Adapter>(stack);
}

bool MainForm::ElmChosen() {
  bool chosen = false;
  portHandle_.port.WithStack([&chosen](link::SerialPort& stack) {
    const auto* adapter = Behind<link::AdapterPort>(stack);
    chosen = adapter && adapter->WantedKind() == link::AdapterKind::Elm327;
  });
  return chosen;
}

void MainForm::SayWhatElmCannotReach() {
  if (!ElmChosen()) return;
  const catalogue::LinkFamily family = catalogue::Lookup(ecuType_).family;
  std::string why;
  if (family == catalogue::LinkFamily::Escaped)
    why =
        "его кадры на 9600 бод со своим кодированием не являются кадрами ISO 9141 или "
        "ISO 14230, а ELM327 передаёт только их.";
  else if (family == catalogue::LinkFamily::Gm)
    why = "скорость линии 8192 бод ELM327 не поддерживает.";
  if (why.empty()) return;
  host_.MessageBox("ELM327", "Этот контроллер не работает через ELM327: " + why,
                   view::MessageIcon::Warning);
}

// The driver lives where the port's stack does (with the Qt program, on the port's thread): it,
// its listener and the refusal it leaves are touched only inside WithStack.
void MainForm::WatchElm() {
  portHandle_.port.WithStack([this](link::SerialPort& stack) { WatchElm(stack); });
}

void MainForm::WatchElm(link::SerialPort& stack) {
  link::Elm327Adapter* elm = Elm(stack);
  if (elm == watchedElm_) return;
  watchedElm_ = elm;
  if (!elm) return;
  elm->SetConditionListener([this](link::elm::Condition c, const std::string& text) {
    if (c == link::elm::Condition::TooLong) elmRefusal_ = text;
  });
}

void MainForm::ShowElmOutcome() {
  // Only an opening brings a new driver, and each opening looks for the ELM327: without one,
  // the tick costs no trip to the port's thread. The pointer is written only inside WithStack,
  // while this thread waits, so this thread may read it.
  if (!watchedElm_) return;
  bool elm = false;
  std::string status;
  std::string refusal;
  portHandle_.port.WithStack([&](link::SerialPort& stack) {
    WatchElm(stack);
    const link::Elm327Adapter* driver = Elm(stack);
    if (!driver) return;
    elm = true;
    if (driver->LastCondition() != link::elm::Condition::Ok) status = driver->LastStatus();
    refusal = std::move(elmRefusal_);
    elmRefusal_.clear();
  });
  if (!elm) return;
  if (!status.empty()) statusBar1_.SetText(link::kLinkStatusPanel, status);
  if (refusal.empty()) return;
  // No tick may run while the box is up: the refused request is not sent again meanwhile.
  const bool running = timer1_.Enabled();
  timer1_.SetEnabled(false);
  host_.MessageBox("ELM327", refusal + " Запрос не отправлен.", view::MessageIcon::Warning);
  timer1_.SetEnabled(running);
}

}  // namespace kd::ui
