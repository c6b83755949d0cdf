#include <QVBoxLayout>

#include "qt/pages/page_layouts.h"

namespace kd::qt {

void LayOutEquipmentPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (QWidget* w = make("Comp", page)) layout->addWidget(w);
}

}  // namespace kd::qt
