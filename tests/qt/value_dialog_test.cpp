// The skin of the identifiers page's value dialog: every control laid out by name, the old value
// shown, Enter taking the typed value and Escape leaving it.
#include "qt/pages/value_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "identity/value_dialog.h"
#include "qt/binder.h"

namespace kd::qt {
namespace {

TEST(ValueDialogSkin, ShowsTheOldValueAndOkTakesTheNewOne) {
  identity::ValueDialog form("XTA21124070412345  ");
  auto dialog = MakeValueDialog(form, nullptr);
  for (const view::Control* c : form.Controls())
    EXPECT_NE(dialog->findChild<QWidget*>(QString::fromStdString(c->Name())), nullptr) << c->Name();
  EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(" Модификация параметров"));
  EXPECT_EQ(dialog->findChild<QPlainTextEdit*>("Memo1")->toPlainText(),
            QString("XTA21124070412345  "));
  auto* ok = dialog->findChild<QPushButton*>("OKBtn");
  EXPECT_TRUE(ok->isDefault());
  auto* warning = dialog->findChild<QLabel*>("Label3");
  dialog->show();
  // The warning wraps inside the dialog instead of widening it past the screen.
  EXPECT_LE(warning->width(), dialog->width());
  auto* edit = dialog->findChild<QLineEdit*>("Edit1");
  QTest::keyClicks(edit, "ABC");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_TRUE(form.Accepted());
  EXPECT_EQ(form.NewValue(), "ABC");
}

TEST(ValueDialogSkin, EscapeLeavesTheValue) {
  identity::ValueDialog form("0412345");
  auto dialog = MakeValueDialog(form, nullptr);
  dialog->show();
  auto* edit = dialog->findChild<QLineEdit*>("Edit1");
  QTest::keyClicks(edit, "9999999");
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_FALSE(form.Accepted());
  EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
}  // namespace kd::qt
