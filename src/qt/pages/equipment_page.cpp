#include <QFontDatabase>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/pages/page_layouts.h"

namespace kd::qt {

// The equipment texts are padded with blanks to one width: in a fixed-pitch font the lines and
// the hexadecimal status lines line up as the controller's documentation prints them.
void LayOutEquipmentPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (QWidget* w = make("Comp", page)) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(std::max(font.pointSize(), 10));
    w->setFont(font);
    layout->addWidget(w);
  }
}

}  // namespace kd::qt
