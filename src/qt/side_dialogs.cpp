#include "qt/side_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "qt/binder.h"
#include "qt/qt_host.h"

namespace kd::qt {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// The widget of a named control; a name the form lacks gives an empty placeholder, so a
// layout stays whole.
QWidget* Make(view::Form& form, const char* name, QWidget* parent) {
  view::Control* c = form.Find(name);
  QWidget* w = c ? WidgetFor(*c, parent) : nullptr;
  return w ? w : new QWidget(parent);
}

// A caption label above its control.
QVBoxLayout* Column(view::Form& form, QWidget* parent, const char* label, const char* control,
                    int minHeight) {
  auto* box = new QVBoxLayout;
  if (label) box->addWidget(Make(form, label, parent));
  QWidget* w = Make(form, control, parent);
  if (minHeight > 0) w->setMinimumHeight(minHeight);
  // One-line values keep to one line's height.
  if (minHeight > 0 && minHeight < 50) w->setMaximumHeight(minHeight);
  box->addWidget(w, 1);
  return box;
}

QStatusBar* Status(QWidget* parent) {
  auto* status = new QStatusBar(parent);
  status->setObjectName("StatusBar1");
  status->setSizeGripEnabled(false);
  return status;
}

}  // namespace

Aps4Dialog::Aps4Dialog(view::Form& form, QWidget* parent) : FormDialog(form, parent) {
  setObjectName(Q(form.Name()));
  setWindowTitle(Q(form.Caption()));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  for (auto [label, memo] : {std::pair{"StaticText1", "Memo1"},
                             {"StaticText2", "Memo2"},
                             {"StaticText5", "Memo5"},
                             {"StaticText6", "Memo6"},
                             {"StaticText7", "Memo7"}})
    top->addLayout(Column(form, this, label, memo, 44));
  layout->addLayout(top);

  auto* middle = new QHBoxLayout;
  middle->addLayout(Column(form, this, "StaticText3", "Memo3", 220), 2);
  middle->addLayout(Column(form, this, "StaticText4", "Memo4", 220), 3);
  auto* buttons = new QVBoxLayout;
  for (const char* name : {"Button1", "Button3", "Button5", "Button6"})
    buttons->addWidget(Make(form, name, this));
  auto* key = new QHBoxLayout;
  key->addWidget(Make(form, "Button4", this));
  QWidget* memo8 = Make(form, "Memo8", this);
  memo8->setMaximumHeight(44);
  key->addWidget(memo8, 1);
  buttons->addLayout(key);
  buttons->addStretch();
  buttons->addWidget(Make(form, "Button2", this));
  middle->addLayout(buttons, 2);
  layout->addLayout(middle, 1);
  layout->addWidget(Status(this));
  resize(900, 480);
  Bind();
}

Aps6Dialog::Aps6Dialog(view::Form& form, QWidget* parent) : FormDialog(form, parent) {
  setObjectName(Q(form.Name()));
  setWindowTitle(Q(form.Caption()));
  auto* layout = new QVBoxLayout(this);
  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  for (auto [label, memo] :
       {std::pair{"Label1", "Memo2"}, {"Label2", "Memo3"}, {"Label5", "Memo5"}})
    left->addLayout(Column(form, this, label, memo, 44));
  left->addLayout(Column(form, this, "Label6", "Memo6", 70));
  columns->addLayout(left, 2);
  auto* middle = new QVBoxLayout;
  middle->addLayout(Column(form, this, "Label3", "Memo1", 220), 3);
  middle->addLayout(Column(form, this, "Label9", "Memo7", 90), 1);
  columns->addLayout(middle, 4);
  columns->addLayout(Column(form, this, "Label4", "Memo4", 220), 3);
  layout->addLayout(columns, 1);

  auto* io = new QHBoxLayout;
  auto* choice = new QVBoxLayout;
  choice->addWidget(Make(form, "Label7", this));
  choice->addWidget(Make(form, "ComboBox1", this));
  io->addLayout(choice, 2);
  auto* state = new QVBoxLayout;
  state->addWidget(Make(form, "Label8", this));
  state->addWidget(Make(form, "Button1", this));
  io->addLayout(state, 2);
  io->addStretch(1);
  io->addWidget(Make(form, "Button2", this));
  io->addWidget(Make(form, "Button3", this));
  layout->addLayout(io);
  layout->addWidget(Status(this));
  resize(1100, 560);
  Bind();
}

SauoDialog::SauoDialog(view::Form& form, QWidget* parent) : FormDialog(form, parent) {
  setObjectName(Q(form.Name()));
  setWindowTitle(Q(form.Caption()));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* codes = new QVBoxLayout;
  codes->addLayout(Column(form, this, "Label3", "ListBox1", 110), 3);
  codes->addLayout(Column(form, this, "Label4", "Memo1", 80), 2);
  top->addLayout(codes, 3);
  top->addLayout(Column(form, this, "Label2", "Memo2", 200), 2);
  layout->addLayout(top, 1);

  auto* bottom = new QHBoxLayout;
  auto* params = new QVBoxLayout;
  params->addWidget(Make(form, "Label1", this));
  if (auto* grid = qobject_cast<QTableWidget*>(Make(form, "StringGrid1", this))) {
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setMinimumHeight(10 * 22 + 4);
    params->addWidget(grid);
  }
  bottom->addLayout(params, 1);
  auto* buttons = new QVBoxLayout;
  for (const char* name : {"Button1", "Button2", "Button4", "Button5", "Button6"})
    buttons->addWidget(Make(form, name, this));
  buttons->addStretch();
  buttons->addWidget(Make(form, "Button3", this));
  bottom->addLayout(buttons);
  layout->addLayout(bottom);
  resize(1000, 640);
  Bind();
}

void RegisterSideDialogs(QtHost& host) {
  host.RegisterDialog("TForm3", [](view::Form& form, QWidget* parent) -> std::unique_ptr<QDialog> {
    return std::make_unique<Aps4Dialog>(form, parent);
  });
  host.RegisterDialog("TForm8", [](view::Form& form, QWidget* parent) -> std::unique_ptr<QDialog> {
    return std::make_unique<Aps6Dialog>(form, parent);
  });
  host.RegisterDialog("TSAUO", [](view::Form& form, QWidget* parent) -> std::unique_ptr<QDialog> {
    return std::make_unique<SauoDialog>(form, parent);
  });
}

}  // namespace kd::qt
