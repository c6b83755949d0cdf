#include "qt/main_window.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "catalogue/ecu_catalogue.h"
#include "qt/layout.h"

namespace kd::qt {

namespace {

std::string_view ShortName(const view::Button& button) {
  for (const auto& info : catalogue::AllTypes())
    if (info.toolButton == button.Name()) return info.statusText;
  return button.Name();
}

}  // namespace

MainWindow::MainWindow(ui::MainForm& form, QWidget* parent) : QMainWindow(parent), form_(form) {
  setObjectName(QString::fromStdString(form.Name()));
  setWindowTitle(QString::fromStdString(form.Caption()));

  AddMenu(menuBar(), form.Typeblock1());

  auto* toolBar = new QToolBar(this);
  toolBar->setObjectName("ToolBar1");
  toolBar->setMovable(false);
  addToolBar(Qt::TopToolBarArea, toolBar);
  for (const view::Button* type : form.TypeButtons()) {
    const view::Button& model = *type;
    auto* button = new QToolButton(toolBar);
    button->setObjectName(QString::fromStdString(model.Name()));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The buttons have no images yet: the controller's short name stands in for one.
    button->setText(QString::fromStdString(std::string(ShortName(model))));
    button->setProperty(kSkinTextProperty, true);
    toolBar->addWidget(button);
    if (model.SeparatorAfter()) toolBar->addSeparator();
  }

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar1");
  setStatusBar(status);

  // Room for the pages that will follow.
  setCentralWidget(new QWidget(this));

  binder_ = new Binder(form, this);
  // Queued: the control asking is still in its handler when the request comes.
  form_.RequestClose = [this] {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
  };
}

void MainWindow::closeEvent(QCloseEvent* event) {
  bool closes = false;
  binder_->Guard([&] { closes = form_.Close(); });
  if (closes)
    event->accept();
  else
    event->ignore();
}

// The binder goes before the widgets: a widget torn down must not reach the form as a user event.
MainWindow::~MainWindow() {
  form_.RequestClose = nullptr;
  delete binder_;
}

}  // namespace kd::qt
