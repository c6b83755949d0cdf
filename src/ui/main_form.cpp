#include "ui/main_form.h"

namespace kd::ui {

namespace {
// Tool-bar positions of the two-state controller buttons: the first eight of the bar.
constexpr std::size_t kCheckButtons = 8;
}  // namespace

MainForm::MainForm(link::SerialPort& port, view::Host& host)
    : view::Form("TForm1"),
      host_(host),
      portHandle_(port),
      timer1_(Add<view::Timer>("Timer1", 300)),
      statusBar1_(Add<view::StatusBar>("StatusBar1", std::vector<int>{200, 70, 70, 70})),
      typeblock1_(Add<view::MenuItem>("Typeblock1", "Тип контроллера")) {
  SetCaption("klinediag");
  const auto& order = catalogue::ToolbarOrder();
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto& info = catalogue::Lookup(order[i]);
    const std::uint32_t code = info.code;
    auto& button = Add<view::Button>(std::string(info.toolButton));
    button.SetHint(std::string(info.toolHint));
    button.SetCheckable(i < kCheckButtons);
    button.SetSeparatorAfter(code == 11);
    button.OnClick = [this, code] { SelectEcuType(code); };
    typeButtons_[i] = &button;

    auto& item = Add<view::MenuItem>(std::string(info.menuItem), std::string(info.menuCaption), "", 1);
    // Mikas is chosen with its tool button only; its menu item does nothing.
    if (code != 10) item.OnClick = [this, code] { SelectEcuType(code); };
    typeblock1_.Items().push_back(&item);
    typeMenuItems_[i] = &item;
  }
  buffer_->dataLength = 0;
  timer1_.OnTimer = [this] { Tick(); };
}

void MainForm::Start() {
  ApplyCatalogue();
  MarkType();
  link::OpenPort(portHandle_, portNumber_, ecuType_, statusBar1_);
}

void MainForm::SelectEcuType(std::uint32_t code) {
  ecuType_ = code;
  MarkType();
  ApplyCatalogue();
  link::OpenPort(portHandle_, portNumber_, ecuType_, statusBar1_);
}

void MainForm::ApplyCatalogue() { statusBar1_.SetText(2, std::string(Constants().statusText)); }

void MainForm::MarkType() {
  const auto& order = catalogue::ToolbarOrder();
  for (std::size_t i = 0; i < order.size(); ++i) {
    typeButtons_[i]->SetDown(order[i] == ecuType_);
    typeMenuItems_[i]->SetChecked(order[i] == ecuType_);
  }
}

void MainForm::Tick() {
  link::PollTick(
      portHandle_, *buffer_, ecuType_,
      [this](link::ExchangeBuffer& buffer) {
        session::SessionStep(buffer, {ecuType_, activePage_, session_, statusBar1_, pages_});
      },
      statusBar1_);
}

}  // namespace kd::ui
