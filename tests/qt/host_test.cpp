// The Qt host: which dialog a form gets, what a confirmed file dialog does to the working
// directory, and how request filters reach QFileDialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <QAbstractButton>
#include <QFile>
#include <QToolButton>

#include "harness/scripted_port.h"
#include "qt/binder.h"
#include "qt/layout.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"
#include "ui/main_form.h"
#include "view/form.h"

namespace kd::qt {
namespace {

TEST(FileDialogFilterTest, TurnsRequestFiltersIntoQtNameFilters) {
  EXPECT_EQ(FileDialogFilter("*.cfg"), "*.cfg (*.cfg)");
  EXPECT_EQ(FileDialogFilter("*.cfg;*.txt"), "*.cfg;*.txt (*.cfg *.txt)");
  EXPECT_EQ(FileDialogFilter("Конфигурация|*.cfg|Все файлы|*.*"),
            "Конфигурация (*.cfg);;Все файлы (*.*)");
  EXPECT_EQ(FileDialogFilter("Отчёт (*.txt)|*.txt"), "Отчёт (*.txt)");
  EXPECT_EQ(FileDialogFilter(""), "");
}

class OneButtonForm : public view::Form {
 public:
  OneButtonForm()
      : Form("Form7"), label(Add<view::Label>("Label1")), ok(Add<view::Button>("OkButton")) {
    SetCaption("Данные автомобиля");
    label.SetCaption("VIN");
  }
  bool Close() override {
    ++closeAsks;
    return closable;
  }
  view::Label& label;
  view::Button& ok;
  int closeAsks = 0;
  bool closable = true;
};

// Runs `step` on the modal dialog once the nested loop shows it. A dialog the step leaves open is
// ended after a while, so that a failing test fails instead of hanging.
void WhenModal(std::function<void(QWidget*)> step) {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, [poll, step] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll->deleteLater();
    poll->stop();
    step(modal);
    QTimer::singleShot(5000, [open = QPointer<QWidget>(modal)] {
      if (!open || !open->isVisible()) return;
      ADD_FAILURE() << "the dialog stayed open";
      if (auto* dialog = qobject_cast<QDialog*>(open.data())) dialog->done(QDialog::Rejected);
    });
  });
  poll->start(10);
}

// As a technician picks the file. QFileDialog::selectFile leaves the name field alone while it
// has the focus, which the dialog may or may not have given it by now.
void ChooseFile(QFileDialog* dialog, const QString& path) {
  if (QWidget* focus = dialog->focusWidget()) focus->clearFocus();
  dialog->selectFile(path);
  EXPECT_EQ(dialog->selectedFiles(), QStringList{path});
}

TEST(QtHostTest, AFormWithoutSkinClassRunsInTheGenericDialogUntilItClosesItself) {
  QtHost host;
  OneButtonForm form;
  form.closable = false;
  int clicks = 0;
  form.ok.OnClick = [&] {
    ++clicks;
    form.closable = true;
    form.CloseByControl();
  };
  WhenModal([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Данные автомобиля"));
    auto* label = dialog->findChild<QLabel*>("Label1");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "VIN");
    dialog->close();  // refused: the form is not done yet
    EXPECT_TRUE(dialog->isVisible());
    dialog->findChild<QPushButton*>("OkButton")->click();
  });
  host.ShowModal(form);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(form.closeAsks, 2);
}

TEST(QtHostTest, ARegisteredDialogIsUsedForItsForm) {
  QtHost host;
  OneButtonForm form;
  bool built = false;
  host.RegisterDialog("Form7", [&](view::Form& f, QWidget* parent) -> std::unique_ptr<QDialog> {
    built = &f == &form;
    auto dialog = std::make_unique<FormDialog>(f, parent);
    dialog->setObjectName("OwnSkin");
    return dialog;
  });
  WhenModal([](QWidget* dialog) {
    EXPECT_EQ(dialog->objectName(), "OwnSkin");
    dialog->close();
  });
  host.ShowModal(form);
  EXPECT_TRUE(built);
}

TEST(QtHostTest, AConfirmedFileDialogMakesTheChosenFolderCurrent) {
  const QString before = QDir::currentPath();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString path = QDir(folder.path()).filePath("M154def.cfg");
  QtHost host;
  WhenModal([path](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    ChooseFile(dialog, path);
    // Public in QDialog, and virtual: the file dialog's own accept runs.
    static_cast<QDialog*>(dialog)->accept();
  });
  const auto chosen =
      host.SaveFileDialog({"Запись конфигурации.", "cfg", "*.cfg", before.toStdString(), ""});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(QString::fromStdString(*chosen), path);
  EXPECT_EQ(QDir::current().canonicalPath(), QDir(folder.path()).canonicalPath());

  QDir::setCurrent(before);
  WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  EXPECT_FALSE(host.OpenFileDialog({"Открыть", "cfg", "*.cfg", folder.path().toStdString(), ""}));
  EXPECT_EQ(QDir::currentPath(), before) << "a cancelled dialog leaves the directory alone";
}

