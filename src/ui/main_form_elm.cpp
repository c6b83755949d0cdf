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

link::Elm327Adapter* MainForm::Elm() {
  return Behind<link::Elm327Adapter>(portHandle_.port);
}

bool MainForm::ElmChosen() {
  const auto* adapter = Behind<link::AdapterPort>(portHandle_.port);
  return adapter && adapter->WantedKind() == link::AdapterKind::Elm327;
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

void MainForm::WatchElm() {
  link::Elm327Adapter* elm = Elm();
  if (elm == watchedElm_) return;
  watchedElm_ = elm;
  if (!elm) return;
  elm->SetConditionListener([this](link::elm::Condition c, const std::string& text) {
    if (c == link::elm::Condition::TooLong) elmRefusal_ = text;
  });
}

void MainForm::ShowElmOutcome() {
  link::Elm327Adapter* elm = Elm();
  if (!elm) return;
  if (elm->LastCondition() != link::elm::Condition::Ok)
    statusBar1_.SetText(link::kLinkStatusPanel, elm->LastStatus());
  if (elmRefusal_.empty()) return;
  const std::string text = std::move(elmRefusal_);
  elmRefusal_.clear();
  // No tick may run while the box is up: the refused request is not sent again meanwhile.
  const bool running = timer1_.Enabled();
  timer1_.SetEnabled(false);
  host_.MessageBox("ELM327", text + " Запрос не отправлен.", view::MessageIcon::Warning);
  timer1_.SetEnabled(running);
}

}  // namespace kd::ui
