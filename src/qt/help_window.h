// The user guide in a window of its own, rendered from its Markdown with its pictures, opened at
// the section of the page on screen.
#pragma once

#include <QDialog>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

namespace kd::qt {

// The guide the help window shows: the installed one beside the program
// (PREFIX/share/klinediag/help), else the one of the source tree the program was built from.
// Empty when neither is there.
QString UserGuidePath();

// Pictures wider than the view are shown scaled to its width, so that the guide reads without
// scrolling sideways; the screenshots are taken larger than a help window is.
class GuideBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;
  QVariant loadResource(int type, const QUrl& name) override;
};

class HelpWindow : public QDialog {
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // Loads the guide once; false (and a line saying so in the window) when it cannot be read.
  bool Load(const QString& path);
  // Scrolls the heading `section` to the top; false when the guide has no such heading.
  bool OpenAt(const QString& section);
  // The heading the window was last opened at.
  QString Section() const { return section_; }
  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
  QString loaded_;
  QString section_;
};

}  // namespace kd::qt
