#include "qt/obd_windows.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <map>
#include <vector>

#include "qt/binder.h"
#include "qt/qt_host.h"

namespace kd::qt {

namespace {

// What stands on each page, top to bottom; "|" before a name puts it on a row of its own at the
// right, "<" at the left. The two windows share page names where they share pages.
using PageLayout = std::vector<const char*>;

const std::map<std::string, std::map<std::string, PageLayout>> kPages = {
    {"TEOBD",
     {{"TabSheet1", {"StaticText1", "StringGrid1"}},
      {"TabSheet2", {"StaticText2", "<Button1", "StringGrid2"}},
      {"TabSheet3", {"StaticText3", "Memo1", "|Button2"}},
      {"TabSheet4", {"StaticText4", "Mode5Support", "StringGrid3", "StaticText5", "StringGrid5"}},
      {"TabSheet6", {"StaticText6", "Memo2"}},
      {"TabSheet7", {"StaticText7"}},
      {"TabSheet8", {"StaticText8", "StringGrid4"}}}},
    {"TIso_9141",
     {{"TabSheet1", {"StaticText1", "StringGrid1"}},
      {"TabSheet2", {"StaticText2", "StringGrid2"}},
      {"TabSheet3", {"StaticText3", "Memo1", "|Button1"}},
      {"TabSheet4", {"StaticText4", "Memo2"}}}},
};

constexpr int kRowHeight = 22;

}  // namespace

ObdWindow::ObdWindow(view::Form& form, QWidget* parent) : FormDialog(form, parent) {
  setObjectName(QString::fromStdString(form.Name()));
  setWindowTitle(QString::fromStdString(form.Caption()));
  resize(760, 560);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);

  // The protocol an ELM327 found, above the pages.
  if (view::Control* protocol = form.Find("ObdProtocol"))
    if (QWidget* w = WidgetFor(*protocol, this)) layout->addWidget(w);
  auto* pageControl = form.FindAs<view::PageControl>("PageControl1");
  auto* tabs = static_cast<QTabWidget*>(WidgetFor(*pageControl, this));
  layout->addWidget(tabs, 1);
  const auto& pages = kPages.at(form.Name());
  for (int i = 0; i < tabs->count(); ++i) {
    QWidget* page = tabs->widget(i);
    auto* box = new QVBoxLayout(page);
    const auto it = pages.find(page->objectName().toStdString());
    if (it == pages.end()) continue;
    bool stretched = false;
    for (const char* entry : it->second) {
      const char align = entry[0] == '|' || entry[0] == '<' ? entry[0] : 0;
      const std::string name = align ? entry + 1 : entry;
      view::Control* control = form.Find(name);
      if (!control) continue;
      QWidget* w = WidgetFor(*control, page);
      if (!w) continue;
      if (auto* table = qobject_cast<QTableWidget*>(w)) {
        table->verticalHeader()->setDefaultSectionSize(kRowHeight);
        // The small grids show all their rows without scrolling.
        auto* grid = static_cast<view::Grid*>(control);
        if (grid->RowCount() <= 4) {
          table->setFixedHeight(grid->RowCount() * kRowHeight + 4);
          table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
          table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
          box->addWidget(table);
        } else {
          box->addWidget(table, 1);
          stretched = true;
        }
      } else if (align) {
        auto* row = new QHBoxLayout;
        if (align == '|') row->addStretch();
        row->addWidget(w);
        if (align == '<') row->addStretch();
        box->addLayout(row);
      } else if (qobject_cast<QLabel*>(w)) {
        QFont bold = w->font();
        bold.setBold(true);
        w->setFont(bold);
        box->addWidget(w);
      } else {
        box->addWidget(w, 1);
        stretched = true;
      }
    }
    if (!stretched) box->addStretch();
  }

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar1");
  status->setSizeGripEnabled(false);
  layout->addWidget(status);

  Bind();
}

void RegisterObdWindows(QtHost& host) {
  for (const char* name : {"TEOBD", "TIso_9141"})
    host.RegisterDialog(name, [](view::Form& form, QWidget* parent) -> std::unique_ptr<QDialog> {
      return std::make_unique<ObdWindow>(form, parent);
    });
}

}  // namespace kd::qt
