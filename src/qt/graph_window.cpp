#include "qt/graph_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <string>

#include "qt/binder.h"
#include "qt/layout.h"

namespace kd::qt {

std::unique_ptr<QDialog> MakeGraphWindow(view::Form& form, QWidget* parent) {
  auto dialog = std::make_unique<FormDialog>(form, parent);
  dialog->resize(1000, 640);
  auto* layout = new QHBoxLayout(dialog.get());
  auto make = [&form](const std::string& name, QWidget* in) -> QWidget* {
    view::Control* c = form.Find(name);
    return c ? WidgetFor(*c, in) : nullptr;
  };
  if (QWidget* left = make("Panel1", dialog.get())) {
    left->setFixedWidth(260);
    auto* boxes = new QVBoxLayout(left);
    for (int i = 1; i <= 6; ++i) {
      QWidget* box = make("GroupBox" + std::to_string(i), left);
      if (!box) continue;
      auto* inside = new QVBoxLayout(box);
      for (int label : {2 * i - 1, 2 * i})
        if (QWidget* w = make("Label" + std::to_string(label), box)) {
          static_cast<QLabel*>(w)->setAlignment(Qt::AlignCenter);
          inside->addWidget(w);
        }
      boxes->addWidget(box);
    }
    boxes->addStretch(1);
    layout->addWidget(left);
  }
  if (QWidget* right = make("Panel2", dialog.get())) {
    auto* inside = new QVBoxLayout(right);
    if (QWidget* chart = make("Chart1", right)) inside->addWidget(chart);
    layout->addWidget(right, 1);
  }
  Binder& binder = dialog->Bind();
  auto* refresh = new QTimer(dialog.get());
  refresh->setInterval(300);
  QObject::connect(refresh, &QTimer::timeout, dialog.get(), [&binder] { binder.Refresh(); });
  refresh->start();
  return dialog;
}

}  // namespace kd::qt
