// The binder between control models and widgets: for every kind of control, a model change
// shows in its widget and the user's action on the widget reaches the model's event.
#include "qt/binder.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <stdexcept>

#include "qt/layout.h"
#include "view/form.h"

namespace kd::qt {
namespace {

QString Q(const char* s) {
  return QString::fromUtf8(s);
}

// One control of every kind the models offer.
class KindsForm : public view::Form {
 public:
  KindsForm()
      : Form("KindsForm"),
        label(Add<view::Label>("Label1")),
        button(Add<view::Button>("Button1")),
        toolButton(Add<view::Button>("ToolButton1")),
        actionButton(Add<view::Button>("ToolButton2")),
        check(Add<view::CheckBox>("CheckBox1")),
        menu(Add<view::MenuItem>("File1", "Файл")),
        first(Add<view::MenuItem>("First1", "Первый", "Ctrl+1", 1)),
        second(Add<view::MenuItem>("Second1", "Второй", "", 1)),
        plain(Add<view::MenuItem>("Plain1", "Обычный")),
        edit(Add<view::Edit>("Edit1")),
        list(Add<view::ListBox>("ListBox1")),
        memo(Add<view::Memo>("Memo1")),
        memoRows(Add<view::Memo>("Memo2")),
        combo(Add<view::ComboBox>("ComboBox1")),
        checks(Add<view::CheckListBox>("CheckListBox1")),
        grid(Add<view::Grid>("StringGrid1")),
        status(Add<view::StatusBar>("StatusBar1", std::vector<int>{120, 60})),
        pages(Add<view::PageControl>(
            "PageControl1",
            std::vector<view::Page>{{"TabSheet1", "Параметры"}, {"TabSheet2", "Ошибки"}})),
        timer(Add<view::Timer>("Timer1", 20)),
        chart(Add<view::Chart>("Chart1")) {
    menu.Items() = {&first, &plain, &second};
    toolButton.SetCheckable(true);
    timer.SetEnabled(false);
  }

  view::Label& label;
  view::Button& button;
  view::Button& toolButton;
  view::Button& actionButton;
  view::CheckBox& check;
  view::MenuItem& menu;
  view::MenuItem& first;
  view::MenuItem& second;
  view::MenuItem& plain;
  view::Edit& edit;
  view::ListBox& list;
  view::Memo& memo;
  view::Memo& memoRows;
  view::ComboBox& combo;
  view::CheckListBox& checks;
  view::Grid& grid;
  view::StatusBar& status;
  view::PageControl& pages;
  view::Timer& timer;
  view::Chart& chart;
};

template <class W>
W* Named(QWidget* root, const char* name) {
  W* w = root->findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

// The skin of KindsForm, laid out by hand as a form class would do it.
class BinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<QWidget>();
    root_->resize(900, 700);
    auto* layout = new QVBoxLayout(root_.get());
    auto* bar = new QMenuBar(root_.get());
    AddMenu(bar, form_.menu);
    layout->setMenuBar(bar);
    auto* tools = new QToolBar(root_.get());
    auto* tool = new QToolButton(tools);
    tool->setObjectName("ToolButton1");
    tool->setText("M154");
    tool->setProperty(kSkinTextProperty, true);
    tools->addWidget(tool);
    tools->addAction("")->setObjectName("ToolButton2");
    layout->addWidget(tools);
    auto add = [&](QWidget* w, const char* name) {
      w->setObjectName(name);
      layout->addWidget(w);
    };
    add(new QLabel, "Label1");
    add(new QPushButton, "Button1");
    add(new QCheckBox, "CheckBox1");
    add(new QLineEdit, "Edit1");
    add(new QListWidget, "ListBox1");
    add(new QPlainTextEdit, "Memo1");
    add(new QListWidget, "Memo2");
    add(new QComboBox, "ComboBox1");
    add(new QListWidget, "CheckListBox1");
    add(new QTableWidget, "StringGrid1");
    auto* tabs = new QTabWidget;
    // Laid out in the other order than the model's: tabs are found by their pages' names.
    for (const char* page : {"TabSheet2", "TabSheet1"}) {
      auto* sheet = new QWidget;
      sheet->setObjectName(page);
      tabs->addTab(sheet, "");
    }
    add(tabs, "PageControl1");
    add(new QChartView, "Chart1");
    auto* status = new QStatusBar;
    add(status, "StatusBar1");
    binder_ = new Binder(form_, root_.get());
    binder_->SetErrorSink([this](const std::string& m) { errors_.push_back(m); });
    root_->show();
    QCoreApplication::processEvents();
  }

