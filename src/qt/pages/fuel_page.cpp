#include "qt/pages/cell_table.h"

namespace kd::qt {

using namespace cells;

void LayOutFuelPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (QTableWidget* t = Table(make, "StringGrid3", page, 18)) {
    FixedDigits(t, 7);
    layout->addWidget(t, 1);
  }
  SaveRow(make, "Button2", page, layout);
}

}  // namespace kd::qt
