#include "qt/record_view.h"

#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <string>

#include "qt/binder.h"
#include "qt/layout.h"

namespace kd::qt {

std::unique_ptr<QDialog> MakeRecordView(view::Form& form, QWidget* parent) {
  auto dialog = std::make_unique<FormDialog>(form, parent);
  dialog->setObjectName(QString::fromStdString(form.Name()));
  dialog->setWindowTitle(QString::fromStdString(form.Caption()));
  dialog->resize(1200, 760);
  auto make = [&form](const char* name, QWidget* in) -> QWidget* {
    view::Control* c = form.Find(name);
    QWidget* w = c ? WidgetFor(*c, in) : nullptr;
    return w ? w : new QWidget(in);
  };
  auto* layout = new QVBoxLayout(dialog.get());
  auto* message = static_cast<QLabel*>(make("MessageLabel", dialog.get()));
  message->setWordWrap(true);
  layout->addWidget(message);

  auto* split = new QSplitter(Qt::Horizontal, dialog.get());
  auto* left = new QSplitter(Qt::Vertical, split);
  make("CheckParamList", left);
  QWidget* values = make("ValueGrid", left);
  if (auto* table = qobject_cast<QTableWidget*>(values)) {
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
  }
  auto* right = new QSplitter(Qt::Vertical, split);
  QWidget* chart = make("Chart1", right);
  if (auto* view = qobject_cast<QChartView*>(chart)) view->setRenderHint(QPainter::Antialiasing);
  QWidget* frames = make("StringGrid1", right);
  if (auto* table = qobject_cast<QTableWidget*>(frames)) {
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
  }
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  right->setSizes({460, 260});
  left->setSizes({360, 360});
  split->addWidget(left);
  split->addWidget(right);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 3);
  split->setSizes({360, 840});
  layout->addWidget(split, 1);

  auto* player = new QHBoxLayout;
  for (const char* name :
       {"FirstButton", "PrevButton", "PlayButton", "NextButton", "LastButton", "SpeedBox"})
    player->addWidget(make(name, dialog.get()));
  player->addWidget(make("CursorLabel", dialog.get()), 1);
  player->addWidget(make("CloseButton", dialog.get()));
  layout->addLayout(player);
  dialog->Bind();
  return dialog;
}

}  // namespace kd::qt