  template <class W>
  W* Widget(const char* name) {
    return Named<W>(root_.get(), name);
  }
  QAction* Action(const char* name) { return root_->findChild<QAction*>(name); }

  KindsForm form_;
  std::unique_ptr<QWidget> root_;
  Binder* binder_ = nullptr;
  std::vector<std::string> errors_;
};

TEST_F(BinderTest, LabelsAndButtonsMirrorTheirModelsAndClicksReachThem) {
  auto* label = Widget<QLabel>("Label1");
  auto* button = Widget<QPushButton>("Button1");
  form_.label.SetCaption("Обороты <b>двигателя</b>");
  form_.button.SetCaption("Стереть");
  form_.button.SetHint("Стереть коды неисправностей");
  form_.label.SetVisible(false);
  binder_->Refresh();
  EXPECT_EQ(label->text(), Q("Обороты <b>двигателя</b>"));
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_TRUE(label->isHidden());
  EXPECT_EQ(button->text(), Q("Стереть"));
  EXPECT_EQ(button->toolTip(), Q("Стереть коды неисправностей"));

  int clicks = 0;
  form_.button.OnClick = [&] {
    ++clicks;
    form_.label.SetVisible(true);
  };
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(label->isHidden()) << "a change made by the handler shows at once";

  form_.button.SetEnabled(false);
  binder_->Refresh();
  EXPECT_FALSE(button->isEnabled());
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

TEST_F(BinderTest, ATwoStateButtonShowsWhatTheModelDecides) {
  auto* tool = Widget<QToolButton>("ToolButton1");
  EXPECT_TRUE(tool->isCheckable());
  EXPECT_EQ(tool->text(), Q("M154")) << "the skin's own label stays";

  QTest::mouseClick(tool, Qt::LeftButton);
  EXPECT_TRUE(form_.toolButton.Down());
  EXPECT_TRUE(tool->isChecked());

  // A handler that puts the button back: Qt toggled the widget itself, the model wins.
  form_.toolButton.OnClick = [&] { form_.toolButton.SetDown(true); };
  QTest::mouseClick(tool, Qt::LeftButton);
  EXPECT_TRUE(form_.toolButton.Down());
  EXPECT_TRUE(tool->isChecked());

  form_.toolButton.SetVisible(false);
  binder_->Refresh();
  QAction* slot = nullptr;
  for (QAction* a : tool->parentWidget()->actions())
    if (qobject_cast<QToolBar*>(tool->parentWidget())->widgetForAction(a) == tool) slot = a;
  ASSERT_NE(slot, nullptr);
  EXPECT_FALSE(slot->isVisible()) << "a tool-bar widget is hidden through its action";

  // A button on an action: a plain button the program holds down still shows pressed.
  QAction* action = Action("ToolButton2");
  ASSERT_NE(action, nullptr);
  int triggered = 0;
  form_.actionButton.SetCaption("Отчёт");
  form_.actionButton.OnClick = [&] { ++triggered; };
  form_.actionButton.SetDown(true);
  binder_->Refresh();
  EXPECT_EQ(action->text(), Q("Отчёт"));
  EXPECT_TRUE(action->isChecked());
  action->trigger();
  EXPECT_EQ(triggered, 1);
  EXPECT_TRUE(action->isChecked());
}

TEST_F(BinderTest, CheckBoxFlipsInTheModelAndShowsItsState) {
  auto* box = Widget<QCheckBox>("CheckBox1");
  form_.check.SetCaption("Запись");
  form_.check.SetChecked(true);
  binder_->Refresh();
  EXPECT_EQ(box->text(), Q("Запись"));
  EXPECT_TRUE(box->isChecked());

  bool seenInHandler = true;
  form_.check.OnClick = [&] { seenInHandler = form_.check.Checked(); };
  // On the box itself: a wide check box is no click target beyond its text.
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  EXPECT_FALSE(form_.check.Checked());
  EXPECT_FALSE(seenInHandler) << "the box flips before the handler runs";
  EXPECT_FALSE(box->isChecked());
}

TEST_F(BinderTest, RadioMenuItemsShowOnlyTheModelsMarks) {
  QAction* first = Action("First1");
  QAction* second = Action("Second1");
  QAction* plain = Action("Plain1");
  ASSERT_TRUE(first && second && plain);
  EXPECT_EQ(first->text(), Q("Первый"));
  EXPECT_EQ(first->shortcut(), QKeySequence("Ctrl+1"));
  ASSERT_NE(first->actionGroup(), nullptr);
  EXPECT_TRUE(first->actionGroup()->isExclusive());
  EXPECT_EQ(first->actionGroup(), second->actionGroup());
  EXPECT_EQ(plain->actionGroup(), nullptr);
  EXPECT_FALSE(plain->isCheckable());

  form_.first.SetChecked(true);
  binder_->Refresh();
  EXPECT_TRUE(first->isChecked());

  // An item without a handler: the exclusive group moves the mark, the model does not.
  second->trigger();
  EXPECT_TRUE(first->isChecked());
  EXPECT_FALSE(second->isChecked());

  form_.second.OnClick = [&] {
    form_.first.SetChecked(false);
    form_.second.SetChecked(true);
  };
  second->trigger();
  EXPECT_FALSE(first->isChecked());
  EXPECT_TRUE(second->isChecked());

  int plainClicks = 0;
  form_.plain.OnClick = [&] { ++plainClicks; };
  form_.plain.SetEnabled(false);
  binder_->Refresh();
  EXPECT_FALSE(plain->isEnabled());
  form_.plain.SetEnabled(true);
  binder_->Refresh();
  plain->trigger();
  EXPECT_EQ(plainClicks, 1);

  // An on/off item shows its box while off too.
  form_.plain.SetCheckable(true);
  binder_->Refresh();
  EXPECT_TRUE(plain->isCheckable());
  EXPECT_FALSE(plain->isChecked());
}

TEST_F(BinderTest, EditRaisesOnChangeForTypingOnly) {
  auto* edit = Widget<QLineEdit>("Edit1");
  int changes = 0;
  form_.edit.OnChange = [&] { ++changes; };
  form_.edit.SetText("XTA21099");
  binder_->Refresh();
  EXPECT_EQ(edit->text(), Q("XTA21099"));
  EXPECT_EQ(changes, 0) << "the program's own change is no user edit";

  edit->setFocus();
  edit->end(false);
  QTest::keyClicks(edit, "4");
  QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, Q("Я"), Qt::NoModifier);
  EXPECT_EQ(form_.edit.Text(), "XTA210994Я");
  EXPECT_EQ(changes, 2);
}

// Centre of row `row` of a list, in viewport coordinates.
QPoint RowCentre(QListWidget* list, int row) {
  return list->visualItemRect(list->item(row)).center();
}

TEST_F(BinderTest, ListBoxSelectionAndClicksReachTheModel) {
  auto* list = Widget<QListWidget>("ListBox1");
  form_.list.SetItems({"P0300", "P0171", "P0420"});
  form_.list.Select(1);
  binder_->Refresh();
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(2)->text(), Q("P0420"));
  EXPECT_EQ(list->currentRow(), 1);

