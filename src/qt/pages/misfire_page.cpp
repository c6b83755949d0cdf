#include "qt/pages/cell_table.h"

namespace kd::qt {

using namespace cells;

void LayOutMisfirePage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (QTableWidget* t = Table(make, "StringGrid5", page, 20)) {
    t->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(t, 1);
  }
}

}  // namespace kd::qt
