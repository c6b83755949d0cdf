// The host's help and printing: the guide's window, the print preview and the page set-up.
#include <QPageSetupDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>
#include <cstdio>

#include "qt/desktop.h"
#include "qt/help_window.h"
#include "qt/qt_host.h"

namespace kd::qt {

QtHost::QtHost(QWidget* parent)
    : parent_(parent), printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

QtHost::~QtHost() = default;

void QtHost::ShowHelp(const std::string& section) {
  auto* help = static_cast<HelpWindow*>(help_.data());
  if (!help) {
    help = new HelpWindow(parent_);
    help_ = help;
  }
  // Shown first: the guide's pictures are fitted to the laid-out view as they load.
  help->show();
  help->raise();
  help->activateWindow();
  help->Load(UserGuidePath());
  help->OpenAt(QString::fromStdString(section));
}

void QtHost::Print(const view::PrintDocument& document) {
  if (unattended_) {
    std::fprintf(stderr, "klinediag: print \"%s\" skipped: no one to answer the dialog\n",
                 document.title.c_str());
    return;
  }
  const auto text = PrintTextDocument(document);
  QPrintPreviewDialog preview(printer_.get(), parent_);
  preview.setObjectName("PrintPreview");
  preview.setWindowTitle(QString::fromStdString("Печать: " + document.title));
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                   [&text](QPrinter* printer) { text->print(printer); });
  preview.exec();
}

void QtHost::PrintSetup() {
  if (unattended_) return;
  QPageSetupDialog dialog(printer_.get(), parent_);
  dialog.exec();
}

}  // namespace kd::qt
