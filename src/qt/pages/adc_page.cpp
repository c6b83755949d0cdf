#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "qt/pages/page_layouts.h"

namespace kd::qt {

// The grid's first row is its heading; the widths 234, 72, 98 and 33 come with the model.
void LayOutAdcPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (auto* table = static_cast<QTableWidget*>(make("StringGrid2", page))) {
    table->horizontalHeader()->setVisible(false);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
    layout->addWidget(table, 1);
  }
}

}  // namespace kd::qt
