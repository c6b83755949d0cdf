#include "qt/port_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

#include "qt/layout.h"

namespace kd::qt {

std::unique_ptr<QDialog> MakePortDialog(view::Form& form, QWidget* parent) {
  auto dialog = std::make_unique<FormDialog>(form, parent);
  dialog->setWindowTitle(QString::fromStdString(form.Caption()));
  auto* layout = new QVBoxLayout(dialog.get());
  auto widget = [&](const std::string& name, QWidget* owner) -> QWidget* {
    view::Control* control = form.Find(name);
    return control ? WidgetFor(*control, owner) : nullptr;
  };
  auto* group = static_cast<QGroupBox*>(widget("GroupBox1", dialog.get()));
  auto* grid = new QGridLayout(group ? static_cast<QWidget*>(group) : dialog.get());
  for (int i = 1; i <= 8; ++i) {
    if (QWidget* radio = widget("RadioButton" + std::to_string(i), group))
      grid->addWidget(radio, i, 0);
    if (auto* device = static_cast<QLabel*>(widget("PortDevice" + std::to_string(i), group))) {
      device->setMinimumWidth(device->fontMetrics().horizontalAdvance(QString(48, 'n')));
      grid->addWidget(device, i, 1);
    }
  }
  if (group) layout->addWidget(group);
  auto* row = new QHBoxLayout;
  if (QWidget* device = widget("DeviceButton", dialog.get())) row->addWidget(device);
  row->addStretch();
  if (QWidget* label = widget("AdapterLabel", dialog.get())) row->addWidget(label);
  if (QWidget* kind = widget("AdapterKind", dialog.get())) row->addWidget(kind);
  layout->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  if (QWidget* close = widget("Button1", dialog.get())) buttons->addWidget(close);
  layout->addLayout(buttons);
  dialog->Bind();
  layout->setSizeConstraint(QLayout::SetFixedSize);
  return dialog;
}

std::unique_ptr<QDialog> MakeAdapterTestDialog(view::Form& form, QWidget* parent) {
  auto dialog = std::make_unique<FormDialog>(form, parent);
  LayOutGeneric(form, dialog.get());
  dialog->Bind();
  // The log's lines name devices and commands; wrapped at the generic width they read badly.
  const QFontMetrics metrics = dialog->fontMetrics();
  dialog->resize(metrics.horizontalAdvance(QString(80, 'n')), metrics.height() * 30);
  return dialog;
}

}  // namespace kd::qt
