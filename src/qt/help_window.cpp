#include "qt/help_window.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace kd::qt {

QString UserGuidePath() {
  const QDir bin(QCoreApplication::applicationDirPath());
  QStringList candidates{bin.filePath("../share/klinediag/help/user-guide.md")};
#ifdef KLINEDIAG_SOURCE_DOCS
  candidates << QStringLiteral(KLINEDIAG_SOURCE_DOCS "/user-guide.md");
#endif
  for (const QString& c : candidates)
    if (QFileInfo(c).isReadable()) return QFileInfo(c).canonicalFilePath();
  return {};
}

QVariant GuideBrowser::loadResource(int type, const QUrl& name) {
  QVariant resource = QTextBrowser::loadResource(type, name);
  if (type != QTextDocument::ImageResource) return resource;
  QImage image;
  if (!image.loadFromData(resource.toByteArray())) return resource;
  // The margin keeps the vertical scroll bar from covering the picture's right edge.
  const int width = viewport()->width() - 2 * static_cast<int>(document()->documentMargin()) - 4;
  // A view not laid out yet has no width to fit.
  if (width < 200 || image.width() <= width) return image;
  return image.scaledToWidth(width, Qt::SmoothTransformation);
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), browser_(new GuideBrowser(this)) {
  setObjectName("HelpWindow");
  setWindowTitle("Краткая помощь");
  setAttribute(Qt::WA_DeleteOnClose);
  browser_->setObjectName("HelpBrowser");
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(820, 640);
}

bool HelpWindow::Load(const QString& path) {
  if (!loaded_.isEmpty() && loaded_ == path) return true;
  if (path.isEmpty() || !QFileInfo(path).isReadable()) {
    browser_->setPlainText("Руководство пользователя не найдено (user-guide.md).");
    return false;
  }
  // As a Markdown resource its pictures are found beside it.
  browser_->setSource(QUrl::fromLocalFile(path), QTextDocument::MarkdownResource);
  loaded_ = path;
  return true;
}

bool HelpWindow::OpenAt(const QString& section) {
  QTextDocument* doc = browser_->document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 0 || block.text().trimmed() != section) continue;
    section_ = section;
    browser_->setTextCursor(QTextCursor(block));
    // The layout is complete only once the document knows the viewport's width.
    doc->setTextWidth(browser_->viewport()->width());
    const qreal top = doc->documentLayout()->blockBoundingRect(block).top();
    browser_->verticalScrollBar()->setValue(static_cast<int>(top));
    return true;
  }
  return false;
}

}  // namespace kd::qt
