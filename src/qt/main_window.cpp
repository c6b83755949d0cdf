#include "qt/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <map>

#include "catalogue/ecu_catalogue.h"
#include "qt/layout.h"

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

void MainWindow::BuildParamPage(QWidget* page) {
  auto* layout = new QHBoxLayout(page);
  auto* left = new QVBoxLayout;
  if (QWidget* list = Make("CheckParamList", page)) {
    list->setMinimumWidth(230);
    list->setMaximumWidth(300);
    left->addWidget(list, 1);
  }
  auto* buttons = new QHBoxLayout;
  for (const char* name : {"Button6", "Button7"})
    if (QWidget* w = Make(name, page)) buttons->addWidget(w);
  left->addLayout(buttons);
  layout->addLayout(left);
  if (QWidget* grid = Make("StringGrid1", page)) {
    auto* table = static_cast<QTableWidget*>(grid);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
    layout->addWidget(grid, 1);
  }
}

void MainWindow::BuildFaultPage(QWidget* page) {
  auto* layout = new QGridLayout(page);
  int row = 0;
  for (const char* label : {"Label_st_err", "Stat_"})
    if (QWidget* w = Make(label, page)) layout->addWidget(w, row, label[0] == 'L' ? 0 : 1);
  ++row;
  if (QWidget* w = Make("StoryErrorList", page)) layout->addWidget(w, row, 0);
  if (QWidget* w = Make("Status", page)) {
    w->setMaximumWidth(80);
    layout->addWidget(w, row, 1);
  }
  auto* side = new QVBoxLayout;
  for (const char* name : {"ButtonStat", "ButtonStatus", "ButtonFreeze", "CheckBox1", "Button8",
                           "ClearErrorAG", "ClearErrorPG", "ECUReset", "ECUReset_fi"})
    if (QWidget* w = Make(name, page)) side->addWidget(w);
  side->addStretch();
  layout->addLayout(side, row, 2, 3, 1);
  ++row;
  auto* detailLabels = new QHBoxLayout;
  for (const char* name : {"Label_Err", "StatusLabel"})
    if (QWidget* w = Make(name, page)) detailLabels->addWidget(w);
  layout->addLayout(detailLabels, row++, 0, 1, 2);
  auto* detail = new QHBoxLayout;
  for (const char* name : {"FreezeListBox", "CurError"})
    if (QWidget* w = Make(name, page)) detail->addWidget(w, 1);
  layout->addLayout(detail, row, 0, 1, 2);
  layout->setRowStretch(1, 1);
  layout->setRowStretch(row, 1);
  layout->setColumnStretch(0, 1);
}

void MainWindow::BuildPages() {
  auto* tabs = static_cast<QTabWidget*>(WidgetFor(form_.PageControl1(), this));
  placed_.insert(&form_.PageControl1());
  setCentralWidget(tabs);
  for (int i = 0; i < tabs->count(); ++i) {
    QWidget* page = tabs->widget(i);
    const std::string name = page->objectName().toStdString();
    if (name == "TabSheet1") BuildParamPage(page);
    if (name == "TabSheet2") BuildFaultPage(page);
    if (name == "TabSheet5") {
      auto* layout = new QVBoxLayout(page);
      if (QWidget* w = Make("Comp", page)) layout->addWidget(w);
    }
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