TEST(QtHostTest, AFileDialogOpensWithTheRequestsTitleFolderFilterNameAndExtension) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QtHost host;
  bool seen = false;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    seen = true;
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Запись информациии о ошибках."));
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
    EXPECT_EQ(dialog->nameFilters(), QStringList{"*.err (*.err)"});
    EXPECT_EQ(dialog->defaultSuffix(), "err");
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "*.err");
    dialog->reject();
  });
  EXPECT_FALSE(host.SaveFileDialog(
      {"Запись информациии о ошибках.", "err", "*.err", folder.path().toStdString(), "*.err"}));
  EXPECT_TRUE(seen);
}

TEST(QtHostTest, AMessageBoxShowsTheIconAsked) {
  const std::pair<view::MessageIcon, QMessageBox::Icon> icons[] = {
      {view::MessageIcon::Error, QMessageBox::Critical},
      {view::MessageIcon::Warning, QMessageBox::Warning},
      {view::MessageIcon::Information, QMessageBox::Information},
      {view::MessageIcon::Question, QMessageBox::Question},
      {view::MessageIcon::None, QMessageBox::NoIcon}};
  QtHost host;
  for (const auto& [asked, shown] : icons) {
    bool seen = false;
    WhenModal([&, shown = shown](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      seen = true;
      EXPECT_EQ(box->icon(), shown);
      EXPECT_EQ(box->windowTitle(), QString::fromUtf8("Ошибка!"));
      EXPECT_EQ(box->text(), QString::fromUtf8("Немогу создать файл!!!"));
      box->accept();
    });
    host.MessageBox("Ошибка!", "Немогу создать файл!!!", asked);
    EXPECT_TRUE(seen) << static_cast<int>(asked);
  }
}

// The real dialogs move the working directory into the folders the technician picks; the
// configuration files of the types and "default.cfg" stay where the program started all the same.
TEST(QtHostTest, ConfigurationFilesStayInTheStartFolderWhereverTheDialogsGo) {
  const QString before = QDir::currentPath();
  QTemporaryDir start;
  ASSERT_TRUE(start.isValid());
  const QDir home(start.path());
  ASSERT_TRUE(home.mkpath("sub") && home.mkpath("rep"));
  QDir::setCurrent(start.path());
  {
    harness::ScriptedPort port;
    QtHost host;
    ui::MainForm form(port, host);
    form.Start();
    MainWindow window(form);
    host.SetParentWidget(&window);
    window.show();
    auto press = [&window](const char* name) {
      auto* button = window.findChild<QAbstractButton*>(name);
      ASSERT_NE(button, nullptr) << name;
      button->click();
      QCoreApplication::processEvents();
    };
    auto choose = [](const QString& path) {
      WhenModal([path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        ChooseFile(dialog, path);
        static_cast<QDialog*>(dialog)->accept();
      });
    };
    press("ButtonJ72");
    choose(home.filePath("sub/x.cfg"));
    press("SaveButton");
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(home.filePath("sub")).canonicalPath());
    press("ButtonM10");
    choose(home.filePath("rep/f.err"));
    press("Button8");
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(home.filePath("rep")).canonicalPath());
    press("ButtonM154");
    EXPECT_TRUE(window.close());
  }
  QDir::setCurrent(before);

  for (const char* file : {"M154def.cfg", "J72Ndef.cfg", "M10def.cfg", "default.cfg", "sub/x.cfg",
                           "rep/f.err"})
    EXPECT_TRUE(QFile::exists(home.filePath(file))) << file;
  EXPECT_EQ(QDir(home.filePath("sub")).entryList(QDir::Files | QDir::Hidden), QStringList{"x.cfg"});
  EXPECT_EQ(QDir(home.filePath("rep")).entryList(QDir::Files | QDir::Hidden), QStringList{"f.err"});
  QFile last(home.filePath("default.cfg"));
  ASSERT_TRUE(last.open(QIODevice::ReadOnly));
  EXPECT_EQ(static_cast<std::uint8_t>(last.read(1).at(0)), 1) << "closed as M1.5.4";
}

}  // namespace
}  // namespace kd::qt
