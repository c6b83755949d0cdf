// The skins of the immobilizer and climate windows: every control of the form gets its widget by
// name, the widgets follow the models after a tick, and a click reaches the form.
#include "qt/side_dialogs.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "climate/sauo_form.h"
#include "immo/aps4_form.h"
#include "immo/aps6_form.h"
#include "link/fake_port.h"
#include "qt/binder.h"

namespace kd::qt {
namespace {

// Every control but the timer has a widget or, for the status bar, the bar itself.
void ExpectEveryControlLaidOut(const view::Form& form, const QWidget& dialog) {
  for (const view::Control* c : form.Controls()) {
    if (dynamic_cast<const view::Timer*>(c)) continue;
    EXPECT_NE(dialog.findChild<QWidget*>(QString::fromStdString(c->Name())), nullptr) << c->Name();
  }
}

struct SideDialogs : ::testing::Test {
  testing::FakePort port;
  link::PortHandle handle{port};
  std::uint32_t command = 0;
  void SetUp() override { port.Open(1); }
};

TEST_F(SideDialogs, Aps4ShowsTheReplyAndSendsTheCommand) {
  immo::Aps4Form form(handle, command);
  Aps4Dialog dialog(form, nullptr);
  ExpectEveryControlLaidOut(form, dialog);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Работа с Иммобилизатором АПС-4."));
  // 61 53 0B 7E behind no echo: the first tick reads it at offset 0.
  for (std::uint8_t b : {0x84, 0xF0, 0xC0, 0x61, 0x53, 0x0B, 0x7E, 0x00})
    port.incoming.push_back(b);
  ASSERT_TRUE(dialog.Bindings()->Tick("Timer1"));
  EXPECT_EQ(dialog.findChild<QPlainTextEdit*>("Memo5")->toPlainText(), "0B7E");
  dialog.findChild<QPushButton*>("Button3")->click();
  EXPECT_EQ(command, 2u);
}

TEST_F(SideDialogs, Aps6ComboListsTheItems) {
  immo::Aps6Form form(handle);
  Aps6Dialog dialog(form, nullptr);
  ExpectEveryControlLaidOut(form, dialog);
  auto* combo = dialog.findChild<QComboBox*>("ComboBox1");
  ASSERT_EQ(combo->count(), 15);
  EXPECT_EQ(combo->itemText(7), QString::fromUtf8("Выход управл.светодиодом"));
  EXPECT_FALSE(dialog.findChild<QPushButton*>("Button1")->isEnabled());
}

TEST_F(SideDialogs, SauoGridHasItsLabels) {
  climate::SauoForm form(handle, command);
  SauoDialog dialog(form, nullptr);
  ExpectEveryControlLaidOut(form, dialog);
  auto* grid = dialog.findChild<QTableWidget*>("StringGrid1");
  ASSERT_EQ(grid->rowCount(), 10);
  ASSERT_EQ(grid->columnCount(), 6);
  EXPECT_EQ(grid->item(9, 3)->text(), QString::fromUtf8("Положение ПРРВ"));
  EXPECT_EQ(grid->item(0, 0)->flags() & Qt::ItemIsSelectable, Qt::ItemIsSelectable);
}

}  // namespace
}  // namespace kd::qt
