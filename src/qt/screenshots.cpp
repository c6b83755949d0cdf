#include "qt/screenshots.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include "qt/layout.h"

namespace kd::qt {

bool ShootSideWindow(view::Button& opener, Binder& mainBindings, QWidget& parent,
                     const QString& dir, const QString& prefix, int ticksPerPage, QSize size) {
  bool opened = false;
  bool written = true;
  // The window runs its own loop once opened; the pictures are taken from inside it.
  QTimer::singleShot(0, &parent, [&] {
    FormDialog* dialog = nullptr;
    for (FormDialog* d : parent.findChildren<FormDialog*>())
      if (d->isVisible()) dialog = d;
    if (!dialog || !dialog->Bindings()) return;
    opened = true;
    dialog->setFixedSize(size);
    Binder& bindings = *dialog->Bindings();
    auto* pages = bindings.BoundForm().FindAs<view::PageControl>("PageControl1");
    view::Timer* timer = bindings.BoundForm().LinkTimer();
    for (int i = 0; pages && i < static_cast<int>(pages->Pages().size()); ++i) {
      bindings.Forward(*pages, [&] { pages->ClickTab(i); });
      for (int t = 0; t < ticksPerPage; ++t) {
        QApplication::processEvents();
        if (timer) bindings.Tick(timer->Name());
      }
      QApplication::processEvents();
      const QString file =
          QDir(dir).filePath(QString("%1-%2-%3.png")
                                 .arg(prefix)
                                 .arg(i + 1)
                                 .arg(QString::fromStdString(pages->Pages()[i].name)));
      if (!dialog->grab().save(file, "PNG")) written = false;
    }
    dialog->close();
  });
  mainBindings.Forward(opener, [&] { opener.Click(); });
  return opened && written;
}

}  // namespace kd::qt