  int clicks = 0, doubles = 0;
  std::vector<int> selectedAtClick;
  form_.list.OnClick = [&] {
    ++clicks;
    selectedAtClick.push_back(form_.list.Selected());
  };
  form_.list.OnDblClick = [&] { ++doubles; };
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
  EXPECT_EQ(form_.list.Selected(), 2);
  // A click on the row that is already selected is a click all the same, and only one.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(selectedAtClick, (std::vector<int>{2, 2}));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 0));
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 0));
  EXPECT_EQ(doubles, 1);
  EXPECT_EQ(form_.list.Selected(), 0);
}

TEST_F(BinderTest, MemoShowsItsLinesInATextBoxOrAList) {
  form_.memo.SetItems({"Идентификатор: 2112-1411020", "Версия ПО: 22"});
  form_.memoRows.Add("строка 1");
  form_.memoRows.Add("строка 2");
  binder_->Refresh();
  EXPECT_EQ(Widget<QPlainTextEdit>("Memo1")->toPlainText(),
            Q("Идентификатор: 2112-1411020\nВерсия ПО: 22"));
  auto* rows = Widget<QListWidget>("Memo2");
  ASSERT_EQ(rows->count(), 2);
  EXPECT_EQ(rows->item(1)->text(), Q("строка 2"));
}

