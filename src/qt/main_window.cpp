#include "qt/main_window.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <map>

#include "catalogue/ecu_catalogue.h"
#include "qt/layout.h"
#include "qt/pages/page_layouts.h"
#include "qt/window_settings.h"

namespace kd::qt {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// The tool bar has no images of its own: the controller buttons carry the type's short name, the
// others a short word or a standard icon.
const std::map<std::string, const char*> kToolLabels = {
    {"ComButton", "Порт"},     {"ButtonGM", "GM"},        {"ToolButton7", "EOBD"},
    {"ButtonM154N", "M154N"},  {"ButtonMP70_E3", "MP70E3"},
    {"ToolButton12", "9141"},  {"ButtonImmo", "АПС4"},     {"ToolButton13", "АПС6"},
    {"SAUOButton", "САУО"},    {"GraphButton", "График"}, {"ToolButton14", "Окно"},
    {"ToolButton9", "?"},
};
const std::map<std::string, QStyle::StandardPixmap> kToolIcons = {
    {"NewButton", QStyle::SP_FileIcon},          {"LoadButton", QStyle::SP_DialogOpenButton},
    {"SaveButton", QStyle::SP_DialogSaveButton}, {"AboutButton", QStyle::SP_MessageBoxInformation},
    {"ToolButton11", QStyle::SP_DialogCloseButton},
};

std::string_view ShortName(const view::Button& button) {
  if (auto it = kToolLabels.find(button.Name()); it != kToolLabels.end()) return it->second;
  for (const auto& info : catalogue::AllTypes())
    if (info.toolButton == button.Name()) return info.statusText;
  return {};
}

}  // namespace

// Widgets for the named controls of the form, for the page layouts below; a name the form does
// not have gives nothing, so a page lays out what exists.
QWidget* MainWindow::Make(const char* name, QWidget* parent) {
  view::Control* control = form_.Find(name);
  if (!control) return nullptr;
  QWidget* w = WidgetFor(*control, parent);
  if (w) placed_.insert(control);
  return w;
}

void MainWindow::BuildToolBar() {
  auto* toolBar = new QToolBar(this);
  toolBar->setObjectName("ToolBar1");
  toolBar->setMovable(false);
  toolBar->setIconSize({20, 20});
  // Twenty-five buttons share 1280 pixels.
  toolBar->setStyleSheet("QToolButton { padding: 1px 2px; margin: 0px; }");
  addToolBar(Qt::TopToolBarArea, toolBar);
  for (const view::Button* model : form_.ToolBar()) {
    auto* button = new QToolButton(toolBar);
    button->setObjectName(Q(model->Name()));
    button->setAutoRaise(true);
    if (auto icon = kToolIcons.find(model->Name()); icon != kToolIcons.end()) {
      button->setIcon(style()->standardIcon(icon->second));
      button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    } else {
      button->setToolButtonStyle(Qt::ToolButtonTextOnly);
      button->setText(Q(ShortName(*model)));
      button->setProperty(kSkinTextProperty, true);
    }
    toolBar->addWidget(button);
    placed_.insert(model);
    if (model->SeparatorAfter()) toolBar->addSeparator();
  }
}

void MainWindow::BuildPages() {
  auto* tabs = static_cast<QTabWidget*>(WidgetFor(form_.PageControl1(), this));
  placed_.insert(&form_.PageControl1());
  setCentralWidget(tabs);
  const MakeWidget make = [this](const char* name, QWidget* parent) { return Make(name, parent); };
  for (const auto& info : session::MainPages()) {
    const int index = static_cast<int>(info.id);
    if (PageLayout layOut = LayoutOf(info.id); layOut && index < tabs->count())
      layOut(make, tabs->widget(index));
  }
}

MainWindow::MainWindow(ui::MainForm& form, QWidget* parent) : QMainWindow(parent), form_(form) {
  setObjectName(Q(form.Name()));
  setWindowTitle(Q(form.Caption()));

  for (const view::MenuItem* menu : form.MainMenu()) {
    if (menu->Items().empty())
      menuBar()->addAction(Q(menu->Caption()))->setObjectName(Q(menu->Name()));
    else
      AddMenu(menuBar(), *menu);
  }
  BuildToolBar();
  BuildPages();

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar1");
  setStatusBar(status);

  binder_ = new Binder(form, this);
  // F1 asks for help as the "?" button does.
  if (auto* help = form_.FindAs<view::Button>("ToolButton9")) {
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this,
            [this, help] { binder_->Forward(*help, [help] { help->Click(); }); });
  }
  // Queued: the control asking is still in its handler when the request comes.
  form_.RequestClose = [this] {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
  };
}

void MainWindow::closeEvent(QCloseEvent* event) {
  bool closes = false;
  binder_->Guard([&] { closes = form_.Close(); });
  if (closes) {
    StoreMainWindow(*this, form_.Settings());
    event->accept();
  } else {
    event->ignore();
  }
}

// The binder goes before the widgets: a widget torn down must not reach the form as a user event.
MainWindow::~MainWindow() {
  form_.RequestClose = nullptr;
  delete binder_;
}

}  // namespace kd::qt
