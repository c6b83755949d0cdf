#include "qt/screenshots.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include "fileio/atomic_file.h"
#include "livedata/record_view.h"
#include "livedata/recording.h"
#include "qt/layout.h"
#include "ui/report_header.h"

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

QString ShootRecordView(ui::MainForm& form, Binder& mainBindings, QWidget& parent,
                        const QString& dir, int ticks, QSize size) {
  auto& pages = form.PageControl1();
  const int tab = pages.IndexOf("TabSheet1");
  mainBindings.Forward(pages, [&] { pages.ClickTab(tab); });
  auto* start = form.FindAs<view::Button>("New_write");
  if (!start) return "no recording button";
  mainBindings.Forward(*start, [start] { start->Click(); });
  for (int i = 0; i < ticks; ++i) mainBindings.Tick(form.Timer1().Name());
  QTemporaryDir folder;
  if (!folder.isValid()) return "no temporary folder";
  const std::string path = QDir(folder.path()).filePath("drive.dat").toStdString();
  std::vector<catalogue::ParamRecord> params = form.Params();
  const bool saved = fileio::WriteAtomically(path, [&](std::ostream& out) {
    ui::WriteReportHeader(out, form.Vehicle(), form.Host().Now());
    const std::string body =
        livedata::DataFileBody(form.EcuType(), params, form.Recorder().Buffer());
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
  });
  if (!saved) return "cannot write the recording";
  QString failed = "the viewer did not open";
  QTimer::singleShot(0, &parent, [&] {
    FormDialog* dialog = nullptr;
    for (FormDialog* d : parent.findChildren<FormDialog*>())
      if (d->isVisible()) dialog = d;
    if (!dialog || !dialog->Bindings()) return;
    dialog->setFixedSize(size);
    Binder& bindings = *dialog->Bindings();
    auto* view = dynamic_cast<livedata::RecordView*>(&bindings.BoundForm());
    auto* list = bindings.BoundForm().FindAs<view::CheckListBox>("CheckParamList");
    if (view && list) {
      int ticked = 0;
      for (int i = 0; i < list->Count() && ticked < 3; ++i) {
        // Lines of measured values make the better picture than flags.
        const std::string& first = view->File().rows.front().texts[static_cast<std::size_t>(i)];
        if (!view->Chartable(i) || first == "ДА" || first == "НЕТ") continue;
        bindings.Forward(*list, [&] {
          list->SetChecked(i, true);
          if (list->OnClickCheck) list->OnClickCheck(i);
        });
        ++ticked;
      }
      bindings.Forward(*list, [&] { view->MoveCursor(ticks / 2); });
    }
    // The chart lays its axes out over a few passes of the event loop.
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString file = QDir(dir).filePath("record-view.png");
    failed = dialog->grab().save(file, "PNG") ? QString() : "cannot write " + file;
    dialog->close();
  });
  form.OpenRecording(path);
  return failed;
}

}  // namespace kd::qt
