#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include "qt/pages/page_layouts.h"

namespace kd::qt {

void LayOutParamPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QHBoxLayout(page);
  auto* left = new QVBoxLayout;
  if (QWidget* list = make("CheckParamList", page)) {
    list->setMinimumWidth(230);
    list->setMaximumWidth(300);
    left->addWidget(list, 1);
  }
  auto* buttons = new QHBoxLayout;
  for (const char* name : {"Button6", "Button7"})
    if (QWidget* w = make(name, page)) buttons->addWidget(w);
  left->addLayout(buttons);

  // Recording: three buttons and the fill state.
  auto* recording = new QGridLayout;
  int at = 0;
  for (const char* name : {"New_write", "End_write", "Sred_write"})
    if (QWidget* w = make(name, page)) recording->addWidget(w, at / 2, at % 2), ++at;
  if (QWidget* w = make("Write_status", page)) recording->addWidget(w, at / 2, at % 2);
  left->addLayout(recording);

  // The actuator panel under its button.
  auto* actuators = new QGridLayout;
  if (QWidget* w = make("Button1", page)) actuators->addWidget(w, 0, 0, 1, 2);
  if (QWidget* w = make("ControlBox", page)) actuators->addWidget(w, 1, 0, 1, 2);
  if (QWidget* w = make("ControlButton", page)) actuators->addWidget(w, 2, 0, 1, 2);
  const char* values[][2] = {{"DesiredText", "Desired"}, {"CurentText", "Curent"}};
  for (int row = 0; row < 2; ++row) {
    if (QWidget* w = make(values[row][0], page)) actuators->addWidget(w, 3 + row, 0);
    if (QWidget* w = make(values[row][1], page)) {
      w->setFixedHeight(28);
      if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      actuators->addWidget(w, 3 + row, 1);
    }
  }
  if (QWidget* w = make("BitPlus", page)) actuators->addWidget(w, 5, 0);
  if (QWidget* w = make("BitMinus", page)) actuators->addWidget(w, 5, 1);
  left->addLayout(actuators);
  layout->addLayout(left);

  auto* right = new QVBoxLayout;
  if (QWidget* grid = make("StringGrid1", page)) {
    auto* table = static_cast<QTableWidget*>(grid);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
    // "Выбрано" fits its column.
    table->horizontalHeader()->setMinimumSectionSize(90);
    right->addWidget(grid, 1);
  }
  // The chart lies on the panel and covers its text, which shows only where there is no chart.
  if (QWidget* panel = make("Panel1", page)) {
    panel->setMinimumHeight(300);
    auto* inside = new QVBoxLayout(panel);
    inside->setContentsMargins(2, 2, 2, 2);
    if (QWidget* chart = make("Chart1", panel)) inside->addWidget(chart);
    right->addWidget(panel, 1);
  }
  layout->addLayout(right, 1);
}

}  // namespace kd::qt
