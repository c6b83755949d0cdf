// The OBD windows' skins on the real forms: every control has its widget on the right page, the
// window's own timer drives its tick, and a click on a widget reaches the form.
#include "qt/obd_windows.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include "link/port.h"
#include "obd/eobd_form.h"
#include "obd/iso9141_form.h"
#include "qt/binder.h"
#include "sim/simulated_port.h"

namespace kd::qt {
namespace {

// Every control but the timer shows on the page that names it, or on the window itself.
void ExpectEveryControlPlaced(view::Form& form, ObdWindow& window) {
  for (view::Control* c : form.Controls()) {
    if (dynamic_cast<view::Timer*>(c)) continue;
    const auto objects = window.Bindings()->ObjectsOf(c->Name());
    EXPECT_EQ(objects.size(), 1u) << form.Name() << '.' << c->Name();
  }
}

TEST(ObdWindows, EveryControlHasItsWidgetAndTheTimerTicksTheWindow) {
  sim::SimulatedPort port;
  port.Open(2);
  link::PortHandle handle(port);
  handle.openPortNumber = 2;
  port.ApplyLineSettings({115200, 'n', 8, 2});

  obd::EobdShared eobdShared;
  obd::EobdForm eobd(handle, eobdShared);
  ObdWindow eobdWindow(eobd, nullptr);
  ExpectEveryControlPlaced(eobd, eobdWindow);
  EXPECT_EQ(eobdWindow.windowTitle(), "EOBD");
  QTimer* timer = eobdWindow.Bindings()->TimerOf("Timer1");
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 300);
  auto* tabs = eobdWindow.findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->count(), 7);
  EXPECT_NE(tabs->widget(3)->findChild<QTableWidget*>("StringGrid5"), nullptr) << "on MODE 5+6";
  // Ticks through the binder reach the simulated car and come back as grid rows.
  for (int i = 0; i < 3; ++i) eobdWindow.Bindings()->Tick("Timer1");
  auto* grid = eobdWindow.findChild<QTableWidget*>("StringGrid1");
  ASSERT_NE(grid, nullptr);
  EXPECT_GT(grid->rowCount(), 16);
  EXPECT_EQ(grid->item(1, 3)->text(), QString::fromUtf8("КОЛ.ОШИБОК"));
  auto* frame = eobdWindow.findChild<QPushButton*>("Button1");
  ASSERT_NE(frame, nullptr);
  frame->click();
  EXPECT_EQ(frame->text(), "Frame:1");
  EXPECT_EQ(eobdShared.frameNumber, 1);

  obd::Iso9141Shared isoShared;
  obd::Iso9141Form iso(handle, isoShared);
  ObdWindow isoWindow(iso, nullptr);
  ExpectEveryControlPlaced(iso, isoWindow);
  QTimer* isoTimer = isoWindow.Bindings()->TimerOf("Timer1");
  ASSERT_NE(isoTimer, nullptr);
  EXPECT_EQ(isoTimer->interval(), 1000);
  isoWindow.Bindings()->Tick("Timer1");
  EXPECT_EQ(isoTimer->interval(), 2000) << "the pause after the initialisation";
  isoWindow.Bindings()->Tick("Timer1");
  EXPECT_EQ(isoTimer->interval(), 300);
}

}  // namespace
}  // namespace kd::qt
