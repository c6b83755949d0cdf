#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "qt/pages/page_layouts.h"

namespace kd::qt {

// The three columns of 230 pixels (labels, first and second source) and nothing else: the grid
// has no fixed row or column of its own.
void LayOutIdentPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (auto* table = static_cast<QTableWidget*>(make("StringGrid4", page))) {
    table->horizontalHeader()->setVisible(false);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(24);
    // The labels are set in a larger font than the grid's 230 pixels were drawn for: their
    // column follows its longest label instead of cutting it.
    table->setColumnCount(3);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table->setStyleSheet("QTableWidget { gridline-color: #808080; }");
    layout->addWidget(table, 1);
  }
  if (QWidget* w = make("WriteResult", page)) layout->addWidget(w);
}

}  // namespace kd::qt
