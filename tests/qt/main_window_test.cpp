// The main window's skin on the real form, run on the harness's scripted port.
#include "qt/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "harness/scripted_port.h"
#include "qt/binder.h"
#include "ui/main_form.h"

namespace kd::qt {
namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Answers every dialog with "cancel" and counts message boxes, so a test never waits on a person.
class QuietHost : public view::Host {
 public:
  void ShowModal(view::Form&) override {}
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<view::FontChoice> FontDialog(const view::FontChoice&) override { return {}; }
  void MessageBox(const std::string& caption, const std::string& text, view::MessageIcon) override {
    messages.push_back(caption + " | " + text);
  }
  view::LocalTime Now() override { return {}; }
  std::vector<std::string> messages;
};

// The form reads and writes its configuration files in the working directory.
class InTemporaryDirectory {
 public:
  InTemporaryDirectory() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~InTemporaryDirectory() { QDir::setCurrent(previous_); }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.Start();
    window_ = std::make_unique<MainWindow>(form_);
    window_->Bindings().SetErrorSink([this](const std::string& m) { errors_.push_back(m); });
    window_->resize(1280, 800);
    window_->show();
    QCoreApplication::processEvents();
  }
  void TearDown() override { EXPECT_TRUE(errors_.empty()) << errors_.front(); }

  QLabel* Panel(int i) const {
    return window_->findChild<QLabel*>(Q(StatusPanelName("StatusBar1", i)));
  }
  QToolButton* Button(const std::string& name) const {
    return window_->findChild<QToolButton*>(Q(name));
  }
  void ExpectStatusShowsModel() {
    for (int i = 0; i < form_.StatusBar1().PanelCount(); ++i) {
      ASSERT_NE(Panel(i), nullptr) << i;
      EXPECT_EQ(Panel(i)->text(), Q(form_.StatusBar1().Text(i))) << "panel " << i;
    }
  }
  void ExpectButtonsShowModel() const {
    for (const view::Button* model : form_.TypeButtons()) {
      const QToolButton* button = Button(model->Name());
      ASSERT_NE(button, nullptr) << model->Name();
      EXPECT_EQ(button->isChecked(), model->Down()) << model->Name();
    }
  }

  InTemporaryDirectory workdir_;
  harness::ScriptedPort port_;
  QuietHost host_;
  ui::MainForm form_{port_, host_};
  std::unique_ptr<MainWindow> window_;
  std::vector<std::string> errors_;
};

TEST_F(MainWindowTest, StatusLineHasTheFourPanelsOfTheModel) {
  auto* bar = window_->findChild<QStatusBar*>("StatusBar1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(window_->statusBar(), bar);
  ASSERT_EQ(form_.StatusBar1().PanelCount(), 4);
  ExpectStatusShowsModel();
  EXPECT_EQ(Panel(1)->text(), "Com:2");
  for (int i = 0; i < 4; ++i) EXPECT_GE(Panel(i)->width(), form_.StatusBar1().Width(i)) << i;

  form_.StatusBar1().SetText(3, "Ошибка контрольной суммы.");
  window_->Bindings().Refresh();
  QCoreApplication::processEvents();
  EXPECT_GE(Panel(3)->contentsRect().width(),
            Panel(3)->fontMetrics().horizontalAdvance(Panel(3)->text()));
}

TEST_F(MainWindowTest, ToolBarHoldsTheControllerButtonsInTheModelsOrder) {
  auto* bar = window_->findChild<QToolBar*>("ToolBar1");
  ASSERT_NE(bar, nullptr);
  std::vector<std::string> shown;
  std::vector<bool> separatorAfter;
  for (QAction* a : bar->actions()) {
    if (a->isSeparator()) {
      if (!separatorAfter.empty()) separatorAfter.back() = true;
      continue;
    }
    if (QWidget* w = bar->widgetForAction(a)) {
      shown.push_back(w->objectName().toStdString());
      separatorAfter.push_back(false);
    }
  }
  std::vector<std::string> names;
  std::vector<bool> modelSeparators;
  for (const view::Button* b : form_.ToolBar()) {
    names.push_back(b->Name());
    modelSeparators.push_back(b->SeparatorAfter());
    QToolButton* button = Button(b->Name());
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), Q(b->Hint())) << b->Name();
    EXPECT_EQ(button->isCheckable(), b->Checkable() || b->Down()) << b->Name();
    EXPECT_TRUE(!button->text().isEmpty() || !button->icon().isNull()) << b->Name();
  }
  EXPECT_EQ(shown, names);
  EXPECT_EQ(separatorAfter, modelSeparators);
  EXPECT_EQ(Button("ButtonM797")->text(), "M797");
  ExpectButtonsShowModel();
}

