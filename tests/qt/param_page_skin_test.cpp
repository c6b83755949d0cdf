// The parameter page's skin against the simulator: the chart panel shows live series on fixed
// axes without animation, the graph window's six slots, the actuator panel of an M7.9.7. With
// KLINEDIAG_SHOTS set to a folder the pictures of the user guide are written there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QLabel>
#include <QLineSeries>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include "livedata/charts.h"
#include "qt/binder.h"
#include "qt/graph_window.h"
#include "qt/layout.h"
#include "qt/main_window.h"
#include "sim/faults.h"
#include "sim/simulated_port.h"
#include "support/null_host.h"
#include "ui/main_form.h"

namespace kd::qt {
namespace {

struct ShotHost : testing::NullHost {
  std::function<void(view::Form&)> modal;
  void ShowModal(view::Form& form) override {
    if (modal) modal(form);
  }
};

class ParamPageSkin : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir::setCurrent(dir_.path());
    form_.OnTypeApplied = [this](std::uint32_t type) { port_.SetEcuType(type); };
    form_.Start();
    form_.SelectEcuType(6);
    window_ = std::make_unique<MainWindow>(form_);
    window_->setFixedSize(1280, 800);
    window_->show();
  }
  void TearDown() override { QDir::setCurrent(previous_); }

  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      window_->Bindings().Tick(form_.Timer1().Name());
      QApplication::processEvents();
    }
  }
  void User(view::Control& c, const std::function<void()>& event) {
    window_->Bindings().Forward(c, event);
    QApplication::processEvents();
  }
  void Shot(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("KLINEDIAG_SHOTS");
    if (!dir.isEmpty()) ASSERT_TRUE(w.grab().save(QDir(QString(dir)).filePath(name), "PNG"));
  }
  // Engine speed, coolant and throttle on the list and marked.
  void MarkThree() {
    User(form_.StringGrid1(), [&] { form_.FindAs<view::Button>("Button7")->Click(); });
    for (int i : {2, 6, 7}) {
      User(form_.CheckParamList(), [&] {
        form_.CheckParamList().SetChecked(i, true);
        form_.CheckParamList().OnClickCheck(i);
      });
    }
    for (int row = 1; row <= 3; ++row)
      User(form_.StringGrid1(), [&] { form_.StringGrid1().ClickCell(3, row); });
  }

  QString previous_ = QDir::currentPath();
  QTemporaryDir dir_;
  sim::SimulatedPort port_;
  ShotHost host_;
  ui::MainForm form_{port_, host_};
  std::unique_ptr<MainWindow> window_;
};

// Passing over the "Граф.р." cells with the arrow keys and Tab marks nothing; Space, Enter and a
// click each toggle the cell they act on.
TEST_F(ParamPageSkin, OnlyAClickOrSpaceOrEnterMarksAChartCell) {
  User(form_.StringGrid1(), [&] { form_.FindAs<view::Button>("Button7")->Click(); });
  for (int i : {2, 6, 7}) {
    User(form_.CheckParamList(), [&] {
      form_.CheckParamList().SetChecked(i, true);
      form_.CheckParamList().OnClickCheck(i);
    });
  }
  auto* table = window_->findChild<QTableWidget*>("StringGrid1");
  ASSERT_NE(table, nullptr);
  table->setFocus();
  table->setCurrentCell(1, 2);
  QApplication::processEvents();
  const auto marked = [&](int row) {
    return form_.StringGrid1().Cell(3, row) == livedata::kMarked;
  };
  const auto series = [&] { return form_.MainChart().Chart1().Series().size(); };

  for (int key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Tab,
                  Qt::Key_Backtab, Qt::Key_Up})
    QTest::keyClick(table, static_cast<Qt::Key>(key));
  QApplication::processEvents();
  EXPECT_EQ(table->currentColumn(), 3);
  EXPECT_EQ(form_.StringGrid1().Col(), 3);
  for (int row = 1; row <= 3; ++row) EXPECT_FALSE(marked(row)) << row;
  EXPECT_EQ(series(), 0u);

  const int row = table->currentRow();
  QTest::keyClick(table, Qt::Key_Space);
  EXPECT_TRUE(marked(row));
  EXPECT_EQ(series(), 1u);
  QTest::keyClick(table, Qt::Key_Return);
  EXPECT_FALSE(marked(row));
  EXPECT_EQ(series(), 0u);

  const int other = row == 3 ? 2 : 3;
  const QRect cell = table->visualItemRect(table->item(other, 3));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  QApplication::processEvents();
  EXPECT_TRUE(marked(other));
  EXPECT_FALSE(marked(row));
  EXPECT_EQ(series(), 1u);
}