TEST_F(BinderTest, ComboBoxMirrorsItemsAndReportsTheUsersChoice) {
  auto* combo = Widget<QComboBox>("ComboBox1");
  form_.combo.SetItems({"COM1", "COM2", "COM3"});
  form_.combo.Select(1);
  binder_->Refresh();
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->currentIndex(), 1);

  std::vector<int> changes;
  form_.combo.OnChange = [&] { changes.push_back(form_.combo.Selected()); };
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(changes, (std::vector<int>{2}));
  EXPECT_EQ(form_.combo.Selected(), 2);

  form_.combo.Select(0);
  binder_->Refresh();
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(changes.size(), 1u) << "the program's choice raises no OnChange";
}

TEST_F(BinderTest, CheckListBoxTogglesReachTheModelWithTheirIndex) {
  auto* list = Widget<QListWidget>("CheckListBox1");
  form_.checks.SetItems({"Обороты", "Температура", "Напряжение"});
  form_.checks.SetChecked(2, true);
  form_.checks.Select(1);
  binder_->Refresh();
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(list->item(2)->checkState(), Qt::Checked);

  std::vector<int> toggled;
  form_.checks.OnClickCheck = [&](int index) { toggled.push_back(index); };
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Space);
  EXPECT_EQ(toggled, (std::vector<int>{1}));
  EXPECT_TRUE(form_.checks.IsChecked(1));
  EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);

  form_.checks.SetChecked(2, false);
  binder_->Refresh();
  EXPECT_EQ(list->item(2)->checkState(), Qt::Unchecked);
  EXPECT_EQ(toggled.size(), 1u) << "the program's own check raises no OnClickCheck";
}

TEST_F(BinderTest, GridMirrorsCellsAndReportsSelectedCells) {
  auto* table = Widget<QTableWidget>("StringGrid1");
  form_.grid.SetSize(3, 4);
  form_.grid.SetCell(0, 0, "Параметр");
  form_.grid.SetCell(1, 2, "850");
  form_.grid.ColWidths()[0] = 150;
  form_.grid.SetFont("DejaVu Sans Mono", 11);
  binder_->Refresh();
  ASSERT_EQ(table->rowCount(), 4);
  ASSERT_EQ(table->columnCount(), 3);
  EXPECT_EQ(table->item(0, 0)->text(), Q("Параметр"));
  EXPECT_EQ(table->item(2, 1)->text(), Q("850"));
  EXPECT_EQ(table->columnWidth(0), 150);
  EXPECT_EQ(table->font().family(), Q("DejaVu Sans Mono"));
  EXPECT_EQ(table->font().pointSize(), 11);
  EXPECT_FALSE(table->item(0, 1)->flags() & Qt::ItemIsSelectable) << "fixed rows are headings";

  std::vector<std::pair<int, int>> selected;
  int doubles = 0;
  form_.grid.OnSelectCell = [&](int col, int row) { selected.emplace_back(col, row); };
  form_.grid.OnDblClick = [&] { ++doubles; };
  const QPoint cell = table->visualItemRect(table->item(2, 1)).center();
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell);
  ASSERT_FALSE(selected.empty());
  EXPECT_EQ(selected.back(), std::make_pair(1, 2));
  EXPECT_EQ(form_.grid.Col(), 1);
  EXPECT_EQ(form_.grid.Row(), 2);
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell);
  EXPECT_EQ(doubles, 1);

  const auto before = selected.size();
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    table->visualItemRect(table->item(0, 2)).center());
  EXPECT_EQ(selected.size(), before) << "a heading cell cannot be selected";
}

