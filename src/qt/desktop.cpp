#include "qt/desktop.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QPrintPreviewDialog>
#include <QTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPrinter>
#include <QTextDocument>
#include <QTranslator>

#include "qt/main_window.h"
#include "qt/qt_host.h"

namespace kd::qt {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

}  // namespace

bool InstallQtTranslations(QCoreApplication& app, const QLocale& locale) {
  auto* translator = new QTranslator(&app);
  // "qt_LANG" gathers the translations of every Qt module.
  if (!translator->load(locale, "qt", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

std::unique_ptr<QTextDocument> PrintTextDocument(const view::PrintDocument& document) {
  QString html = "<html><body><h3>" + Q(document.title).toHtmlEscaped() + "</h3>";
  auto pre = [&html](const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    html += "<pre>";
    for (const auto& line : lines) html += Q(line).toHtmlEscaped() + "\n";
    html += "</pre>";
  };
  pre(document.header);
  pre(document.lines);
  if (!document.table.empty()) {
    html += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">";
    int row = 0;
    for (const auto& cells : document.table) {
      const QString tag = row++ < document.headingRows ? "th" : "td";
      html += "<tr>";
      for (const auto& cell : cells) html += QString("<%1>%2</%1>").arg(tag, Q(cell).toHtmlEscaped());
      html += "</tr>";
    }
    html += "</table>";
  }
  html += "</body></html>";
  auto doc = std::make_unique<QTextDocument>();
  doc->setHtml(html);
  return doc;
}

}  // namespace kd::qt

namespace kd::qt {

bool PrintToPdf(const view::PrintDocument& document, const QString& path) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  PrintTextDocument(document)->print(&printer);
  return QFileInfo(path).size() > 0;
}

}  // namespace kd::qt

namespace kd::qt {

bool ShootHelpAndPrint(MainWindow& window, QtHost& host, const QString& dir) {
  ui::MainForm& form = window.Form();
  const int faults = form.PageControl1().IndexOf("TabSheet2");
  window.Bindings().Forward(form.PageControl1(), [&] { form.PageControl1().ClickTab(faults); });
  for (int i = 0; i < 10; ++i) {
    QApplication::processEvents();
    window.Bindings().Tick(form.Timer1().Name());
  }
  auto* help = form.FindAs<view::Button>("ToolButton9");
  auto* print = form.FindAs<view::MenuItem>("Print1");
  if (!help || !print) return false;
  window.Bindings().Forward(*help, [help] { help->Click(); });
  QWidget* helpWindow = host.HelpWindowShown();
  if (!helpWindow) return false;
  QApplication::processEvents();
  if (!helpWindow->grab().save(QDir(dir).filePath("help.png"), "PNG")) return false;
  helpWindow->close();

  // The preview is modal: it is pictured from inside its own event loop, then closed.
  bool saved = false;
  QTimer::singleShot(200, &window, [&] {
    if (auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget())) {
      preview->resize(900, 700);
      QApplication::processEvents();
      saved = preview->grab().save(QDir(dir).filePath("print-preview.png"), "PNG");
      preview->close();
    }
  });
  host.SetUnattended(false);
  window.Bindings().Forward(*print, [print] { print->Click(); });
  host.SetUnattended(true);
  return saved;
}

}  // namespace kd::qt