// A silent controller greys the values within one tick and says since when; its next data reply
// brings the colours and the tooltips back.
TEST_F(ParamPageSkin, StaleValuesAreGreyWithTheTimeOfTheLoss) {
  User(form_.StringGrid1(), [&] { form_.FindAs<view::Button>("Button7")->Click(); });
  User(form_.CheckParamList(), [&] {
    form_.CheckParamList().SetChecked(2, true);
    form_.CheckParamList().OnClickCheck(2);
  });
  Ticks(6);
  auto* table = window_->findChild<QTableWidget*>("StringGrid1");
  ASSERT_NE(table, nullptr);
  const QColor live = table->palette().color(QPalette::Active, QPalette::Text);
  const QColor grey = table->palette().color(QPalette::Disabled, QPalette::Text);
  ASSERT_NE(live, grey);
  EXPECT_FALSE(form_.StringGrid1().Stale());
  EXPECT_TRUE(table->item(1, 1)->toolTip().isEmpty());

  port_.SetFault(sim::Fault::Silence);
  // The answer to the request already sent still comes; the tick after it has none.
  Ticks(1);
  EXPECT_FALSE(form_.StringGrid1().Stale());
  Ticks(1);
  EXPECT_TRUE(form_.StringGrid1().Stale());
  EXPECT_EQ(table->palette().color(QPalette::Active, QPalette::Text), grey);
  EXPECT_TRUE(table->isEnabled());
  EXPECT_TRUE(table->item(1, 1)->toolTip().startsWith("нет связи с 12:00:00"));
  Shot(*window_, "params-stale.png");

  port_.ClearFault(sim::Fault::Silence);
  Ticks(4);
  EXPECT_FALSE(form_.StringGrid1().Stale());
  EXPECT_EQ(table->palette().color(QPalette::Active, QPalette::Text), live);
  EXPECT_TRUE(table->item(1, 1)->toolTip().isEmpty());
}

TEST_F(ParamPageSkin, ChartPanelShowsLiveSeriesOnFixedAxes) {
  MarkThree();
  User(form_.StringGrid1(), [&] { form_.FindAs<view::Button>("GraphButton")->Click(); });
  Ticks(40);
  auto* view = window_->findChild<QChartView*>("Chart1");
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(view->isVisible());
  QChart* chart = view->chart();
  EXPECT_EQ(chart->animationOptions(), QChart::NoAnimation);
  EXPECT_EQ(chart->title(), "Графические параметры");
  ASSERT_EQ(chart->series().size(), 3);
  auto* line = static_cast<QLineSeries*>(chart->series()[0]);
  EXPECT_EQ(line->count(), static_cast<int>(form_.MainChart().Chart1().Series()[0].points.size()));
  auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->min(), -1);
  EXPECT_EQ(y->max(), 100);
  Shot(*window_, "params-chart.png");
}

TEST_F(ParamPageSkin, GraphWindowShowsSixValuesInLargePrint) {
  User(form_.StringGrid1(), [&] { form_.FindAs<view::Button>("Button7")->Click(); });
  for (int i : {2, 5, 6, 7, 8, 19}) {
    User(form_.CheckParamList(), [&] {
      form_.CheckParamList().SetChecked(i, true);
      form_.CheckParamList().OnClickCheck(i);
    });
  }
  for (int row = 1; row <= 6; ++row)
    User(form_.StringGrid1(), [&] { form_.StringGrid1().ClickCell(3, row); });
  Ticks(6);
  bool shown = false;
  host_.modal = [&](view::Form& graph) {
    auto dialog = MakeGraphWindow(graph, window_.get());
    dialog->show();
    Ticks(30);
    static_cast<FormDialog*>(dialog.get())->Bindings()->Refresh();
    QApplication::processEvents();
    auto* value = dialog->findChild<QLabel*>("Label11");
    ASSERT_NE(value, nullptr);
    EXPECT_TRUE(value->isVisible());
    EXPECT_GE(value->font().pointSize(), 20);
    EXPECT_EQ(dialog->findChild<QChartView*>("Chart1")->chart()->series().size(), 6);
    Shot(*dialog, "graph-window.png");
    shown = true;
  };
  User(form_.StringGrid1(), [&] { form_.FindAs<view::Button>("ToolButton14")->Click(); });
  EXPECT_TRUE(shown);
}

TEST_F(ParamPageSkin, ActuatorPanelOfM797) {
  User(form_.StringGrid1(), [&] { form_.FindAs<view::Button>("Button7")->Click(); });
  for (int i : {7, 52, 53}) {
    User(form_.CheckParamList(), [&] {
      form_.CheckParamList().SetChecked(i, true);
      form_.CheckParamList().OnClickCheck(i);
    });
  }
  auto& button1 = *form_.FindAs<view::Button>("Button1");
  User(button1, [&] { button1.Click(); });
  auto& box = *form_.FindAs<view::ComboBox>("ControlBox");
  User(box, [&] {
    box.Select(9);
    box.OnChange();
  });
  Ticks(6);
  auto& control = *form_.FindAs<view::Button>("ControlButton");
  User(control, [&] { control.Click(); });
  Ticks(6);
  EXPECT_EQ(control.Caption(), "Включено");
  EXPECT_EQ(form_.StringGrid1().Cell(1, 3), "ДА");
  Shot(*window_, "params-actuators-m797.png");
}

}  // namespace
}  // namespace kd::qt