TEST_F(BinderTest, StatusBarHasThePanelsOfTheModel) {
  auto* bar = Widget<QStatusBar>("StatusBar1");
  form_.status.SetText(0, "Send Message");
  form_.status.SetText(1, "Ошибка контрольной суммы.");
  binder_->Refresh();
  QCoreApplication::processEvents();
  auto* first = bar->findChild<QLabel*>(QString::fromStdString(StatusPanelName("StatusBar1", 0)));
  auto* last = bar->findChild<QLabel*>(QString::fromStdString(StatusPanelName("StatusBar1", 1)));
  ASSERT_TRUE(first && last);
  EXPECT_EQ(first->text(), Q("Send Message"));
  EXPECT_EQ(last->text(), Q("Ошибка контрольной суммы."));
  EXPECT_GE(first->width(), 120);
  EXPECT_GE(last->width(), last->fontMetrics().horizontalAdvance(last->text()))
      << "a text longer than the model's width still fits";
}

TEST_F(BinderTest, PageControlFollowsTheModelAndReportsTabClicks) {
  auto* tabs = Widget<QTabWidget>("PageControl1");
  EXPECT_EQ(tabs->tabText(1), Q("Параметры"));
  EXPECT_EQ(tabs->tabText(0), Q("Ошибки"));
  EXPECT_EQ(tabs->currentWidget()->objectName(), Q("TabSheet1"));

  int changes = 0;
  form_.pages.OnChange = [&] { ++changes; };
  form_.pages.SetActive(1);
  binder_->Refresh();
  EXPECT_EQ(tabs->currentWidget()->objectName(), Q("TabSheet2"));
  EXPECT_EQ(changes, 0) << "switching pages by program is no tab click";

  QTabBar* bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(form_.pages.ActiveName(), "TabSheet1");
  EXPECT_EQ(changes, 1);
}

TEST_F(BinderTest, ChartShowsTheSeriesOnFixedAxesWithoutAnimation) {
  auto* view = Widget<QChartView>("Chart1");
  form_.chart.SetAxes(0, 60, 0, 6000);
  form_.chart.SetSeries(
      {{"Обороты", {{0, 850, ""}, {1, 900, ""}, {2, 2400, ""}}}, {"ДПДЗ", {{0, 0, ""}}}});
  binder_->Refresh();
  QChart* chart = view->chart();
  EXPECT_EQ(chart->animationOptions(), QChart::NoAnimation);
  const auto series = chart->series();
  ASSERT_EQ(series.size(), 2);
  auto* rpm = qobject_cast<QLineSeries*>(series[0]);
  ASSERT_NE(rpm, nullptr);
  EXPECT_EQ(rpm->name(), Q("Обороты"));
  ASSERT_EQ(rpm->count(), 3);
  EXPECT_EQ(rpm->at(2), QPointF(2, 2400));
  auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
  auto* x = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
  ASSERT_TRUE(x && y);
  EXPECT_EQ(y->max(), 6000);
  EXPECT_EQ(x->max(), 60);

  form_.chart.SetSeries({{"Ошибки", {{1, 3, "P0300"}, {2, 1, "P0171"}}}});
  binder_->Refresh();
  ASSERT_EQ(chart->series().size(), 1);
  auto* labels = qobject_cast<QCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
  ASSERT_NE(labels, nullptr);
  EXPECT_EQ(labels->categoriesLabels(), (QStringList{"P0300", "P0171"}));
  EXPECT_EQ(chart->axes(Qt::Horizontal).size(), 1) << "old axes do not pile up";
}