TEST_F(MainWindowTest, ClickingAControllerButtonSwitchesTheType) {
  QToolButton* gm = Button("ButtonGM");
  ASSERT_NE(gm, nullptr);
  QTest::mouseClick(gm, Qt::LeftButton);
  EXPECT_EQ(Panel(2)->text(), "GM ISFI-2S");
  EXPECT_TRUE(gm->isChecked());
  EXPECT_FALSE(Button("ButtonM154")->isChecked());
  ExpectButtonsShowModel();
  ExpectStatusShowsModel();
  EXPECT_EQ(port_.Settings().baud, 8192);

  // The type's button again: it stays down, as the model decides.
  QTest::mouseClick(gm, Qt::LeftButton);
  EXPECT_TRUE(gm->isChecked());
  ExpectButtonsShowModel();
}

TEST_F(MainWindowTest, TypeMenuShowsRadioMarksFromTheModelOnly) {
  QAction* menu = window_->findChild<QAction*>("Typeblock1");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->text(), "Тип контроллера");
  ASSERT_EQ(form_.Typeblock1().Items().size(), 11u);
  for (const view::MenuItem* item : form_.Typeblock1().Items()) {
    QAction* a = window_->findChild<QAction*>(Q(item->Name()));
    ASSERT_NE(a, nullptr) << item->Name();
    EXPECT_EQ(a->text(), Q(item->Caption()));
    ASSERT_NE(a->actionGroup(), nullptr);
    EXPECT_TRUE(a->actionGroup()->isExclusive());
    EXPECT_EQ(a->isChecked(), item->Checked()) << item->Name();
  }
  QAction* gm = window_->findChild<QAction*>("MenuGM");
  gm->trigger();
  EXPECT_TRUE(gm->isChecked());
  EXPECT_EQ(Panel(2)->text(), "GM ISFI-2S");
  EXPECT_TRUE(Button("ButtonGM")->isChecked());

  // This item has no handler: Qt's group would move the mark, the model keeps it on GM.
  QAction* mikas = window_->findChild<QAction*>("MenuMikas");
  mikas->trigger();
  EXPECT_FALSE(mikas->isChecked());
  EXPECT_TRUE(gm->isChecked());
  EXPECT_EQ(Panel(2)->text(), "GM ISFI-2S");
}

TEST_F(MainWindowTest, ATickOnTheScriptedPortShowsInTheStatusLine) {
  port_.SetMode(harness::ScriptedPort::Mode::WriteFails);
  ASSERT_TRUE(window_->Bindings().Tick("Timer1"));
  EXPECT_EQ(Panel(0)->text(), "Error Message");
  ExpectStatusShowsModel();
  ASSERT_NE(window_->Bindings().TimerOf("Timer1"), nullptr);
  EXPECT_EQ(window_->Bindings().TimerOf("Timer1")->interval(), form_.Timer1().Interval());
}

TEST_F(MainWindowTest, AControlOfTheFormClosesTheWindowAsTheCloseBoxDoes) {
  form_.CloseByControl();
  EXPECT_TRUE(window_->isVisible()) << "the request waits until its handler has returned";
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(QFileInfo::exists("default.cfg")) << "the form's own close ran";
}

TEST_F(MainWindowTest, EveryControlOfTheFormHasItsWidget) {
  for (const view::Control* c : form_.Controls()) {
    if (dynamic_cast<const view::Timer*>(c)) continue;
    EXPECT_FALSE(window_->Bindings().ObjectsOf(c->Name()).empty()) << c->Name() << " has no widget";
  }
  auto* tabs = window_->findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(tabs, nullptr);
  ASSERT_EQ(tabs->count(), 9);
  EXPECT_EQ(tabs->tabText(6), "Об.УОЗ");
  EXPECT_NE(window_->findChild<QWidget*>("TabSheet1")->findChild<QWidget*>("StringGrid1"), nullptr);
}

}  // namespace
}  // namespace kd::qt
