// Qt's own texts follow a Russian system: its translations are installed and load. In a program of
// its own, since an installed translator stays for the rest of the run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "qt/desktop.h"

namespace kd::qt {
namespace {

TEST(QtTranslationsTest, NoneForALanguageQtHasNot) {
  EXPECT_FALSE(InstallQtTranslations(*QApplication::instance(), QLocale("xh_ZA")));
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), "Cancel");
}

TEST(QtTranslationsTest, RussianButtonsAndFileDialogTexts) {
  ASSERT_TRUE(InstallQtTranslations(*QApplication::instance(), QLocale("ru_RU")));
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Cancel | QMessageBox::Yes);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), "Отмена");
  EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Да");
  EXPECT_NE(QApplication::translate("QFileDialog", "Look in:"), "Look in:");
  EXPECT_NE(QApplication::translate("QWidgetTextControl", "&Copy"), "&Copy");
}

}  // namespace
}  // namespace kd::qt
