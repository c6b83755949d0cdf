#include "qt/qt_host.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>
#include <cstdio>

#include "qt/binder.h"
#include "qt/layout.h"
#include "qt/window_settings.h"

namespace kd::qt {

namespace {
QString Q(const std::string& s) {
  return QString::fromStdString(s);
}
}  // namespace

std::string FileDialogFilter(const std::string& filter) {
  const QStringList parts = Q(filter).split(QLatin1Char('|'));
  if (parts.size() < 2) {
    const QString patterns = parts.value(0).trimmed();
    if (patterns.isEmpty()) return {};
    return QString(patterns + QStringLiteral(" (") + QString(patterns).replace(';', ' ') + ')')
        .toStdString();
  }
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    const QString patterns = QString(parts[i + 1]).replace(';', ' ').trimmed();
    // Descriptions often repeat their patterns already: "Config files (*.cfg)".
    out << (description.contains('(') ? description : description + " (" + patterns + ')');
  }
  return out.join(QStringLiteral(";;")).toStdString();
}

void QtHost::RegisterDialog(const std::string& formName, DialogFactory factory) {
  factories_[formName] = std::move(factory);
}

void QtHost::ShowModal(view::Form& form) {
  std::unique_ptr<QDialog> dialog;
  if (auto it = factories_.find(form.Name()); it != factories_.end())
    dialog = it->second(form, parent_);
  if (!dialog) {
    auto generic = std::make_unique<FormDialog>(form, parent_);
    LayOutGeneric(form, generic.get());
    generic->Bind();
    dialog = std::move(generic);
  }
  if (settings_) PlaceSideWindow(*dialog, form.Name(), *settings_, AvailableArea(parent_));
  dialog->exec();
  if (settings_) StoreSideWindow(*dialog, form.Name(), *settings_);
}

std::optional<std::string> QtHost::FileDialog(const view::FileDialogRequest& request, bool save) {
  if (unattended_) {
    std::fprintf(stderr, "klinediag: file dialog \"%s\" cancelled, no one to answer it\n",
                 request.title.c_str());
    return std::nullopt;
  }
  QFileDialog dialog(parent_, Q(request.title), Q(request.initialDir),
                     Q(FileDialogFilter(request.filter)));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(Q(request.defaultExt));
  if (!request.fileName.empty()) dialog.selectFile(Q(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  // A full path always: the form keeps it as the file's name while later dialogs move the
  // working directory, which a real dialog makes the chosen folder.
  const QFileInfo chosen(dialog.selectedFiles().constFirst());
  QDir::setCurrent(chosen.absolutePath());
  return QDir::cleanPath(chosen.absoluteFilePath()).toStdString();
}

std::optional<std::string> QtHost::OpenFileDialog(const view::FileDialogRequest& request) {
  return FileDialog(request, false);
}

std::optional<std::string> QtHost::SaveFileDialog(const view::FileDialogRequest& request) {
  return FileDialog(request, true);
}

std::optional<view::FontChoice> QtHost::FontDialog(const view::FontChoice& current) {
  if (unattended_) return std::nullopt;
  QFont initial(Q(current.name));
  if (current.size > 0) initial.setPointSize(current.size);
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, initial, parent_);
  if (!ok) return std::nullopt;
  return view::FontChoice{chosen.family().toStdString(), chosen.pointSize()};
}

void QtHost::MessageBox(const std::string& caption, const std::string& text,
                        view::MessageIcon icon) {
  if (unattended_) {
    std::fprintf(stderr, "klinediag: msgbox %s | %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return;
  }
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case view::MessageIcon::None:
      qicon = QMessageBox::NoIcon;
      break;
    case view::MessageIcon::Information:
      qicon = QMessageBox::Information;
      break;
    case view::MessageIcon::Warning:
      qicon = QMessageBox::Warning;
      break;
    case view::MessageIcon::Error:
      qicon = QMessageBox::Critical;
      break;
    case view::MessageIcon::Question:
      qicon = QMessageBox::Question;
      break;
  }
  QMessageBox box(qicon, Q(caption), Q(text), QMessageBox::Ok, parent_);
  box.exec();
}

view::LocalTime QtHost::Now() {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

}  // namespace kd::qt
