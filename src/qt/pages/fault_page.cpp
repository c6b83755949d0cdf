#include <QGridLayout>
#include <QLabel>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "qt/pages/page_layouts.h"

namespace kd::qt {

void LayOutFaultPage(const MakeWidget& make, QWidget* page) {
  auto* layout = new QGridLayout(page);
  int row = 0;
  for (const char* label : {"Label_st_err", "Stat_"})
    if (QWidget* w = make(label, page)) layout->addWidget(w, row, label[0] == 'L' ? 0 : 1);
  ++row;
  if (QWidget* w = make("StoryErrorList", page)) layout->addWidget(w, row, 0);
  if (QWidget* w = make("Status", page)) {
    w->setMaximumWidth(80);
    layout->addWidget(w, row, 1);
  }
  auto* side = new QVBoxLayout;
  for (const char* name : {"ButtonStat", "ButtonStatus", "ButtonFreeze", "CheckBox1", "Button8",
                           "ClearErrorAG", "ClearErrorPG", "ECUReset", "ECUReset_fi"})
    if (QWidget* w = make(name, page)) side->addWidget(w);
  // The controller's answer to a clear, under the buttons that ask for it.
  if (auto* result = qobject_cast<QLabel*>(make("ClearResult", page))) {
    result->setWordWrap(true);
    result->setMaximumWidth(160);
    side->addWidget(result);
  }
  side->addStretch();
  layout->addLayout(side, row, 2, 3, 1);
  ++row;
  auto* detailLabels = new QHBoxLayout;
  for (const char* name : {"Label_Err", "StatusLabel"})
    if (QWidget* w = make(name, page)) detailLabels->addWidget(w);
  layout->addLayout(detailLabels, row++, 0, 1, 2);
  auto* detail = new QHBoxLayout;
  for (const char* name : {"FreezeListBox", "CurError"})
    if (QWidget* w = make(name, page)) detail->addWidget(w, 1);
  layout->addLayout(detail, row, 0, 1, 2);
  layout->setRowStretch(1, 1);
  layout->setRowStretch(row, 1);
  layout->setColumnStretch(0, 1);
}

}  // namespace kd::qt
