#include <QHBoxLayout>
#include <QHeaderView>
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
  layout->addLayout(left);
  if (QWidget* grid = make("StringGrid1", page)) {
    auto* table = static_cast<QTableWidget*>(grid);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
    layout->addWidget(grid, 1);
  }
}

}  // namespace kd::qt