TEST_F(BinderTest, TimerRunsWhileEnabledAndItsTicksShow) {
  QTimer* timer = binder_->TimerOf("Timer1");
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->isActive());

  int ticks = 0;
  form_.timer.OnTimer = [&] {
    ++ticks;
    form_.status.SetText(0, "Тик " + std::to_string(ticks));
  };
  form_.button.OnClick = [&] { form_.timer.SetEnabled(true); };
  QTest::mouseClick(Widget<QPushButton>("Button1"), Qt::LeftButton);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 20);

  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
  auto* panel = root_->findChild<QLabel*>(QString::fromStdString(StatusPanelName("StatusBar1", 0)));
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->text(), QString::fromStdString(form_.status.Text(0)));

  form_.timer.OnTimer = [&] {
    ++ticks;
    form_.timer.SetEnabled(false);
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return !timer->isActive(); }, 5000))
      << "a tick may stop its own timer";
  EXPECT_FALSE(binder_->Tick("NoSuchTimer"));
}

TEST_F(BinderTest, AnErrorInAHandlerIsReportedAndTheProgramGoesOn) {
  auto* button = Widget<QPushButton>("Button1");
  int clicks = 0;
  form_.button.OnClick = [&] {
    form_.label.SetCaption("до ошибки");
    if (++clicks == 1) throw std::runtime_error("Нет файла M154def.cfg");
  };
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(errors_, (std::vector<std::string>{"Нет файла M154def.cfg"}));
  EXPECT_EQ(Widget<QLabel>("Label1")->text(), Q("до ошибки")) << "what happened before still shows";
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(errors_.size(), 1u);

  form_.timer.OnTimer = [] { throw 42; };
  form_.timer.SetEnabled(true);
  EXPECT_TRUE(binder_->Tick("Timer1"));
  EXPECT_EQ(errors_.size(), 2u) << "a tick's failure is reported too, whatever was thrown";
}

// The fall-back window for forms without a skin class: each control gets a widget, bound by name.
TEST(GenericFormTest, LaysOutAWidgetForEveryControl) {
  KindsForm form;
  form.SetCaption("Окно");
  FormDialog dialog(form, nullptr);
  LayOutGeneric(form, &dialog);
  Binder& binder = dialog.Bind();
  binder.SetErrorSink([](const std::string&) {});
  EXPECT_EQ(dialog.windowTitle(), Q("Окно"));
  EXPECT_TRUE(dialog.findChild<QLabel*>("Label1"));
  EXPECT_TRUE(dialog.findChild<QPushButton*>("Button1"));
  EXPECT_TRUE(dialog.findChild<QCheckBox*>("CheckBox1"));
  EXPECT_TRUE(dialog.findChild<QLineEdit*>("Edit1"));
  EXPECT_TRUE(dialog.findChild<QListWidget*>("ListBox1"));
  EXPECT_TRUE(dialog.findChild<QListWidget*>("CheckListBox1"));
  EXPECT_TRUE(dialog.findChild<QPlainTextEdit*>("Memo1"));
  EXPECT_TRUE(dialog.findChild<QComboBox*>("ComboBox1"));
  EXPECT_TRUE(dialog.findChild<QTableWidget*>("StringGrid1"));
  EXPECT_TRUE(dialog.findChild<QStatusBar*>("StatusBar1"));
  EXPECT_TRUE(dialog.findChild<QChartView*>("Chart1"));
  auto* tabs = dialog.findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->tabText(1), Q("Ошибки"));
  EXPECT_TRUE(dialog.findChild<QAction*>("Second1"));
  for (const char* name : {"Label1", "Button1", "Edit1", "StringGrid1", "Chart1", "Second1"})
    EXPECT_EQ(binder.ObjectsOf(name).size(), 1u) << name;
}

// A dialog of the later windows: a group box, two panels, a status bar without panels, and
// default and cancel buttons.
class KeysForm : public view::Form {
 public:
  KeysForm()
      : Form("TKeys"),
        group(Add<view::GroupBox>("GroupBox1")),
        frame(Add<view::Panel>("Panel1")),
        labelled(Add<view::Panel>("Panel2")),
        edit(Add<view::Edit>("Edit1")),
        ok(Add<view::Button>("BitBtn1")),
        cancel(Add<view::Button>("BitBtn3")),
        status(Add<view::StatusBar>("StatusBar1", std::vector<int>{})) {
    ok.SetDefault(true);
    cancel.SetCancel(true);
    ok.OnClick = [this] { ++oks; };
    cancel.OnClick = [this] { ++cancels; };
  }
  view::GroupBox& group;
  view::Panel& frame;
  view::Panel& labelled;
  view::Edit& edit;
  view::Button& ok;
  view::Button& cancel;
  view::StatusBar& status;
  int oks = 0;
  int cancels = 0;
};

