#include "qt/pages/cell_table.h"

namespace kd::qt {

using namespace cells;

void LayOutKnockPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (QTableWidget* t = Table(make, "StringGrid6", page, 20)) {
    FixedDigits(t, 9);
    layout->addWidget(t, 1);
  }
  SaveRow(make, "Button4", page, layout);
}

}  // namespace kd::qt
