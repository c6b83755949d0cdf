// What makes the program at home on a desktop: Qt's own texts in the user's language, and the
// print document of a page.
#pragma once

#include <QLocale>
#include <QString>
#include <memory>

#include "view/host.h"

class QCoreApplication;
class QTextDocument;

namespace kd::qt {

class MainWindow;
class QtHost;

// Installs Qt's translations (dialog buttons, file and font dialogs, context menus) for
// `locale` from Qt's translations folder; false when there are none for it (English stays).
bool InstallQtTranslations(QCoreApplication& app, const QLocale& locale);

// The page as a document: a title, the report header and body in a fixed-width font, the table
// as a table.
std::unique_ptr<QTextDocument> PrintTextDocument(const view::PrintDocument& document);
// The document printed to a PDF file at `path`, as the print dialog's "Print to File" does.
bool PrintToPdf(const view::PrintDocument& document, const QString& path);

// Pictures for the user guide: the help window opened by "?" on the fault page (help.png) and the
// print preview of that page (print-preview.png), in DIR. False when one could not be written.
bool ShootHelpAndPrint(MainWindow& window, QtHost& host, const QString& dir);

}  // namespace kd::qt