TEST(DialogKeysTest, GroupBoxesPanelsAndKeysFollowTheModel) {
  KeysForm form;
  form.group.SetCaption("Переменная 1");
  form.labelled.SetCaption("Извините, графика не работает!");
  form.frame.SetCaption("not shown by a plain frame");
  form.status.SetText(0, "Error write port by delayed.");
  FormDialog dialog(form, nullptr);
  auto* layout = new QVBoxLayout(&dialog);
  auto add = [&](QWidget* w, const char* name) {
    w->setObjectName(name);
    layout->addWidget(w);
    return w;
  };
  auto* group = static_cast<QGroupBox*>(add(new QGroupBox, "GroupBox1"));
  auto* frame = static_cast<QFrame*>(add(new QFrame, "Panel1"));
  auto* labelled = static_cast<QLabel*>(add(new QLabel, "Panel2"));
  auto* edit = static_cast<QLineEdit*>(add(new QLineEdit, "Edit1"));
  auto* ok = static_cast<QPushButton*>(add(new QPushButton, "BitBtn1"));
  auto* cancel = static_cast<QPushButton*>(add(new QPushButton, "BitBtn3"));
  add(new QStatusBar, "StatusBar1");
  Binder& binder = dialog.Bind();
  for (const char* name : {"GroupBox1", "Panel1", "Panel2"})
    EXPECT_EQ(binder.ObjectsOf(name).size(), 1u) << name;
  EXPECT_EQ(group->title(), Q("Переменная 1"));
  EXPECT_EQ(labelled->text(), Q("Извините, графика не работает!"));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_FALSE(cancel->isDefault());
  auto* panel = dialog.findChild<QLabel*>(QString::fromStdString(StatusPanelName("StatusBar1", 0)));
  ASSERT_NE(panel, nullptr) << "a status bar without panels shows one";
  EXPECT_EQ(panel->text(), Q("Error write port by delayed."));

  form.group.SetVisible(false);
  form.frame.SetEnabled(false);
  binder.Refresh();
  EXPECT_TRUE(group->isHidden());
  EXPECT_FALSE(frame->isEnabled());

  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(form.oks, 1) << "Enter in an edit presses the default button";
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(form.cancels, 1) << "Escape presses the cancel button";
  EXPECT_TRUE(dialog.isVisible()) << "the cancel button decides whether the dialog closes";
  form.cancel.SetEnabled(false);
  binder.Refresh();
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(form.cancels, 1);
  EXPECT_TRUE(dialog.isVisible()) << "a disabled cancel button takes Escape and does nothing";
  form.cancel.SetCancel(false);
  binder.Refresh();
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible()) << "without a cancel button Escape closes as the close box";
}

TEST(GenericFormTest, GroupBoxesAndPanelsGetTheirOwnWidgets) {
  KeysForm form;
  form.group.SetCaption("GroupBox1");
  form.labelled.SetCaption("Панель");
  FormDialog dialog(form, nullptr);
  LayOutGeneric(form, &dialog);
  Binder& binder = dialog.Bind();
  auto* group = dialog.findChild<QGroupBox*>("GroupBox1");
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), Q("GroupBox1"));
  auto* panel = dialog.findChild<QLabel*>("Panel2");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->text(), Q("Панель"));
  EXPECT_TRUE(dialog.findChild<QPushButton*>("BitBtn1")->isDefault());
  for (const char* name : {"GroupBox1", "Panel1", "Panel2", "BitBtn1", "StatusBar1"})
    EXPECT_EQ(binder.ObjectsOf(name).size(), 1u) << name;
}

}  // namespace
}  // namespace kd::qt
