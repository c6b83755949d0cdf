#include "ui/adapter_test.h"

namespace kd::ui {

AdapterTestForm::AdapterTestForm(Run run)
    : view::Form("TAdapterTest"), run_(std::move(run)), log_(Add<view::Memo>("TestLog")) {
  SetCaption("Проверка адаптера");
  auto& again = Add<view::Button>("RunButton");
  again.SetCaption("Проверить");
  again.OnClick = [this] { RunChecks(); };
  auto& close = Add<view::Button>("Button1");
  close.SetCaption("Закрыть");
  close.SetDefault(true);
  close.SetCancel(true);
  close.OnClick = [this] { CloseByControl(); };
  RunChecks();
}

void AdapterTestForm::RunChecks() {
  log_.SetItems(run_ ? run_() : std::vector<std::string>{});
}

}  // namespace kd::ui
