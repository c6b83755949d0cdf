// The side windows, opened from the tool bar: each drives the port with its own timer while the
// main window's stands still.
#include "climate/sauo_form.h"
#include "immo/aps4_form.h"
#include "immo/aps6_form.h"
#include "obd/eobd_form.h"
#include "obd/iso9141_form.h"
#include "ui/main_form.h"

namespace kd::ui {

void MainForm::BuildSideWindows() {
  auto open = [this](std::size_t button, auto makeAndShow) {
    sideWindowButtons_[button]->SetEnabled(true);
    sideWindowButtons_[button]->OnClick = makeAndShow;
  };
  open(0, [this] {
    obd::EobdForm window(portHandle_, eobdShared_);
    ShowSideWindow(window);
  });
  open(1, [this] {
    obd::Iso9141Form window(portHandle_, iso9141Shared_);
    ShowSideWindow(window);
  });
  open(2, [this] {
    immo::Aps4Form window(portHandle_, immoCommand_);
    ShowSideWindow(window);
  });
  open(3, [this] {
    immo::Aps6Form window(portHandle_);
    ShowSideWindow(window);
  });
  open(4, [this] {
    climate::SauoForm window(portHandle_, sauoCommand_);
    ShowSideWindow(window);
  });
}

void MainForm::ShowSideWindow(view::Form& window) {
  // The window's own timer drives the port while it is open.
  timer1_.SetEnabled(false);
  window.Values().SetClock([this] { return host_.Now(); });
  if (OnSideWindow) OnSideWindow(window);
  sideWindow_ = &window;
  host_.ShowModal(window);
  sideWindow_ = nullptr;
  timer1_.SetEnabled(true);
}

}  // namespace kd::ui
