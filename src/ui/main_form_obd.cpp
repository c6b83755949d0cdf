// The two generic OBD windows, opened from the tool bar.
#include "obd/eobd_form.h"
#include "obd/iso9141_form.h"
#include "ui/main_form.h"

namespace kd::ui {

void MainForm::BuildObdWindows() {
  auto& eobd = *FindAs<view::Button>("ToolButton7");
  eobd.SetEnabled(true);
  eobd.OnClick = [this] {
    obd::EobdForm window(portHandle_, eobdShared_);
    ShowSideWindow(window);
  };
  auto& iso9141 = *FindAs<view::Button>("ToolButton12");
  iso9141.SetEnabled(true);
  iso9141.OnClick = [this] {
    obd::Iso9141Form window(portHandle_, iso9141Shared_);
    ShowSideWindow(window);
  };
}

}  // namespace kd::ui
