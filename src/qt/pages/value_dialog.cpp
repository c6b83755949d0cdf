#include "qt/pages/value_dialog.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt/layout.h"

namespace kd::qt {

std::unique_ptr<QDialog> MakeValueDialog(view::Form& form, QWidget* parent) {
  auto dialog = std::make_unique<FormDialog>(form, parent);
  dialog->setWindowTitle(QString::fromStdString(form.Caption()));
  auto* layout = new QVBoxLayout(dialog.get());
  auto add = [&](const char* name) -> QWidget* {
    view::Control* control = form.Find(name);
    QWidget* w = control ? WidgetFor(*control, dialog.get()) : nullptr;
    if (w) layout->addWidget(w);
    return w;
  };
  add("Label1");
  if (auto* memo = static_cast<QPlainTextEdit*>(add("Memo1"))) {
    // One value of at most 19 characters: a line high, in a fixed-pitch font so that the blanks
    // that pad it can be counted.
    memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memo->setFixedHeight(memo->fontMetrics().height() * 2 + 6);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  }
  add("Label2");
  if (QWidget* edit = add("Edit1")) {
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Room for a VIN and then some, and for the warning on two lines.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(44, 'W')));
  }
  if (auto* warning = static_cast<QLabel*>(add("Label3"))) {
    warning->setWordWrap(true);
    warning->setStyleSheet("color: #b00000; font-weight: bold;");
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (const char* name : {"OKBtn", "CancelBtn"}) {
    auto* model = form.FindAs<view::Button>(name);
    auto* button = model ? static_cast<QPushButton*>(WidgetFor(*model, dialog.get())) : nullptr;
    if (!button) continue;
    // Enter presses OK, as the dialog's default button.
    button->setAutoDefault(false);
    button->setDefault(model->Default());
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  dialog->Bind();
  // A fixed border, as the dialog has: its size is what the layout needs.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  return dialog;
}

}  // namespace kd::qt
