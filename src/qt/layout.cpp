#include "qt/layout.h"

#include <QActionGroup>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <map>
#include <set>

#include "qt/binder.h"

namespace kd::qt {

namespace {
QString Q(const std::string& s) {
  return QString::fromStdString(s);
}
}  // namespace

void AddMenuItems(QMenu* menu, const view::MenuItem& parent) {
  std::map<int, QActionGroup*> groups;
  for (const view::MenuItem* item : parent.Items()) {
    QAction* action = nullptr;
    if (item->IsSeparator()) {
      action = menu->addSeparator();
    } else if (!item->Items().empty()) {
      QMenu* sub = menu->addMenu(Q(item->Caption()));
      AddMenuItems(sub, *item);
      action = sub->menuAction();
    } else {
      action = menu->addAction(Q(item->Caption()));
    }
    action->setObjectName(Q(item->Name()));
    if (item->RadioGroup() != 0 && !item->IsSeparator()) {
      QActionGroup*& group = groups[item->RadioGroup()];
      if (!group) {
        group = new QActionGroup(menu);
        group->setExclusive(true);
      }
      action->setCheckable(true);
      group->addAction(action);
    }
  }
}

QMenu* AddMenu(QMenuBar* bar, const view::MenuItem& item) {
  QMenu* menu = bar->addMenu(Q(item.Caption()));
  menu->menuAction()->setObjectName(Q(item.Name()));
  AddMenuItems(menu, item);
  return menu;
}

std::vector<view::MenuItem*> TopMenuItems(const view::Form& form) {
  std::set<const view::Control*> nested;
  for (view::Control* c : form.Controls())
    if (auto* item = dynamic_cast<view::MenuItem*>(c))
      for (const view::MenuItem* sub : item->Items()) nested.insert(sub);
  std::vector<view::MenuItem*> top;
  for (view::Control* c : form.Controls())
    if (auto* item = dynamic_cast<view::MenuItem*>(c); item && !nested.contains(item))
      top.push_back(item);
  return top;
}

QWidget* WidgetFor(view::Control& c, QWidget* parent) {
  QWidget* w = nullptr;
  if (dynamic_cast<view::CheckListBox*>(&c)) {
    w = new QListWidget(parent);
  } else if (dynamic_cast<view::ComboBox*>(&c)) {
    w = new QComboBox(parent);
  } else if (dynamic_cast<view::Memo*>(&c)) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    w = memo;
  } else if (dynamic_cast<view::ListBox*>(&c)) {
    w = new QListWidget(parent);
  } else if (dynamic_cast<view::Button*>(&c)) {
    w = new QPushButton(parent);
  } else if (dynamic_cast<view::CheckBox*>(&c)) {
    w = new QCheckBox(parent);
  } else if (dynamic_cast<view::MenuItem*>(&c)) {
    return nullptr;
  } else if (dynamic_cast<view::Label*>(&c)) {
    w = new QLabel(parent);
  } else if (dynamic_cast<view::Edit*>(&c)) {
    w = new QLineEdit(parent);
  } else if (dynamic_cast<view::Grid*>(&c)) {
    w = new QTableWidget(parent);
  } else if (auto* pages = dynamic_cast<view::PageControl*>(&c)) {
    auto* tabs = new QTabWidget(parent);
    for (const auto& page : pages->Pages()) {
      auto* sheet = new QWidget(tabs);
      sheet->setObjectName(Q(page.name));
      tabs->addTab(sheet, Q(page.caption));
    }
    w = tabs;
  } else if (dynamic_cast<view::Chart*>(&c)) {
    w = new QChartView(parent);
  } else if (dynamic_cast<view::GroupBox*>(&c)) {
    w = new QGroupBox(parent);
  } else if (dynamic_cast<view::Panel*>(&c)) {
    // Laid out flat, a panel holds nothing in front of its caption: a framed label shows it.
    auto* panel = new QLabel(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAlignment(Qt::AlignCenter);
    w = panel;
  }
  if (w) w->setObjectName(Q(c.Name()));
  return w;
}

void LayOutGeneric(const view::Form& form, QDialog* dialog) {
  dialog->setWindowTitle(Q(form.Caption()));
  auto* layout = new QVBoxLayout(dialog);
  const auto menus = TopMenuItems(form);
  if (!menus.empty()) {
    auto* bar = new QMenuBar(dialog);
    for (view::MenuItem* item : menus) {
      if (item->Items().empty()) {
        bar->addAction(Q(item->Caption()))->setObjectName(Q(item->Name()));
      } else {
        AddMenu(bar, *item);
      }
    }
    layout->setMenuBar(bar);
  }
  QStatusBar* status = nullptr;
  for (view::Control* c : form.Controls()) {
    if (dynamic_cast<view::StatusBar*>(c)) {
      status = new QStatusBar(dialog);
      status->setObjectName(Q(c->Name()));
      continue;
    }
    if (QWidget* w = WidgetFor(*c, dialog)) layout->addWidget(w);
  }
  if (status) layout->addWidget(status);
}

FormDialog::FormDialog(view::Form& form, QWidget* parent) : QDialog(parent), form_(form) {
  // Queued: the control asking is still in its handler, and the dialog outlives that.
  form_.RequestClose = [this] {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
  };
}

// The binder goes before the widgets: a widget torn down must not reach the form as a user event.
FormDialog::~FormDialog() {
  form_.RequestClose = nullptr;
  delete binder_;
}

Binder& FormDialog::Bind() {
  if (!binder_) binder_ = new Binder(form_, this);
  return *binder_;
}

bool FormDialog::AskForm() {
  bool closes = false;
  if (binder_)
    binder_->Guard([&] { closes = form_.Close(); });
  else
    closes = form_.Close();
  return closes;
}

void FormDialog::reject() {
  if (AskForm()) QDialog::reject();
}

void FormDialog::closeEvent(QCloseEvent* event) {
  if (AskForm()) {
    event->accept();
    // A closed QDialog that was run with exec() must also leave its loop.
    QDialog::reject();
  } else {
    event->ignore();
  }
}

}  // namespace kd::qt
