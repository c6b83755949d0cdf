#include "qt/pages/cell_table.h"

namespace kd::qt {

using namespace cells;

void LayOutTripPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (QWidget* title = make("TripTitle", page)) layout->addWidget(title);
  if (QTableWidget* t = Table(make, "StringGrid7", page, 20)) {
    // The labels are padded with blanks to line up as a table; a fixed-width face keeps them so.
    FixedDigits(t, 9);
    // The headings end in blanks: cut, not shortened with an ellipsis.
    t->setTextElideMode(Qt::ElideNone);
    layout->addWidget(t, 1);
  }
  SaveRow(make, "Button5", page, layout);
}

}  // namespace kd::qt
